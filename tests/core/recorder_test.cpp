#include "core/operations/recorder.h"
#include "core/formats/file_claim.h"
#include "support/fake_wave_device.h"
#include "support/scripted_dialogs.h"
#include "support/simulated_player.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

class RecorderTest : public ::testing::Test {
protected:
    RecorderTest()
        : recorder_(window_, player_, device_, dialogs_, dir_.filePath(QStringLiteral("temp.wav"))) {
        device_.SetDoneHandler([this] { recorder_.RecordingDone(); });  // as the controller routes it
    }

    QString Path() const { return dir_.filePath(QStringLiteral("temp.wav")); }
    QString Group() { return window().recordingGroup.caption; }
    bool PlayOn() { return window().playRecordingButton.enabled && window().playRecordingItem.enabled; }
    bool SaveOn() { return window().saveRecordingButton.enabled && window().saveRecordingItem.enabled; }

    void Record(qint64 ms) {
        recorder_.ToggleRecording();
        device_.lengthMs = ms;
        recorder_.ShowRecordingTime();
        recorder_.ToggleRecording();
    }

    // As the learner sees it: presented from the recorder's phase.
    Window& window() {
        recorder_.Present();
        return window_;
    }

    QTemporaryDir dir_;
    Window window_;
    SimulatedPlayer player_;
    FakeWaveDevice device_;
    ScriptedDialogs dialogs_;
    Recorder recorder_;
};

TEST_F(RecorderTest, RecordingRunsTheDeviceAndShowsTheRecordedTime) {
    recorder_.ToggleRecording();
    EXPECT_EQ(window().recordButton.caption, QString::fromUtf8("停止录音"));
    EXPECT_EQ(window().recordItem.caption, QString::fromUtf8("停止录音"));
    EXPECT_FALSE(PlayOn() || window().saveRecordingButton.enabled);
    EXPECT_TRUE(window().recorderClockTimer.Running());
    EXPECT_EQ(window().recorderClockTimer.intervalMs, 10);
    EXPECT_EQ(device_.log, (QStringList{QStringLiteral("open"), QStringLiteral("record")}));
    EXPECT_EQ(device_.FileName(), Path());

    device_.lengthMs = 7900;
    recorder_.ShowRecordingTime();
    EXPECT_EQ(Group(), QString::fromUtf8("录音  正在录音 -- ( 0:07 )"));
    device_.lengthMs = 65000;
    recorder_.ShowRecordingTime();
    EXPECT_EQ(Group(), QString::fromUtf8("录音  正在录音 -- ( 1:05 )"));

    recorder_.ToggleRecording();
    EXPECT_EQ(device_.log.last(), QStringLiteral("save"));
    EXPECT_EQ(Group(), QString::fromUtf8("录音")) << "recording has stopped";
    EXPECT_EQ(window().recordButton.caption, QString::fromUtf8("开始录音"));
    EXPECT_FALSE(window().recorderClockTimer.enabled);
    EXPECT_TRUE(PlayOn());
    EXPECT_TRUE(SaveOn());
    EXPECT_TRUE(QFile::exists(Path()));
}

TEST_F(RecorderTest, ASecondRecordingKeepsTheFirstUntilItIsSaved) {
    Record(3000);
    QFile first(Path());
    ASSERT_TRUE(first.open(QIODevice::WriteOnly));
    first.write("first recording");
    first.close();
    recorder_.ToggleRecording();
    EXPECT_TRUE(QFile::exists(Path()));
    EXPECT_FALSE(PlayOn() || SaveOn()) << "play and save wait for the new recording";
    recorder_.ToggleRecording();
    QFile second(Path());
    ASSERT_TRUE(second.open(QIODevice::ReadOnly));
    EXPECT_EQ(second.readAll(), QByteArray("RIFF....WAVE"));
}

TEST_F(RecorderTest, NoInputDeviceGivesOneMessageAndKeepsTheOldRecording) {
    Record(2000);
    device_.failures[QStringLiteral("record")] =
        Failure{FailureCode::NoInputDevice, QStringLiteral("no input")};
    recorder_.ToggleRecording();
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].text,
              QString::fromUtf8("无法开始录音。无法打开录音设备，请检查麦克风和声音服务。\nno input"));
    EXPECT_EQ(device_.log.last(), QStringLiteral("close"));
    EXPECT_EQ(window().recordButton.caption, QString::fromUtf8("开始录音"));
    EXPECT_FALSE(window().recorderClockTimer.enabled);
    EXPECT_TRUE(QFile::exists(Path()));
    EXPECT_TRUE(PlayOn() && SaveOn());
}

TEST_F(RecorderTest, ADeviceThatFailsMidWayIsReportedAtStop) {
    recorder_.ToggleRecording();
    device_.failures[QStringLiteral("save")] =
        Failure{FailureCode::DeviceFailed, QStringLiteral("input gone")};
    recorder_.ToggleRecording();
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].text, QString::fromUtf8("录音没有保存。声音设备出错。\ninput gone"));
    EXPECT_FALSE(QFile::exists(Path()));
    EXPECT_FALSE(PlayOn() || SaveOn()) << "there is nothing to play";
}

