#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace ostrelle {

// The bytes of an MP3 file that hold a stretch of its audio, found by walking the frame headers from the
// first frame, so the position is exact. GStreamer's fast seek in MP3 estimates the position from the bit
// rate (off by tens of milliseconds), and its accurate seek parses every frame from the start through its
// whole machinery (hundreds of milliseconds half an hour in).
struct Mp3FrameSpan {
    qint64 beginOffset = 0;  // the first byte of frame firstFrame
    qint64 endOffset = 0;    // past the last frame needed, or the end of the file
    qint64 firstFrame = 0;   // counted from the first frame of the file, which holds sample 0
    int samplesPerFrame = 0;
    int sampleRate = 0;

    // Where the span's first decoded sample lies in the file's audio.
    qint64 BeginNs() const { return firstFrame * samplesPerFrame * 1000000000ll / sampleRate; }
};

// The frames that hold [startMs, endMs), beginning leadFrames earlier (a frame after a cut decodes whole
// only once the frames before it have been decoded); the span ends early where tags end the file.
// Nothing for a file that does not begin, after its ID3v2 tags, with an unbroken run of frames of one
// stream up to endMs (or its end); for one whose first frame is an Xing/Info/VBRI header (decoders may
// trim the encoder delay it gives, moving every sample); for free-format streams; and for a start past
// the end.
std::optional<Mp3FrameSpan> FindMp3FrameSpan(const QString& path, qint64 startMs, qint64 endMs,
                                             int leadFrames);

}  // namespace ostrelle
