#include "app/program.h"
#include "app/desktop_identity.h"
#include "core/formats/settings_file.h"
#include "core/formats/time_values.h"
#include "support/generated_audio.h"
#include "support/scripted_dialogs.h"
#include "text/plain_text_reader.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

const QString kOtherKey =
    QStringLiteral("x'00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF'");

class ProgramTest : public ::testing::Test {
protected:
    ProgramFolder Folder() const { return {dir_.path(), dir_.path()}; }
    QString Database() const { return Folder().DatabaseFile(); }

    QByteArray Bytes(const QString& path) const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void WriteBytes(const QString& path, const QByteArray& bytes) const {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // Starts the program; a database it cannot read must be told once, kept as it is, and not stop it.
    void ExpectStartsWithoutTheDatabase() {
        const QByteArray before = Bytes(Database());
        Program program(Folder(), dialogs_, {AudioOutput::kSilentRealTime, QString(), QString()});
        program.Start();
        EXPECT_FALSE(program.HasDatabase());
        ASSERT_EQ(dialogs_.shown.size(), 1u);
        EXPECT_TRUE(dialogs_.shown[0].text.contains(QStringLiteral("quillan.mdb")));
        EXPECT_EQ(Bytes(Database()), before) << "the file is never touched";

        // The rest of the program works: settings are written, segments can be marked on screen.
        EXPECT_EQ(ReadIniValue(QStringLiteral("Fist"), QStringLiteral("run"), Folder().SettingsFile()),
                  QStringLiteral("1"));
        const QString lesson = dir_.filePath(QStringLiteral("lesson.mp3"));
        ASSERT_EQ(testing::WriteTone(QStringLiteral("lamemp3enc"), 2.0, lesson), QString());
        program.app().documents().OpenChosenFile(lesson, QStringLiteral("lesson.mp3"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return program.player().Duration() > 0; }, 15000));
        program.app().Run(Command::SetA);
        const double a = program.app().state().pendingA->Seconds();
        ASSERT_TRUE(QTest::qWaitFor([&] { return program.player().CurrentPosition() > a + 0.1; }, 15000));
        program.app().Run(Command::SetB);
        program.app().UpdateDerivedStates();
        EXPECT_TRUE(program.app().window().markFlags[1].visible) << "the segment is kept for the run";
        EXPECT_EQ(dialogs_.shown.size(), 1u) << "the missing database is not told again";
    }

    QTemporaryDir dir_;
    ScriptedDialogs dialogs_;
};

TEST_F(ProgramTest, AGarbageDatabaseIsToldOnceAndKept) {
    WriteBytes(Database(), QByteArray(4096, 'x') + "not a database");
    ExpectStartsWithoutTheDatabase();
}

TEST_F(ProgramTest, ADatabaseOfAnotherKeyIsToldOnceAndKept) {
    {
        OpenResult other = OpenPlaylistStore(Database(), kOtherKey);
        ASSERT_TRUE(other.ok());
        ASSERT_TRUE(other.value()
                        ->Execute(QStringLiteral("insert into playlist (savepath) values (?)"),
                                  {QStringLiteral("/m/a.mp3")})
                        .ok());
    }
    ExpectStartsWithoutTheDatabase();
}

TEST_F(ProgramTest, ATruncatedDatabaseIsToldOnceAndKept) {
    {
        OpenResult real = OpenPlaylistStore(Database());
        ASSERT_TRUE(real.ok());
        for (int i = 0; i < 200; ++i)
            ASSERT_TRUE(real.value()
                            ->Execute(QStringLiteral("insert into playlist (savepath) values (?)"),
                                      {QStringLiteral("/m/%1.mp3").arg(i)})
                            .ok());
        ASSERT_TRUE(real.value()->Execute(QStringLiteral("select * from playlist")).ok());
    }
    // Fold the write-ahead log in by reopening once, then cut the file in half.
    ASSERT_TRUE(OpenPlaylistStore(Database()).ok());
    QFile file(Database());
    ASSERT_TRUE(file.resize(file.size() / 2));
    ExpectStartsWithoutTheDatabase();
}

