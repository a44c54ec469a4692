#include "support/app_fixture.h"

namespace ostrelle {
namespace {

class PlaylistTest : public AppFixture {
protected:
    Playlist& playlist() { return app_.playlist(); }

    void AddRows(int count) {
        for (int i = 1; i <= count; ++i)
            AddRow(QStringLiteral("/music/%1.mp3").arg(i));
    }
};

TEST_F(PlaylistTest, FillShowsListedRowsNumberedAndSizesTheGrid) {
    AddRow(QStringLiteral("/music/a.mp3"), QStringLiteral("1:05"));
    AddRow(QStringLiteral("/music/hidden.mp3"), QStringLiteral("0:10"), {}, false);
    AddRow(QString::fromUtf8("/音乐/第二课.mp3"), QStringLiteral("12:00"));
    playlist().LoadPlaylistGrid();
    EXPECT_EQ(grid().CellText(1, kNumberColumn), QStringLiteral("1."));
    EXPECT_EQ(grid().CellText(1, kFileNameColumn), QStringLiteral("a.mp3"));
    EXPECT_EQ(grid().CellText(1, kDurationColumn), QStringLiteral("1:05"));
    EXPECT_EQ(grid().CellText(1, kPathColumn), QStringLiteral("/music/a.mp3"));
    EXPECT_EQ(grid().CellText(2, kNumberColumn), QStringLiteral("2."));
    EXPECT_EQ(grid().CellText(2, kFileNameColumn), QString::fromUtf8("第二课.mp3"));
    EXPECT_EQ(grid().CellText(3, kFileNameColumn), QString()) << "rows whose seq is false are not listed";
    EXPECT_EQ(grid().Alignment(2, 2), GridModel::kAlignLeft);
    EXPECT_EQ(grid().Alignment(2, 3), GridModel::kAlignCentre);
}

TEST_F(PlaylistTest, RowCountFollowsTheNumberOfEntries) {
    playlist().LoadPlaylistGrid();
    EXPECT_EQ(grid().Rows(), 12);
    AddRows(10);
    playlist().LoadPlaylistGrid();
    EXPECT_EQ(grid().Rows(), 12);
    AddRow(QStringLiteral("/music/11.mp3"));
    playlist().LoadPlaylistGrid();
    EXPECT_EQ(grid().Rows(), 14);
    EXPECT_EQ(grid().CellText(11, kNumberColumn), QStringLiteral("11."));
    EXPECT_EQ(playlist().CountPlaylistRows(), 11);
    EXPECT_TRUE(window().clearListButton.enabled && window().deleteEntryItem.enabled);
}

TEST_F(PlaylistTest, AnEmptyListSwitchesClearAndDeleteOff) {
    playlist().LoadPlaylistGrid();
    EXPECT_EQ(playlist().CountPlaylistRows(), 0);
    EXPECT_FALSE(window().clearListButton.enabled);
    EXPECT_FALSE(window().clearListItem.enabled);
    EXPECT_FALSE(window().deleteEntryButton.enabled);
}

TEST_F(PlaylistTest, ClickSelectsAnEntryAndDoubleClickPlaysItWithItsSegments) {
    const QString path = MakeFile(QStringLiteral("lesson.mp3"));
    AddRow(QStringLiteral("/music/first.mp3"));
    AddRow(path, QStringLiteral("2:00"), {QStringLiteral("A00:05B00:09"), QStringLiteral("A00:10B00:20")});
    playlist().LoadPlaylistGrid();

    grid().SetActiveCell(2, kFileNameColumn);
    playlist().SelectEntry();
    EXPECT_EQ(state().currentListPath, path);
    EXPECT_TRUE(window().deleteEntryButton.enabled);
    EXPECT_EQ(player_.Url(), QString()) << "a click plays nothing";

    playlist().PlayEntry();
    EXPECT_EQ(player_.Url(), path);
    EXPECT_EQ(player_.PlayState(), kPlayStatePlaying);
    EXPECT_EQ(state().currentListRow, 2);
    EXPECT_EQ(state().currentAudioPath, path);
    EXPECT_EQ(state().abList.size(), 2u);
    EXPECT_EQ(state().listedLengthMs, 120000);
    EXPECT_TRUE(window().listingTimer.Running());
    EXPECT_TRUE(window().sequentialPlayTimer.Running());

    grid().SetActiveCell(5, kFileNameColumn);  // an empty row
    playlist().SelectEntry();
    EXPECT_FALSE(window().deleteEntryButton.enabled);
    playlist().PlayEntry();
    EXPECT_EQ(player_.Url(), path);
}

TEST_F(PlaylistTest, DoubleClickOnADeletedFileTellsAndRemovesTheEntry) {
    AddRow(QStringLiteral("/nowhere/gone.mp3"));
    AddRow(QStringLiteral("/nowhere/second.mp3"));
    playlist().LoadPlaylistGrid();
    grid().SetActiveCell(1, kFileNameColumn);
    playlist().PlayEntry();
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].text, QString::fromUtf8("播放文件不存在或被删除，此列表内容将会被删除！"));
    EXPECT_EQ(dialogs_.shown[0].title, MessageTitle());
    EXPECT_EQ(TableRows(), 1);
    EXPECT_EQ(grid().CellText(1, kNumberColumn), QStringLiteral("1."));
    EXPECT_EQ(grid().CellText(1, kFileNameColumn), QStringLiteral("second.mp3"))
        << "the rows below move up, renumbered";
    EXPECT_EQ(grid().CellText(2, kFileNameColumn), QString());
}

