#pragma once

#include "adapters/gst/clip_maker.h"
#include "core/ports/card_export.h"

namespace ostrelle {

// Flashcard clips by GStreamer: Ogg Vorbis, or MP3 for an out path ending in .mp3.
class GstClipCutter final : public ClipCutter {
public:
    Result<void> CutClip(const QString& lessonPath, double fromSeconds, double toSeconds,
                         const QString& outPath, const std::atomic<bool>* stop) override {
        const ClipFormat format = outPath.endsWith(QStringLiteral(".mp3"), Qt::CaseInsensitive)
                                      ? ClipFormat::Mp3
                                      : ClipFormat::OggVorbis;
        return MakeClip({.lessonPath = lessonPath,
                         .fromSeconds = fromSeconds,
                         .toSeconds = toSeconds,
                         .outPath = outPath,
                         .format = format},
                        stop);
    }
};

}  // namespace ostrelle
