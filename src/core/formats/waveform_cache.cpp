#include "core/formats/waveform_cache.h"

#include "core/formats/atomic_file.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace ostrelle {
namespace {

constexpr char kMagic[8] = {'O', 'S', 'T', 'W', 'P', 'K', '0', '1'};
// magic, bucketMs, path bytes, size, modified, duration, bucket count
constexpr qsizetype kHeaderBytes = 8 + 4 + 4 + 8 + 8 + 8 + 8;
constexpr qsizetype kChecksumBytes = 8;
constexpr float kScale = 32767.0f;
const QString kSuffix = QStringLiteral(".peaks");
// Far above any real entry (an hour is under 3 MB): a larger file is not read at all.
constexpr qint64 kMaxEntryBytes = 256ll * 1024 * 1024;

// FNV-1a over 8-byte words: catches a flipped or cut byte, and is fast enough for a few megabytes.
quint64 Checksum(const char* data, qsizetype size) {
    quint64 hash = 0xcbf29ce484222325ull;
    qsizetype at = 0;
    for (; at + 8 <= size; at += 8) {
        quint64 word = 0;
        std::memcpy(&word, data + at, 8);
        hash = (hash ^ word) * 0x100000001b3ull;
        hash ^= hash >> 29;
    }
    for (; at < size; ++at)
        hash = (hash ^ static_cast<unsigned char>(data[at])) * 0x100000001b3ull;
    return hash;
}

template <typename T>
void Put(QByteArray& bytes, qsizetype& at, T value) {
    qToLittleEndian(value, bytes.data() + at);
    at += static_cast<qsizetype>(sizeof(T));
}

template <typename T>
T Get(const QByteArray& bytes, qsizetype& at) {
    const T value = qFromLittleEndian<T>(bytes.constData() + at);
    at += static_cast<qsizetype>(sizeof(T));
    return value;
}

qint16 ToStored(float value) {
    return static_cast<qint16>(std::clamp(std::lround(value * kScale), -32767l, 32767l));
}

}  // namespace

Result<AudioFileIdentity> IdentifyAudioFile(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return Failure{FailureCode::Missing, QStringLiteral("no such file")};
    if (!info.isFile()) return Failure{FailureCode::NotAFile, QStringLiteral("not a regular file")};
    if (info.size() == 0) return Failure{FailureCode::Empty, QStringLiteral("is empty")};
    return AudioFileIdentity{info.absoluteFilePath(), info.size(), info.lastModified().toMSecsSinceEpoch()};
}

WaveformCache::WaveformCache(QString folder, qint64 maxBytes)
    : folder_(std::move(folder)), maxBytes_(maxBytes) {}

QString WaveformCache::FileFor(const QString& absolutePath) const {
    const QByteArray hash = QCryptographicHash::hash(absolutePath.toUtf8(), QCryptographicHash::Sha1);
    return folder_ + u'/' + QString::fromLatin1(hash.toHex().left(32)) + kSuffix;
}

QByteArray WaveformCache::Encode(const AudioFileIdentity& audio, const WaveformPeaks& peaks) {
    const QByteArray path = audio.absolutePath.toUtf8();
    const auto count = static_cast<qsizetype>(std::min(peaks.min.size(), peaks.max.size()));
    QByteArray bytes(kHeaderBytes + path.size() + count * 4 + kChecksumBytes, Qt::Uninitialized);
    std::memcpy(bytes.data(), kMagic, sizeof kMagic);
    qsizetype at = sizeof kMagic;
    Put<quint32>(bytes, at, static_cast<quint32>(peaks.bucketMs));
    Put<quint32>(bytes, at, static_cast<quint32>(path.size()));
    Put<qint64>(bytes, at, audio.sizeBytes);
    Put<qint64>(bytes, at, audio.modifiedMs);
    Put<qint64>(bytes, at, peaks.durationMs);
    Put<quint64>(bytes, at, static_cast<quint64>(count));
    std::memcpy(bytes.data() + at, path.constData(), static_cast<std::size_t>(path.size()));
    at += path.size();
    for (const std::vector<float>* values : {&peaks.min, &peaks.max}) {
        for (qsizetype i = 0; i < count; ++i)
            Put<qint16>(bytes, at, ToStored((*values)[static_cast<std::size_t>(i)]));
    }
    Put<quint64>(bytes, at, Checksum(bytes.constData(), at));
    return bytes;
}