TEST_F(PlaylistTest, ClearAnsweredNoKeepsEverythingAndYesKeepsOnlyTheSegments) {
    AddRows(3);
    AddRow(QStringLiteral("/music/unlisted.mp3"), QStringLiteral("0:10"), {}, false);
    const QString marked = MakeFile(QStringLiteral("marked.mp3"));
    AddRow(marked, QStringLiteral("1:00"), {QStringLiteral("A00:01B00:02")});
    playlist().LoadPlaylistGrid();
    dialogs_.answers = {MessageAnswer::No};
    playlist().ClearPlaylist();
    EXPECT_TRUE(dialogs_.shown.back().text.startsWith(QString::fromUtf8("真的全部清空表格吗?\n")));
    EXPECT_TRUE(dialogs_.shown.back().text.contains(QString::fromUtf8("AB段点会保留")));
    EXPECT_EQ(dialogs_.shown.back().title, QString::fromUtf8("提示"));
    EXPECT_EQ(TableRows(), 5);
    EXPECT_EQ(grid().CellText(3, kFileNameColumn), QStringLiteral("3.mp3"));

    dialogs_.answers = {MessageAnswer::Yes};
    playlist().ClearPlaylist();
    EXPECT_EQ(TableRows(), 1) << "only the row with segments stays, off the list";
    EXPECT_EQ(grid().CellText(1, kFileNameColumn), QString());
    for (const Button* button : {&window().setAButton, &window().clearListButton, &window().deleteEntryButton,
                                 &window().saveListButton})
        EXPECT_FALSE(button->enabled) << button->caption.toStdString();
    EXPECT_FALSE(window().saveListItem.enabled);
    EXPECT_EQ(grid().SelectedRow(), -1);

    // Opening the file again lists it at the end with its segments.
    app_.documents().OpenChosenFile(marked, QStringLiteral("marked.mp3"));
    app_.ListPlayingFile();
    probe_.DeliverAll();  // its length, measured meanwhile
    app_.ListPlayingFile();
    EXPECT_EQ(grid().CellText(1, kPathColumn), marked);
    EXPECT_EQ(state().abList.size(), 1u);
    EXPECT_TRUE(window().playRepeatButton.enabled);
}

TEST_F(PlaylistTest, DeleteRemovesTheSelectedEntryOnlyAndKeepsPlaying) {
    AddRows(3);
    playlist().LoadPlaylistGrid();
    player_.SetUrl(QStringLiteral("/music/2.mp3"));
    player_.Play();
    playlist().SelectPlaylistRow(2);
    app_.Run(Command::DeleteEntry);
    EXPECT_EQ(TableRows(), 2);
    EXPECT_EQ(grid().CellText(2, kPathColumn), QStringLiteral("/music/3.mp3"));
    EXPECT_EQ(player_.PlayState(), kPlayStatePlaying);
    EXPECT_FALSE(window().deleteEntryButton.enabled);
}

TEST_F(PlaylistTest, ListingANewFileAddsItAfterTheLastEntry) {
    AddRows(2);
    playlist().LoadPlaylistGrid();
    const QString path = QStringLiteral("/music/new one.mp3");
    probe_.seconds[path] = 75.4;
    state().currentListRow = playlist().CountPlaylistRows() + 1;
    state().currentAudioPath = path;
    app_.ListPlayingFile();
    EXPECT_TRUE(window().listingTimer.Running()) << "it looks again once the length is measured";
    EXPECT_EQ(TableRows(), 2);
    probe_.DeliverAll();
    app_.ListPlayingFile();
    EXPECT_FALSE(window().listingTimer.enabled);
    EXPECT_EQ(grid().CellText(3, kNumberColumn), QStringLiteral("3."));
    EXPECT_EQ(grid().CellText(3, kFileNameColumn), QStringLiteral("new one.mp3"));
    EXPECT_EQ(grid().CellText(3, kDurationColumn), QStringLiteral("1:15"));
    EXPECT_EQ(grid().SelectedRow(), 3);
    EXPECT_EQ(state().currentListPath, path);
    EXPECT_EQ(TableRows(), 3);
    EXPECT_TRUE(window().clearListButton.enabled);
}

