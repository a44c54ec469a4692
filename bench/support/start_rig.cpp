#include "start_rig.h"

#include "support/generated_audio.h"

#include "adapters/sqlcipher/sqlcipher_playlist_store.h"
#include "core/formats/path_names.h"

#include <QAbstractItemModel>
#include <QFile>
#include <QTableView>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <mutex>

namespace ostrelle::bench {

MessageAnswer QuietDialogs::ShowMessage(const QString& text, const QString& /*title*/, MessageKind kind) {
    messages << text;
    return kind != MessageKind::Question ? MessageAnswer::Ok : MessageAnswer::No;
}
FileChoice QuietDialogs::OpenFile(const QString& /*filter*/, const QString& /*initialFileName*/) {
    return {};
}
FileChoice QuietDialogs::SaveFile(const QString& /*filter*/, const QString& /*initialFileName*/) {
    return {};
}
bool QuietDialogs::ReportProgress(const QString& /*label*/, int /*done*/, int /*total*/) {
    return true;
}

StartRig::StartRig(const QString& folder, GstElement* sink,
                   const std::vector<std::pair<QString, QString>>& listed) {
    const ProgramFolder where{folder, folder};
    {
        // The first-run introduction stays closed: the learner has run the program before.
        QFile ini(where.SettingsFile());
        if (ini.open(QIODevice::WriteOnly)) ini.write("[Fist]\r\nrun=1\r\n");
    }
    {
        OpenResult opened = OpenPlaylistStore(where.DatabaseFile());
        if (opened.ok()) {
            for (const auto& [path, length] : listed) {
                QueryResult row = opened.value()->RowFor(path);
                if (!row.ok()) continue;
                Recordset& rows = *row.value();
                if (rows.Eof()) rows.AddNew();
                rows.SetField(kFileNameField, FileNameOfPath(path).value_or(path));
                rows.SetField(kSavePathField, path);
                rows.SetField(kPlayTimeField, length);
                (void)rows.Update();
            }
        }
    }
    ProgramOptions options;
    options.audioSink = sink;
    program_ = std::make_unique<Program>(where, dialogs_, options);
    program_->Start();
}

StartRig::~StartRig() = default;

void StartRig::DoubleClick(int row) {
    QTableView* grid = program_->window().PlaylistGrid();
    Q_EMIT grid->doubleClicked(grid->model()->index(row, kFileNameColumn));
}

struct FirstSoundSink::State {
    std::mutex mutex;
    bool armed = false;
    std::optional<std::chrono::steady_clock::time_point> first;

    static GstFlowReturn NewSampleCallback(GstAppSink* sink, gpointer self) {
        const auto now = std::chrono::steady_clock::now();
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (sample) gst_sample_unref(sample);
        State* state = static_cast<std::shared_ptr<State>*>(self)->get();
        std::lock_guard lock(state->mutex);
        if (state->armed && !state->first) state->first = now;
        return GST_FLOW_OK;
    }
};

GstElement* FirstSoundSink::Make() {
    state_ = std::make_shared<State>();
    GstElement* bin =
        gst_parse_bin_from_description("audioconvert ! appsink name=capture sync=true", TRUE, nullptr);
    GstElement* appsink = gst_bin_get_by_name(GST_BIN(bin), "capture");
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &State::NewSampleCallback;
    // The state outlives the sink: the callbacks hold a reference of their own.
    auto* held = new std::shared_ptr<State>(state_);
    gst_app_sink_set_callbacks(GST_APP_SINK(appsink), &callbacks, held,
                               [](gpointer data) { delete static_cast<std::shared_ptr<State>*>(data); });
    gst_object_unref(appsink);
    return bin;
}

void FirstSoundSink::Arm() {
    std::lock_guard lock(state_->mutex);
    state_->armed = true;
    state_->first.reset();
}

std::optional<std::chrono::steady_clock::time_point> FirstSoundSink::FirstSound() const {
    std::lock_guard lock(state_->mutex);
    return state_->first;
}

namespace {

QString Encode(const QString& wave, const QString& encoder, double seconds, const QString& path);

}  // namespace

QString WriteTone(const QString& encoder, double toneSeconds, double seconds, const QString& path) {
    // MPEG audio frames stand alone: two encoded parts one after the other are one file.
    const QString silence = path + QStringLiteral(".silence");
    QString error = Encode(QStringLiteral("sine"), encoder, toneSeconds, path);
    if (error.isEmpty() && seconds > toneSeconds)
        error = Encode(QStringLiteral("silence"), encoder, seconds - toneSeconds, silence);
    if (!error.isEmpty() || seconds <= toneSeconds) return error;
    QFile tail(silence);
    QFile whole(path);
    if (!tail.open(QIODevice::ReadOnly) || !whole.open(QIODevice::Append))
        return QStringLiteral("cannot join");
    whole.write(tail.readAll());
    tail.remove();
    return {};
}

namespace {

QString Encode(const QString& wave, const QString& encoder, double seconds, const QString& path) {
    const int buffers = static_cast<int>(seconds * 100);
    const QString description =
        QStringLiteral(
            "audiotestsrc wave=%1 freq=440 volume=0.5 samplesperbuffer=441 num-buffers=%2 ! "
            "audio/x-raw,format=S16LE,rate=44100,channels=2 ! audioconvert ! %3 ! filesink name=out")
            .arg(wave)
            .arg(buffers)
            .arg(encoder);
    // Three hours of audio take a while to encode.
    return testing::WriteAudioFile(description, path, 300);
}

}  // namespace

}  // namespace ostrelle::bench
