#include "support/app_fixture.h"
#include "support/test_files.h"

#include <QDir>

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

class FileOpeningTest : public AppFixture {
protected:
    QString Make(const QString& relative) {
        QDir(dir_.path()).mkpath(QFileInfo(dir_.filePath(relative)).path());
        const QString path = MakeFile(relative);
        probe_.seconds[path] = 75;
        return path;
    }

    QStringList ListedPaths() {
        QStringList paths;
        for (int row = 1; row < grid().Rows() && !grid().CellText(row, kPathColumn).isEmpty(); ++row)
            paths << grid().CellText(row, kPathColumn);
        return paths;
    }
};

TEST_F(FileOpeningTest, AFolderListsItsAudioInNaturalOrderAndTheFirstStarts) {
    const QString second = Make(QString::fromUtf8("课本/第2课.mp3"));
    const QString tenth = Make(QString::fromUtf8("课本/第10课.ogg"));
    const QString first = Make(QString::fromUtf8("课本/第1单元/第1课 \"复习\".MP3"));
    Make(QString::fromUtf8("课本/封面.jpg"));
    const QString earlier = Make(QStringLiteral("earlier.flac"));

    app_.OpenFiles({earlier});
    app_.OpenFiles({dir_.filePath(QString::fromUtf8("课本"))});
    EXPECT_EQ(ListedPaths(), (QStringList{earlier, first, second, tenth})) << "after what was listed";
    EXPECT_EQ(player_.Url(), first);
    EXPECT_EQ(state().currentListRow, 2);
    EXPECT_EQ(grid().CellText(3, kDurationColumn), QStringLiteral("1:15"));
    EXPECT_FALSE(window().statusNote.visible) << "a folder's other files are not worth a note";
}

TEST_F(FileOpeningTest, AFolderWalkEndsAtItsCapOrWhenTheLearnerCancels) {
    const QString folder = dir_.filePath(QStringLiteral("huge"));
    QDir().mkpath(folder);
    for (int i = 0; i <= FileOpening::kMostAudioFiles; ++i)
        QFile(folder + QStringLiteral("/%1.mp3").arg(i)).open(QIODevice::WriteOnly);
    const FileOpening::Found capped = FileOpening::AudioFilesIn(folder);
    EXPECT_TRUE(capped.cut);
    EXPECT_EQ(capped.files.size(), FileOpening::kMostAudioFiles);

    const std::atomic<bool> stop{true};
    const FileOpening::Found cancelled = FileOpening::AudioFilesIn(folder, &stop);
    EXPECT_TRUE(cancelled.cut);
    EXPECT_TRUE(cancelled.files.isEmpty());
}

TEST_F(FileOpeningTest, ListsLoadFirstATextWinsLastAndOtherFilesOnlyGetANote) {
    const QString lesson = Make(QStringLiteral("lesson.mp3"));
    const QString list = dir_.filePath(QStringLiteral("more.m3u"));
    const QString listed = Make(QStringLiteral("listed.mp3"));
    testing::WriteTestFile(list, "listed.mp3\n");
    testing::WriteTestFile(dir_.filePath(QStringLiteral("lesson.txt")), "companion");
    const QString notes = dir_.filePath(QStringLiteral("notes.txt"));
    testing::WriteTestFile(notes, "dropped notes");

    app_.OpenFiles({dir_.filePath(QStringLiteral("photo.png")), notes, lesson, list,
                    dir_.filePath(QStringLiteral("gone.mp3"))});
    EXPECT_EQ(ListedPaths(), (QStringList{listed, lesson}));
    EXPECT_EQ(player_.Url(), lesson);
    EXPECT_EQ(window().textPane.text, QStringLiteral("dropped notes"));
    EXPECT_TRUE(dialogs_.shown.empty());
    ASSERT_TRUE(window().statusNote.visible);
    EXPECT_TRUE(window().statusNote.caption.startsWith(QString::fromUtf8("2 个文件不能打开")));
    EXPECT_TRUE(window().statusNote.caption.contains(QStringLiteral("photo.png")));
    EXPECT_TRUE(window().statusNoteTimer.Running());
    app_.HideStatusNote();
    EXPECT_FALSE(window().statusNote.visible);
}

TEST_F(FileOpeningTest, SeveralFilesChosenInTheOpenDialogAreListedInTheOrderChosen) {
    const QString b = Make(QStringLiteral("b.mp3"));
    const QString a = Make(QStringLiteral("a.wma"));
    dialogs_.severalFiles.push_back({{b, QStringLiteral("b.mp3")}, {a, QStringLiteral("a.wma")}});
    app_.Run(Command::OpenFile);
    EXPECT_EQ(ListedPaths(), (QStringList{b, a}));
    EXPECT_EQ(player_.Url(), b);
}

}  // namespace
}  // namespace ostrelle