std::optional<WaveformPeaks> WaveformCache::Decode(const QByteArray& bytes, const AudioFileIdentity& audio) {
    if (bytes.size() < kHeaderBytes + kChecksumBytes || std::memcmp(bytes.constData(), kMagic, sizeof kMagic))
        return std::nullopt;
    qsizetype at = sizeof kMagic;
    const auto bucketMs = Get<quint32>(bytes, at);
    const auto pathBytes = Get<quint32>(bytes, at);
    const auto sizeBytes = Get<qint64>(bytes, at);
    const auto modifiedMs = Get<qint64>(bytes, at);
    const auto durationMs = Get<qint64>(bytes, at);
    const auto count = Get<quint64>(bytes, at);
    // Sizes are checked against the bytes before anything is allocated for them.
    const auto rest = static_cast<quint64>(bytes.size() - kHeaderBytes - kChecksumBytes);
    if (bucketMs == 0 || bucketMs > 1000 || durationMs < 0 || pathBytes > rest || count > rest / 4 ||
        pathBytes + count * 4 != rest)
        return std::nullopt;
    const qsizetype end = bytes.size() - kChecksumBytes;
    qsizetype checksumAt = end;
    if (Get<quint64>(bytes, checksumAt) != Checksum(bytes.constData(), end)) return std::nullopt;
    if (sizeBytes != audio.sizeBytes || modifiedMs != audio.modifiedMs ||
        QString::fromUtf8(bytes.constData() + at, pathBytes) != audio.absolutePath)
        return std::nullopt;
    at += pathBytes;

    WaveformPeaks peaks;
    peaks.path = audio.absolutePath;
    peaks.bucketMs = static_cast<int>(bucketMs);
    peaks.durationMs = durationMs;
    peaks.complete = true;
    peaks.fromCache = true;
    for (std::vector<float>* values : {&peaks.min, &peaks.max}) {
        values->resize(static_cast<std::size_t>(count));
        for (float& value : *values)
            value = static_cast<float>(Get<qint16>(bytes, at)) / kScale;
    }
    return peaks;
}

std::optional<WaveformPeaks> WaveformCache::Find(const AudioFileIdentity& audio) const {
    QFile file(FileFor(audio.absolutePath));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxEntryBytes) return std::nullopt;
    std::optional<WaveformPeaks> peaks = Decode(file.readAll(), audio);
    // The modification time orders the entries by use; a folder that cannot be written keeps the old one.
    if (peaks) file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
    return peaks;
}

Result<void> WaveformCache::Store(const AudioFileIdentity& audio, const WaveformPeaks& peaks) const {
    if (!QDir().mkpath(folder_))
        return Failure{FailureCode::CannotWrite, QStringLiteral("cannot make the folder %1").arg(folder_)};
    const QString file = FileFor(audio.absolutePath);
    if (Result<void> written = WriteFileAtomically(file, Encode(audio, peaks)); !written.ok()) return written;
    Trim(file);
    return {};
}

void WaveformCache::Trim(const QString& keep) const {
    QDir folder(folder_);
    const QDateTime stale = QDateTime::currentDateTime().addSecs(-60);
    // Left by a write cut short by a crash; a younger one may be another copy's write in progress.
    for (const QFileInfo& temporary :
         folder.entryInfoList({QStringLiteral("*") + kSuffix + QStringLiteral(".tmp-*")}, QDir::Files)) {
        if (temporary.lastModified() < stale) folder.remove(temporary.fileName());
    }
    QFileInfoList entries = folder.entryInfoList({QStringLiteral("*") + kSuffix}, QDir::Files, QDir::Time);
    qint64 total = 0;
    for (const QFileInfo& entry : entries)
        total += entry.size();
    // Newest first: drop from the back.
    while (total > maxBytes_ && !entries.isEmpty()) {
        const QFileInfo oldest = entries.takeLast();
        if (oldest.absoluteFilePath() == QFileInfo(keep).absoluteFilePath()) continue;
        if (folder.remove(oldest.fileName())) total -= oldest.size();
    }
}

}  // namespace ostrelle
