#include "adapters/gst/wav_header.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>

namespace ostrelle {
namespace {

quint32 Little32(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<quint32>(b[3]) << 24);
}

quint16 Little16(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return static_cast<quint16>(b[0] | (b[1] << 8));
}

}  // namespace

QString ReadWavHeader(const QString& path, WavHeader& header) {
    header = {};
    const QFileInfo info(path);
    if (!info.isFile()) return QString::fromUtf8("录音文件不存在。");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString::fromUtf8("无法读取录音文件（%1）。").arg(file.errorString());
    return ReadWavHeader(file, header);
}

QString ReadWavHeader(QIODevice& file, WavHeader& header) {
    header = {};
    const QString notWav = QString::fromUtf8("录音不是可读的 WAV 文件。");
    if (!file.seek(0)) return notWav;

    std::array<char, 12> riff{};
    if (file.read(riff.data(), riff.size()) != static_cast<qint64>(riff.size()) ||
        std::memcmp(riff.data(), "RIFF", 4) != 0 || std::memcmp(riff.data() + 8, "WAVE", 4) != 0)
        return notWav;

    bool haveFormat = false;
    const qint64 fileSize = file.size();
    std::array<char, 8> chunk{};
    while (file.read(chunk.data(), chunk.size()) == static_cast<qint64>(chunk.size())) {
        const qint64 size = Little32(chunk.data() + 4);
        const qint64 start = file.pos();
        if (std::memcmp(chunk.data(), "fmt ", 4) == 0) {
            std::array<char, 16> format{};
            if (size < 16 || file.read(format.data(), format.size()) != static_cast<qint64>(format.size()))
                return notWav;
            header.formatTag = Little16(format.data());
            header.channels = Little16(format.data() + 2);
            header.sampleRate = static_cast<int>(Little32(format.data() + 4));
            header.byteRate = Little32(format.data() + 8);
            header.bitsPerSample = Little16(format.data() + 14);
            if (header.channels == 0 || header.sampleRate <= 0 || header.byteRate == 0) return notWav;
            haveFormat = true;
        } else if (std::memcmp(chunk.data(), "data", 4) == 0) {
            if (!haveFormat) return notWav;
            // A size past the end of the file counts only what is there; a size of 0 is a header that
            // was never finished.
            header.dataBytes = std::min(size, fileSize - start);
            header.sizesAgree = Little32(riff.data() + 4) + 8 == fileSize && size <= fileSize - start;
            if (header.dataBytes <= 0) return QString::fromUtf8("录音里没有声音。");
            return {};
        }
        // Chunks are padded to an even size.
        if (!file.seek(start + size + (size & 1))) break;
    }
    return notWav;
}

QByteArray PcmWavHeader(int sampleRate, int channels, qint64 dataBytes) {
    QByteArray header(kPcmWavHeaderBytes, '\0');
    char* h = header.data();
    const int blockAlign = 2 * channels;
    std::memcpy(h, "RIFF", 4);
    qToLittleEndian<quint32>(static_cast<quint32>(36 + dataBytes), h + 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    qToLittleEndian<quint32>(16, h + 16);
    qToLittleEndian<quint16>(1, h + 20);  // PCM
    qToLittleEndian<quint16>(static_cast<quint16>(channels), h + 22);
    qToLittleEndian<quint32>(static_cast<quint32>(sampleRate), h + 24);
    qToLittleEndian<quint32>(static_cast<quint32>(sampleRate * blockAlign), h + 28);
    qToLittleEndian<quint16>(static_cast<quint16>(blockAlign), h + 32);
    qToLittleEndian<quint16>(16, h + 34);
    std::memcpy(h + 36, "data", 4);
    qToLittleEndian<quint32>(static_cast<quint32>(dataBytes), h + 40);
    return header;
}

}  // namespace ostrelle