TEST_F(PlaylistTest, AFileCutShortAfterAFewFramesIsToldAndNeverListed) {
    // As the real file that holds 0.44 s of a half-hour its header claims.
    const QString path = QStringLiteral("/music/cut short.mp3");
    probe_.seconds[path] = 0.444;
    player_.SetUrl(path);
    state().currentAudioPath = path;
    state().currentListRow = 1;
    app_.ListPlayingFile();
    probe_.DeliverAll();
    app_.ListPlayingFile();
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_TRUE(dialogs_.shown[0].text.contains(QString::fromUtf8("无法播放这个文件")))
        << dialogs_.shown[0].text.toStdString();
    EXPECT_EQ(TableRows(), 0);
    EXPECT_FALSE(window().setAButton.enabled) << "no segment can be marked on it";
}

TEST_F(PlaylistTest, ListingAFileAlreadyListedRewritesItsRowInPlace) {
    AddRows(3);
    playlist().LoadPlaylistGrid();
    const QString path = QStringLiteral("/music/2.mp3");
    probe_.seconds[path] = 3725;
    state().currentListRow = 4;  // as an open would set it
    state().currentAudioPath = path;
    app_.ListPlayingFile();
    probe_.DeliverAll();
    app_.ListPlayingFile();
    EXPECT_EQ(TableRows(), 3);
    EXPECT_EQ(state().currentListRow, 2);
    EXPECT_EQ(grid().CellText(2, kDurationColumn), QStringLiteral("1:02:05"));
    EXPECT_EQ(grid().CellText(4, kFileNameColumn), QString());
    QueryResult row = db_->RowFor(path);
    EXPECT_EQ(row.value()->Field(kPlayTimeField), QStringLiteral("1:02:05"));
}

TEST_F(PlaylistTest, AnUnknownDurationIsRetriedAndNeverMadeUp) {
    playlist().LoadPlaylistGrid();
    const QString path = QStringLiteral("/music/slow.mp3");
    state().currentAudioPath = path;
    state().currentListRow = 1;
    state().durationRetries = 5;
    player_.duration_ = 0;
    app_.ListPlayingFile();
    EXPECT_EQ(state().durationRetries, 5) << "measuring is waited for without using up the retries";
    probe_.DeliverAll();  // it cannot be measured
    for (int tick = 0; tick < 5; ++tick) {
        app_.ListPlayingFile();
        ASSERT_TRUE(window().listingTimer.Running()) << tick;
        EXPECT_EQ(window().listingTimer.intervalMs, 250);
    }
    EXPECT_EQ(probe_.calls, 1) << "a file that cannot be measured is not measured at every look";
    app_.ListPlayingFile();
    EXPECT_FALSE(window().listingTimer.enabled) << "retries are bounded";
    EXPECT_EQ(TableRows(), 0);
    EXPECT_EQ(grid().CellText(1, kFileNameColumn), QString());

    // The player's figure serves when the probe cannot read the file.
    player_.SetUrl(path);
    player_.duration_ = 42;
    app_.ListPlayingFile();
    EXPECT_EQ(grid().CellText(1, kDurationColumn), QStringLiteral("0:42"));
}

TEST_F(PlaylistTest, SequentialPlayGoesDownTheListAndStopsAtTheEnd) {
    const QString a = MakeFile(QStringLiteral("a.mp3"));
    const QString b = MakeFile(QStringLiteral("b.mp3"));
    AddRow(a);
    AddRow(b, QStringLiteral("1:00"), {QStringLiteral("A00:01B00:02")});
    playlist().LoadPlaylistGrid();
    window().sequentialPlayBox.value = 1;
    grid().SetActiveCell(1, kFileNameColumn);
    playlist().PlayEntry();

    app_.PlayNextWhenEnded();
    EXPECT_EQ(player_.Url(), a) << "nothing happens while playing";
    app_.Run(Command::Stop);
    app_.PlayNextWhenEnded();
    EXPECT_EQ(player_.Url(), a) << "a stop is not an end";
    EXPECT_TRUE(window().sequentialPlayTimer.enabled);
    app_.Run(Command::Play);
    player_.Advance(player_.duration_);
    app_.PlayNextWhenEnded();
    EXPECT_EQ(player_.Url(), b);
    EXPECT_EQ(state().currentListRow, 2);
    EXPECT_EQ(state().currentAudioPath, b);
    EXPECT_EQ(state().abList.size(), 1u) << "the new file's segments are current";
    player_.Advance(player_.duration_);
    app_.PlayNextWhenEnded();
    EXPECT_FALSE(window().sequentialPlayTimer.enabled);
    EXPECT_EQ(player_.Url(), b);
}

