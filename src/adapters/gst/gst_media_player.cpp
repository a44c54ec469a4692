#include "adapters/gst/gst_media_player.h"

#include "adapters/gst/gst_support.h"
#include "adapters/gst/tempo_stretcher.h"
#include "core/formats/time_values.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <gst/gst.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace ostrelle {

namespace {

// playbin's GstPlayFlags: audio only, volume in software.
constexpr guint kPlayFlagAudio = 0x2;
constexpr guint kPlayFlagSoftVolume = 0x10;

// A file that neither opens nor fails within this time is reported as failed rather than loading forever.
constexpr int kOpenTimeoutMs = 10000;
// Output left running at a stop point is really paused after this long, so an abandoned run does not
// keep the audio device busy.
constexpr int kIdleAtStopPointMs = 20000;

gint64 ToClockTime(double seconds) {
    return std::llround(seconds * GST_SECOND);
}
double ToSeconds(gint64 time) {
    return static_cast<double>(time) / GST_SECOND;
}

// What the error means for the learner's file, in the learner's words. GStreamer's own text, in English
// and about its elements, goes to the log only.
QString ErrorMessageText(GstMessage* message) {
    const GErrorPtr error = ParseErrorMessage(message);
    if (error && error->message) qWarning("ostrelle: playing failed: %s", error->message);
    QString meaning = QString::fromUtf8("文件无法解码。");
    if (error && error->domain == GST_STREAM_ERROR) {
        switch (error->code) {
            case GST_STREAM_ERROR_TYPE_NOT_FOUND:
            case GST_STREAM_ERROR_WRONG_TYPE:
                meaning = QString::fromUtf8("这不是音频文件。");
                break;
            case GST_STREAM_ERROR_CODEC_NOT_FOUND:
                meaning = QString::fromUtf8("没有安装能播放这种文件的解码器。");
                break;
            default:
                meaning = QString::fromUtf8("文件已损坏或不完整。");
                break;
        }
    } else if (error && error->domain == GST_RESOURCE_ERROR) {
        meaning = QString::fromUtf8("无法读取这个文件。");
    }
    return meaning;
}

}  // namespace

struct GstMediaPlayer::Callbacks {
    // Runs on GStreamer's threads: hands the message to the UI thread and touches nothing else.
    static GstBusSyncReply BusSyncCallback(GstBus*, GstMessage* message, gpointer self) {
        auto* player = static_cast<GstMediaPlayer*>(self);
        const Generation posted{player->mediaGeneration_.load(), player->seekGeneration_.load()};
        // On GST_BUS_DROP the message is ours to release.
        std::shared_ptr<GstMessage> held(message, GstMessageUnref());
        QMetaObject::invokeMethod(
            &player->busContext_, [player, held, posted] { player->HandleMessage(held.get(), posted); },
            Qt::QueuedConnection);
        return GST_BUS_DROP;
    }
    static void ElementAddedCallback(GstBin*, GstBin*, GstElement* element, gpointer self) {
        GstElementFactory* factory = gst_element_get_factory(element);
        if (factory && IsWmaDecoder(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory))))
            static_cast<GstMediaPlayer*>(self)->wma_.Attach(element);
    }
};

GstMediaPlayer::GstMediaPlayer(AudioOutput output) {
    if (const Result<void> started = InitGstreamer(); !started.ok()) {
        media_ = Media::kFailed;
        errorText_ = started.failure().detail;
        return;
    }
    GstElement* sink = nullptr;
    if (output == AudioOutput::kSilentRealTime) {
        sink = gst_element_factory_make("fakesink", nullptr);
        if (sink) g_object_set(sink, "sync", TRUE, nullptr);
    } else {
        sink = desktopSink_ = gst_element_factory_make("autoaudiosink", nullptr);
    }
    Construct(sink);  // no sink at all: playbin picks one itself
}

GstMediaPlayer::GstMediaPlayer(GstElement* audioSink) {
    (void)InitGstreamer();  // the caller made audioSink, so GStreamer runs already
    Construct(audioSink);
}

