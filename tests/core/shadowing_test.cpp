#include "support/app_fixture.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

// A 2 s segment (5 s to 7 s), two passes with a one-second pause.
class ShadowingTest : public AppFixture {
protected:
    ShadowingTest() {
        audio_ = MakeFile(QStringLiteral("lesson.mp3"));
        player_.SetUrl(audio_);
        window().repeatCountBox.text = QString::fromUtf8("2次");
        window().pauseBox.text = QString::fromUtf8("1秒");
        AddRow(audio_, QStringLiteral("1:00"),
               {QStringLiteral("A00:05B00:07"), QStringLiteral("A00:10B00:12")});
        app_.transport().LoadFileSegments(audio_, 1);
        app_.UpdateDerivedStates();
    }

    Shadowing& shadowing() { return app_.shadowing(); }
    QString Take() { return shadowing().TakePath(audio_, *state().RepeatedSegment()); }

    // Ticks (10 ms, the clock first) until the phase changes; returns the ticks taken.
    int TicksInPhase() {
        const Shadowing::Phase phase = shadowing().phase();
        int ticks = 0;
        while (shadowing().phase() == phase && ticks < 10000) {
            player_.Advance(0.010);
            app_.TickShadowing();
            ++ticks;
        }
        return ticks;
    }

    QString audio_;
};

TEST_F(ShadowingTest, EachPassPlaysTheSegmentRecordsTheLearnerPlaysTheTakeThenPauses) {
    app_.Run(Command::Shadowing);
    ASSERT_EQ(shadowing().phase(), Shadowing::Phase::Original);
    EXPECT_EQ(player_.stopPoint(), std::optional<double>(7.0));
    EXPECT_FALSE(window().recordButton.enabled) << "the device is the run's";
    std::vector<int> ticks;
    std::vector<QString> cues;
    for (int pass = 0; pass < 2; ++pass) {
        ticks.push_back(TicksInPhase());  // the original
        cues.push_back(window().shadowCue.caption);
        ticks.push_back(TicksInPhase());  // the learner, 2 s + 1.5 s
        ASSERT_EQ(shadowing().phase(), Shadowing::Phase::Take);
        EXPECT_EQ(device_.FileName(), Take());
        device_.Finish();
        if (pass == 0) ticks.push_back(TicksInPhase());  // the pause
    }
    EXPECT_EQ(ticks, (std::vector<int>{200, 350, 100, 200, 350}));
    // The input runs from before the first pass to the end of the run.
    EXPECT_EQ(device_.log.front(), QStringLiteral("input"));
    EXPECT_EQ(device_.log.count(QStringLiteral("input")), 1);
    EXPECT_EQ(device_.log.back(), QStringLiteral("close input"));
    EXPECT_TRUE(cues.front().startsWith(QString::fromUtf8("请跟读")));
    EXPECT_EQ(device_.log.count(QStringLiteral("record")), 2);
    EXPECT_EQ(device_.log.count(QStringLiteral("save")), 2);
    EXPECT_FALSE(shadowing().Active());
    EXPECT_FALSE(window().shadowCue.visible);
    EXPECT_TRUE(window().recordButton.enabled);
    EXPECT_TRUE(QFileInfo(Take()).isFile());
    app_.UpdateDerivedStates();
    EXPECT_TRUE(window().playTakeItem.enabled && window().replayShadowingItem.enabled);
    EXPECT_EQ(window().waveform.take, Take()) << "drawn under its segment";
}

TEST_F(ShadowingTest, StoppingInAnyPhaseEndsAtOnceAndKeepsOnlyACompleteTake) {
    for (int stopAfter = 0; stopAfter < 4; ++stopAfter) {
        SCOPED_TRACE(stopAfter);
        device_.log.clear();
        app_.Run(Command::Shadowing);
        for (int phase = 0; phase < stopAfter; ++phase) {
            if (shadowing().phase() == Shadowing::Phase::Take)
                device_.Finish();
            else
                TicksInPhase();
        }
        const bool recording = shadowing().phase() == Shadowing::Phase::Recording;
        app_.Run(Command::Shadowing);
        EXPECT_FALSE(shadowing().Active());
        EXPECT_FALSE(window().shadowTick.enabled);
        if (recording) {
            EXPECT_EQ(device_.log.count(QStringLiteral("save")), 0);
            EXPECT_TRUE(device_.log.contains(QStringLiteral("close")));
        }
    }
}

