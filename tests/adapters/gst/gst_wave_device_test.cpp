#include "adapters/gst/gst_wave_device.h"
#include "core/formats/file_claim.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ostream>
#include <tuple>
#include <utility>

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace ostrelle {
namespace {

// A live tone in 10 ms buffers, paced like a microphone.
const QString kToneSource =
    QStringLiteral("audiotestsrc is-live=true wave=sine freq=440 samplesperbuffer=480");
const QString kSilentSink = QStringLiteral("fakesink sync=true");

// Generous: the machine may be loaded; every wait ends as soon as its condition holds.
constexpr int kDeadlineMs = 15000;

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// The facts of a WAV file, read independently of the device's own reader.
struct WavFacts {
    QString problem;  // empty when the file is a well-formed RIFF/WAVE file
    int format = 0;
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    qint64 byteRate = 0;
    qint64 dataBytes = 0;

    qint64 LengthMs() const { return byteRate > 0 ? dataBytes * 1000 / byteRate : -1; }
};

quint32 U32(const QByteArray& b, qint64 at) {
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData() + at);
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<quint32>(p[3]) << 24);
}

quint16 U16(const QByteArray& b, qint64 at) {
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData() + at);
    return static_cast<quint16>(p[0] | (p[1] << 8));
}

// Every chunk must lie inside the file and the chunks must fill it exactly, as the RIFF size says.
WavFacts ParseWav(const QString& path) {
    WavFacts facts;
    const QByteArray bytes = ReadAll(path);
    if (bytes.size() < 12 || std::memcmp(bytes.constData(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.constData() + 8, "WAVE", 4) != 0) {
        facts.problem = QStringLiteral("no RIFF/WAVE header");
        return facts;
    }
    if (U32(bytes, 4) + 8 != static_cast<quint64>(bytes.size())) {
        facts.problem =
            QStringLiteral("RIFF size %1 for a file of %2 bytes").arg(U32(bytes, 4)).arg(bytes.size());
        return facts;
    }
    bool haveFormat = false;
    bool haveData = false;
    qint64 at = 12;
    while (at + 8 <= bytes.size()) {
        const qint64 size = U32(bytes, at + 4);
        const qint64 body = at + 8;
        if (body + size > bytes.size()) {
            facts.problem = QStringLiteral("a chunk runs past the end of the file");
            return facts;
        }
        if (std::memcmp(bytes.constData() + at, "fmt ", 4) == 0 && size >= 16) {
            facts.format = U16(bytes, body);
            facts.channels = U16(bytes, body + 2);
            facts.sampleRate = static_cast<int>(U32(bytes, body + 4));
            facts.byteRate = U32(bytes, body + 8);
            facts.bitsPerSample = U16(bytes, body + 14);
            haveFormat = true;
        } else if (std::memcmp(bytes.constData() + at, "data", 4) == 0) {
            facts.dataBytes = size;
            haveData = true;
        }
        at = body + size + (size & 1);
    }
    if (at != bytes.size()) facts.problem = QStringLiteral("the chunks do not fill the file");
    if (!haveFormat || !haveData) facts.problem = QStringLiteral("no fmt or no data chunk");
    return facts;
}

class GstWaveDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        device_.SetDoneHandler([this] {
            ++doneCount_;
            doneOnOwnThread_ = doneOnOwnThread_ && QThread::currentThread() == thread_;
        });
    }

    QString Path() const { return dir_.filePath(QStringLiteral("temp.wav")); }
    QStringList FilesInFolder() const { return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden); }

    template <typename Condition>
    static bool WaitFor(Condition condition) {
        return QTest::qWaitFor(condition, kDeadlineMs);
    }

    // The failure's detail; empty on success.
    static QString Detail(const Result<void>& result) {
        return result.ok() ? QString() : result.failure().detail;
    }

    // The calls in the order the recorder's start operation makes them.
    QString StartRecording(GstWaveDevice& device) {
        Result<void> started = device.Open(Path());
        if (started.ok()) started = device.StartRecording();
        return Detail(started);
    }
    QString StartRecording() { return StartRecording(device_); }

    QString SaveRecording() { return Detail(device_.Save()); }

    // Records at least ms of the tone into temp.wav.
    QString RecordFor(qint64 ms) {
        QString error = StartRecording();
        if (!error.isEmpty()) return error;
        if (!WaitFor([&] { return device_.LengthMs() >= ms; }))
            return QStringLiteral("the recording did not grow");
        return SaveRecording();
    }

    QString StartPlaying() {
        Result<void> playing = device_.Open(Path());
        if (playing.ok()) playing = device_.Play();
        return Detail(playing);
    }

    QTemporaryDir dir_;
    GstWaveDevice device_{kToneSource, kSilentSink};
    int doneCount_ = 0;
    bool doneOnOwnThread_ = true;
    QThread* const thread_ = QThread::currentThread();
};

