#pragma once

#include "adapters/gst/gst_support.h"
#include "adapters/gst/stop_point.h"
#include "adapters/gst/wma_retimer.h"
#include "core/ports/media_player.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <optional>

// GStreamer's own typedefs; repeating them keeps <gst/gst.h> out of this header.
typedef struct _GstClock GstClock;
typedef struct _GstElement GstElement;
typedef struct _GstMessage GstMessage;
typedef struct _GstPad GstPad;

namespace ostrelle {

// Where the player's sound goes.
enum class AudioOutput {
    kDesktop,         // the desktop's default output for the program
    kSilentRealTime,  // nothing audible, but played at real-time pace (tests)
};

// MediaPlayer on a GStreamer playbin (audio only). Bus messages are handled on the thread that created
// the player, through its Qt event loop; a newly set file also drops the stop point. At a reached stop
// point the audio output is left running until the next Play(), so repeated passes start unclipped.
class GstMediaPlayer final : public MediaPlayer {
public:
    explicit GstMediaPlayer(AudioOutput output = AudioOutput::kDesktop);
    // Plays into audioSink (for example a capture appsink); takes its floating reference.
    explicit GstMediaPlayer(GstElement* audioSink);
    ~GstMediaPlayer() override;

    GstMediaPlayer(const GstMediaPlayer&) = delete;
    GstMediaPlayer& operator=(const GstMediaPlayer&) = delete;

    void SetUrl(const QString& path) override;
    QString Url() const override { return url_; }

    void Play() override;
    void Pause() override;
    void Stop() override;

    double CurrentPosition() const override;
    void SetCurrentPosition(double seconds) override;
    QString CurrentPositionString() const override;
    double Duration() const override { return duration_; }
    int PlayState() const override;
    bool EndedByItself() const override { return endedByItself_; }

    void SetVolume(int volume) override;
    int Volume() const override { return volume_; }
    void SetAutoStart(bool autoStart) override { autoStart_ = autoStart; }

    void SetStopPoint(std::optional<double> seconds) override;
    void SetRate(double rate) override;
    double Rate() const override;

    // While a WMA file's packet times are measured, after it is set; seeks made meanwhile start up to a
    // frame and a half late.
    bool MeasuringPacketTimes() const { return wma_.Measuring(); }

    QString ErrorText() const override { return errorText_; }
    QString OutputProblem() const override { return outputProblem_; }

private:
    enum class Media { kNone, kOpening, kOpen, kFailed };

    void Construct(GstElement* audioSink);
    // Counters read when a message is posted, to tell stale messages from current ones.
    struct Generation {
        unsigned media;
        unsigned seek;
    };
    void HandleMessage(GstMessage* message, Generation posted);
    void OnOpened();
    void Fail(const QString& reason);
    void EndOfMedia(bool byItself);
    void Seek(double seconds);
    bool RestartWithoutFlush(double seconds);
    // Where the demuxer is sought for a pass; a WMA file's passes are sought a lead early.
    WmaRetimer::DemuxSeek DemuxSeekFor(double seconds, std::optional<double> stopSeconds);

    void UpdateStopPointReached();
    void LeaveIdleWithRealPause();
    // Notes the output's clock where the learner's wait at a pause (or at an open) begins.
    void HoldOutput();
    bool OutputClockRanWhileHeld() const;
    void PlayOnAFreshOutputStream();
    void QueryDuration();
    // Whether the desktop's output fell back to one that plays to nowhere.
    void CheckOutput();
    void ResetMediaState();

    struct Callbacks;  // GStreamer C callbacks, defined beside the implementation

    QObject busContext_;  // lives on the UI thread; bus messages are queued to it
    QTimer openTimeout_;
    QTimer reachPoll_;
    QTimer idleTimeout_;
    GstObjectPtr<GstElement> playbin_;
    GstObjectPtr<GstPad> sinkPad_;        // the audio sink's input, where restarts shift the running time
    GstObjectPtr<GstElement> stretcher_;  // the speed changer in playbin's audio filter; null without one
    std::int64_t sinkOffset_ = 0;         // ns added to the running time of everything the sink gets
    std::atomic<unsigned> mediaGeneration_{0};
    std::atomic<unsigned> seekGeneration_{0};

    // A WMA file's packet times, measured in the background, keep its passes where the learner hears them.
    WmaRetimer wma_;

    QString url_;
    QString errorText_;
    // The automatic output, when the desktop's is used (owned by playbin_), and the clock its real sink
    // provides, once known; with that clock's time when the learner's wait began.
    GstElement* desktopSink_ = nullptr;
    GstObjectPtr<GstClock> outputClock_;
    std::optional<std::uint64_t> heldAtClockNs_;
    QString outputWarning_;  // the output's own reason, when it gave one
    QString outputProblem_;
    bool errorFromBus_ = false;  // the first reason GStreamer gave is the one kept
    Media media_ = Media::kNone;
    bool autoStart_ = false;
    int volume_ = 100;
    double duration_ = 0;
    double rate_ = 1.0;

    bool wantPlaying_ = false;  // what the caller asked for: playing, or paused
    bool stopped_ = false;      // after Stop() or the end of the media, until Play()
    bool endedByItself_ = false;

    StopPoint stop_;
    std::uint64_t reachRunningTime_ = 0;  // pipeline running time when the output reached the stop point
    QElapsedTimer clock_;                 // started at construction; tells a stalled output

    std::optional<double> deferredSeek_;   // applied once the media is open, or at Play() when idle
    bool seekPending_ = false;             // a flushing seek awaits ASYNC_DONE
    mutable bool restartPending_ = false;  // a restart at the stop point awaits its new segment at the sink
    double seekTarget_ = 0;
    mutable double lastPosition_ = 0;
};

}  // namespace ostrelle