void GstMediaPlayer::Construct(GstElement* audioSink) {
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    if (!playbin) {
        if (audioSink) gst_object_unref(gst_object_ref_sink(audioSink));
        media_ = Media::kFailed;
        errorText_ = QString::fromUtf8("没有安装 GStreamer 的 playbin 组件。");
        return;
    }
    playbin_.reset(GST_ELEMENT(gst_object_ref_sink(playbin)));
    g_object_set(playbin_.get(), "flags", kPlayFlagAudio | kPlayFlagSoftVolume, nullptr);
    // Upstream always plays at rate 1.0 and the stretcher changes the sound's speed, so seeks, the stop point
    // and positions all stay in media time. It goes right before the sink: playbin queues up to a second
    // after its audio filter, where a new speed would be heard that much later. Without a stretcher the
    // media plays at its own speed.
    GstElement* stretcher = nullptr;
    GstElement* stretcherBin = MakeTempoStretcherBin(&stretcher);
    stretcher_.reset(stretcher);
    if (audioSink) {
        // Restarts shift the running time after the stretcher, which makes its own from upstream's.
        sinkPad_.reset(gst_element_get_static_pad(audioSink, "sink"));
        GstElement* output = audioSink;
        if (stretcherBin) {
            output = gst_bin_new(nullptr);
            gst_bin_add_many(GST_BIN(output), stretcherBin, audioSink, nullptr);
            gst_element_link(stretcherBin, audioSink);
            const GstObjectPtr<GstPad> input(gst_element_get_static_pad(stretcherBin, "sink"));
            gst_element_add_pad(output, gst_ghost_pad_new("sink", input.get()));
        }
        g_object_set(playbin_.get(), "audio-sink", output, nullptr);
    } else if (stretcherBin) {
        g_object_set(playbin_.get(), "audio-filter", stretcherBin, nullptr);
    }
    SetVolume(volume_);
    SetRate(rate_);

    const GstObjectPtr<GstBus> bus(gst_element_get_bus(playbin_.get()));
    gst_bus_set_sync_handler(bus.get(), &Callbacks::BusSyncCallback, this, nullptr);
    g_signal_connect(playbin_.get(), "deep-element-added", G_CALLBACK(&Callbacks::ElementAddedCallback),
                     this);

    clock_.start();
    openTimeout_.setSingleShot(true);
    QObject::connect(&openTimeout_, &QTimer::timeout, &busContext_, [this] {
        if (media_ == Media::kOpening) Fail(QString::fromUtf8("文件打开超时。"));
    });
    reachPoll_.setInterval(5);
    QObject::connect(&reachPoll_, &QTimer::timeout, &busContext_, [this] { UpdateStopPointReached(); });
    idleTimeout_.setSingleShot(true);
    QObject::connect(&idleTimeout_, &QTimer::timeout, &busContext_, [this] {
        if (stop_.Idle()) LeaveIdleWithRealPause();
    });
}

GstMediaPlayer::~GstMediaPlayer() {
    wma_.Close();
    if (!playbin_) return;
    // NULL joins the streaming threads, so no callback runs after the handler is removed.
    gst_element_set_state(playbin_.get(), GST_STATE_NULL);
    const GstObjectPtr<GstBus> bus(gst_element_get_bus(playbin_.get()));
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    // Messages still queued to busContext_ are dropped with it.
}

void GstMediaPlayer::ResetMediaState() {
    openTimeout_.stop();
    reachPoll_.stop();
    idleTimeout_.stop();
    errorText_.clear();
    errorFromBus_ = false;
    duration_ = 0;
    wantPlaying_ = false;
    stopped_ = false;
    endedByItself_ = false;
    heldAtClockNs_.reset();
    stop_.Reset();
    deferredSeek_.reset();
    seekPending_ = false;
    restartPending_ = false;
    seekTarget_ = 0;
    lastPosition_ = 0;
}

