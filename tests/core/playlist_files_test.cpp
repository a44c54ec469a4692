#include "core/operations/playlist_files.h"
#include "support/app_fixture.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>

#include <random>

namespace ostrelle {
namespace {

std::vector<std::pair<int, QString>> Entries(const QByteArray& bytes, const QString& listPath) {
    std::vector<std::pair<int, QString>> out;
    for (const M3uEntry& e : ParseM3u(bytes, listPath))
        out.emplace_back(e.lineNumber, e.path);
    return out;
}

using Lines = std::vector<std::pair<int, QString>>;

TEST(ParseM3u, AcceptsEveryLineEndAndALastLineWithoutOne) {
    const Lines expected = {{0, QStringLiteral("/a/1.mp3")}, {1, QStringLiteral("/a/2.mp3")}};
    for (const char* text :
         {"/a/1.mp3\r\n/a/2.mp3\r\n", "/a/1.mp3\n/a/2.mp3\n", "/a/1.mp3\r/a/2.mp3\r", "/a/1.mp3\r\n/a/2.mp3"})
        EXPECT_EQ(Entries(text, QStringLiteral("/lists/x.m3u")), expected) << text;
}

TEST(ParseM3u, CommentsAreSkippedAndBlankLinesKeepTheirNumber) {
    const QByteArray text = "#EXTM3U\r\n#EXTINF:12,One\r\n/a/1.mp3\r\n\r\n  \t#EXTINF:3,Two\r\n/a/2.mp3\r\n";
    EXPECT_EQ(Entries(text, QStringLiteral("/lists/x.m3u")),
              (Lines{{0, QStringLiteral("/a/1.mp3")}, {2, QStringLiteral("/a/2.mp3")}}));
}

TEST(ParseM3u, RelativeWindowsAndUrlEntriesAreResolvedSensibly) {
    const QByteArray text =
        "lesson 1.mp3\r\nsub/../two.mp3\r\nC:\\Music\\three.mp3\r\nsub\\four.mp3\r\n"
        "http://example.com/five.mp3\r\nfile:///srv/%E5%AD%A6/six.mp3\r\n";
    EXPECT_EQ(Entries(text, QStringLiteral("/home/u/lists/x.m3u")),
              (Lines{{0, QStringLiteral("/home/u/lists/lesson 1.mp3")},
                     {1, QStringLiteral("/home/u/lists/two.mp3")},
                     {2, QStringLiteral("C:/Music/three.mp3")},
                     {3, QStringLiteral("/home/u/lists/sub/four.mp3")},
                     {4, QStringLiteral("http://example.com/five.mp3")},
                     {5, QString::fromUtf8("/srv/学/six.mp3")}}));
}

TEST(ParseM3u, TextIsDecodedByItsKind) {
    const QString chinese = QString::fromUtf8("/音乐/第一课.mp3");
    const QByteArray gb = QStringEncoder("GB18030").encode(chinese + QStringLiteral("\r\n"));
    EXPECT_EQ(Entries(gb, QStringLiteral("/l/x.m3u")), (Lines{{0, chinese}}));
    const QByteArray utf8 = "\xEF\xBB\xBF" + (chinese + QStringLiteral("\r\n")).toUtf8();
    EXPECT_EQ(Entries(utf8, QStringLiteral("/l/x.m3u")), (Lines{{0, chinese}}));
    EXPECT_EQ(Entries(utf8, QStringLiteral("/l/x.M3U8")), (Lines{{0, chinese}}));
}

TEST(SerializeM3u, WritesCrLfLinesInTheListsEncoding) {
    const QStringList paths = {QStringLiteral("/a/1.mp3"), QString::fromUtf8("/音乐/二.mp3")};
    const QByteArray m3u = SerializeM3u(paths, QStringLiteral("/l/x.m3u"));
    EXPECT_EQ(m3u, QByteArray("/a/1.mp3\r\n") + QStringEncoder("GB18030").encode(paths[1]) + "\r\n");
    EXPECT_EQ(SerializeM3u(paths, QStringLiteral("/l/x.m3u8")),
              (paths.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
}

QString ReadBack(const QString& path, const QString& listPath) {
    const std::vector<M3uEntry> entries = ParseM3u(SerializeM3u({path}, listPath), listPath);
    return entries.size() == 1 ? entries[0].path : QStringLiteral("<%1 entries>").arg(entries.size());
}

TEST(SerializeM3u, EveryNameReadsBackAsWritten) {
    const QStringList names = {
        QString::fromUtf8("/home/u/学习/lesson1.mp3"),  // two-byte pairs that are valid UTF-8 too
        QString::fromUtf8("/学"),                       // one such pair alone
        QString::fromUtf8("/课文/第一课.mp3"),          // not valid UTF-8
        // Whose GB18030 bytes are the UTF-8 of "中文": three-byte sequences.
        QStringLiteral("/") + QStringDecoder("GB18030").decode(QStringLiteral("中文").toUtf8()),
        QString::fromUtf8("/𠀀/€/ä.mp3"),  // four-byte GB18030 and non-CJK letters
        QStringLiteral("/plain/ascii.mp3"),
    };
    for (const QString& name : names) {
        EXPECT_EQ(ReadBack(name, QStringLiteral("/l/x.m3u")), name) << name.toStdString();
        EXPECT_EQ(ReadBack(name, QStringLiteral("/l/x.m3u8")), name) << name.toStdString();
    }
}

TEST(SerializeM3u, RandomChinesePathsReadBackAsWritten) {
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> length(1, 8);
    std::uniform_int_distribution<char16_t> cjk(0x4E00, 0x9FFF);
    for (int i = 0; i < 2000; ++i) {
        QString path = QStringLiteral("/");
        for (int n = length(random); n > 0; --n)
            path += QChar(cjk(random));
        ASSERT_EQ(ReadBack(path + QStringLiteral(".mp3"), QStringLiteral("/l/x.m3u")),
                  path + QStringLiteral(".mp3"))
            << path.toStdString();
    }
}

TEST(ParseM3u, ReadsTheRealWorldLists) {
    const QString folder = QDir::cleanPath(QStringLiteral(OSTRELLE_REAL_FIXTURES "/m3u"));
    if (!QDir(folder).exists()) GTEST_SKIP() << "no real fixtures";
    const auto read = [&](const char* name) {
        QFile file(folder + u'/' + QString::fromLatin1(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        std::vector<QString> paths;
        for (const M3uEntry& e : ParseM3u(file.readAll(), file.fileName()))
            paths.push_back(e.path);
        return paths;
    };
    EXPECT_EQ(read("beets-playlist_utf8.m3u8"),
              (std::vector<QString>{QString::fromUtf8("/This/is/å/path/to_a_file.mp3"),
                                    QString::fromUtf8("/This/is/another/path/tö_a_file.mp3")}));
    EXPECT_EQ(read("beets-playlist_windows.m3u8"),
              (std::vector<QString>{QString::fromUtf8("x:/This/is/å/path/to_a_file.mp3"),
                                    QString::fromUtf8("x:/This/is/another/path/tö_a_file.mp3")}));
    EXPECT_EQ(read("mopidy-two-ext.m3u"), (std::vector<QString>{folder + QStringLiteral("/song1.mp3"),
                                                                folder + QStringLiteral("/song2.mp3")}));
    // Three bytes of Windows-1252 are too few to tell from other code pages; the entry is still found.
    const auto latin1 = read("mopidy-encoding-ext_latin1.m3u");
    ASSERT_EQ(latin1.size(), 1u);
    EXPECT_TRUE(latin1[0].startsWith(folder + u'/') && latin1[0].endsWith(QStringLiteral(".mp3")));
    const auto totem = read("totem-O_G_Money_Snoop_Dogg_crlf.m3u");
    ASSERT_EQ(totem.size(), 1u);
    EXPECT_TRUE(totem[0].startsWith(QStringLiteral("http://media.ArtistServer.com/tracks/")));
    EXPECT_TRUE(totem[0].endsWith(QStringLiteral("Snoop_Dogg.mp3")));
}

class PlaylistFilesTest : public AppFixture {
protected:
    PlaylistFiles& files() { return app_.playlistFiles(); }

    QString WriteList(const QString& name, const QByteArray& bytes) {
        return testing::WriteTestFile(dir_.filePath(name), bytes);
    }
};

TEST_F(PlaylistFilesTest, ReadingAListAddsItToTheTableAndTheGridShowsTheWholeTable) {
    AddRow(QStringLiteral("/old/1.mp3"));
    app_.playlist().LoadPlaylistGrid();
    AddRow(QStringLiteral("/m/2.mp3"), QStringLiteral("9:59"));
    AddRow(QStringLiteral("/m/kept.mp3"), QStringLiteral("0:30"), {QStringLiteral("A00:01B00:02")}, false);
    probe_.seconds[QStringLiteral("/m/1.mp3")] = 61;
    probe_.seconds[QStringLiteral("/m/2.mp3")] = 125;
    const QString list = WriteList(QStringLiteral("l.m3u"),
                                   "/m/1.mp3\r\n\r\n/m/2.mp3\r\nhttp://radio.example/a.mp3\r\n/m/gone.mp3\r\n"
                                   "/m/1.mp3\r\n/m/kept.mp3\r\nhttps://example.com/b.mp3\r\n");
    files().LoadM3uList(list);
    const QStringList shown = {QStringLiteral("/old/1.mp3"), QStringLiteral("/m/2.mp3"),
                               QStringLiteral("/m/1.mp3"), QStringLiteral("/m/gone.mp3"),
                               QStringLiteral("/m/kept.mp3")};
    for (int r = 1; r <= shown.size(); ++r) {
        EXPECT_EQ(grid().CellText(r, kPathColumn), shown[r - 1]) << r;
        EXPECT_EQ(grid().CellText(r, kNumberColumn), QString::number(r) + u'.');
    }
    EXPECT_EQ(grid().CellText(shown.size() + 1, kPathColumn), QString());
    EXPECT_EQ(grid().CellText(2, kDurationColumn), QStringLiteral("9:59"))
        << "an existing row is not changed";
    EXPECT_EQ(grid().CellText(3, kDurationColumn), QStringLiteral("1:01"));
    EXPECT_EQ(grid().CellText(4, kDurationColumn), QString())
        << "a file that cannot be measured gets no made-up length";
    EXPECT_EQ(TableRows(), 5) << "a file listed twice is one entry; addresses are not entries";
    EXPECT_EQ(state().currentListRow, 3) << "the list's first entry is current";
    EXPECT_EQ(grid().SelectedRow(), 3);
    EXPECT_EQ(state().currentListPath, QStringLiteral("/m/1.mp3"));
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_TRUE(dialogs_.shown[0].text.contains(QStringLiteral(" 2 ")))
        << dialogs_.shown[0].text.toStdString();

    QByteArray many;
    for (int i = 1; i <= 14; ++i)
        many += "/n/" + QByteArray::number(i) + ".mp3\n";
    files().LoadM3uList(WriteList(QStringLiteral("many.m3u"), many));
    EXPECT_EQ(grid().CellText(19, kNumberColumn), QStringLiteral("19."));
    EXPECT_EQ(grid().Rows(), 22);
    EXPECT_EQ(state().currentListRow, 6);
}

TEST_F(PlaylistFilesTest, AFileListedTwicePlaysOnceInSequence) {
    const QString a = MakeFile(QStringLiteral("a.mp3"));
    const QString b = MakeFile(QStringLiteral("b.mp3"));
    files().LoadM3uList(WriteList(QStringLiteral("l.m3u"), (a + u'\n' + b + u'\n' + a + u'\n').toUtf8()));
    window().sequentialPlayBox.value = 1;
    grid().SetActiveCell(1, kFileNameColumn);
    app_.playlist().PlayEntry();
    QStringList played = {player_.Url()};
    for (int tick = 0; tick < 4 && window().sequentialPlayTimer.enabled; ++tick) {
        app_.ListPlayingFile();
        player_.Advance(player_.duration_);
        app_.PlayNextWhenEnded();
        if (player_.Url() != played.back()) played << player_.Url();
    }
    EXPECT_EQ(played, (QStringList{a, b}));
    EXPECT_FALSE(window().sequentialPlayTimer.enabled);
}

TEST_F(PlaylistFilesTest, CancellingTheProgressKeepsWhatWasRead) {
    app_.playlist().LoadPlaylistGrid();
    dialogs_.cancelAtProgress = 2;
    files().LoadM3uList(WriteList(QStringLiteral("l.m3u"), "/m/1.mp3\n/m/2.mp3\n/m/3.mp3\n/m/4.mp3\n"));
    EXPECT_EQ(TableRows(), 2);
    EXPECT_EQ(grid().CellText(2, kPathColumn), QStringLiteral("/m/2.mp3"));
    EXPECT_EQ(grid().CellText(3, kPathColumn), QString());
}

TEST_F(PlaylistFilesTest, AnUnreadableListIsReportedAndAddsNothing) {
    app_.playlist().LoadPlaylistGrid();
    files().LoadM3uList(dir_.filePath(QStringLiteral("missing.m3u")));
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(TableRows(), 0);
    files().LoadM3uList(QString());  // a cancelled dialog says nothing
    EXPECT_EQ(dialogs_.shown.size(), 1u);
}

TEST_F(PlaylistFilesTest, OpeningAListStopsThePlayerAndSelectsRowOneFirst) {
    AddRow(QStringLiteral("/m/1.mp3"));
    app_.playlist().LoadPlaylistGrid();
    player_.SetUrl(QStringLiteral("/m/1.mp3"));
    player_.Play();
    app_.Run(Command::OpenList);  // the dialog is cancelled
    EXPECT_EQ(player_.PlayState(), kPlayStateStopped);
    EXPECT_EQ(state().currentListRow, 1);
    EXPECT_EQ(state().currentListPath, QStringLiteral("/m/1.mp3"));
    ASSERT_EQ(dialogs_.fileDialogs.size(), 1u);
    EXPECT_EQ(dialogs_.fileDialogs[0].first, QString::fromUtf8("播放列表(*.M3U)|*.M3U|所有文件(*.*)|*.*"));
}

TEST_F(PlaylistFilesTest, ASavedListReadsBackIntoTheSameRows) {
    const QStringList paths = {QStringLiteral("/m/one.mp3"), QString::fromUtf8("/音乐/第二课.mp3"),
                               QStringLiteral("/m/it's three.wma")};
    for (const QString& p : paths)
        AddRow(p);
    app_.playlist().LoadPlaylistGrid();
    for (const QString& name : {QStringLiteral("saved.m3u"), QStringLiteral("saved.m3u8")}) {
        const QString target = dir_.filePath(name);
        dialogs_.files = {{target, name}};
        app_.Run(Command::SaveList);
        ASSERT_TRUE(QFile::exists(target));
        ASSERT_TRUE(db_->DeleteAll().ok());
        app_.playlist().LoadPlaylistGrid();
        files().LoadM3uList(target);
        for (int r = 0; r < paths.size(); ++r)
            EXPECT_EQ(grid().CellText(r + 1, kPathColumn), paths[r]) << name.toStdString();
        EXPECT_EQ(TableRows(), 3);
    }
}

TEST_F(PlaylistFilesTest, SavingAnEmptyListSaysSoAndWritesNothing) {
    app_.playlist().LoadPlaylistGrid();
    app_.Run(Command::SaveList);
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].text, QString::fromUtf8("表格内没有MP3文件存在！"));
    EXPECT_TRUE(dialogs_.fileDialogs.empty());
}

TEST_F(PlaylistFilesTest, AFailedSaveIsReportedAndTheOldListStays) {
    AddRow(QStringLiteral("/m/one.mp3"));
    app_.playlist().LoadPlaylistGrid();
    dialogs_.files = {{dir_.filePath(QStringLiteral("no/such/dir/x.m3u")), QStringLiteral("x.m3u")}};
    app_.Run(Command::SaveList);
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_TRUE(dialogs_.shown[0].text.contains(QString::fromUtf8("无法保存播放列表")));
}

}  // namespace
}  // namespace ostrelle
