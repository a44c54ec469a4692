// Importing a list of 1,000 short files (MP3 CBR, VBR without and with an Xing header, WMA) through
// LoadM3uList with the real probe (on its measuring thread) and the real store, against one process of a
// media tool per file on the same files; then the grid fill of a 10,000-row table; then a 3-hour MP3
// double-clicked in the whole program while a 1 ms heartbeat timer runs on the UI thread. The last three
// lines are the summary.
#include "adapters/gst/background_duration_meter.h"
#include "adapters/gst/gst_duration_probe.h"
#include "adapters/sqlcipher/sqlcipher_playlist_store.h"
#include "core/formats/time_values.h"
#include "core/model/grid_model.h"
#include "core/operations/controller.h"
#include "support/start_rig.h"
#include "support/timing.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <gst/gst.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

using namespace ostrelle;

namespace {

constexpr int kFiles = 1000;
constexpr int kDistinctFiles = 40;
constexpr int kRate = 44100;
constexpr int kSamplesPerUnit = 441;  // 10 ms: lengths and offsets are whole units, so exact
constexpr int kImportRuns = 3;
constexpr int kGridRows = 10000;
constexpr int kGridRuns = 5;
// The baseline runs on every file unless that would take the whole run past three minutes.
constexpr int kBaselineSampleStep = 5;
constexpr double kRunBudgetSeconds = 170;

struct Kind {
    const char* name;
    const char* encoder;
    const char* suffix;
};

constexpr std::array<Kind, 4> kKinds = {{
    {"mp3-cbr", "lamemp3enc target=bitrate cbr=true bitrate=128", "mp3"},
    {"mp3-vbr", "lamemp3enc target=quality quality=4", "mp3"},
    {"mp3-xing", "lamemp3enc target=quality quality=4 ! xingmux", "mp3"},
    // avenc_wmav2 fails on mono; the caps ahead of it are stereo.
    {"wma", "avenc_wmav2 ! avmux_asf", "wma"},
}};

struct AudioFile {
    QString path;
    int kind = 0;
    double trueSeconds = 0;  // samples generated / rate
};

using bench::Median;
using bench::Ms;
using bench::TimeMs;

[[noreturn]] void Fail(const char* what, const QString& detail = {}) {
    std::fprintf(stderr, "playlist_import_bench: %s %s\n", what, detail.toUtf8().constData());
    std::exit(1);
}

void Print(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// The adapters the import does not use: a player that does nothing, dialogs that show nothing and never
// cancel (a message counts as a failure of the run), a recorder device that does nothing.
class IdlePlayer final : public MediaPlayer {
public:
    void SetUrl(const QString& path) override { url_ = path; }
    QString Url() const override { return url_; }
    void Play() override {}
    void Pause() override {}
    void Stop() override {}
    double CurrentPosition() const override { return 0; }
    void SetCurrentPosition(double /*seconds*/) override {}
    QString CurrentPositionString() const override { return PositionText(0, 0); }
    double Duration() const override { return 0; }
    int PlayState() const override { return kPlayStateStopped; }
    bool EndedByItself() const override { return false; }
    void SetVolume(int volume) override { volume_ = volume; }
    int Volume() const override { return volume_; }
    void SetAutoStart(bool /*autoStart*/) override {}
    void SetStopPoint(std::optional<double> /*seconds*/) override {}
    void SetRate(double /*rate*/) override {}
    double Rate() const override { return 1.0; }
    QString ErrorText() const override { return {}; }
    QString OutputProblem() const override { return {}; }

private:
    QString url_;
    int volume_ = 50;
};

class QuietDialogs final : public Dialogs {
public:
    MessageAnswer ShowMessage(const QString& text, const QString& /*title*/, MessageKind kind) override {
        messages << text;
        return kind != MessageKind::Question ? MessageAnswer::Ok : MessageAnswer::No;
    }
    FileChoice OpenFile(const QString& /*filter*/, const QString& /*initialFileName*/) override { return {}; }
    FileChoice SaveFile(const QString& /*filter*/, const QString& /*initialFileName*/) override { return {}; }
    int Choose(const QString& /*text*/, const std::vector<QString>& /*options*/) override { return -1; }
    bool ReportProgress(const QString& /*label*/, int /*done*/, int /*total*/) override { return true; }

    QStringList messages;
};

class IdleWaveDevice final : public WaveDevice {
public:
    Result<void> Open(const QString& path) override {
        fileName_ = path;
        return {};
    }
    QString FileName() const override { return fileName_; }
    Result<void> OpenInput() override { return {}; }
    void CloseInput() override {}
    Result<void> StartRecording() override { return {}; }
    Result<void> Save() override { return {}; }
    Result<void> Play() override { return {}; }
    Result<void> Stop() override { return {}; }
    void Close() override {}
    qint64 LengthMs() const override { return 0; }
    qint64 PositionMs() const override { return 0; }

private:
    QString fileName_;
};

// The real probe, keeping what it measured during the import, by file name, for the error against the
// true length. Runs on the measuring thread; measured is read once the import has taken every result.
class RecordingProbe final : public DurationProbe {
public:
    explicit RecordingProbe(QHash<QString, double>& measured) : measured_(measured) {}
    std::optional<double> ProbeSeconds(const QString& path) override {
        const std::optional<double> seconds = probe_.ProbeSeconds(path);
        if (seconds) measured_.insert(QFileInfo(path).fileName(), *seconds);
        return seconds;
    }

private:
    GstDurationProbe probe_;
    QHash<QString, double>& measured_;
};

// Runs a pipeline description whose sink is "filesink name=out" into path, to its end.
void WriteAudio(const QString& description, const QString& path) {
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.toUtf8().constData(), &error);
    if (error) Fail("pipeline", QString::fromUtf8(error->message) + QStringLiteral(": ") + description);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    if (!sink) Fail("pipeline has no sink named out");
    g_object_set(sink, "location", QFile::encodeName(path).constData(), nullptr);
    gst_object_unref(sink);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, 60 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (!message) Fail("pipeline timed out", description);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        gst_message_parse_error(message, &error, nullptr);
        Fail("pipeline failed", QString::fromUtf8(error->message) + QStringLiteral(": ") + description);
    }
    gst_message_unref(message);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
}