void GstMediaPlayer::SetUrl(const QString& path) {
    ResetMediaState();
    wma_.Close();
    url_ = path;
    if (!playbin_) {
        Fail(QString::fromUtf8("没有安装 GStreamer 的 playbin 组件。"));
        return;
    }
    // READY, not NULL: the audio sink keeps its connection to the sound server (and autoaudiosink its
    // choice of device), so the new file's first sound waits for neither again.
    gst_element_set_state(playbin_.get(), GST_STATE_READY);
    if (sinkPad_) gst_pad_set_offset(sinkPad_.get(), 0);
    sinkOffset_ = 0;
    ++mediaGeneration_;  // messages of the previous file are stale from here on

    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists()) {
        Fail(QString::fromUtf8("找不到这个文件。"));
        return;
    }
    if (info.isDir()) {
        Fail(QString::fromUtf8("这是一个文件夹，不是音频文件。"));
        return;
    }
    if (!info.isReadable()) {
        Fail(QString::fromUtf8("没有读取这个文件的权限。"));
        return;
    }
    if (info.size() == 0) {
        Fail(QString::fromUtf8("文件是空的。"));
        return;
    }

    GError* rawError = nullptr;
    gchar* uri = gst_filename_to_uri(QFile::encodeName(info.absoluteFilePath()).constData(), &rawError);
    const GErrorPtr error(rawError);
    if (!uri) {
        Fail(QString::fromUtf8("文件名无法使用。"));
        return;
    }
    g_object_set(playbin_.get(), "uri", uri, nullptr);
    g_free(uri);
    wma_.Open(info.absoluteFilePath());

    media_ = Media::kOpening;
    wantPlaying_ = autoStart_;
    openTimeout_.start(kOpenTimeoutMs);
    if (gst_element_set_state(playbin_.get(), autoStart_ ? GST_STATE_PLAYING : GST_STATE_PAUSED) ==
        GST_STATE_CHANGE_FAILURE) {
        // The ERROR message that follows carries the reason and replaces this text.
        Fail(QString::fromUtf8("文件打不开。"));
    }
}

void GstMediaPlayer::Fail(const QString& reason) {
    media_ = Media::kFailed;
    errorText_ = reason;
    openTimeout_.stop();
    reachPoll_.stop();
    idleTimeout_.stop();
    duration_ = 0;
    wantPlaying_ = false;
    stop_.LeaveIdle();
    seekPending_ = false;
    restartPending_ = false;
    lastPosition_ = 0;
    if (playbin_) gst_element_set_state(playbin_.get(), GST_STATE_NULL);
}

void GstMediaPlayer::OnOpened() {
    media_ = Media::kOpen;
    openTimeout_.stop();
    CheckOutput();
    QueryDuration();
    if (!wantPlaying_) HoldOutput();
    if (deferredSeek_ || stop_.Requested()) {
        const double target = deferredSeek_.value_or(0);
        deferredSeek_.reset();
        Seek(target);
    }
}