TEST_F(GstWaveDeviceTest, SavingARecordingWritesAWavAsLongAsTheRecordedTime) {
    QElapsedTimer wallClock;
    wallClock.start();
    ASSERT_EQ(StartRecording(), QString());
    ASSERT_TRUE(WaitFor([&] { return device_.LengthMs() >= 1500; }));
    const qint64 lengthAtSave = device_.LengthMs();
    ASSERT_EQ(SaveRecording(), QString());
    const qint64 wallMs = wallClock.elapsed();

    const WavFacts wav = ParseWav(Path());
    ASSERT_EQ(wav.problem, QString());
    EXPECT_EQ(wav.format, 1);
    EXPECT_EQ(wav.bitsPerSample, 16);
    EXPECT_EQ(wav.channels, 1);
    EXPECT_EQ(wav.sampleRate, 48000);
    EXPECT_EQ(wav.byteRate, 48000 * 2);
    EXPECT_NEAR(wav.LengthMs(), lengthAtSave, 50);
    EXPECT_NEAR(wav.LengthMs(), wallMs, 500);
    EXPECT_EQ(device_.LengthMs(), wav.LengthMs());
    EXPECT_EQ(FilesInFolder(), QStringList{"temp.wav"});
}

// A live rising ramp (a saw of 20 s period, first half): each sample's value says which sample it is, and
// the live source hands sample n over at its pipeline's start plus n / 48000 s.
const QString kRampSource = QStringLiteral(
    "audiotestsrc is-live=true wave=saw freq=0.05 volume=0.8 samplesperbuffer=480 ! "
    "audio/x-raw,format=S16LE,rate=48000,channels=1");
constexpr double kRampSamplesPerStep = 48000 / 0.05 / 2 / (0.8 * 32767);

qint64 SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The ramp's sample numbers that the first and the last sample of a recording hold.
std::pair<double, double> RampSpan(const QString& path) {
    const QByteArray bytes = ReadAll(path);
    if (bytes.size() < 48) return {-1, -1};
    auto value = [&](qint64 at) { return static_cast<qint16>(U16(bytes, at)); };
    return {value(44) * kRampSamplesPerStep, value(bytes.size() - 2) * kRampSamplesPerStep};
}

TEST_F(GstWaveDeviceTest, ARecordingHoldsTheWholeWindowFromRecordToSave) {
    // Kept open: each take starts at its record call. Not kept: it starts with the input's first sound.
    for (const bool kept : {true, false}) {
        SCOPED_TRACE(kept ? "kept input" : "input opened by record");
        GstWaveDevice device{kRampSource, kSilentSink};
        // The input's pipeline starts within the call that opens it, and each sample's time follows.
        qint64 openFrom = SteadyNs();
        if (kept) {
            ASSERT_TRUE(device.OpenInput().ok());
        }
        qint64 openTo = SteadyNs();
        for (int take = 0; take < (kept ? 2 : 1); ++take) {
            SCOPED_TRACE(take);
            if (kept)
                QTest::qWait(400);  // the input runs before the window, as through a pass of the original
            const qint64 beforeRecord = SteadyNs();
            ASSERT_EQ(StartRecording(device), QString());
            const qint64 recordNs = SteadyNs();
            if (!kept) std::tie(openFrom, openTo) = std::pair(beforeRecord, recordNs);
            ASSERT_TRUE(WaitFor([&] { return device.LengthMs() >= 1200; }));
            const qint64 saveNs = SteadyNs();
            ASSERT_EQ(Detail(device.Save()), QString());

            const WavFacts wav = ParseWav(Path());
            ASSERT_EQ(wav.problem, QString());
            const double startNs = (openFrom + openTo) / 2.0;
            const double toleranceMs = 50 + (openTo - openFrom) / 2e6;
            const auto [first, last] = RampSpan(Path());
            const double wantedFirst = kept ? (recordNs - startNs) * 48e-6 : 0;
            const double wantedLast = (saveNs - startNs) * 48e-6;
            EXPECT_NEAR(first / 48, wantedFirst / 48, toleranceMs) << "ms at the start";
            EXPECT_NEAR(last / 48, wantedLast / 48, toleranceMs) << "ms at the end";
            // Whole: as many samples as the ramp rose by.
            EXPECT_NEAR(wav.dataBytes / 2.0, last - first, 48 * 2);
        }
    }
}

