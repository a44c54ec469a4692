#include "adapters/sqlcipher/sqlcipher_playlist_store.h"
#include "support/test_files.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zip.h>

namespace ostrelle {
namespace {

testing::ToolRun RunTool(const QStringList& arguments) {
    return testing::RunTool(QStringLiteral(OSTRELLE_EXPORT_TOOL), arguments, 60000);
}

// The package's entries, its media map and its collection's bytes (a plain SQLite file), read back.
struct Package {
    int entries = -1;
    QJsonObject media;
    QByteArray collection;
};

QByteArray Entry(zip_t* zip, const char* name) {
    zip_stat_t stat;
    if (zip_stat(zip, name, 0, &stat) != 0) return {};
    QByteArray bytes(static_cast<qsizetype>(stat.size), '\0');
    zip_file_t* file = zip_fopen(zip, name, 0);
    if (!file) return {};
    const bool read = zip_fread(file, bytes.data(), stat.size) == static_cast<zip_int64_t>(stat.size);
    zip_fclose(file);
    return read ? bytes : QByteArray();
}

Package ReadPackage(const QString& path) {
    Package package;
    zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, nullptr);
    if (!zip) return package;
    package.entries = static_cast<int>(zip_get_num_entries(zip, 0));
    package.media = QJsonDocument::fromJson(Entry(zip, "media")).object();
    package.collection = Entry(zip, "collection.anki2");
    zip_close(zip);
    return package;
}

TEST(ExportToolTest, ALessonsSegmentsOrItsHardSentencesBecomeAPackageWithAClipEach) {
    const QString real = QStringLiteral(OSTRELLE_REAL_FIXTURES "/audio/speech_de-DE_we-are-at-school-x2.mp3");
    if (!QFile::exists(real)) GTEST_SKIP() << "real fixtures not available";
    QTemporaryDir dir;
    const QString lesson = dir.filePath(QStringLiteral("第3课 \"Schule\".mp3"));
    ASSERT_TRUE(QFile::copy(real, lesson));
    testing::WriteTestFile(
        dir.filePath(QStringLiteral("第3课 \"Schule\".lrc")),
        QByteArray("[00:00.20]Wir sind in der Schule.\n[00:01.80]Noch einmal: wir sind in der Schule.\n"));
    const QString database = dir.filePath(QStringLiteral("quillan.mdb"));
    {
        OpenResult opened = OpenPlaylistStore(database);
        ASSERT_TRUE(opened.ok());
        QueryResult rows = opened.value()->AllRows();
        ASSERT_TRUE(rows.ok());
        Recordset& row = *rows.value();
        row.AddNew();
        row.SetField(kFileNameField, QFileInfo(lesson).fileName());
        row.SetField(kSavePathField, lesson);
        row.SetField(kFirstSegmentField, QStringLiteral("A00:00.100B00:01.600"));
        row.SetField(kFirstSegmentField + 1, QStringLiteral("A00:01.700B00:03.200"));
        ASSERT_TRUE(row.Update().ok());
        HardSentence hard;
        hard.path = lesson;
        hard.aMs = 1700;
        hard.bMs = 3200;
        ASSERT_TRUE(opened.value()->KeepHard(hard).ok());
    }
    const QString all = dir.filePath(QStringLiteral("all.apkg"));
    testing::ToolRun run =
        RunTool({QStringLiteral("--apkg"), all, QStringLiteral("--database"), database, lesson});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.trimmed(), QStringLiteral("cards=2"));
    const Package package = ReadPackage(all);
    EXPECT_EQ(package.entries, 4) << "the collection, the media map and two clips";
    EXPECT_EQ(package.media.size(), 2);
    EXPECT_TRUE(package.media.value(QStringLiteral("0")).toString().endsWith(QStringLiteral(".ogg")));
    EXPECT_TRUE(package.collection.contains("Noch einmal: wir sind in der Schule."))
        << "the words come from the lesson's lyrics";

    const QString hardOnes = dir.filePath(QStringLiteral("hard.apkg"));
    run = RunTool({QStringLiteral("--apkg"), hardOnes, QStringLiteral("--hard"), QStringLiteral("--mp3"),
                   QStringLiteral("--database"), database});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.out.trimmed(), QStringLiteral("cards=1"));
    EXPECT_TRUE(
        ReadPackage(hardOnes).media.value(QStringLiteral("0")).toString().endsWith(QStringLiteral(".mp3")));

    // A lesson without segments has nothing to export; a wrong call is told its usage.
    EXPECT_EQ(RunTool({QStringLiteral("--apkg"), all, QStringLiteral("--database"), database, real}).exitCode,
              3);
    EXPECT_EQ(RunTool({QStringLiteral("--hard"), QStringLiteral("--due"), lesson}).exitCode, 2);
}

}  // namespace
}  // namespace ostrelle