TEST_F(ShadowingTest, ADeviceThatFailsInAnyPhaseIsToldOnceAndEndsTheRun) {
    for (const char* call : {"record", "save", "play"}) {
        SCOPED_TRACE(call);
        dialogs_.shown.clear();
        device_.failures = {
            {QString::fromLatin1(call), Failure{FailureCode::DeviceFailed, QStringLiteral("no input")}}};
        app_.Run(Command::Shadowing);
        for (int phase = 0; phase < 3 && shadowing().Active(); ++phase)
            TicksInPhase();
        EXPECT_FALSE(shadowing().Active());
        ASSERT_EQ(dialogs_.shown.size(), 1u);
        EXPECT_TRUE(dialogs_.shown.front().text.contains(QStringLiteral("no input")));
        EXPECT_TRUE(window().recordButton.enabled);
    }
}

TEST_F(ShadowingTest, WithoutAnInputTheLearnerIsToldBeforeAnyCountdown) {
    device_.failures = {
        {QStringLiteral("input"), Failure{FailureCode::NoInputDevice, QStringLiteral("none")}}};
    app_.Run(Command::Shadowing);
    EXPECT_FALSE(shadowing().Active());
    EXPECT_EQ(device_.log, QStringList{QStringLiteral("input")});
    EXPECT_FALSE(window().shadowCue.visible);
    EXPECT_EQ(player_.stopPoint(), std::nullopt) << "the original does not play";
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_TRUE(dialogs_.shown.front().text.startsWith(QString::fromUtf8("没有找到录音设备")));
    EXPECT_TRUE(window().recordButton.enabled);
}