TEST_F(GstWaveDeviceTest, TheLengthGrowsWhileCapturing) {
    ASSERT_EQ(StartRecording(), QString());
    qint64 previous = 0;
    bool neverShrank = true;
    int increases = 0;
    ASSERT_TRUE(WaitFor([&] {
        const qint64 now = device_.LengthMs();
        neverShrank = neverShrank && now >= previous;
        if (now > previous) ++increases;
        previous = now;
        return now >= 500;
    }));
    EXPECT_TRUE(neverShrank);
    EXPECT_GE(increases, 5);  // in steps of about a buffer, not all at once
    // The part being written is claimed, so another copy of the program starting now keeps it.
    const QStringList parts = QDir(dir_.path()).entryList({QStringLiteral("temp.wav.part-*")}, QDir::Files);
    ASSERT_EQ(parts.size(), 1);
    EXPECT_FALSE(FileClaim::Take(dir_.filePath(parts[0])).Held());
}

TEST_F(GstWaveDeviceTest, ASecondRecordingReplacesTheFirstOnlyAtSave) {
    ASSERT_EQ(RecordFor(300), QString());
    const QByteArray first = ReadAll(Path());

    ASSERT_EQ(StartRecording(), QString());
    ASSERT_TRUE(WaitFor([&] { return device_.LengthMs() >= 600; }));
    EXPECT_EQ(ReadAll(Path()), first);
    ASSERT_EQ(SaveRecording(), QString());

    const WavFacts second = ParseWav(Path());
    ASSERT_EQ(second.problem, QString());
    EXPECT_GE(second.LengthMs(), 600);
    EXPECT_EQ(FilesInFolder(), QStringList{"temp.wav"});
}

TEST_F(GstWaveDeviceTest, CloseDuringCaptureDiscardsItAndKeepsTheOldRecording) {
    ASSERT_EQ(RecordFor(300), QString());
    const QByteArray first = ReadAll(Path());

    ASSERT_EQ(StartRecording(), QString());
    ASSERT_TRUE(WaitFor([&] { return device_.LengthMs() >= 200; }));
    EXPECT_EQ(FilesInFolder().size(), 2);  // the capture goes to a file of its own
    device_.Close();

    EXPECT_EQ(ReadAll(Path()), first);
    EXPECT_EQ(FilesInFolder(), QStringList{"temp.wav"});
}

TEST_F(GstWaveDeviceTest, StopDuringCaptureFinishesTheFileForSave) {
    ASSERT_EQ(StartRecording(), QString());
    ASSERT_TRUE(WaitFor([&] { return device_.LengthMs() >= 300; }));
    ASSERT_EQ(Detail(device_.Stop()), QString());
    const qint64 stoppedAt = device_.LengthMs();
    EXPECT_FALSE(QFile::exists(Path()));

    ASSERT_EQ(SaveRecording(), QString());
    // Nothing more was captured after "stop".
    const WavFacts wav = ParseWav(Path());
    ASSERT_EQ(wav.problem, QString());
    EXPECT_EQ(wav.LengthMs(), stoppedAt);
    EXPECT_EQ(doneCount_, 0);  // done belongs to playback
}

