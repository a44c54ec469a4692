#pragma once

#include "base/result.h"
#include "core/ports/duration_probe.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

// GStreamer's own typedef; repeating it keeps <gst/gst.h> out of this header.
typedef struct _GstDiscoverer GstDiscoverer;

namespace ostrelle {

// A file's duration in seconds, or why it could not be measured: Missing, NotAFile, CannotRead, Empty,
// NotAudio (no audio stream, or one whose length is unknown), TimedOut, or TooLarge (over kMaxScannedBytes
// and no header gives the length).
using ProbeResult = Result<double>;

// DurationProbe on GStreamer. MPEG audio and raw AAC files are measured by counting their frames (exact,
// and without GStreamer); other formats by GstDiscoverer from their headers. Synchronous: needs no event
// loop, and never opens a pipe or device, so it cannot block on one. Not thread-safe.
// Files are read, not mapped: one cut short by another program while it is measured gives the frames it
// still holds (or no length), never a crash.
class GstDurationProbe final : public DurationProbe {
public:
    // A file is read whole only to count its frames, and only up to this size; a larger one is measured
    // only when it is a container whose header gives the length (WAV, FLAC, WMA, ...), else it gets
    // TooLarge at once, without being read, rather than a length counted from part of it.
    static constexpr std::uint64_t kMaxScannedBytes = 512ull * 1024 * 1024;

    // timeout bounds the time GstDiscoverer may take over one file.
    explicit GstDurationProbe(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    ~GstDurationProbe() override;

    GstDurationProbe(const GstDurationProbe&) = delete;
    GstDurationProbe& operator=(const GstDurationProbe&) = delete;

    std::optional<double> ProbeSeconds(const QString& path) override {
        const ProbeResult probed = Probe(path);
        return probed.ok() ? std::optional<double>(probed.value()) : std::nullopt;
    }
    // The duration in seconds, or why there is none.
    ProbeResult Probe(const QString& path);
    void Cancel() override { cancelled_ = true; }

private:
    ProbeResult Discover(const QString& path);

    std::chrono::milliseconds timeout_;
    GstDiscoverer* discoverer_ = nullptr;  // made on first use: MP3-only lists never pay for it
    std::atomic<bool> cancelled_{false};
};

}  // namespace ostrelle
