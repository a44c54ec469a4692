#include "core/operations/segment_store.h"
#include "support/app_fixture.h"

namespace ostrelle {
namespace {

const QString kLesson = QStringLiteral("/music/lesson.mp3");

using Slots = std::vector<std::optional<QString>>;

class SegmentEditorTest : public AppFixture {
protected:
    SegmentEditorTest() {
        player_.SetUrl(kLesson);
        state().listedLengthMs = 600000;
        state().abListPath = kLesson;
    }

    void AddRowWith(const QString& path, const Slots& slots = {}) {
        AddRow(path, QStringLiteral("10:00"), slots);
    }

    Slots SlotsOf(const QString& path) {
        QueryResult result = db_->RowFor(path);
        Slots slots;
        if (!result.ok() || result.value()->Eof()) return slots;
        for (int p = kFirstSegmentField; p <= kLastSegmentField; ++p)
            slots.push_back(result.value()->Field(p));
        return slots;
    }

    // A row with count segments "A00:0iB00:1i" and the list loaded, segment `current` (1-based) shown.
    void LoadNumbered(int count, int current) {
        Slots slots;
        for (int i = 1; i <= count; ++i)
            slots.push_back(Numbered(i));
        AddRowWith(kLesson, slots);
        app_.segmentEditor().ReloadSegments(kLesson);
        state().abIndex = current - 1;
    }

    static QString Numbered(int i) {
        return SlotText({ReadMark(QStringLiteral("%1:00").arg(i, 2, 10, QChar(u'0'))),
                         ReadMark(QStringLiteral("%1:30").arg(i, 2, 10, QChar(u'0')))});
    }

    void MarkAt(double a, double b) {
        player_.SetCurrentPosition(a);
        app_.Run(Command::SetA);
        player_.Pause();
        player_.SetCurrentPosition(b);
        app_.Run(Command::SetB);
    }

