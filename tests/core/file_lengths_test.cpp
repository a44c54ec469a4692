#include "core/operations/file_lengths.h"
#include "support/app_fixture.h"
#include "support/test_files.h"

#include <QDateTime>

namespace ostrelle {
namespace {

using Status = FileLengths::Status;

class FileLengthsTest : public AppFixture {
protected:
    QString WriteAudio(const QString& name, const QByteArray& bytes = QByteArray(4096, 'x')) {
        return testing::WriteTestFile(dir_.filePath(name), bytes);
    }
    QString WriteList(const QStringList& paths) {
        return testing::WriteTestFile(dir_.filePath(QStringLiteral("l.m3u8")),
                                      (paths.join(u'\n') + u'\n').toUtf8());
    }
};

TEST_F(FileLengthsTest, AFileIsMeasuredOnceAndNotAgainInALaterRunUntilItChanges) {
    const QString path = WriteAudio(QString::fromUtf8("第一课 it's.mp3"));
    probe_.seconds[path] = 61.5;
    {
        FileLengths lengths(probe_, db_.get());
        EXPECT_EQ(lengths.Of(path).status, Status::kMeasuring);
        EXPECT_EQ(lengths.Of(path).status, Status::kMeasuring);
        EXPECT_EQ(probe_.queued.size(), 1u) << "asked twice, measured once";
        probe_.DeliverAll();
        EXPECT_EQ(lengths.Of(path).seconds, 61.5);
    }
    FileLengths nextRun(probe_, db_.get());
    EXPECT_EQ(nextRun.Of(path).status, Status::kKnown);
    EXPECT_EQ(nextRun.Of(path).seconds, 61.5);
    EXPECT_EQ(probe_.calls, 1);

    const auto changes = std::vector<std::function<void()>>{
        [&] { testing::WriteTestFile(path, QByteArray(5000, 'y')); },  // another size
        [&] {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600),
                                         QFileDevice::FileModificationTime));
        }};
    for (const auto& change : changes) {
        change();
        EXPECT_EQ(nextRun.Of(path).status, Status::kMeasuring) << "a changed file is measured again";
        probe_.seconds[path] += 1;
        probe_.DeliverAll();
        EXPECT_EQ(nextRun.Of(path).seconds, probe_.seconds[path]);
    }
}

TEST_F(FileLengthsTest, AnImportTakesKeptLengthsAndMeasuresOnlyTheOthers) {
    const QString kept = WriteAudio(QStringLiteral("kept.mp3"));
    const QString fresh = WriteAudio(QStringLiteral("fresh.mp3"));
    probe_.seconds[kept] = 75;
    probe_.seconds[fresh] = 3725;
    ASSERT_TRUE(
        db_->KeepLengths({{kept, {4096, QFileInfo(kept).lastModified().toMSecsSinceEpoch(), 75}}}).ok());
    app_.playlist().LoadPlaylistGrid();
    app_.playlistFiles().LoadM3uList(WriteList({kept, fresh}));
    EXPECT_EQ(probe_.calls, 1);
    EXPECT_EQ(grid().CellText(1, kDurationColumn), QStringLiteral("1:15"));
    EXPECT_EQ(grid().CellText(2, kDurationColumn), QStringLiteral("1:02:05"));
    EXPECT_EQ(db_->KeptLengthOf(fresh)->seconds, 3725) << "kept for the next import or start";
}

TEST_F(FileLengthsTest, CancellingAnImportDropsTheLengthsQueuedAhead) {
    QStringList paths;
    for (int i = 1; i <= 20; ++i)
        paths << QStringLiteral("/m/%1.mp3").arg(i);
    app_.playlist().LoadPlaylistGrid();
    dialogs_.cancelAtProgress = 3;
    app_.playlistFiles().LoadM3uList(WriteList(paths));
    EXPECT_EQ(grid().CellText(3, kPathColumn), paths[2]);
    EXPECT_EQ(grid().CellText(4, kPathColumn), QString());
    EXPECT_TRUE(probe_.queued.empty());
    EXPECT_LT(probe_.calls, 10) << "only a few files are measured ahead of the one awaited";
}

}  // namespace
}  // namespace ostrelle
