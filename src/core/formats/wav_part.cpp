#include "core/formats/wav_part.h"

#include "core/formats/atomic_file.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace ostrelle {
namespace {

std::uint32_t Read32(const QByteArray& bytes, qsizetype at) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.constData() + at, 4);
    return value;
}

std::uint16_t Read16(const QByteArray& bytes, qsizetype at) {
    std::uint16_t value = 0;
    std::memcpy(&value, bytes.constData() + at, 2);
    return value;
}

void Append32(QByteArray& bytes, std::uint32_t value) {
    bytes.append(reinterpret_cast<const char*>(&value), 4);
}

}  // namespace

Result<void> WriteWavPart(const QString& source, double fromSeconds, double toSeconds,
                          const QString& target) {
    const Failure notAudio{FailureCode::NotAudio, source};
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly)) return Failure{FailureCode::CannotRead, source};
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE") return notAudio;
    QByteArray format;
    qsizetype dataAt = -1, dataSize = 0;
    for (qsizetype at = 12; at + 8 <= bytes.size();) {
        const QByteArray id = bytes.mid(at, 4);
        const qsizetype size = Read32(bytes, at + 4);
        const qsizetype body = at + 8;
        if (id == "fmt " && size >= 16 && body + size <= bytes.size()) format = bytes.mid(body, size);
        // A recording cut short may claim more data than the file holds: what is there counts.
        if (id == "data") {
            dataAt = body;
            dataSize = std::min(size, bytes.size() - body);
            break;
        }
        at = body + size + (size & 1);
    }
    if (format.size() < 16 || dataAt < 0) return notAudio;
    const std::uint32_t bytesPerSecond = Read32(format, 8);
    const std::uint16_t blockAlign = Read16(format, 12);
    if (bytesPerSecond == 0 || blockAlign == 0) return notAudio;
    const auto offset = [&](double seconds) {
        const double frames = std::floor(std::max(0.0, seconds) * bytesPerSecond / blockAlign);
        return std::min(dataSize / blockAlign * blockAlign, static_cast<qsizetype>(frames) * blockAlign);
    };
    const qsizetype from = offset(fromSeconds), to = offset(toSeconds);
    if (to <= from) return notAudio;
    QByteArray part = "RIFF";
    Append32(part, static_cast<std::uint32_t>(4 + 8 + format.size() + (format.size() & 1) + 8 + (to - from)));
    part += "WAVEfmt ";
    Append32(part, static_cast<std::uint32_t>(format.size()));
    part += format;
    if (format.size() & 1) part += '\0';
    part += "data";
    Append32(part, static_cast<std::uint32_t>(to - from));
    part += bytes.mid(dataAt + from, to - from);
    return WriteFileAtomically(target, part);
}

}  // namespace ostrelle
