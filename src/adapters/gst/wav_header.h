#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QtGlobal>

namespace ostrelle {

// What the device needs from a WAV file before it plays or keeps it.
struct WavHeader {
    int formatTag = 0;  // 1: PCM
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    qint64 byteRate = 0;
    qint64 dataBytes = 0;     // the sound data present in the file, whatever the chunk size claims
    bool sizesAgree = false;  // the RIFF and data sizes match the file: the writer finished the header

    qint64 LengthMs() const { return byteRate > 0 ? dataBytes * 1000 / byteRate : 0; }
};

// Reads the RIFF/WAVE header of the file at path. Returns an empty text on success, else a reason the
// learner can read (missing file, not a WAV file, no sound in it).
QString ReadWavHeader(const QString& path, WavHeader& header);
// The same from an open device, read from its start.
QString ReadWavHeader(QIODevice& file, WavHeader& header);

// The canonical 44-byte header of 16-bit PCM with dataBytes of sound, as written before the sound.
constexpr int kPcmWavHeaderBytes = 44;
QByteArray PcmWavHeader(int sampleRate, int channels, qint64 dataBytes);

}  // namespace ostrelle