// File index: its kind, its length (1.00 to 4.00 s, all different) and its sound: a steady tone, ticks
// (loud and silent frames in turn) or silence then noise, so that VBR frames vary along the file.
AudioFile GenerateFile(int index, const QString& folder) {
    const int kind = index % static_cast<int>(kKinds.size());
    const int units = 100 + (index * 37) % 301;
    const QString caps = QStringLiteral("audio/x-raw,format=S16LE,rate=%1,channels=2").arg(kRate);
    const QString tail = QStringLiteral("audioconvert ! %1 ! filesink name=out")
                             .arg(QString::fromLatin1(kKinds[kind].encoder));
    QString description;
    switch ((index / kKinds.size()) % 3) {
        case 0:
            description = QStringLiteral(
                              "audiotestsrc wave=sine freq=%1 volume=0.4 num-buffers=%2 "
                              "samplesperbuffer=%3 ! %4 ! %5")
                              .arg(220 + 20 * index)
                              .arg(units)
                              .arg(kSamplesPerUnit)
                              .arg(caps, tail);
            break;
        case 1:
            description = QStringLiteral(
                              "audiotestsrc wave=ticks tick-interval=300000000 num-buffers=%1 "
                              "samplesperbuffer=%2 ! %3 ! %4")
                              .arg(units)
                              .arg(kSamplesPerUnit)
                              .arg(caps, tail);
            break;
        default: {
            const int silentUnits = units * 2 / 5;
            description = QStringLiteral(
                              "audiomixer name=mix ! %1  audiotestsrc wave=silence num-buffers=%2 "
                              "samplesperbuffer=%3 ! %4 ! mix.  audiotestsrc wave=pink-noise "
                              "volume=0.3 num-buffers=%5 samplesperbuffer=%3 timestamp-offset=%6 "
                              "! %4 ! mix.")
                              .arg(tail)
                              .arg(units)
                              .arg(kSamplesPerUnit)
                              .arg(caps)
                              .arg(units - silentUnits)
                              .arg(static_cast<qint64>(silentUnits) * 10 * GST_MSECOND);
            break;
        }
    }
    const QString path = QDir(folder).filePath(QStringLiteral("source-%1.%2")
                                                   .arg(index, 2, 10, QLatin1Char('0'))
                                                   .arg(QString::fromLatin1(kKinds[kind].suffix)));
    WriteAudio(description, path);
    return {path, kind, static_cast<double>(units) * kSamplesPerUnit / kRate};
}