TEST_F(ShadowingTest, ATakeGoesWithItsSegment) {
    const QString first = Take();
    QDir().mkpath(QFileInfo(first).absolutePath());
    const QString second = shadowing().TakePath(audio_, Segment("00:10", "00:12"));
    for (const QString& take : {first, second}) {
        QFile file(take);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    app_.Run(Command::DeleteSegment);  // the first, current one
    EXPECT_FALSE(QFileInfo::exists(first));
    EXPECT_TRUE(QFileInfo::exists(second));
    dialogs_.answers = {MessageAnswer::Yes};
    app_.Run(Command::DeleteAllSegments);
    EXPECT_FALSE(QFileInfo::exists(shadowing().TakesFolder(audio_)));
}

// A take that misses much of the sentence puts the segment in the book of hard ones.
TEST_F(ShadowingTest, ATakeWhoseContentScoresBelowSixtyMakesItsSegmentHard) {
    app_.Run(Command::Shadowing);
    for (const int content : {75, 45}) {
        TicksInPhase();
        TicksInPhase();
        TakeScore score;
        score.content = content;
        takeScorer_.Finish(score);
        EXPECT_EQ(db_->HardSentences(audio_).value().size(), content < Review::kHardTakeBelow ? 1u : 0u);
        device_.Finish();
        if (shadowing().Active()) TicksInPhase();
    }
    const HardSentence hard = db_->HardSentences(audio_).value().at(0);
    EXPECT_EQ(hard.reason, HardSentence::Reason::Take);
    EXPECT_EQ(std::make_pair(hard.aMs, hard.bMs), std::make_pair(qint64{5000}, qint64{7000}));
    EXPECT_TRUE(hard.segment) << "a stored segment: it goes when the segment goes";
}

TEST_F(ShadowingTest, EachTakeIsScoredBesideTheCueThenOverTheUsageLineWithTheSegmentsEarlierScores) {
    const auto scored = [](int content, int timing, int intonation) {
        TakeScore score;
        score.content = content;
        score.timing = timing;
        score.intonation = intonation;
        return score;
    };
    app_.Run(Command::Shadowing);
    for (const TakeScore& score : {scored(86, 72, 90), scored(70, 80, 40)}) {
        TicksInPhase();  // the original
        TicksInPhase();  // the learner
        ASSERT_EQ(shadowing().phase(), Shadowing::Phase::Take);
        EXPECT_EQ(takeScorer_.TakePath(), Take());
        EXPECT_EQ(takeScorer_.lesson, audio_);
        EXPECT_EQ(std::make_pair(takeScorer_.from, takeScorer_.to), std::make_pair(5.0, 7.0));
        EXPECT_TRUE(window().shadowCue.caption.contains(QString::fromUtf8("正在评分")));
        takeScorer_.Finish(score);
        const QString cue = window().shadowCue.caption;
        EXPECT_TRUE(cue.startsWith(QString::fromUtf8("听我的跟读")));
        EXPECT_TRUE(cue.contains(QString::fromUtf8("内容 %1 ").arg(score.content))) << cue.toStdString();
        device_.Finish();
        if (shadowing().Active()) TicksInPhase();  // the pause, the score still told
    }
    EXPECT_FALSE(window().shadowCue.visible);
    ASSERT_TRUE(window().takeScore.visible);
    EXPECT_EQ(window().takeScore.caption,
              QString::fromUtf8("内容 70 不错 · 节奏 80 不错 · 语调 40 需要练习    此前：") +
                  QDateTime::currentDateTime().toString(QStringLiteral("M-d ")) + QStringLiteral("86/72/90"));
    // Heard again and scored with its lines: the strip draws them on the file's time, and a click on the
    // flagged stretch plays it in the original, then in the take, where the take (0.2 s late) says it.
    app_.Run(Command::ReplayShadowing);
    TakeScore lined = scored(60, 60, 60);
    lined.pitch = {{0.5, 2.0f, 1.0f}, {0.51, std::nullopt, 1.5f}};
    lined.flags = {{1.0, 1.5}};
    for (int frame = 0; frame < 200; ++frame)
        lined.takeFrameAt.push_back(frame + 20);
    TicksInPhase();
    takeScorer_.Finish(lined);
    device_.Finish();
    ASSERT_EQ(window().waveform.flags.size(), 1u);
    const Window::WaveformStrip::Flag flag = window().waveform.flags[0];
    EXPECT_DOUBLE_EQ(flag.from, 6.0);
    EXPECT_DOUBLE_EQ(flag.to, 6.5);
    EXPECT_NEAR(flag.takeFrom, 1.2, 1e-9);
    EXPECT_NEAR(flag.takeTo, 1.7, 1e-9);
    ASSERT_EQ(window().waveform.pitch.size(), 2u);
    EXPECT_DOUBLE_EQ(window().waveform.pitch[1].seconds, 5.51);
    EXPECT_FALSE(window().waveform.pitch[1].original);
    {
        // The take as the device writes it: 16 kHz, 16-bit mono, 3 s.
        QByteArray wav("RIFF");
        const auto put = [&wav](quint32 value, int bytes) {
            wav.append(reinterpret_cast<const char*>(&value), bytes);
        };
        put(36 + 96000, 4);
        wav += "WAVEfmt ";
        put(16, 4), put(1, 2), put(1, 2), put(16000, 4), put(32000, 4), put(2, 2), put(16, 2);
        wav += "data";
        put(96000, 4);
        wav += QByteArray(96000, '\x01');
        QFile take(Take());
        ASSERT_TRUE(take.open(QIODevice::WriteOnly) && take.write(wav) == wav.size());
    }
    app_.PlayTakeFlag(0);
    ASSERT_EQ(shadowing().phase(), Shadowing::Phase::Original);
    EXPECT_DOUBLE_EQ(player_.CurrentPosition(), 6.0);
    EXPECT_EQ(player_.stopPoint(), std::optional<double>(6.5));
    EXPECT_EQ(TicksInPhase(), 50);
    ASSERT_EQ(shadowing().phase(), Shadowing::Phase::Take);
    EXPECT_EQ(QFileInfo(device_.FileName()).size(), 44 + 16000);  // half a second of the take
    EXPECT_FALSE(takeScorer_.Running()) << "a stretch is not scored again";
    device_.Finish();
    EXPECT_FALSE(shadowing().Active());
    EXPECT_DOUBLE_EQ(player_.CurrentPosition(), 5.0) << "back at the segment's A";
    // Heard again, a take with a fault of the recording is told so, and kept in no history.
    app_.Run(Command::PlayTake);
    TakeScore clipped;
    clipped.problem = TakeProblem::Clipped;
    takeScorer_.Finish(clipped);
    device_.Finish();
    EXPECT_EQ(window().takeScore.caption, QString::fromUtf8("录音太响，请离麦克风远一点"));
    EXPECT_EQ(db_->TakeScoresOf(audio_, 5000, 7000, 10).value().size(), 2u);
    // Another segment: the score is of no use there.
    app_.Run(Command::NextSegment);
    EXPECT_FALSE(window().takeScore.visible);
}

TEST_F(ShadowingTest, ATakesNameComesFromNumbersWhateverAListHolds) {
    // A shared or crafted list: the slot's text names a place outside the takes folder.
    for (const char* slot : {"A../../../../tmp/xB00:05", "A00:01/../../yB00:05.000"}) {
        const QString take = shadowing().TakePath(audio_, ParseAB(QString::fromLatin1(slot)));
        EXPECT_EQ(QFileInfo(take).absolutePath(), shadowing().TakesFolder(audio_)) << slot;
        EXPECT_FALSE(take.contains(QStringLiteral(".."))) << take.toStdString();
    }
}

}  // namespace
}  // namespace ostrelle