TEST_F(ProgramTest, AFirstRunWithAListEndsWithRowOneInPlaceOfTheIntroduction) {
    const QString lesson = dir_.filePath(QStringLiteral("lesson.mp3"));
    ASSERT_EQ(testing::WriteTone(QStringLiteral("lamemp3enc"), 2.0, lesson), QString());
    ASSERT_EQ(testing::WriteTone(QStringLiteral("lamemp3enc"), 2.0, Folder().IntroductionFile()), QString());
    {
        OpenResult store = OpenPlaylistStore(Database());
        ASSERT_TRUE(store.ok());
        QueryResult row = store.value()->RowFor(lesson);
        row.value()->AddNew();
        row.value()->SetField(kFileNameField, QStringLiteral("lesson.mp3"));
        row.value()->SetField(kSavePathField, lesson);
        row.value()->SetField(kPlayTimeField, QStringLiteral("0:02"));
        ASSERT_TRUE(row.value()->Update().ok());
    }
    Program program(Folder(), dialogs_, {AudioOutput::kSilentRealTime, QString(), QString()});
    MainWindow& window = program.window();
    EXPECT_FALSE(window.TimerFor(&Window::positionTimer).isActive()) << "no tick before start-up";
    program.Start();
    EXPECT_EQ(program.player().Url(), Folder().IntroductionFile());
    const auto settled = [&] {
        return !window.TimerFor(&Window::firstEntryTimer).isActive() &&
               !window.TimerFor(&Window::listingTimer).isActive();
    };
    ASSERT_TRUE(QTest::qWaitFor(settled, 15000));
    EXPECT_EQ(program.player().Url(), lesson);
    EXPECT_EQ(program.app().state().currentAudioPath, lesson);
    const GridModel& grid = program.app().window().playlistGrid;
    EXPECT_EQ(grid.CellText(1, kPathColumn), lesson);
    EXPECT_EQ(grid.CellText(2, kPathColumn), QString()) << "the introduction is not listed";
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(ProgramTest, AnUnwritableProgramFolderIsToldOnceAtStartUp) {
    ASSERT_TRUE(WriteIniValue(QStringLiteral("Fist"), QStringLiteral("run"), QStringLiteral("1"),
                              Folder().SettingsFile())
                    .ok());
    ProgramFolder folder = Folder();
    folder.readOnly = true;
    Program program(folder, dialogs_, {AudioOutput::kSilentRealTime, QString(), QString()});
    program.Start();
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_TRUE(dialogs_.shown[0].text.contains(QString::fromUtf8("不能写入")))
        << dialogs_.shown[0].text.toStdString();
    EXPECT_TRUE(dialogs_.shown[0].text.contains(folder.installDir));
}

TEST_F(ProgramTest, ALearnersFilesGoToTheDataFolderWhenTheInstallFolderIsApart) {
    QTemporaryDir install;
    WriteBytes(install.filePath(QStringLiteral("introduce.mp3")), "ID3");
    const QString data = dir_.filePath(QStringLiteral("data"));
    QDir().mkpath(data);
    {
        Program program({install.path(), data}, dialogs_,
                        {AudioOutput::kSilentRealTime, QString(), QString()});
        program.Start();
        EXPECT_TRUE(program.HasDatabase());
        EXPECT_EQ(program.player().Url(), install.filePath(QStringLiteral("introduce.mp3")));
    }
    EXPECT_TRUE(QFile::exists(data + QStringLiteral("/quillan.mdb")));
    EXPECT_EQ(ReadIniValue(QStringLiteral("Mp3PrePath"), QStringLiteral("Path"),
                           data + QStringLiteral("/OSTRELLE.ini")),
              install.filePath(QStringLiteral("introduce.mp3")));
    EXPECT_EQ(QDir(install.path()).entryList(QDir::Files), QStringList{QStringLiteral("introduce.mp3")})
        << "nothing is written beside the program";
}

// Qt draws the SVG only with its SVG plugins; without them the icon would be empty.
TEST(Introduction, TheUsageTextTellsOfEveryCapabilityBeyondRepeating) {
    const TextReadResult text =
        LoadPlainText(QCoreApplication::applicationDirPath() + QStringLiteral("/introduce.txt"));
    ASSERT_TRUE(text.ok());
    for (const char* feature : {"波形", "语速", "自动断句", "歌词", "跟读", "听写"})
        EXPECT_TRUE(text.value().contains(QString::fromUtf8(feature))) << feature;
}

TEST(DesktopIdentity, TheWindowIconIsDrawnAtEverySize) {
    ApplyDesktopIdentity();
    const QIcon icon = QApplication::windowIcon();
    for (const int size : {16, 48, 256}) {
        const QImage image = icon.pixmap(size, size).toImage();
        ASSERT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(image.pixel(0, size - 1)), 0) << size << ": the corner around the bubble is clear";
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2 + size / 8)), 255) << size << ": the bubble is drawn";
    }
}

}  // namespace
}  // namespace ostrelle