// "mp3-cbr 1.2, mp3-vbr 3.4, ..."
QString KindFigures(const std::vector<double>& valueByKind, int decimals = 1) {
    QStringList parts;
    for (size_t k = 0; k < kKinds.size(); ++k)
        parts << QStringLiteral("%1 %2")
                     .arg(QString::fromLatin1(kKinds[k].name))
                     .arg(valueByKind[k], 0, 'f', decimals);
    return parts.join(QStringLiteral(", "));
}

std::unique_ptr<SqlCipherPlaylistStore> OpenWithPassphrase(const QString& path, double& openMs) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) Fail("cannot make", path);
    std::optional<OpenResult> opened;
    openMs = TimeMs([&] { opened.emplace(OpenPlaylistStore(path)); });
    if (!opened->ok()) Fail("open database", FailureMessage(opened->failure()));
    return std::move(opened->value());
}

int TableRows(SqlCipherPlaylistStore& db) {
    QueryResult result = db.AllRows();
    if (!result.value()) Fail("count rows", FailureMessage(result.failure()));
    return result.value()->RecordCount();
}

struct ImportRun {
    double ms = 0;
    double openMs = 0;
    QHash<QString, double> measured;
};

// One import into a new, empty database, with a new probe and controller, as a learner's first import.
ImportRun RunImport(const QString& listPath, const QString& dbPath, const QString& folder) {
    ImportRun run;
    std::unique_ptr<SqlCipherPlaylistStore> db = OpenWithPassphrase(dbPath, run.openMs);
    QHash<QString, double> measured;
    BackgroundDurationMeter meter([&] { return std::make_unique<RecordingProbe>(measured); });
    IdlePlayer player;
    QuietDialogs dialogs;
    IdleWaveDevice device;
    Controller app({player, dialogs, meter, device, db.get(), db.get()}, {folder, folder});
    SetupPlaylistGrid(app.window().playlistGrid);

    run.ms = TimeMs([&] { app.playlistFiles().LoadM3uList(listPath); });

    if (!dialogs.messages.isEmpty()) Fail("the import showed a message:", dialogs.messages.first());
    if (const int rows = TableRows(*db); rows != kFiles)
        Fail("table rows after import:", QString::number(rows));
    if (const int listed = app.playlist().CountPlaylistRows(); listed != kFiles)
        Fail("grid rows after import:", QString::number(listed));
    if (measured.size() != kFiles) Fail("files measured:", QString::number(measured.size()));
    run.measured = measured;
    return run;
}

struct BaselineTool {
    QString program;
    QString name;
    QStringList arguments;  // the file's path follows
    std::function<std::optional<double>(const QByteArray&)> parseSeconds;
};

std::optional<double> ParseFfprobe(const QByteArray& output) {
    bool ok = false;
    const double seconds = output.trimmed().toDouble(&ok);
    return ok ? std::optional<double>(seconds) : std::nullopt;
}

// "  Duration: 0:00:03.011511722"
std::optional<double> ParseDiscoverer(const QByteArray& output) {
    const qsizetype at = output.indexOf("Duration: ");
    if (at < 0) return std::nullopt;
    const QList<QByteArray> parts =
        output.mid(at + 10, output.indexOf('\n', at) - at - 10).trimmed().split(':');
    if (parts.size() != 3) return std::nullopt;
    bool okHours = false, okMinutes = false, okSeconds = false;
    const double seconds =
        parts[0].toInt(&okHours) * 3600.0 + parts[1].toInt(&okMinutes) * 60.0 + parts[2].toDouble(&okSeconds);
    return okHours && okMinutes && okSeconds ? std::optional<double>(seconds) : std::nullopt;
}

std::optional<BaselineTool> FindBaselineTool() {
    if (const QString ffprobe = QStandardPaths::findExecutable(QStringLiteral("ffprobe")); !ffprobe.isEmpty())
        return BaselineTool{ffprobe,
                            QStringLiteral("ffprobe"),
                            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                             QStringLiteral("format=duration"), QStringLiteral("-of"),
                             QStringLiteral("default=noprint_wrappers=1:nokey=1")},
                            ParseFfprobe};
    if (const QString discoverer = QStandardPaths::findExecutable(QStringLiteral("gst-discoverer-1.0"));
        !discoverer.isEmpty())
        return BaselineTool{
            discoverer, QStringLiteral("gst-discoverer-1.0 (ffprobe is not installed)"), {}, ParseDiscoverer};
    return std::nullopt;
}