TEST_F(RecorderTest, PlayingPausesThePlayerAndCountsDownUntilTheDeviceIsDone) {
    Record(65000);
    player_.SetUrl(QStringLiteral("/music/a.mp3"));
    player_.Play();
    device_.log.clear();
    recorder_.PlayRecording();
    EXPECT_EQ(player_.PlayState(), kPlayStatePaused);
    EXPECT_FALSE(window().recordButton.enabled);
    EXPECT_FALSE(window().recordItem.enabled);
    EXPECT_EQ(window().playRecordingButton.caption, QString::fromUtf8("停止播放"));
    EXPECT_EQ(window().playRecordingItem.caption, QString::fromUtf8("停止播放"));
    EXPECT_EQ(device_.log.last(), QStringLiteral("play"));
    EXPECT_EQ(Group(), QString::fromUtf8("录音  正在播放录音 -- ( 1:05 )"));
    EXPECT_TRUE(window().recorderClockTimer.enabled);

    recorder_.ShowRecordingTime();
    EXPECT_EQ(Group(), QString::fromUtf8("录音  正在播放录音 -- ( -1:05 )"));
    device_.positionMs = 62000;
    recorder_.ShowRecordingTime();
    EXPECT_EQ(Group(), QString::fromUtf8("录音  正在播放录音 -- ( -0:03 )"));

    device_.Finish();
    EXPECT_EQ(window().playRecordingButton.caption, QString::fromUtf8("播放录音"));
    EXPECT_EQ(Group(), QString::fromUtf8("录音"));
    EXPECT_FALSE(window().recorderClockTimer.enabled);
    EXPECT_TRUE(window().recordButton.enabled);
}

TEST_F(RecorderTest, StoppingPlaybackReturnsToIdleThroughTheCompletion) {
    Record(5000);
    recorder_.PlayRecording();
    recorder_.PlayRecording();
    EXPECT_EQ(window().playRecordingButton.caption, QString::fromUtf8("播放录音"));
    EXPECT_EQ(Group(), QString::fromUtf8("录音"));
    EXPECT_FALSE(window().recorderClockTimer.enabled);
    EXPECT_TRUE(window().recordButton.enabled) << "the completion after the stop enables recording";
}

TEST_F(RecorderTest, AMissingRecordingIsReportedAndNothingWaitsForACompletion) {
    EnablePair(window().playRecordingButton, window().playRecordingItem, true);
    recorder_.PlayRecording();
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].text, QString::fromUtf8("无法播放录音。无法读取文件。\n") + Path());
    EXPECT_TRUE(device_.log.isEmpty());
    EXPECT_EQ(window().playRecordingButton.caption, QString::fromUtf8("播放录音"));
    EXPECT_TRUE(window().recordButton.enabled);
    EXPECT_FALSE(window().recorderClockTimer.enabled);
}

TEST_F(RecorderTest, SavingCopiesTheRecordingAndCancelCopiesNothing) {
    Record(1000);
    recorder_.SaveRecording();
    ASSERT_EQ(dialogs_.fileDialogs.size(), 1u);
    EXPECT_EQ(dialogs_.fileDialogs[0].first, QString::fromUtf8("声音文件(*.wav)|*.wav "));
    EXPECT_TRUE(dialogs_.shown.empty());

    const QString target = dir_.filePath(QString::fromUtf8("我的 录音.wav"));
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("older");
    old.close();
    dialogs_.files = {{target, QString::fromUtf8("我的 录音.wav")}};
    recorder_.SaveRecording();
    QFile copy(target);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), QByteArray("RIFF....WAVE")) << "overwritten without asking";
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(RecorderTest, PartsLeftByACrashAreRemovedAndTheRecordingKept) {
    Record(1000);
    for (const char* name : {"temp.wav.part-AbC123", "temp.wav.part-x"}) {
        QFile part(dir_.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(part.open(QIODevice::WriteOnly));
    }
    QFile other(dir_.filePath(QStringLiteral("other.wav.part-1")));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    // Another copy of the program is recording into this one.
    const QString recording = dir_.filePath(QStringLiteral("temp.wav.part-live"));
    QFile(recording).open(QIODevice::WriteOnly);
    const FileClaim claim = FileClaim::Take(recording);
    ASSERT_TRUE(claim.Held());
    recorder_.DiscardUnfinishedRecordings();
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files),
              (QStringList{QStringLiteral("other.wav.part-1"), QStringLiteral("temp.wav"),
                           QStringLiteral("temp.wav.part-live")}));
}

TEST_F(RecorderTest, AFailedSaveIsReported) {
    Record(1000);
    dialogs_.files = {{dir_.filePath(QStringLiteral("no/such/folder/x.wav")), QStringLiteral("x.wav")}};
    recorder_.SaveRecording();
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_TRUE(dialogs_.shown[0].text.startsWith(
        QString::fromUtf8("录音没有另存。无法写入文件，请检查文件夹是否可写、磁盘是否已满。\n")));
}

}  // namespace
}  // namespace ostrelle