    bool On(Button Window::*button) { return (window().*button).enabled; }
};

TEST_F(SegmentEditorTest, SetAPointTakesThePlayersPlaceAndShowsOnlyTheAMark) {
    player_.SetCurrentPosition(5.4);
    app_.Run(Command::SetA);
    EXPECT_EQ(APoint(), QStringLiteral("00:05.400")) << "the player's place to the millisecond";
    EXPECT_EQ(window().markCaptions[0].caption, QStringLiteral("A 00:05.4"));
    EXPECT_EQ(window().markFlags[0].geometry.left, 3975);  // 3890 + 9430 × 5.4 / 600 = 3974.87
    EXPECT_EQ(window().markCaptionBoxes[0].geometry.left, 3975);
    EXPECT_TRUE(window().markFlags[0].visible);
    EXPECT_FALSE(window().markFlags[1].visible);
    EXPECT_FALSE(window().markCaptionBoxes[1].visible);
    EXPECT_EQ(player_.PlayState(), kPlayStatePlaying);
    EXPECT_FALSE(On(&Window::setAButton));
    EXPECT_TRUE(On(&Window::setBButton));
    EXPECT_TRUE(window().setBItem.enabled);
    for (Button Window::*button :
         {&Window::playRepeatButton, &Window::nextSegmentButton, &Window::previousSegmentButton})
        EXPECT_FALSE(On(button));
    EXPECT_FALSE(window().deleteSegmentButton.enabled);
    EXPECT_FALSE(window().deleteAllSegmentsItem.enabled);
}

TEST_F(SegmentEditorTest, AtPositionZeroAReadsZeroAndBOnAFileNotOpenStoresNothing) {
    app_.Run(Command::SetA);  // position 0
    EXPECT_EQ(APoint(), QStringLiteral("00:00"));
    EXPECT_EQ(window().markFlags[0].geometry.left, 3890);
    player_.duration_ = 0;  // media not open
    player_.SetCurrentPosition(7);
    app_.Run(Command::SetB);
    EXPECT_EQ(BPoint(), QString());
    EXPECT_EQ(TableRows(), 0) << "no row with a made-up length, no segment";
    EXPECT_FALSE(window().markFlags[0].visible || window().markFlags[1].visible);
    EXPECT_FALSE(window().setBButton.enabled);
    EXPECT_TRUE(window().setAButton.enabled);
}

TEST_F(SegmentEditorTest, SetBPointStoresTheSegmentInTheFirstFreeSlotAndMakesItCurrent) {
    AddRowWith(kLesson, {Numbered(1), QStringLiteral("   ")});
    app_.segmentEditor().ReloadSegments(kLesson);
    MarkAt(65, 72.9);
    const Slots slots = SlotsOf(kLesson);
    EXPECT_EQ(slots[0], Numbered(1));
    EXPECT_EQ(slots[1], QStringLiteral("A01:05.000B01:12.900")) << "a blank slot is free";
    EXPECT_EQ(slots[2], std::nullopt);
    EXPECT_EQ(state().abIndex, 1);
    EXPECT_EQ(window().segmentNumberLabel.caption, QStringLiteral("2"));
    EXPECT_EQ(window().segmentCountLabel.caption, QStringLiteral("2"));
    EXPECT_EQ(window().segmentRangeLabel.caption, QStringLiteral("01:05.0 -- 01:12.9"));
    EXPECT_EQ(window().markCaptions[1].caption, QStringLiteral("B 01:12.9"));
    EXPECT_TRUE(window().markFlags[1].visible);
    EXPECT_TRUE(On(&Window::setAButton));
    EXPECT_FALSE(On(&Window::setBButton));
    EXPECT_TRUE(On(&Window::playRepeatButton));
    EXPECT_TRUE(On(&Window::previousSegmentButton)) << "two segments: previous is on";
    EXPECT_TRUE(window().deleteSegmentButton.enabled && window().deleteAllSegmentsButton.enabled);
}

TEST_F(SegmentEditorTest, ABAtOrBeforeItsAIsNotStoredAndALaterBIs) {
    player_.SetCurrentPosition(12.5);
    app_.Run(Command::SetA);
    player_.Pause();
    player_.SetCurrentPosition(12.5);
    app_.Run(Command::SetB);
    EXPECT_EQ(TableRows(), 0);
    EXPECT_EQ(window().segmentRangeLabel.caption, QString::fromUtf8("B 点须在 A 点之后"));
    EXPECT_TRUE(On(&Window::setBButton)) << "a valid B may still come";
    EXPECT_FALSE(window().markFlags[1].visible);

    player_.SetCurrentPosition(14.25);
    app_.Run(Command::SetB);
    EXPECT_EQ(SlotsOf(kLesson)[0], QStringLiteral("A00:12.500B00:14.250"));
    EXPECT_EQ(window().segmentRangeLabel.caption, QStringLiteral("00:12.5 -- 00:14.3"));

    // The run stops exactly at B and starts again exactly at A.
    app_.Run(Command::PlayRepeat);
    EXPECT_EQ(player_.stopPoint(), 14.25);
    EXPECT_EQ(player_.seeks.back(), 12.5);
}

TEST_F(SegmentEditorTest, NudgesRewriteTheSameSlotClampAndPlayTheEdgeMoved) {
    AddRowWith(kLesson, {Numbered(1), QStringLiteral("A00:00.005B00:02.000"), Numbered(3)});
    app_.segmentEditor().ReloadSegments(kLesson);
    app_.repeat().GoToSegment(1);
    app_.UpdateDerivedStates();
    EXPECT_TRUE(window().nudgeAEarlierItem.enabled);

    app_.Run(Command::NudgeAEarlier);  // 5 ms left: stops at 0
    EXPECT_EQ(SlotsOf(kLesson)[1], QStringLiteral("A00:00.000B00:02.000"));
    EXPECT_EQ(player_.seeks.back(), 0.0) << "plays from the new A";
    app_.Run(Command::NudgeBMuchLater);
    EXPECT_EQ(SlotsOf(kLesson)[1], QStringLiteral("A00:00.000B00:02.100"));
    EXPECT_DOUBLE_EQ(player_.seeks.back(), 1.1) << "the last second up to B";
    EXPECT_EQ(player_.stopPoint(), 2.1);
    EXPECT_EQ(SlotsOf(kLesson)[0], Numbered(1));
    EXPECT_EQ(SlotsOf(kLesson)[2], Numbered(3));
    EXPECT_EQ(window().segmentRangeLabel.caption, QStringLiteral("00:00.0 -- 00:02.1"));

    // Past the end of the file, and past the other mark, they stop.
    player_.duration_ = 2.15;
    app_.Run(Command::NudgeBMuchLater);
    EXPECT_EQ(SlotsOf(kLesson)[1], QStringLiteral("A00:00.000B00:02.150"));
    for (int i = 0; i < 30; ++i)
        app_.Run(Command::NudgeAMuchLater);
    EXPECT_EQ(SlotsOf(kLesson)[1], QStringLiteral("A00:02.149B00:02.150"));

    // During a run the next pass takes the new points.
    app_.Run(Command::PlayRepeat);
    app_.Run(Command::NudgeAMuchEarlier);
    EXPECT_TRUE(window().repeatTick.Running());
    EXPECT_EQ(APoint(), QStringLiteral("00:02.049"));

    // Without a current segment there is nothing to nudge.
    state().abIndex.reset();
    app_.UpdateDerivedStates();
    EXPECT_FALSE(window().nudgeBLaterItem.enabled);
}

TEST_F(SegmentEditorTest, MillisecondMarksSurviveReloadStepsRunsAndDeletes) {
    AddRowWith(kLesson, {QStringLiteral("A00:01.234B00:03.456"), QStringLiteral("A00:05B00:07"),
                         QStringLiteral("A1:02:03.456B1:02:07.000")});
    player_.duration_ = 4000;
    app_.transport().LoadFileSegments(kLesson, 1);
    EXPECT_EQ(window().segmentRangeLabel.caption, QStringLiteral("00:01.2 -- 00:03.5"));
    app_.Run(Command::NextSegment);
    EXPECT_EQ(window().segmentRangeLabel.caption, QStringLiteral("00:05 -- 00:07"))
        << "whole seconds as before";
    app_.Run(Command::NextSegment);
    EXPECT_EQ(window().segmentRangeLabel.caption, QStringLiteral("1:02:03.5 -- 1:02:07.0"));
    app_.Run(Command::PlayRepeat);
    EXPECT_EQ(player_.stopPoint(), 3727.0);
    EXPECT_DOUBLE_EQ(player_.seeks.back(), 3723.456);
    app_.Run(Command::PlayRepeat);
    app_.Run(Command::DeleteSegment);
    EXPECT_EQ(SlotsOf(kLesson)[0], QStringLiteral("A00:01.234B00:03.456"));
    EXPECT_EQ(window().segmentRangeLabel.caption, QStringLiteral("00:05 -- 00:07"));
}

TEST_F(SegmentEditorTest, SetBPointEndsARunButLeavesItsCaptions) {
    AddRowWith(kLesson, {Numbered(1)});
    app_.segmentEditor().ReloadSegments(kLesson);
    state().abIndex = 0;
    app_.Run(Command::PlayRepeat);
    ASSERT_TRUE(window().repeatTick.Running());
    player_.SetCurrentPosition(70);
    state().pendingA = MarkTime::At(60);  // however a run and a waiting A came together, B ends the run
    app_.Run(Command::SetB);
    EXPECT_FALSE(window().repeatTick.Running());
    EXPECT_EQ(window().passesLeftLabel.caption, QString());
    EXPECT_EQ(window().playRepeatButton.caption, QString::fromUtf8("停止"));
    EXPECT_EQ(player_.stopPoint(), std::nullopt);
}

TEST_F(SegmentEditorTest, TheFiftyFirstSegmentDropsTheOldest) {
    Slots full;
    for (int i = 1; i <= 50; ++i)
        full.push_back(Numbered(i));
    AddRowWith(kLesson, full);
    MarkAt(600 - 9, 600 - 2);
    const Slots slots = SlotsOf(kLesson);
    EXPECT_EQ(slots[0], Numbered(2));
    EXPECT_EQ(slots[48], Numbered(50));
    EXPECT_EQ(slots[49], QStringLiteral("A09:51.000B09:58.000"));
    EXPECT_EQ(state().abList.size(), 50u);
    EXPECT_EQ(state().abIndex, 49);
    EXPECT_EQ(window().segmentNumberLabel.caption, QStringLiteral("50"));
    EXPECT_EQ(window().segmentCountLabel.caption, QStringLiteral("50"));
}

TEST_F(SegmentEditorTest, SetBPointForAFileWithoutARowKeepsTheSegmentInANewRow) {
    MarkAt(3, 6);
    const Slots slots = SlotsOf(kLesson);
    ASSERT_EQ(slots.size(), 50u);
    EXPECT_EQ(slots[0], QStringLiteral("A00:03.000B00:06.000"));
    QueryResult row = db_->RowFor(kLesson);
    EXPECT_EQ(row.value()->Field(kFileNameField), QStringLiteral("lesson.mp3"));
    EXPECT_EQ(row.value()->Field(kPlayTimeField), QStringLiteral("10:00"));
    EXPECT_EQ(window().segmentNumberLabel.caption, QStringLiteral("1"));
    EXPECT_FALSE(On(&Window::previousSegmentButton));
}

struct DeleteCase {
    int count;
    int deleted;
    int current;  // 1-based number shown afterwards
    int shownCount;
    bool next;
    bool previous;
};

class DeleteCurrentTest : public SegmentEditorTest, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(DeleteCurrentTest, TheFollowingSegmentOrTheNewLastBecomesCurrent) {
    const DeleteCase c = GetParam();
    LoadNumbered(c.count, c.deleted);
    app_.Run(Command::DeleteSegment);