std::optional<double> RunTool(const BaselineTool& tool, const QString& path) {
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(tool.program, tool.arguments + QStringList{path});
    if (!process.waitForFinished(60000)) Fail("baseline tool did not finish on", path);
    return tool.parseSeconds(process.readAllStandardOutput());
}

constexpr double kLongFileHours = 3;
constexpr double kLongPieceSeconds = 60;

// A 3-hour CBR MP3 (128 kbit/s, no Xing header) made of one encoded minute repeated: MPEG audio frames
// stand alone, so the copies are one stream.
QString WriteLongMp3(const QString& folder) {
    const QString piece = QDir(folder).filePath(QStringLiteral("piece.mp3"));
    if (const QString error =
            bench::WriteTone(QStringLiteral("lamemp3enc target=bitrate bitrate=128 cbr=true"),
                             kLongPieceSeconds, kLongPieceSeconds, piece);
        !error.isEmpty())
        Fail("long file:", error);
    QFile pieceFile(piece);
    if (!pieceFile.open(QIODevice::ReadOnly)) Fail("read", piece);
    const QByteArray bytes = pieceFile.readAll();
    const QString path = QDir(folder).filePath(QString::fromUtf8("有声书 three hours.mp3"));
    QFile whole(path);
    if (!whole.open(QIODevice::WriteOnly)) Fail("write", path);
    for (int i = 0; i < kLongFileHours * 3600 / kLongPieceSeconds; ++i)
        if (whole.write(bytes) != bytes.size()) Fail("write", path);
    return path;
}

struct UiStall {
    double fileMb = 0;
    double openToPlayingMs = 0;
    double maxStallMs = 0;
};