TEST_F(PlaylistTest, OpeningAListOrCancellingItNeverStartsAnEntry) {
    const QString a = MakeFile(QStringLiteral("a.mp3"));
    AddRow(a);
    AddRow(MakeFile(QStringLiteral("b.mp3")));
    playlist().LoadPlaylistGrid();
    grid().SetActiveCell(1, kFileNameColumn);
    playlist().PlayEntry();
    app_.Run(Command::OpenList);  // cancelled
    app_.PlayNextWhenEnded();
    EXPECT_EQ(player_.Url(), a);
    EXPECT_EQ(player_.PlayState(), kPlayStateStopped);

    const QString list = dir_.filePath(QStringLiteral("l.m3u"));
    QFile file(list);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(MakeFile(QStringLiteral("c.mp3")).toUtf8() + "\r\n");
    file.close();
    dialogs_.files = {{list, QStringLiteral("l.m3u")}};
    app_.Run(Command::OpenList);
    app_.PlayNextWhenEnded();
    EXPECT_EQ(player_.Url(), a);
    EXPECT_EQ(state().currentListRow, 3);
}

TEST_F(PlaylistTest, AnUnplayableFileIsToldOnceAndTheLessonBeforeIsKept) {
    const QString good = MakeFile(QStringLiteral("good.mp3"));
    const QString bad = MakeFile(QString::fromUtf8("坏的.mp3"));
    AddRow(good, QStringLiteral("1:00"), {QStringLiteral("A00:01B00:02"), QStringLiteral("A00:05B00:06")});
    AddRow(bad);
    playlist().LoadPlaylistGrid();
    // Opened from outside the list with no lesson before, it leaves no row highlighted.
    const QString other = MakeFile(QStringLiteral("other.mp3"));
    player_.unplayable[other] = QStringLiteral("Not audio.");
    app_.documents().OpenChosenFile(other, QStringLiteral("other.mp3"));
    app_.ListPlayingFile();
    EXPECT_EQ(grid().SelectedRow(), -1);
    EXPECT_EQ(player_.Url(), other);
    dialogs_.shown.clear();

    grid().SetActiveCell(1, kFileNameColumn);
    playlist().PlayEntry();
    app_.Run(Command::NextSegment);
    player_.SetCurrentPosition(5.5);
    player_.unplayable[bad] = QStringLiteral("Could not determine type of stream.");

    grid().SetActiveCell(2, kFileNameColumn);
    playlist().PlayEntry();
    app_.ListPlayingFile();
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_TRUE(dialogs_.shown[0].text.startsWith(QString::fromUtf8("坏的.mp3：")));
    EXPECT_TRUE(dialogs_.shown[0].text.endsWith(QStringLiteral("\nCould not determine type of stream.")));
    EXPECT_EQ(player_.Url(), good);
    EXPECT_EQ(player_.PlayState(), kPlayStatePaused);
    EXPECT_DOUBLE_EQ(player_.CurrentPosition(), 5.5);
    EXPECT_EQ(state().abList.size(), 2u);
    EXPECT_EQ(state().abIndex, 1);
    EXPECT_TRUE(window().playRepeatButton.enabled);
    EXPECT_EQ(grid().SelectedRow(), 1);
    EXPECT_FALSE(window().sequentialPlayTimer.enabled);
    EXPECT_EQ(TableRows(), 2) << "the entry stays";
}

TEST_F(PlaylistTest, WithSequentialPlayOffTheWatchStopsAtTheEnd) {
    const QString a = MakeFile(QStringLiteral("a.mp3"));
    AddRow(a);
    AddRow(MakeFile(QStringLiteral("b.mp3")));
    playlist().LoadPlaylistGrid();
    grid().SetActiveCell(1, kFileNameColumn);
    playlist().PlayEntry();
    player_.Advance(player_.duration_);
    app_.PlayNextWhenEnded();
    EXPECT_FALSE(window().sequentialPlayTimer.enabled);
    EXPECT_EQ(player_.Url(), a);
}

}  // namespace
}  // namespace ostrelle