void GstMediaPlayer::HandleMessage(GstMessage* message, Generation posted) {
    if (posted.media != mediaGeneration_.load() || media_ == Media::kNone) return;
    // The pipeline sums up its children's ASYNC_DONE, SEGMENT_DONE and EOS; those posted before the
    // latest seek belong to a segment that was flushed.
    const bool fromPipeline =
        GST_MESSAGE_SRC(message) == GST_OBJECT(playbin_.get()) && posted.seek == seekGeneration_.load();

    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR:
            if (errorFromBus_) return;  // GStreamer gives its most precise reason first
            errorFromBus_ = true;
            Fail(ErrorMessageText(message));
            break;
        case GST_MESSAGE_ASYNC_DONE:
            if (!fromPipeline) break;
            if (media_ == Media::kOpening) {
                OnOpened();
            } else if (media_ == Media::kOpen) {
                seekPending_ = false;
                if (duration_ <= 0) QueryDuration();
            }
            break;
        case GST_MESSAGE_DURATION_CHANGED:
            if (media_ == Media::kOpen || media_ == Media::kOpening) QueryDuration();
            break;
        case GST_MESSAGE_SEGMENT_DONE:
            if (fromPipeline && media_ == Media::kOpen && stop_.Active()) {
                stop_.SegmentDone();
                reachPoll_.start();
            }
            break;
        case GST_MESSAGE_EOS:
            if (fromPipeline && media_ == Media::kOpen) EndOfMedia(true);
            break;
        case GST_MESSAGE_WARNING:
            // The output says why it could not open a real device before it falls back.
            if (desktopSink_ && outputWarning_.isEmpty() &&
                gst_object_has_as_ancestor(GST_MESSAGE_SRC(message), GST_OBJECT(desktopSink_))) {
                GError* warning = nullptr;
                gst_message_parse_warning(message, &warning, nullptr);
                outputWarning_ = warning ? QString::fromUtf8(warning->message) : QString();
                g_clear_error(&warning);
            }
            break;
        case GST_MESSAGE_CLOCK_LOST:
            // The usual recovery: a new clock is chosen on the way back to PLAYING.
            if (media_ == Media::kOpen && wantPlaying_) {
                gst_element_set_state(playbin_.get(), GST_STATE_PAUSED);
                gst_element_set_state(playbin_.get(), GST_STATE_PLAYING);
            }
            break;
        default:
            break;
    }
}

void GstMediaPlayer::QueryDuration() {
    gint64 duration = 0;
    if (playbin_ && gst_element_query_duration(playbin_.get(), GST_FORMAT_TIME, &duration) && duration > 0)
        duration_ = ToSeconds(duration);
}

void GstMediaPlayer::EndOfMedia(bool byItself) {
    reachPoll_.stop();
    idleTimeout_.stop();
    stop_.LeaveIdle();
    stopped_ = true;
    endedByItself_ = byItself;
    wantPlaying_ = false;
    gst_element_set_state(playbin_.get(), GST_STATE_PAUSED);
    HoldOutput();
    Seek(0);
}

void GstMediaPlayer::Seek(double seconds) {
    reachPoll_.stop();
    idleTimeout_.stop();
    const SegmentSeek seek = stop_.PlanSeek(seconds);
    int flags = GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE;
    if (seek.stopSeconds) flags |= GST_SEEK_FLAG_SEGMENT;
    ++seekGeneration_;
    restartPending_ = false;
    if (sinkPad_ && sinkOffset_ != seek.sinkOffsetNs) {
        gst_pad_set_offset(sinkPad_.get(), seek.sinkOffsetNs);
        sinkOffset_ = seek.sinkOffsetNs;
    }
    const WmaRetimer::DemuxSeek demux = DemuxSeekFor(seconds, seek.stopSeconds);
    if (gst_element_seek(playbin_.get(), 1.0, GST_FORMAT_TIME, static_cast<GstSeekFlags>(flags),
                         GST_SEEK_TYPE_SET, ToClockTime(demux.startSeconds), GST_SEEK_TYPE_SET,
                         demux.stopSeconds ? ToClockTime(*demux.stopSeconds) : GST_CLOCK_TIME_NONE)) {
        seekPending_ = true;
        seekTarget_ = seconds;
        lastPosition_ = seconds;
    }
}

WmaRetimer::DemuxSeek GstMediaPlayer::DemuxSeekFor(double seconds, std::optional<double> stopSeconds) {
    if (!wma_.Ready()) return {seconds, stopSeconds};
    return wma_.Expect(seconds, stopSeconds);
}