// The long file, listed with its length as an earlier run left it, double-clicked in the whole program
// (playing into a capture sink) while a 1 ms timer beats on the UI thread: until the file plays, and on
// until its exact length is measured and its row written.
UiStall MeasureUiStall(const QString& folder) {
    const QString rigFolder = QDir(folder).filePath(QStringLiteral("ui-stall"));
    if (!QDir().mkpath(rigFolder)) Fail("cannot make", rigFolder);
    const QString path = WriteLongMp3(rigFolder);
    UiStall stall;
    stall.fileMb = static_cast<double>(QFileInfo(path).size()) / 1e6;

    // Baseline: what measuring it on the UI thread took before.
    double syncProbeMs = 0;
    std::optional<double> syncSeconds;
    syncProbeMs = TimeMs([&] { syncSeconds = GstDurationProbe().ProbeSeconds(path); });

    bench::FirstSoundSink capture;
    bench::StartRig rig(rigFolder, capture.Make(), {{path, QStringLiteral("3:00:00")}});
    MediaPlayer& player = rig.program().player();
    bench::RunEventsUntil([&] { return player.PlayState() == kPlayStatePaused; }, 10000);

    using Clock = std::chrono::steady_clock;
    Clock::time_point lastBeat = Clock::now();
    double maxGapMs = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        maxGapMs = std::max(maxGapMs, Ms(now - lastBeat));
        lastBeat = now;
    });
    heartbeat.start(1);
    bench::RunEventsUntil([] { return false; }, 200);

    capture.Arm();
    maxGapMs = 0;
    const Clock::time_point start = Clock::now();
    rig.DoubleClick(1);
    const Window& window = rig.program().app().window();
    const bool played = bench::RunEventsUntil([&] { return capture.FirstSound().has_value(); }, 10000);
    const bool listed = bench::RunEventsUntil([&] { return !window.listingTimer.Running(); }, 20000);
    const double listedMs = Ms(Clock::now() - start);
    heartbeat.stop();
    if (!played) Fail("the long file did not play:", player.ErrorText());
    if (!listed) Fail("the long file was not listed within 20 s");
    stall.openToPlayingMs = Ms(*capture.FirstSound() - start);
    stall.maxStallMs = maxGapMs;
    Print(
        QStringLiteral("ui-stall: %1 MB, %2 h CBR MP3 listed as 3:00:00; double-click to first sound %3 ms; "
                       "its row written with the measured length (%4) %5 ms after the double-click; "
                       "longest gap of a 1 ms heartbeat on the UI thread meanwhile %6 ms")
            .arg(stall.fileMb, 0, 'f', 1)
            .arg(kLongFileHours, 0, 'f', 0)
            .arg(stall.openToPlayingMs, 0, 'f', 0)
            .arg(window.playlistGrid.CellText(1, kDurationColumn))
            .arg(listedMs, 0, 'f', 0)
            .arg(stall.maxStallMs, 0, 'f', 1));
    Print(QStringLiteral("ui-stall baseline: measuring it on the UI thread, as each start did before, blocks "
                         "it for %1 ms (%2 s measured)")
              .arg(syncProbeMs, 0, 'f', 0)
              .arg(syncSeconds.value_or(0), 0, 'f', 3));
    if (!rig.dialogsShown().isEmpty()) Fail("the start showed a message:", rig.dialogsShown().first());
    return stall;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QElapsedTimer wholeRun;
    wholeRun.start();
    gst_init(nullptr, nullptr);

    QTemporaryDir dir;
    if (!dir.isValid()) Fail("no temporary folder");
    const QString sourceFolder = dir.filePath(QStringLiteral("sources"));
    const QString audioFolder = dir.filePath(QStringLiteral("lessons"));
    if (!QDir().mkpath(sourceFolder) || !QDir().mkpath(audioFolder)) Fail("cannot make folders");

    // Files: a few dozen distinct ones, copied to 1,000 names so the probe and store see 1,000 paths.
    std::vector<AudioFile> sources;
    const double generateMs = TimeMs([&] {
        for (int i = 0; i < kDistinctFiles; ++i)
            sources.push_back(GenerateFile(i, sourceFolder));
    });
    std::vector<AudioFile> files;
    qint64 totalBytes = 0;
    QByteArray list = "#EXTM3U\r\n";
    for (int i = 0; i < kFiles; ++i) {
        const AudioFile& source = sources[i % kDistinctFiles];
        const QString name = QStringLiteral("lesson-%1.%2")
                                 .arg(i + 1, 4, 10, QLatin1Char('0'))
                                 .arg(QString::fromLatin1(kKinds[source.kind].suffix));
        const QString path = QDir(audioFolder).filePath(name);
        if (!QFile::copy(source.path, path)) Fail("copy to", path);
        totalBytes += QFileInfo(path).size();
        files.push_back({path, source.kind, source.trueSeconds});
        list += "lessons/" + name.toUtf8() + "\r\n";
    }
    const QString listPath = dir.filePath(QStringLiteral("lessons.m3u"));
    {
        QFile listFile(listPath);
        if (!listFile.open(QIODevice::WriteOnly) || listFile.write(list) != list.size())
            Fail("write", listPath);
    }
    Print(QStringLiteral("files: %1 distinct (%2 per kind: %3; 1.00-4.00 s, 44.1 kHz stereo; tone, ticks, "
                         "silence then noise) generated in %4 s, copied to %5 names, %6 MB")
              .arg(kDistinctFiles)
              .arg(kDistinctFiles / static_cast<int>(kKinds.size()))
              .arg(QStringLiteral("mp3-cbr, mp3-vbr without Xing, mp3 with Xing, wma"))
              .arg(generateMs / 1000, 0, 'f', 1)
              .arg(kFiles)
              .arg(static_cast<double>(totalBytes) / 1e6, 0, 'f', 1));

    // Ours: LoadM3uList with the real probe and store, each run into a new database.
    std::vector<double> importMs, openMs;
    QHash<QString, double> measured;
    for (int run = 0; run < kImportRuns; ++run) {
        const ImportRun result =
            RunImport(listPath, dir.filePath(QStringLiteral("run-%1/quillan.mdb").arg(run + 1)), dir.path());
        importMs.push_back(result.ms);
        openMs.push_back(result.openMs);
        if (run == 0) measured = result.measured;
    }
    const double oursMs = Median(importMs);
    std::vector<double> oursErrorByKind(kKinds.size(), 0.0);
    for (const AudioFile& file : files) {
        const double errorMs =
            std::abs(measured.value(QFileInfo(file.path).fileName()) - file.trueSeconds) * 1000;
        oursErrorByKind[file.kind] = std::max(oursErrorByKind[file.kind], errorMs);
    }
    const double oursMaxErrorMs = *std::max_element(oursErrorByKind.begin(), oursErrorByKind.end());
    QStringList runTexts;
    for (const double ms : importMs)
        runTexts << QString::number(ms, 'f', 1);
    Print(QStringLiteral(
              "ours: LoadM3uList with GstDurationProbe and SqlCipherPlaylistStore (%1 rows stored), median "
              "of %2 runs, each into a new database: %3 ms (runs %4), %5 ms per file")
              .arg(kFiles)
              .arg(kImportRuns)
              .arg(oursMs, 0, 'f', 1)
              .arg(runTexts.join(QStringLiteral(", ")))
              .arg(oursMs / kFiles, 0, 'f', 2));
    Print(
        QStringLiteral("ours: database opened with the passphrase before each run in %1 ms (key derivation, "
                       "not in ms)")
            .arg(Median(openMs), 0, 'f', 1));
    Print(
        QStringLiteral("ours: max error vs true length by kind (ms): %1").arg(KindFigures(oursErrorByKind)));

    // What the error is made of: the encoders' delay and padding are frames in the file, and are played.
    // Each distinct file decoded to the end gives the length that plays.
    std::vector<double> decodedSeconds;
    std::vector<double> paddingMsByKind(kKinds.size(), 0.0);
    for (const AudioFile& source : sources) {
        const QString raw = source.path + QStringLiteral(".raw");
        WriteAudio(QStringLiteral("filesrc location=\"%1\" ! decodebin ! audioconvert ! audioresample ! "
                                  "audio/x-raw,format=S16LE,channels=2,rate=%2 ! filesink name=out")
                       .arg(source.path)
                       .arg(kRate),
                   raw);
        decodedSeconds.push_back(static_cast<double>(QFileInfo(raw).size()) / 4 / kRate);
        QFile::remove(raw);
        paddingMsByKind[source.kind] =
            std::max(paddingMsByKind[source.kind], (decodedSeconds.back() - source.trueSeconds) * 1000);
    }
    std::vector<double> decodedErrorByKind(kKinds.size(), 0.0);
    for (int i = 0; i < kFiles; ++i) {
        const AudioFile& file = files[i];
        const double errorMs =
            std::abs(measured.value(QFileInfo(file.path).fileName()) - decodedSeconds[i % kDistinctFiles]) *
            1000;
        decodedErrorByKind[file.kind] = std::max(decodedErrorByKind[file.kind], errorMs);
    }
    Print(QStringLiteral(
              "ours: max error vs the decoded length (what plays) by kind (ms): %1; decoded files are "
              "longer than the samples generated, by up to (ms): %2")
              .arg(KindFigures(decodedErrorByKind), KindFigures(paddingMsByKind)));

    std::vector<double> probeMsByKind(kKinds.size(), 0.0);
    {
        GstDurationProbe probe;
        for (const AudioFile& file : files) {
            probeMsByKind[file.kind] += TimeMs([&] {
                if (!probe.ProbeSeconds(file.path)) Fail("probe alone failed on", file.path);
            });
        }
    }
    for (double& ms : probeMsByKind)
        ms /= kFiles / static_cast<double>(kKinds.size());
    Print(QStringLiteral("ours: GstDurationProbe alone, one more pass, per file by kind (ms): %1")
              .arg(KindFigures(probeMsByKind, 3)));

    // The grid fill of a long-used list: the rows go in as one INSERT (setup), then the fill is timed.
    double gridOpenMs = 0;
    std::unique_ptr<SqlCipherPlaylistStore> gridDb =
        OpenWithPassphrase(dir.filePath(QStringLiteral("grid/quillan.mdb")), gridOpenMs);
    // Concatenated, not arg(): printf's own "%05d" would be taken for a place marker.
    const QString fill =
        QStringLiteral(
            "INSERT INTO playlist (filename, savepath, playtime) "
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ") +
        QString::number(kGridRows) +
        QStringLiteral(
            ") SELECT printf('Lesson %05d - Excuse me.mp3', i), "
            "printf('/home/learner/新概念英语/Book %d/Lesson %05d - Excuse me.mp3', i % 4 + 1, i), "
            "printf('%d:%02d', i % 60, (i * 7) % 60) FROM n");
    if (const QueryResult filled = gridDb->Execute(fill); !filled.ok())
        Fail("fill table", FailureMessage(filled.failure()));
    std::vector<double> gridMs;
    {
        IdlePlayer player;
        QuietDialogs dialogs;
        BackgroundDurationMeter meter;
        IdleWaveDevice device;
        Controller app({player, dialogs, meter, device, gridDb.get(), gridDb.get()},
                       {dir.path(), dir.path()});
        for (int run = 0; run < kGridRuns; ++run) {
            SetupPlaylistGrid(app.window().playlistGrid);  // as the window's load leaves it
            gridMs.push_back(TimeMs([&] { app.playlist().LoadPlaylistGrid(); }));
            if (const int rows = app.playlist().CountPlaylistRows(); rows != kGridRows)
                Fail("grid rows after fill:", QString::number(rows));
        }
    }
    QStringList gridTexts;
    for (const double ms : gridMs)
        gridTexts << QString::number(ms, 'f', 1);
    Print(QStringLiteral("grid: LoadPlaylistGrid on %1 rows in a table keyed by the passphrase, median of %2 "
                         "runs (%3 ms), each on the grid as the window's load leaves it")
              .arg(kGridRows)
              .arg(kGridRuns)
              .arg(gridTexts.join(QStringLiteral(", "))));

    // Baseline: one process of the tool per file, in turn. Every fifth file first, the rest when time allows.
    const std::optional<BaselineTool> tool = FindBaselineTool();
    double baselineMs = std::nan("");
    double baselineMaxErrorMs = std::nan("");
    if (!tool) {
        Print(QStringLiteral("baseline: neither ffprobe nor gst-discoverer-1.0 is installed"));
    } else {
        std::vector<int> order;
        for (int i = 0; i < kFiles; i += kBaselineSampleStep)
            order.push_back(i);
        const size_t sampleSize = order.size();
        for (int i = 0; i < kFiles; ++i)
            if (i % kBaselineSampleStep != 0) order.push_back(i);

        std::vector<double> errorByKind(kKinds.size(), 0.0);
        int unmeasured = 0;
        const auto measure = [&](size_t from, size_t to) {
            return TimeMs([&] {
                for (size_t n = from; n < to; ++n) {
                    const AudioFile& file = files[order[n]];
                    const std::optional<double> seconds = RunTool(*tool, file.path);
                    if (!seconds) {
                        ++unmeasured;
                        continue;
                    }
                    errorByKind[file.kind] =
                        std::max(errorByKind[file.kind], std::abs(*seconds - file.trueSeconds) * 1000);
                }
            });
        };
        const double sampleMs = measure(0, sampleSize);
        const double projectedSeconds =
            wholeRun.elapsed() / 1000.0 + sampleMs * (kFiles - sampleSize) / sampleSize / 1000;
        size_t measuredFiles = sampleSize;
        if (projectedSeconds <= kRunBudgetSeconds) {
            baselineMs = sampleMs + measure(sampleSize, order.size());
            measuredFiles = order.size();
            Print(
                QStringLiteral("baseline: %1, one process per file, in turn, on all %2 files: %3 ms per file")
                    .arg(tool->name)
                    .arg(kFiles)
                    .arg(baselineMs / kFiles, 0, 'f', 1));
        } else {
            baselineMs = sampleMs * kFiles / sampleSize;
            Print(QStringLiteral(
                      "baseline: %1, one process per file, in turn, on every %2th file (%3 files, "
                      "%4 ms per file), scaled to %5 files: all of them would take the run past %6 s")
                      .arg(tool->name)
                      .arg(kBaselineSampleStep)
                      .arg(sampleSize)
                      .arg(sampleMs / sampleSize, 0, 'f', 1)
                      .arg(kFiles)
                      .arg(kRunBudgetSeconds, 0, 'f', 0));
        }
        baselineMaxErrorMs = *std::max_element(errorByKind.begin(), errorByKind.end());
        Print(QStringLiteral(
                  "baseline: max error vs true length by kind (ms): %1; %2 of %3 files without a length")
                  .arg(KindFigures(errorByKind))
                  .arg(unmeasured)
                  .arg(measuredFiles));
    }
    Print(QStringLiteral("run took %1 s; baseline max error %2 ms")
              .arg(wholeRun.elapsed() / 1000.0, 0, 'f', 1)
              .arg(baselineMaxErrorMs, 0, 'f', 1));

    const UiStall stall = MeasureUiStall(dir.path());

    std::printf("grid-fill rows=%d ms=%.2f\n", kGridRows, Median(gridMs));
    std::printf("playlist-import files=%d ms=%.1f baseline_ms=%.1f ratio=%.1f max_duration_error_ms=%.1f\n",
                kFiles, oursMs, baselineMs, baselineMs / oursMs, oursMaxErrorMs);
    std::printf("ui-stall file_mb=%.0f open_to_playing_ms=%.0f max_stall_ms=%.1f\n", stall.fileMb,
                stall.openToPlayingMs, stall.maxStallMs);
    return 0;
}
