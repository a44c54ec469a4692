#include "store_fixture.h"

namespace ostrelle::store_test {
namespace {

TEST_F(PlaylistStoreTest, KeptLengthsReadBackExactlyAndALaterOneReplacesTheFirst) {
    const QString path = QString::fromUtf8("/音乐/it's \"one\".mp3");
    {
        auto db = OpenDb();
        ASSERT_TRUE(db);
        EXPECT_FALSE(db->KeptLengthOf(path));
        ASSERT_TRUE(db->KeepLengths({{path, {170'000'000, 1'765'000'000'123, 10800.026122448979}}}).ok());
        std::vector<std::pair<QString, KeptLength>> many;
        for (int i = 0; i < 450; ++i)  // more than one statement holds
            many.emplace_back(QStringLiteral("/m/%1.mp3").arg(i), KeptLength{i, i, i + 0.5});
        many.emplace_back(path, KeptLength{170'000'417, 1'765'000'000'999, 10800.052244897959});
        ASSERT_TRUE(db->KeepLengths(many).ok());
    }
    auto db = OpenDb();
    ASSERT_TRUE(db);
    const std::optional<KeptLength> kept = db->KeptLengthOf(path);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->sizeBytes, 170'000'417);
    EXPECT_EQ(kept->modifiedMs, 1'765'000'000'999);
    EXPECT_NEAR(kept->seconds, 10800.052244897959, 1e-9);
    EXPECT_FALSE(db->KeptLengthOf(QString::fromUtf8("/音乐/IT'S \"ONE\".mp3"))) << "letter case counts";
    EXPECT_EQ(db->KeptLengthOf(QStringLiteral("/m/449.mp3"))->seconds, 449.5);
    EXPECT_TRUE(db->AllRows().value()->Eof()) << "lengths are not playlist rows";
}

TEST_F(PlaylistStoreTest, ADatabaseFromBeforeKeptLengthsGainsTheirTableAndKeepsItsRows) {
    {
        auto db = OpenDb();
        ASSERT_TRUE(db);
        ASSERT_TRUE(AddRow(*db, QStringLiteral("/a/one.mp3")).ok());
    }
    {
        RawConnection raw(DbPath(), kTestKey);
        ASSERT_EQ(raw.Exec("DROP TABLE durations"), SQLITE_OK);
    }
    auto db = OpenDb();
    ASSERT_TRUE(db);
    EXPECT_EQ(db->AllRows().value()->RecordCount(), 1);
    EXPECT_TRUE(db->KeepLengths({{QStringLiteral("/a/one.mp3"), {1, 2, 3.5}}}).ok());
    EXPECT_EQ(db->KeptLengthOf(QStringLiteral("/a/one.mp3"))->seconds, 3.5);
}

}  // namespace
}  // namespace ostrelle::store_test