bool GstMediaPlayer::RestartWithoutFlush(double seconds) {
    if (!sinkPad_) return false;
    const GstClockTime now = gst_element_get_current_running_time(playbin_.get());
    const std::optional<SegmentSeek> restart = stop_.PlanRestart(
        seconds, GST_CLOCK_TIME_IS_VALID(now) ? std::optional<std::uint64_t>(now) : std::nullopt,
        reachRunningTime_);
    if (!restart) return false;
    ++seekGeneration_;
    gst_pad_set_offset(sinkPad_.get(), sinkOffset_ + restart->sinkOffsetNs);
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_ACCURATE | GST_SEEK_FLAG_SEGMENT);
    const WmaRetimer::DemuxSeek demux = DemuxSeekFor(seconds, restart->stopSeconds);
    if (!gst_element_seek(playbin_.get(), 1.0, GST_FORMAT_TIME, flags, GST_SEEK_TYPE_SET,
                          ToClockTime(demux.startSeconds), GST_SEEK_TYPE_SET,
                          ToClockTime(*demux.stopSeconds))) {
        gst_pad_set_offset(sinkPad_.get(), sinkOffset_);
        return false;
    }
    sinkOffset_ += restart->sinkOffsetNs;
    stop_.Restarted();
    reachPoll_.stop();
    idleTimeout_.stop();
    restartPending_ = true;
    seekTarget_ = seconds;
    lastPosition_ = seconds;
    return true;
}

void GstMediaPlayer::Play() {
    if (media_ == Media::kNone || media_ == Media::kFailed) return;
    stopped_ = false;
    endedByItself_ = false;
    if (media_ == Media::kOpening) {
        wantPlaying_ = true;
        gst_element_set_state(playbin_.get(), GST_STATE_PLAYING);
        return;
    }
    UpdateStopPointReached();
    if (stop_.Idle()) {
        heldAtClockNs_.reset();  // the output kept running
        const double target = deferredSeek_.value_or(stop_.Active().value_or(0));
        if (stop_.Requested() && !stop_.Bounds(target)) return;  // nothing left before it
        deferredSeek_.reset();
        wantPlaying_ = true;
        if (!RestartWithoutFlush(target)) Seek(target);
        return;
    }
    wantPlaying_ = true;
    if (OutputClockRanWhileHeld()) {
        PlayOnAFreshOutputStream();
        return;
    }
    heldAtClockNs_.reset();
    gst_element_set_state(playbin_.get(), GST_STATE_PLAYING);
}

void GstMediaPlayer::Pause() {
    if (media_ == Media::kOpening) {
        wantPlaying_ = false;
        gst_element_set_state(playbin_.get(), GST_STATE_PAUSED);
        return;
    }
    if (media_ != Media::kOpen || stopped_) return;
    UpdateStopPointReached();
    // At the stop point nothing more is sent to the output, so it is left running: pausing and resuming
    // an audio server stream (cork/uncork) would clip the start of the next pass.
    if (stop_.Idle()) return;
    wantPlaying_ = false;
    gst_element_set_state(playbin_.get(), GST_STATE_PAUSED);
    HoldOutput();
}

void GstMediaPlayer::Stop() {
    if (media_ == Media::kOpening) {
        stopped_ = true;
        wantPlaying_ = false;
        deferredSeek_.reset();
        gst_element_set_state(playbin_.get(), GST_STATE_PAUSED);
        return;
    }
    if (media_ != Media::kOpen) return;
    deferredSeek_.reset();
    EndOfMedia(false);
}

void GstMediaPlayer::LeaveIdleWithRealPause() {
    const double target = deferredSeek_.value_or(stop_.Active().value_or(lastPosition_));
    deferredSeek_.reset();
    stop_.LeaveIdle();
    wantPlaying_ = false;
    gst_element_set_state(playbin_.get(), GST_STATE_PAUSED);
    HoldOutput();
    Seek(target);
}

// Polled while the tail of the segment plays, and before each command.
void GstMediaPlayer::UpdateStopPointReached() {
    if (!stop_.AwaitingOutput() || media_ != Media::kOpen) return;
    gint64 position = 0;
    if (!gst_element_query_position(playbin_.get(), GST_FORMAT_TIME, &position) || position < 0) return;
    switch (stop_.Track(ToSeconds(position), wantPlaying_, clock_.elapsed())) {
        case StopPointProgress::kReached: {
            reachPoll_.stop();
            restartPending_ = false;
            wantPlaying_ = false;
            lastPosition_ = *stop_.Active();
            const GstClockTime now = gst_element_get_current_running_time(playbin_.get());
            reachRunningTime_ = GST_CLOCK_TIME_IS_VALID(now) ? now : 0;
            idleTimeout_.start(kIdleAtStopPointMs);
            break;
        }
        case StopPointProgress::kMediaEnded:
            EndOfMedia(true);  // the media ended before the stop point
            break;
        case StopPointProgress::kDraining:
            break;
    }
}

