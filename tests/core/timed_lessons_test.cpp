#include "support/app_fixture.h"
#include "support/fake_sentence_analyzer.h"
#include "support/fake_text_aligner.h"
#include "text/plain_text_reader.h"

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

// A lesson with its lyrics: four spoken lines and a pause.
class TimedLessonsTest : public AppFixture {
protected:
    TimedLessonsTest() {
        audio_ = MakeFile(QStringLiteral("lesson.mp3"));
        Write(QStringLiteral("lesson.txt"), "plain text");
        Write(QStringLiteral("lesson.lrc"),
              "[ti:Lesson]\n[00:01.00]One\n[00:03.50]Two\n[00:06.00]\n[00:07.25]Three\n[00:09.00]Four\n");
        window().repeatCountBox.text = QString::fromUtf8("2次");
        window().pauseBox.text = QString::fromUtf8("0秒");
        player_.duration_ = 12;
        app_.documents().StartAudioFile(audio_);
        app_.transport().LoadFileSegments(audio_, 1);
    }

    void Write(const QString& name, const QByteArray& bytes) {
        QFile file(dir_.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QString audio_;
};

TEST_F(TimedLessonsTest, TheLyricsWinOverThePlainTextAndTheSpokenLineFollowsTheAudio) {
    EXPECT_EQ(window().textPane.text, QStringLiteral("One\nTwo\n\nThree\nFour"));
    EXPECT_TRUE(window().followTextTimer.Running());
    std::vector<int> lines;
    for (double at : {0.5, 1.0, 4.0, 6.5, 11.0}) {
        player_.SetCurrentPosition(at);
        app_.FollowTimedText();
        lines.push_back(window().textPane.highlightLine);
    }
    EXPECT_EQ(lines, (std::vector<int>{-1, 0, 1, 2, 4}));

    app_.Run(Command::ToggleRawTimedText);
    EXPECT_TRUE(window().textPane.text.startsWith(QStringLiteral("[ti:Lesson]")));
    EXPECT_FALSE(window().followTextTimer.enabled);
}

TEST_F(TimedLessonsTest, ADoubleClickedLineIsRepeatedUpToTheNextLineOrTheEnd) {
    app_.LoopTimedLine(1);
    EXPECT_EQ(APoint(), MarkText(3.5));
    EXPECT_EQ(BPoint(), MarkText(6.0)) << "up to the pause after it";
    EXPECT_EQ(player_.stopPoint(), std::optional<double>(6.0));
    EXPECT_EQ(window().passesLeftLabel.caption, QString::fromUtf8("剩2次"));
    app_.LoopTimedLine(4);
    EXPECT_EQ(BPoint(), MarkText(12.0)) << "the last line runs to the end of the file";
    EXPECT_FALSE(app_.segmentEditor().HasCurrentSegment()) << "nothing was stored";
}

TEST_F(TimedLessonsTest, LinesBecomeSegmentsFromTheSpokenOneAfterTheLearnersChoice) {
    const auto stored = [&] {
        app_.segmentEditor().ReloadSegments(audio_);
        QStringList texts;
        for (const ABPair& pair : state().abList)
            texts << WrittenMark(pair.a) + u'-' + WrittenMark(pair.b);
        return texts;
    };
    player_.SetCurrentPosition(4.0);
    app_.Run(Command::TimedTextToSegments);
    const QStringList fromTwo = {MarkText(3.5) + u'-' + MarkText(6.0), MarkText(7.25) + u'-' + MarkText(9.0),
                                 MarkText(9.0) + u'-' + MarkText(12.0)};
    EXPECT_EQ(stored(), fromTwo);
    EXPECT_EQ(window().segmentNumberLabel.caption, QStringLiteral("1"));
    EXPECT_EQ(window().segmentCountLabel.caption, QStringLiteral("3"));
    EXPECT_TRUE(window().playRepeatButton.enabled && window().nextSegmentButton.enabled);

    player_.SetCurrentPosition(0);
    dialogs_.answers = {MessageAnswer::Cancel};
    app_.Run(Command::TimedTextToSegments);
    EXPECT_EQ(stored(), fromTwo) << "cancelled";
    dialogs_.answers = {MessageAnswer::No};
    app_.Run(Command::TimedTextToSegments);
    EXPECT_EQ(stored().size(), 7) << "added after";
    EXPECT_EQ(window().segmentNumberLabel.caption, QStringLiteral("4"));
    dialogs_.answers = {MessageAnswer::Yes};
    app_.Run(Command::TimedTextToSegments);
    EXPECT_EQ(stored().size(), 4) << "replaced";
    EXPECT_TRUE(dialogs_.answers.empty());
}

TEST_F(TimedLessonsTest, OnlyTheFreeSlotsAreFilled) {
    std::vector<std::pair<double, double>> many;
    for (int i = 0; i < 48; ++i)
        many.emplace_back(i * 0.2, i * 0.2 + 0.1);
    app_.segmentEditor().AddSegments(many);
    ASSERT_EQ(state().abList.size(), 48u);
    dialogs_.answers = {MessageAnswer::No};
    app_.Run(Command::TimedTextToSegments);
    app_.segmentEditor().ReloadSegments(audio_);
    ASSERT_EQ(state().abList.size(), static_cast<size_t>(kSegmentSlots));
    EXPECT_EQ(state().abList.back().a, MarkTime::At(3.5)) << "the first two lines took the two free slots";
}

// The controller of AppFixture with a sentence analyser finished by hand.
class AutoSplitTest : public AppFixture {
protected:
    AutoSplitTest() {
        audio_ = MakeFile(QStringLiteral("talk.mp3"));
        player_.duration_ = 30;
        app_.documents().StartAudioFile(audio_);
        app_.transport().LoadFileSegments(audio_, 1);
    }

    FakeSentenceAnalyzer split_;
    Controller splitApp_{{player_, dialogs_, probe_, device_, db_.get(), db_.get(), &split_, nullptr},
                         {dir_.path(), dir_.path()}};
    QString audio_;
};

TEST_F(AutoSplitTest, SentencesFromThePositionOnBecomeSegmentsWhileTheWindowShowsProgress) {
    player_.SetCurrentPosition(4.0);
    splitApp_.Run(Command::AutoSplit);
    EXPECT_EQ(split_.Path(), audio_);
    EXPECT_DOUBLE_EQ(split_.from, 4.0);
    EXPECT_TRUE(splitApp_.window().splitProgress.shown);
    EXPECT_EQ(splitApp_.window().autoSplitItem.caption, QString::fromUtf8("停止自动断句"));
    split_.Advance(0.42);
    EXPECT_EQ(splitApp_.window().splitProgress.percent, 42);
    split_.Finish({{4.5, 6.25}, {7.0, 9.5}});
    EXPECT_FALSE(splitApp_.window().splitProgress.shown);
    splitApp_.segmentEditor().ReloadSegments(audio_);
    ASSERT_EQ(splitApp_.state().abList.size(), 2u);
    EXPECT_EQ(splitApp_.state().abList[1].b, MarkTime::At(9.5));
    splitApp_.UpdateDerivedStates();
    EXPECT_EQ(splitApp_.window().segmentNumberLabel.caption, QStringLiteral("1"));

    // Pressed again it stops; opening another file stops it too, and nothing is stored.
    splitApp_.Run(Command::AutoSplit);
    splitApp_.Run(Command::AutoSplit);
    EXPECT_FALSE(split_.Running());
    splitApp_.Run(Command::AutoSplit);
    splitApp_.documents().OpenChosenFile(MakeFile(QStringLiteral("other.mp3")), QStringLiteral("other.mp3"));
    EXPECT_FALSE(split_.Running());
    EXPECT_EQ(splitApp_.window().autoSplitItem.caption, QString::fromUtf8("自动断句"));

    splitApp_.Run(Command::AutoSplit);
    split_.Finish({}, Failure{FailureCode::NotAudio, QStringLiteral("decoder error")});
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    const QString told = dialogs_.shown.front().text;
    EXPECT_TRUE(told.startsWith(QString::fromUtf8("自动断句没有完成。"))) << told.toStdString();
    EXPECT_TRUE(told.contains(QString::fromUtf8("无法播放这个文件。"))) << "worded once, by its code";
}

TEST_F(AutoSplitTest, TheLearnerHearsWhatCannotBeKeptAndWhatCannotBeRead) {
    // 48 of 50 slots taken: three sentences found, two kept, and the learner is told.
    std::vector<std::pair<double, double>> many;
    for (int i = 0; i < 48; ++i)
        many.emplace_back(i * 0.5, i * 0.5 + 0.25);
    dialogs_.answers = {MessageAnswer::No};  // no segments to replace yet: never asked
    splitApp_.segmentEditor().AddSegments(many);
    splitApp_.Run(Command::AutoSplit);
    dialogs_.answers = {MessageAnswer::No};  // added after the ones there
    split_.Finish({{25.0, 26.0}, {26.5, 27.0}, {27.5, 28.0}});
    ASSERT_EQ(dialogs_.shown.size(), 2u);
    EXPECT_TRUE(dialogs_.shown[1].text.contains(QString::fromUtf8("找到 3 句")))
        << dialogs_.shown[1].text.toStdString();

    // Full: told at once, nothing analysed.
    split_.from = -1;
    splitApp_.Run(Command::AutoSplit);
    EXPECT_FALSE(split_.Running());
    EXPECT_EQ(split_.from, -1);
    ASSERT_EQ(dialogs_.shown.size(), 3u);
    EXPECT_TRUE(dialogs_.shown[2].text.contains(QString::fromUtf8("复读段已满")));

    // A file the player cannot play is told, not silently ignored.
    const QString broken = MakeFile(QStringLiteral("broken.mp3"));
    player_.unplayable[broken] = QStringLiteral("no decoder");
    player_.SetUrl(broken);
    splitApp_.Run(Command::AutoSplit);
    EXPECT_FALSE(split_.Running());
    ASSERT_EQ(dialogs_.shown.size(), 4u);
    EXPECT_TRUE(dialogs_.shown[3].text.startsWith(QString::fromUtf8("自动断句没有完成。")));
}

// The controller of AppFixture with a text aligner finished by hand, on a lesson with a plain text.
class AlignTextTest : public AppFixture {
protected:
    AlignTextTest() {
        audio_ = MakeFile(QStringLiteral("museum.mp3"));
        QFile audio(audio_);
        EXPECT_TRUE(audio.open(QIODevice::WriteOnly));
        audio.write("not empty: an alignment is kept for the file's size and time");
        audio.close();
        QFile text(dir_.filePath(QStringLiteral("museum.txt")));
        EXPECT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("Museum visit\n\nThe museum opens at nine. Tickets are sold at the door.\n");
        text.close();
        player_.duration_ = 30;
        alignApp_.documents().OpenChosenFile(audio_, QStringLiteral("museum.mp3"));
    }

    FakeTextAligner aligner_;
    Controller alignApp_{
        {player_, dialogs_, probe_, device_, db_.get(), db_.get(), nullptr, nullptr, &aligner_},
        {dir_.path(), dir_.path()}};
    QString audio_;
};

TEST_F(AlignTextTest, TheTextsSentencesBecomeATimedTextAndOneNotFoundStaysUntimed) {
    alignApp_.Run(Command::AlignText);
    ASSERT_TRUE(aligner_.Running());
    EXPECT_EQ(aligner_.Path(), audio_);
    EXPECT_EQ(aligner_.sentences,
              (QStringList{QStringLiteral("Museum visit"), QStringLiteral("The museum opens at nine."),
                           QStringLiteral("Tickets are sold at the door.")}));
    EXPECT_EQ(aligner_.voice, QStringLiteral("en"));
    alignApp_.UpdateDerivedStates();
    EXPECT_EQ(alignApp_.window().alignTextItem.caption, QString::fromUtf8("停止文本对齐"));
    EXPECT_TRUE(alignApp_.window().splitProgress.shown);

    aligner_.Finish({std::nullopt, PlacedSentence{1.0, 2.5}, PlacedSentence{3.0, 4.2}});
    const std::vector<TimedLine> expected = {{std::nullopt, QStringLiteral("Museum visit")},
                                             {1.0, QStringLiteral("The museum opens at nine.")},
                                             {2.5, QString()},
                                             {3.0, QStringLiteral("Tickets are sold at the door.")},
                                             {4.2, QString()}};
    EXPECT_EQ(alignApp_.state().timedText.lines, expected);
    const auto greyedLines = [](const std::vector<PaneMark>& marks) {
        std::vector<int> lines;
        for (const PaneMark& mark : marks)
            lines.push_back(mark.line);
        return lines;
    };
    EXPECT_EQ(greyedLines(alignApp_.window().textPane.marks), std::vector<int>{0})
        << "the untimed one greyed";
    EXPECT_FALSE(alignApp_.window().splitProgress.shown);
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_TRUE(dialogs_.shown[0].text.contains(QString::fromUtf8("3 句中有 2 句")))
        << dialogs_.shown[0].text.toStdString();
    // As a lyrics file's: a double-clicked line is looped.
    alignApp_.LoopTimedLine(3);
    EXPECT_EQ(alignApp_.state().RepeatedSegment()->a, MarkTime::At(3.0));

    // Timed now: nothing is left to align.
    alignApp_.Run(Command::AlignText);
    EXPECT_FALSE(aligner_.Running());
    EXPECT_EQ(dialogs_.shown.size(), 2u);

    // Kept: the lesson opened again shows it timed at once, and not once its text has changed.
    {
        Controller again{
            {player_, dialogs_, probe_, device_, db_.get(), db_.get(), nullptr, nullptr, &aligner_},
            {dir_.path(), dir_.path()}};
        again.documents().OpenChosenFile(audio_, QStringLiteral("museum.mp3"));
        again.transport().LoadFileSegments(audio_, 1);
        EXPECT_EQ(again.state().timedText.lines, expected);
        EXPECT_EQ(greyedLines(again.window().textPane.marks), std::vector<int>{0});
        QFile text(dir_.filePath(QStringLiteral("museum.txt")));
        ASSERT_TRUE(text.open(QIODevice::Append));
        text.write("We hope you enjoy it.\n");
        text.close();
        again.documents().OpenChosenFile(audio_, QStringLiteral("museum.mp3"));
        again.transport().LoadFileSegments(audio_, 1);
        EXPECT_TRUE(again.state().timedText.lines.empty());
        EXPECT_TRUE(again.window().textPane.marks.empty());
    }

    // Exported beside the audio, it reads back as the same timed text; one already there is replaced only
    // when the learner says so.
    alignApp_.Run(Command::ExportLrc);
    const QString lrc = dir_.filePath(QStringLiteral("museum.lrc"));
    const TextReadResult written = LoadPlainText(lrc);
    ASSERT_TRUE(written.ok());
    EXPECT_EQ(ParseLrc(written.value()).lines, expected);
    dialogs_.answers = {MessageAnswer::No};
    QFile(lrc).resize(0);
    alignApp_.Run(Command::ExportLrc);
    EXPECT_EQ(QFileInfo(lrc).size(), 0) << "kept as it was";
}

}  // namespace
}  // namespace ostrelle

