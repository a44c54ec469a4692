#pragma once

#include "core/formats/waveform_cache.h"
#include "core/ports/waveform_source.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

namespace ostrelle {

// WaveformSource on GStreamer. Each load runs on a thread of its own: the file is decoded as fast as it
// goes (uridecodebin, so MP3, WMA and whatever else is installed; MP3 through mpg123, about twice as fast
// as libav's decoder) and mixed to mono on the fly. Whole-file peaks are kept in a WaveformCache in
// cacheFolder; they are written there before completion is reported, and a folder that cannot be
// written only means the next load decodes again. A range of an MP3 file is cut from it at a frame found
// by walking the frame headers (mp3_frame_span.h); other formats, and MP3 behind an Xing header, are
// reached with an accurate seek.
//
// Problems (Peaks().problem): the file's own failure when it cannot be identified, NotAudio (no decoder, a
// decoding error, or no progress for 15 s), NoSound (a whole file decoded to no samples; a range past the
// end of the audio is complete and empty). Peaks decoded before a decoding error stay.
//
// Constructing needs no running event loop; updates are delivered once the creating thread runs one.
// Stopped loads are abandoned, not waited for: their threads end by themselves within milliseconds and
// are collected by later loads, and the destructor waits for them.
class GstWaveformSource final : public WaveformSource {
public:
    explicit GstWaveformSource(QString cacheFolder, qint64 cacheMaxBytes = WaveformCache::kDefaultMaxBytes);
    ~GstWaveformSource() override;

    GstWaveformSource(const GstWaveformSource&) = delete;
    GstWaveformSource& operator=(const GstWaveformSource&) = delete;

    void Load(const QString& path) override;
    void LoadRange(const QString& path, qint64 startMs, qint64 endMs) override;
    void Cancel() override;

    const WaveformPeaks& Peaks() const override { return whole_.peaks; }
    const WaveformPeaks& RangePeaks() const override { return range_.peaks; }

private:
    struct Job;     // one load: its thread, its pipeline and what it has found so far
    struct Worker;  // what runs on the job's thread, defined beside the implementation
    struct View {
        WaveformPeaks peaks;       // what the UI thread has taken from job
        std::shared_ptr<Job> job;  // the load that feeds peaks, running or finished
    };

    void Start(View& view, const QString& path, qint64 startMs, qint64 endMs, int bucketMs);
    void Stop(View& view);
    void Take(const std::shared_ptr<Job>& job);
    void Post(const std::shared_ptr<Job>& job);
    void CollectFinished();

    QObject eventContext_;  // lives on the creating thread; the workers' news are queued to it
    const WaveformCache cache_;
    View whole_;
    View range_;
    std::vector<std::shared_ptr<Job>> stopped_;  // abandoned loads whose threads may still run
};

}  // namespace ostrelle