TEST_F(GstWaveDeviceTest, PlaybackReportsTheFileLengthAndRaisesDoneOnceAtTheEnd) {
    ASSERT_EQ(RecordFor(800), QString());
    const WavFacts wav = ParseWav(Path());
    ASSERT_EQ(wav.problem, QString());

    ASSERT_EQ(StartPlaying(), QString());
    EXPECT_NEAR(device_.LengthMs(), wav.LengthMs(), 20);
    ASSERT_TRUE(WaitFor([&] { return device_.PositionMs() >= 200 || doneCount_ > 0; }));
    EXPECT_EQ(doneCount_, 0);
    const qint64 earlier = device_.PositionMs();
    ASSERT_TRUE(WaitFor([&] { return device_.PositionMs() > earlier || doneCount_ > 0; }));

    ASSERT_TRUE(WaitFor([&] { return doneCount_ > 0; }));
    EXPECT_EQ(doneCount_, 1);
    EXPECT_TRUE(doneOnOwnThread_);
    EXPECT_EQ(device_.PositionMs(), device_.LengthMs());

    // The recorder sends "stop" from its done handler: that must not raise it again.
    EXPECT_EQ(Detail(device_.Stop()), QString());
    EXPECT_EQ(doneCount_, 1);
}

TEST_F(GstWaveDeviceTest, StopDuringPlaybackRaisesDoneOnce) {
    ASSERT_EQ(RecordFor(600), QString());

    ASSERT_EQ(StartPlaying(), QString());
    ASSERT_TRUE(WaitFor([&] { return device_.PositionMs() >= 100 || doneCount_ > 0; }));
    ASSERT_EQ(doneCount_, 0);
    EXPECT_EQ(Detail(device_.Stop()), QString());
    EXPECT_EQ(doneCount_, 1);
    EXPECT_LT(device_.PositionMs(), device_.LengthMs());

    // A late end of the stopped playback would arrive before the end of the next one.
    ASSERT_EQ(StartPlaying(), QString());
    ASSERT_TRUE(WaitFor([&] { return doneCount_ >= 2; }));
    EXPECT_EQ(doneCount_, 2);
}

TEST_F(GstWaveDeviceTest, AnInputThatCannotBeOpenedIsReportedAtRecordAndLeavesTheOldRecording) {
    WriteAll(Path(), "the earlier recording");
    for (const QString& source :
         {QStringLiteral("pulsesrc server=/nonexistent"), QStringLiteral("nosuchinput")}) {
        SCOPED_TRACE(source.toStdString());
        GstWaveDevice device{source, kSilentSink};
        const QString error = StartRecording(device);
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(device.ErrorText(), error);
        EXPECT_EQ(device.LengthMs(), 0);
        EXPECT_EQ(ReadAll(Path()), "the earlier recording");
        EXPECT_EQ(FilesInFolder(), QStringList{"temp.wav"});
    }
}

TEST_F(GstWaveDeviceTest, AKeptInputThatGivesNoSoundIsReportedAtRecord) {
    WriteAll(Path(), "the earlier recording");
    GstWaveDevice device{QStringLiteral("appsrc is-live=true"), kSilentSink};  // opens, never delivers
    ASSERT_TRUE(device.OpenInput().ok());
    QTest::qWait(1100);  // longer than any input takes to start
    ASSERT_TRUE(device.Open(Path()).ok());
    const Result<void> started = device.StartRecording();
    ASSERT_FALSE(started.ok());
    EXPECT_EQ(started.failure().code, FailureCode::NoInputDevice);
    EXPECT_EQ(ReadAll(Path()), "the earlier recording");
    EXPECT_EQ(FilesInFolder(), QStringList{"temp.wav"});
}

TEST_F(GstWaveDeviceTest, AnInputFailingMidwayIsReportedBySaveAndLeavesTheOldRecording) {
    WriteAll(Path(), "the earlier recording");
    GstWaveDevice device{kToneSource + QStringLiteral(" ! identity error-after=30"), kSilentSink};
    ASSERT_EQ(StartRecording(device), QString());
    ASSERT_TRUE(WaitFor([&] { return !device.ErrorText().isEmpty(); }));
    EXPECT_EQ(FilesInFolder(), QStringList{"temp.wav"});

    const Result<void> saved = device.Save();
    ASSERT_FALSE(saved.ok());
    EXPECT_EQ(saved.failure().code, FailureCode::DeviceFailed);
    EXPECT_EQ(saved.failure().detail, device.ErrorText());
    EXPECT_EQ(ReadAll(Path()), "the earlier recording");
    EXPECT_EQ(FilesInFolder(), QStringList{"temp.wav"});
}