    std::vector<QString> expected;
    for (int i = 1; i <= c.count; ++i)
        if (i != c.deleted) expected.push_back(Numbered(i));
    const Slots slots = SlotsOf(kLesson);
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(slots[i], expected[i]) << i;
    EXPECT_TRUE(!slots[expected.size()] || slots[expected.size()]->trimmed().isEmpty());

    EXPECT_EQ(state().abList.size(), expected.size());
    EXPECT_EQ(state().abIndex, c.current - 1);
    EXPECT_EQ(SlotText(*state().RepeatedSegment()), expected[c.current - 1]);
    EXPECT_EQ(window().segmentNumberLabel.caption, QString::number(c.current));
    EXPECT_EQ(window().segmentCountLabel.caption, QString::number(c.shownCount));
    EXPECT_EQ(window().segmentRangeLabel.caption, APoint() + QStringLiteral(" -- ") + BPoint());
    EXPECT_EQ(On(&Window::nextSegmentButton), c.next);
    EXPECT_EQ(window().nextSegmentItem.enabled, c.next);
    EXPECT_EQ(On(&Window::previousSegmentButton), c.previous);
    EXPECT_TRUE(On(&Window::setAButton)) << "set-A is given back";
    EXPECT_TRUE(window().markFlags[0].visible && window().markFlags[1].visible);
}

INSTANTIATE_TEST_SUITE_P(Cases, DeleteCurrentTest,
                         ::testing::Values(DeleteCase{3, 1, 1, 2, true,
                                                      false},  // the first: former 2 current
                                           DeleteCase{3, 3, 2, 2, false, true},   // the last
                                           DeleteCase{3, 2, 2, 2, false, true},   // second-to-last
                                           DeleteCase{4, 2, 2, 3, true, true},    // any other
                                           DeleteCase{2, 1, 1, 1, false, false},  // one left
                                           DeleteCase{50, 20, 20, 49, true, true}));

TEST_F(SegmentEditorTest, DeletingTheOnlySegmentResetsTheSegmentControls) {
    LoadNumbered(1, 1);
    app_.Run(Command::DeleteSegment);
    const Slots slots = SlotsOf(kLesson);
    ASSERT_EQ(slots.size(), 50u);
    EXPECT_TRUE(!slots[0] || slots[0]->trimmed().isEmpty());
    EXPECT_TRUE(state().abList.empty());
    EXPECT_FALSE(state().hasAB);
    EXPECT_EQ(window().segmentNumberLabel.caption, QString());
    EXPECT_EQ(window().segmentCountLabel.caption, QString());
    EXPECT_EQ(window().segmentRangeLabel.caption, QStringLiteral(" -- "));
    EXPECT_FALSE(window().markFlags[0].visible || window().markCaptionBoxes[1].visible);
    EXPECT_TRUE(On(&Window::setAButton));
    for (Button Window::*button :
         {&Window::playRepeatButton, &Window::nextSegmentButton, &Window::previousSegmentButton})
        EXPECT_FALSE(On(button));
    EXPECT_FALSE(window().deleteSegmentButton.enabled || window().deleteAllSegmentsButton.enabled);
}

TEST_F(SegmentEditorTest, DeletingOneOfFiftyFreesTheLastSlot) {
    LoadNumbered(50, 50);
    app_.Run(Command::DeleteSegment);
    const Slots slots = SlotsOf(kLesson);
    EXPECT_EQ(slots[48], Numbered(49));
    ASSERT_TRUE(slots[49].has_value());
    EXPECT_TRUE(slots[49]->trimmed().isEmpty());
    EXPECT_EQ(state().abList.size(), 49u);
}

TEST_F(SegmentEditorTest, DeleteCurrentStopsARunAndPausesThePlayer) {
    LoadNumbered(3, 2);
    app_.Run(Command::PlayRepeat);
    app_.Run(Command::DeleteSegment);
    EXPECT_FALSE(window().repeatTick.Running());
    EXPECT_EQ(player_.PlayState(), kPlayStatePaused);
    EXPECT_EQ(window().playRepeatButton.caption, QString::fromUtf8("播放"));
    EXPECT_EQ(window().playRepeatItem.caption, QString::fromUtf8("播放(复读)"));
}

TEST_F(SegmentEditorTest, WithNoSegmentCurrentDeleteCurrentDeletesNothing) {
    LoadNumbered(3, 1);
    state().abIndex.reset();  // as right after start-up
    app_.Run(Command::DeleteSegment);
    const Slots slots = SlotsOf(kLesson);
    EXPECT_EQ(slots[0], Numbered(1));
    EXPECT_EQ(slots[2], Numbered(3));
    EXPECT_EQ(slots[3], std::nullopt);
    EXPECT_FALSE(window().deleteSegmentItem.enabled || window().deleteAllSegmentsItem.enabled)
        << "commands that would do nothing are off";
}

TEST_F(SegmentEditorTest, MarksOfANewLessonStandOverTheirTimesAfterStepsAndDeletes) {
    player_.duration_ = 1200;  // 20 minutes, where the fixture's length says 10
    const QString lesson = MakeFile(QStringLiteral("new lesson.mp3"));
    app_.documents().OpenChosenFile(lesson, QStringLiteral("new lesson.mp3"));
    MarkAt(100, 200);
    MarkAt(600, 900);
    app_.Run(Command::PreviousSegment);
    EXPECT_EQ(window().markFlags[0].geometry.left, MarkLeftTwips(100, 1200));
    EXPECT_EQ(window().markFlags[1].geometry.left, MarkLeftTwips(200, 1200));
    app_.Run(Command::NextSegment);
    app_.Run(Command::DeleteSegment);
    EXPECT_EQ(window().markFlags[1].geometry.left, MarkLeftTwips(200, 1200));
}

TEST_F(SegmentEditorTest, AnAWaitingForItsBIsDroppedWhenAnotherFileLoads) {
    player_.SetCurrentPosition(22);
    app_.Run(Command::SetA);
    app_.documents().OpenChosenFile(MakeFile(QStringLiteral("next.mp3")), QStringLiteral("next.mp3"));
    EXPECT_FALSE(window().setBButton.enabled || window().setBItem.enabled);
    EXPECT_FALSE(window().markFlags[0].visible);
}

TEST_F(SegmentEditorTest, DeletesActOnTheFileWhoseSegmentsAreShown) {
    const QString other = QStringLiteral("/music/other.mp3");
    AddRowWith(other, {Numbered(7)});
    LoadNumbered(2, 1);
    state().currentListPath = other;  // the learner merely clicked another row
    app_.Run(Command::DeleteSegment);
    EXPECT_EQ(SlotsOf(other)[0], Numbered(7));
    EXPECT_EQ(SlotsOf(kLesson)[0], Numbered(2));

    dialogs_.answers = {MessageAnswer::Yes};
    app_.Run(Command::DeleteAllSegments);
    EXPECT_EQ(SlotsOf(other)[0], Numbered(7));
    EXPECT_EQ(SlotsOf(kLesson)[0], QString());
}

TEST_F(SegmentEditorTest, DeleteAllAsksAndNoChangesNothing) {
    LoadNumbered(3, 2);
    dialogs_.answers = {MessageAnswer::No};
    app_.Run(Command::DeleteAllSegments);
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].text, QString::fromUtf8("是否删除全部AB?"));
    EXPECT_EQ(dialogs_.shown[0].title, QString::fromUtf8("提示"));
    EXPECT_EQ(dialogs_.shown[0].kind, MessageKind::Question);
    EXPECT_EQ(SlotsOf(kLesson)[1], Numbered(2));
    EXPECT_EQ(state().abList.size(), 3u);
}

