#include "core/model/program_folder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

TEST(ProgramFolder, AWritableInstallFolderHoldsTheLearnersFiles) {
    QTemporaryDir install;
    QTemporaryDir fallback;
    const ProgramFolder folder = ResolveProgramFolder(install.path() + u'/', fallback.path());
    EXPECT_EQ(folder.installDir, install.path());
    EXPECT_EQ(folder.dataDir, install.path());
    EXPECT_EQ(folder.SettingsFile(), install.path() + QStringLiteral("/OSTRELLE.ini"));
    EXPECT_EQ(folder.DatabaseFile(), install.path() + QStringLiteral("/quillan.mdb"));
    EXPECT_EQ(folder.RecordingFile(), install.path() + QStringLiteral("/temp.wav"));
    EXPECT_EQ(QDir(install.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
              0)
        << "the probe leaves nothing behind";
}

TEST(ProgramFolder, AnInstallFolderThatCannotBeWrittenSendsDataToTheFallback) {
    QTemporaryDir root;
    // A folder below a plain file can never be created or written, even by root.
    QFile blocker(root.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString install = root.filePath(QStringLiteral("file/bin"));
    const QString fallback = root.filePath(QStringLiteral("user/data/Ostrelle"));

    const ProgramFolder folder = ResolveProgramFolder(install, fallback);
    EXPECT_EQ(folder.installDir, install);
    EXPECT_EQ(folder.dataDir, fallback);
    EXPECT_TRUE(QDir(fallback).exists()) << "the fallback is created on demand";
    EXPECT_EQ(folder.IntroductionFile(), install + QStringLiteral("/introduce.mp3"));
}

TEST(ProgramFolder, TheLearnersFilesInAnUnwritableInstallFolderAreCarriedOverOnce) {
    QTemporaryDir install;
    QTemporaryDir root;
    const QString fallback = root.filePath(QStringLiteral("data"));
    for (const char* name : {"quillan.mdb", "quillan.mdb-wal", "OSTRELLE.ini"}) {
        QFile file(install.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(name);
    }
    const auto unwritable = [](const QString&) { return false; };
    const ProgramFolder first = ResolveProgramFolder(install.path(), fallback, unwritable);
    EXPECT_EQ(first.dataDir, fallback);
    EXPECT_TRUE(first.carriedOver);
    EXPECT_TRUE(QFileInfo::exists(first.DatabaseFile() + QStringLiteral("-wal")))
        << "the database's uncheckpointed commits go with it";
    QFile copied(first.DatabaseFile());
    ASSERT_TRUE(copied.open(QIODevice::ReadWrite));
    EXPECT_EQ(copied.readAll(), "quillan.mdb");
    copied.write(" changed since");
    copied.close();

    const ProgramFolder later = ResolveProgramFolder(install.path(), fallback, unwritable);
    EXPECT_FALSE(later.carriedOver || later.readOnly);
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), "quillan.mdb changed since")
        << "the fallback's own list is never overwritten";

    // Nowhere to copy them: they are read where they are.
    QFile blocker(root.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    const ProgramFolder inPlace =
        ResolveProgramFolder(install.path(), root.filePath(QStringLiteral("file/data")), unwritable);
    EXPECT_EQ(inPlace.dataDir, install.path());
    EXPECT_TRUE(inPlace.readOnly);
}

TEST(ProgramFolder, AnInstalledProgramReadsFromTheSharedFolderAndKeepsDataPerUser) {
    struct Case {
        const char* layout;
        bool introductionBesideExecutable;
        bool introductionShared;
        bool installed;
    };
    const Case cases[] = {
        {"installed under a prefix", false, true, true},
        {"build folder under a prefix", true, true, false},
        {"build folder", true, false, false},
        {"introduction missing", false, false, false},
    };
    for (const Case& c : cases) {
        QTemporaryDir root;
        const QString bin = root.filePath(QStringLiteral("usr/bin"));
        const QString shared = root.filePath(QStringLiteral("usr/share/ostrelle"));
        const QString userData = root.filePath(QStringLiteral("home/.local/share/Ostrelle"));
        ASSERT_TRUE(QDir().mkpath(bin) && QDir().mkpath(shared));
        const auto placeIntroduction = [](const QString& dir) {
            return QFile(dir + QStringLiteral("/introduce.mp3")).open(QIODevice::WriteOnly);
        };
        ASSERT_TRUE(!c.introductionBesideExecutable || placeIntroduction(bin));
        ASSERT_TRUE(!c.introductionShared || placeIntroduction(shared));

        // Root can write into bin, as into a system folder: only where the introduction lies decides.
        const ProgramFolder folder =
            ResolveProgramFolder({bin, bin + QStringLiteral("/../share/ostrelle/"), userData});
        EXPECT_EQ(folder.installDir, c.installed ? shared : bin) << c.layout;
        EXPECT_EQ(folder.dataDir, c.installed ? userData : bin) << c.layout;
        EXPECT_EQ(QDir(userData).exists(), c.installed) << c.layout;
        EXPECT_FALSE(folder.carriedOver || folder.readOnly) << c.layout;
    }
}

}  // namespace
}  // namespace ostrelle