double GstMediaPlayer::CurrentPosition() const {
    if (media_ == Media::kOpening) return deferredSeek_.value_or(0);
    if (media_ != Media::kOpen) return 0;
    if (stop_.Idle()) return deferredSeek_.value_or(*stop_.Active());
    // Between a flushing seek and ASYNC_DONE GStreamer has no position to give.
    if (seekPending_) return seekTarget_;
    gint64 position = 0;
    if (gst_element_query_position(playbin_.get(), GST_FORMAT_TIME, &position) && position >= 0) {
        const double seconds = ToSeconds(position);
        if (restartPending_) {
            if (stop_.StillInOldPass(seconds)) return seekTarget_;
            restartPending_ = false;
        }
        lastPosition_ = stop_.ReportedPosition(seconds, seekTarget_);
    }
    return lastPosition_;
}

void GstMediaPlayer::SetCurrentPosition(double seconds) {
    if (!std::isfinite(seconds)) return;
    // Not held to the length read so far: without a length header an MP3's is an estimate until the
    // whole file has been read. Past the real end the media simply ends.
    seconds = std::max(0.0, seconds);
    endedByItself_ = false;
    if (media_ == Media::kOpening) {
        deferredSeek_ = seconds;
        return;
    }
    if (media_ != Media::kOpen) return;
    UpdateStopPointReached();
    if (stop_.Idle()) {
        deferredSeek_ = seconds;  // sought at Play(), so the output stays idle meanwhile
        return;
    }
    Seek(seconds);
}

QString GstMediaPlayer::CurrentPositionString() const {
    return PositionText(CurrentPosition(), duration_);
}

int GstMediaPlayer::PlayState() const {
    switch (media_) {
        case Media::kNone:
            return kPlayStateUndefined;
        case Media::kFailed:
            return kPlayStateStopped;
        case Media::kOpening:
            return kPlayStateTransitioning;
        case Media::kOpen:
            break;
    }
    if (stopped_) return kPlayStateStopped;
    if (stop_.ReportsPaused(CurrentPosition())) return kPlayStatePaused;
    return wantPlaying_ ? kPlayStatePlaying : kPlayStatePaused;
}

void GstMediaPlayer::SetRate(double rate) {
    if (!std::isfinite(rate)) return;
    rate_ = std::clamp(rate, kMinRate, kMaxRate);
    // The stretcher takes it from its next input buffer on: no seek, so no gap and no jump.
    if (stretcher_) g_object_set(stretcher_.get(), "rate", rate_, nullptr);
}

double GstMediaPlayer::Rate() const {
    // Without the stretcher, or for a stream it cannot stretch (it could not be set up for its format),
    // the sound plays at the media's own speed whatever was asked.
    if (!stretcher_) return 1.0;
    gboolean stretchable = FALSE;
    g_object_get(stretcher_.get(), "stretchable", &stretchable, nullptr);
    return stretchable ? rate_ : 1.0;
}

void GstMediaPlayer::SetStopPoint(std::optional<double> seconds) {
    if (seconds && !std::isfinite(*seconds)) return;
    stop_.Set(seconds);
    if (media_ != Media::kOpen) return;  // applied once the media is open
    UpdateStopPointReached();
    if (stop_.Idle()) {
        // The run is over: a real pause where the next pass would have started.
        if (!seconds) LeaveIdleWithRealPause();
        return;  // a new stop point applies at Play()
    }
    if (seconds == stop_.Active()) return;
    const double position = CurrentPosition();
    if (!stop_.NeedsReseek(position)) return;  // already past it: it applies from the next seek on
    Seek(position);                            // the segment being played gets the new end
}

}  // namespace ostrelle
