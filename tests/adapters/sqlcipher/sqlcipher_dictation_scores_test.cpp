#include "store_fixture.h"

#include <map>

namespace ostrelle::store_test {
namespace {

TEST_F(PlaylistStoreTest, KeptScoresReadBackAfterReopeningAndALaterOneReplacesTheFirst) {
    const QString path = QString::fromUtf8("/音乐/it's \"第一课\"; --.mp3");
    {
        auto db = OpenDb();
        ASSERT_TRUE(db);
        EXPECT_TRUE(db->ScoresOf(path).value().empty());
        ASSERT_TRUE(db->KeepScore(path, 0, 40).ok());
        ASSERT_TRUE(db->KeepScore(path, 3'600'000'123, 100).ok());
        ASSERT_TRUE(db->KeepScore(path, 12'500, 71).ok());
        ASSERT_TRUE(db->KeepScore(path, 0, 85).ok());
        ASSERT_TRUE(db->KeepScore(QString::fromUtf8("/音乐/IT'S \"第一课\"; --.mp3"), 0, 5).ok());
    }
    auto db = OpenDb();
    ASSERT_TRUE(db);
    const Result<std::map<qint64, int>> scores = db->ScoresOf(path);
    ASSERT_TRUE(scores.ok());
    const std::map<qint64, int> expected{{0, 85}, {12'500, 71}, {3'600'000'123, 100}};
    EXPECT_EQ(scores.value(), expected) << "letter case of the path counts";
    EXPECT_TRUE(db->AllRows().value()->Eof()) << "scores are not playlist rows";
}

TEST_F(PlaylistStoreTest, AScoreOutOfRangeIsRefusedAndTheKeptOneStays) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    const QString path = QStringLiteral("/a/one.mp3");
    ASSERT_TRUE(db->KeepScore(path, 1000, 60).ok());
    const std::pair<qint64, int> outOfRange[] = {{1000, 101}, {1000, -1}, {-1, 50}};
    for (const auto& [lineMs, percent] : outOfRange) {
        const Result<void> kept = db->KeepScore(path, lineMs, percent);
        ASSERT_FALSE(kept.ok()) << lineMs << " ms, " << percent << " %";
        EXPECT_EQ(kept.failure().code, FailureCode::DatabaseRefused);
    }
    EXPECT_EQ(db->ScoresOf(path).value(), (std::map<qint64, int>{{1000, 60}}));
}

TEST_F(PlaylistStoreTest, ADatabaseFromBeforeScoresGainsTheirTableAndKeepsItsPlaylistAsItWas) {
    const char* playlist = "SELECT * FROM playlist ORDER BY id";
    const char* layout = "SELECT sql FROM sqlite_master WHERE tbl_name = 'playlist' ORDER BY name";
    std::vector<std::vector<std::string>> rowsBefore, layoutBefore;
    {
        auto db = OpenDb();
        ASSERT_TRUE(db);
        ASSERT_TRUE(AddRow(*db, QString::fromUtf8("/课文/第一课.mp3")).ok());
        ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/two.mp3")).ok());
        ASSERT_TRUE(db->Unlist(QStringLiteral("/a/two.mp3")).ok());
    }
    {
        RawConnection raw(DbPath(), kTestKey);
        ASSERT_EQ(raw.Exec("DROP TABLE dictation_scores"), SQLITE_OK);
        rowsBefore = raw.Rows(playlist);
        layoutBefore = raw.Rows(layout);
        ASSERT_EQ(raw.Rows("SELECT name FROM sqlite_master WHERE name = 'dictation_scores'").size(), 0u);
    }
    {
        auto db = OpenDb();
        ASSERT_TRUE(db);
        ASSERT_TRUE(db->KeepScore(QString::fromUtf8("/课文/第一课.mp3"), 2500, 90).ok());
    }
    RawConnection raw(DbPath(), kTestKey);
    EXPECT_EQ(raw.Rows(playlist), rowsBefore);
    EXPECT_EQ(raw.Rows(layout), layoutBefore);
    EXPECT_EQ(raw.Rows("SELECT path, line_ms, percent FROM dictation_scores"),
              (std::vector<std::vector<std::string>>{{"/课文/第一课.mp3", "2500", "90"}}));
}

}  // namespace
}  // namespace ostrelle::store_test