namespace ostrelle {
namespace {

TEST_F(TimedLessonsTest, DictationHidesTheSpokenLineChecksWhatWasTypedAndKeepsTheScore) {
    player_.SetCurrentPosition(4.0);
    app_.Run(Command::Dictation);
    ASSERT_TRUE(app_.dictation().On());
    EXPECT_TRUE(window().dictationInput.visible);
    EXPECT_EQ(window().textPane.text, QString::fromUtf8("One\n•••\n\nThree\nFour"))
        << "the spoken line is hidden";
    EXPECT_EQ(APoint(), MarkText(3.5));
    EXPECT_EQ(window().passesLeftLabel.caption, QString::fromUtf8("剩2次")) << "and repeated";

    app_.CheckDictation(QStringLiteral("to"));
    EXPECT_EQ(window().textPane.text.section(u'\n', 1, 1), QStringLiteral("Two(to)  0%"));
    ASSERT_EQ(window().textPane.marks.size(), 1u);
    EXPECT_EQ(window().textPane.marks.front().length, 7) << "the wrong word and what was typed for it";
    const Result<std::map<qint64, int>> kept = db_->ScoresOf(audio_);
    ASSERT_TRUE(kept.ok());
    EXPECT_EQ(kept.value(), (std::map<qint64, int>{{3500, 0}})) << "to is not two";

    app_.Run(Command::NextSegment);
    EXPECT_EQ(app_.dictation().Line(), 3) << "the pause line is skipped";
    app_.CheckDictation(QStringLiteral("three"));
    EXPECT_TRUE(window().textPane.marks.empty());
    app_.Run(Command::DictationMaskAll);
    EXPECT_EQ(window().textPane.text.section(u'\n', 0, 0), QString::fromUtf8("•••"));
    app_.Run(Command::Dictation);
    EXPECT_FALSE(window().dictationInput.visible);
    EXPECT_EQ(window().textPane.text, QStringLiteral("One\nTwo\n\nThree\nFour"));
}

TEST_F(TimedLessonsTest, AFileWithSegmentsIsDictatedSegmentBySegmentWithTheLinesSpokenInEach) {
    app_.Run(Command::Dictation);
    EXPECT_EQ(window().textPane.text, QString::fromUtf8("•••\nTwo\n\nThree\nFour"));
    AddRow(
        audio_, QStringLiteral("0:12"),
        {SlotText({MarkTime::At(0.8), MarkTime::At(6.0)}), SlotText({MarkTime::At(6.2), MarkTime::At(7.0)}),
         SlotText({MarkTime::At(7.0), MarkTime::At(12.0)})});
    app_.transport().LoadFileSegments(audio_, 1);
    app_.UpdateDerivedStates();
    EXPECT_EQ(window().textPane.text, QString::fromUtf8("••• •••\n\nThree\nFour"))
        << "the segments made meanwhile are dictated";
    EXPECT_EQ(window().textPane.highlightLine, 0);

    app_.CheckDictation(QStringLiteral("one"));
    EXPECT_EQ(window().textPane.text.section(u'\n', 0, 0), QStringLiteral("One Two  50%"));
    EXPECT_EQ(db_->ScoresOf(audio_).value(), (std::map<qint64, int>{{800, 50}}));

    app_.Run(Command::NextSegment);
    EXPECT_EQ(APoint(), MarkText(7.0)) << "the segment where no line is spoken is skipped";
    EXPECT_EQ(window().passesLeftLabel.caption, QString::fromUtf8("剩2次")) << "and repeated";
    EXPECT_EQ(window().textPane.text, QString::fromUtf8("One\nTwo  50%\n\n••••• ••••"));
    EXPECT_EQ(window().textPane.highlightLine, 3);
}

}  // namespace
}  // namespace ostrelle