TEST_F(SegmentEditorTest, AfterDeleteAllTheNextSegmentIsNumberOneOfOneInTheFirstSlot) {
    LoadNumbered(3, 2);
    app_.Run(Command::PlayRepeat);
    dialogs_.answers = {MessageAnswer::Yes};
    app_.Run(Command::DeleteAllSegments);
    Slots slots = SlotsOf(kLesson);
    for (const auto& slot : slots)
        EXPECT_EQ(slot, QString());
    EXPECT_FALSE(window().repeatTick.Running());
    EXPECT_EQ(window().playRepeatButton.caption, QString::fromUtf8("播放"));
    EXPECT_EQ(window().playRepeatItem.caption, QString::fromUtf8("停止(复读)"))
        << "the menu caption is not touched";
    EXPECT_TRUE(On(&Window::setAButton));
    EXPECT_FALSE(On(&Window::playRepeatButton));
    EXPECT_FALSE(window().markFlags[0].visible);

    MarkAt(10, 12);
    slots = SlotsOf(kLesson);
    EXPECT_EQ(slots[0], QStringLiteral("A00:10.000B00:12.000"));
    EXPECT_EQ(window().segmentNumberLabel.caption, QStringLiteral("1"));
    EXPECT_EQ(window().segmentCountLabel.caption, QStringLiteral("1"));
}