TEST_F(GstWaveDeviceTest, SaveStraightAfterAFailingStartKeepsTheOldRecording) {
    WriteAll(Path(), "the earlier recording");
    // The input fails on its first buffer, or "save" ends it before any sound arrived: either way there is
    // no recording to keep, and the event loop has not run in between.
    GstWaveDevice device{kToneSource + QStringLiteral(" ! identity error-after=1"), kSilentSink};
    ASSERT_EQ(StartRecording(device), QString());
    EXPECT_FALSE(device.Save().ok());
    EXPECT_EQ(ReadAll(Path()), "the earlier recording");
    EXPECT_EQ(FilesInFolder(), QStringList{"temp.wav"});
}

TEST_F(GstWaveDeviceTest, SaveStraightAfterRecordKeepsAFinishedFileOrNone) {
    WriteAll(Path(), "the earlier recording");
    ASSERT_EQ(StartRecording(), QString());
    // The input may not have delivered anything yet.
    const QString error = SaveRecording();
    if (error.isEmpty()) {
        const WavFacts wav = ParseWav(Path());
        EXPECT_EQ(wav.problem, QString());
        EXPECT_GT(wav.dataBytes, 0);
    } else {
        EXPECT_EQ(ReadAll(Path()), "the earlier recording");
    }
    EXPECT_EQ(FilesInFolder(), QStringList{"temp.wav"});
}

TEST_F(GstWaveDeviceTest, AFolderThatCannotBeWrittenIsReportedAtRecordAndNothingIsCreated) {
    // A folder under a regular file cannot be created, even by root.
    WriteAll(dir_.filePath(QStringLiteral("notAFolder")), "x");
    ASSERT_TRUE(device_.Open(dir_.filePath(QStringLiteral("notAFolder/temp.wav"))).ok());
    const Result<void> started = device_.StartRecording();
    ASSERT_FALSE(started.ok());
    EXPECT_EQ(started.failure().code, FailureCode::CannotWrite);
    EXPECT_TRUE(started.failure().detail.contains(QStringLiteral("notAFolder")))
        << started.failure().detail.toStdString();
    EXPECT_EQ(FilesInFolder(), QStringList{"notAFolder"});
    EXPECT_FALSE(device_.Save().ok());
    EXPECT_EQ(FilesInFolder(), QStringList{"notAFolder"});
}

TEST_F(GstWaveDeviceTest, PlayingAMissingOrBrokenFileFailsWithoutDone) {
    const QByteArray garbage(4096, '\x5a');
    const QByteArray headerOnly(
        "RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\1\0\1\0\x80\xbb\0\0\0\x77\1\0\2\0\x10\0data\0\0\0\0", 44);
    for (const QByteArray& content : {QByteArray(), garbage, headerOnly}) {
        QFile::remove(Path());
        if (!content.isNull()) WriteAll(Path(), content);
        const QString error = StartPlaying();
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(Detail(device_.Stop()), QString());
        EXPECT_EQ(device_.PositionMs(), 0);
    }
    EXPECT_EQ(doneCount_, 0);

    // Anything left over from the failures would arrive before the end of a good playback.
    ASSERT_EQ(RecordFor(300), QString());
    ASSERT_EQ(StartPlaying(), QString());
    ASSERT_TRUE(WaitFor([&] { return doneCount_ > 0; }));
    EXPECT_EQ(doneCount_, 1);
}

TEST_F(GstWaveDeviceTest, CallsNeedAnOpenDevice) {
    for (const Result<void>& result : {device_.StartRecording(), device_.Play(), device_.Save()}) {
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.failure().code, FailureCode::DeviceNotReady);
    }
    EXPECT_TRUE(device_.Stop().ok());
    device_.Close();
    EXPECT_TRUE(FilesInFolder().isEmpty());
}

}  // namespace
}  // namespace ostrelle
