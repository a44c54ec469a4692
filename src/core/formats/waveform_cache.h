#pragma once

#include "base/result.h"
#include "core/ports/waveform_source.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace ostrelle {

// What tells one state of an audio file from another: a cache entry is valid only for the same three.
struct AudioFileIdentity {
    QString absolutePath;
    qint64 sizeBytes = 0;
    qint64 modifiedMs = 0;  // since the epoch
};

// The audio file's identity, or why it has none: Missing, NotAFile (a folder, pipe or device) or Empty.
Result<AudioFileIdentity> IdentifyAudioFile(const QString& path);

// Waveform peaks of whole files kept on disk: one file per audio file in one folder, named after a hash of
// the audio file's path and holding its size and modification time, so a changed file is decoded again.
// Peaks are stored as 16-bit values with a checksum; a file that is truncated, corrupt or for another
// state of the audio file is ignored (and later replaced). Every write is atomic. The folder is kept
// under maxBytes by deleting the least recently used files first. Safe to use from several threads and
// several running copies of the program at once: each call stands alone.
class WaveformCache {
public:
    static constexpr qint64 kDefaultMaxBytes = 64ll * 1024 * 1024;

    explicit WaveformCache(QString folder, qint64 maxBytes = kDefaultMaxBytes);

    // The stored peaks (complete, fromCache) of that state of the file, or nothing. A hit counts as a use.
    std::optional<WaveformPeaks> Find(const AudioFileIdentity& audio) const;
    // Stores complete whole-file peaks, creating the folder when needed, then trims the folder.
    Result<void> Store(const AudioFileIdentity& audio, const WaveformPeaks& peaks) const;

    QString FileFor(const QString& absolutePath) const;

    // The stored form, and back; nothing for bytes that are not a valid entry for audio.
    static QByteArray Encode(const AudioFileIdentity& audio, const WaveformPeaks& peaks);
    static std::optional<WaveformPeaks> Decode(const QByteArray& bytes, const AudioFileIdentity& audio);

private:
    void Trim(const QString& keep) const;

    QString folder_;
    qint64 maxBytes_;
};

}  // namespace ostrelle