TEST_F(SegmentEditorTest, LoadingStopsAtTheFirstNullAndSkipsBlankSlots) {
    AddRowWith(kLesson, {Numbered(1), Numbered(2), std::nullopt, Numbered(4)});
    SegmentStore store(db_.get());
    Result<LoadedSegments> loaded = store.LoadABList(kLesson);
    ASSERT_TRUE(loaded.ok());
    EXPECT_EQ(loaded.value().list.size(), 2u);
    EXPECT_TRUE(loaded.value().hasAB);

    const QString blanks = QStringLiteral("/music/blanks.mp3");
    Slots fifty(50, QStringLiteral(" "));
    AddRowWith(blanks, fifty);
    loaded = store.LoadABList(blanks);
    ASSERT_TRUE(loaded.ok());
    EXPECT_TRUE(loaded.value().list.empty());
    EXPECT_FALSE(loaded.value().hasAB);

    loaded = store.LoadABList(QStringLiteral("/music/absent.mp3"));
    ASSERT_TRUE(loaded.ok()) << "a file without a row has no segments, which is no failure";
    EXPECT_TRUE(loaded.value().list.empty());
}

TEST(SegmentEditorWithoutDatabase, MarkingStillWorksOnScreenWithoutAMessageEachTime) {
    SimulatedPlayer player;
    ScriptedDialogs dialogs;
    FakeDurationMeter probe;
    FakeWaveDevice device;
    Controller app({player, dialogs, probe, device, nullptr}, {});
    player.SetUrl(kLesson);
    player.SetCurrentPosition(4);
    app.Run(Command::SetA);
    player.SetCurrentPosition(9);
    app.Run(Command::SetB);
    EXPECT_EQ(app.state().RepeatedSegment()->b, MarkTime::At(9));
    app.UpdateDerivedStates();
    EXPECT_TRUE(app.window().markFlags[1].visible);
    EXPECT_TRUE(dialogs.shown.empty());
}

}  // namespace
}  // namespace ostrelle
