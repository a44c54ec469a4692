#include "store_fixture.h"

namespace ostrelle::store_test {
namespace {

HardSentence Hard(const QString& path, qint64 aMs, qint64 bMs, qint64 dueMs, bool segment = true) {
    HardSentence sentence;
    sentence.path = path;
    sentence.aMs = aMs;
    sentence.bMs = bMs;
    sentence.segment = segment;
    sentence.text = QString::fromUtf8("Wie geht's? \"你好\"");
    sentence.memory = {CardPhase::Review, 0, 12.5, 6.25, dueMs, dueMs - 86'400'000};
    sentence.reviews = 3;
    return sentence;
}

TEST_F(PlaylistStoreTest, HardSentencesKeepTheirStateMoveWithTheirSegmentAndGoWithIt) {
    const QString lesson = QString::fromUtf8("/课/it's \"一\".mp3");
    {
        auto db = OpenDb();
        ASSERT_TRUE(db);
        ASSERT_TRUE(db->KeepHard(Hard(lesson, 1000, 2000, 500)).ok());
        ASSERT_TRUE(db->KeepHard(Hard(lesson, 3000, 4000, 100)).ok());
        ASSERT_TRUE(db->KeepHard(Hard(lesson, 5000, 6000, 900, false)).ok());
        ASSERT_TRUE(db->KeepHard(Hard(QStringLiteral("/other.mp3"), 0, 10, 50'000)).ok());
    }
    auto db = OpenDb();
    ASSERT_TRUE(db);
    const std::vector<HardSentence> due = db->DueHard(1000).value();
    ASSERT_EQ(due.size(), 3u);
    EXPECT_EQ(due[0].aMs, 3000) << "the longest due first";
    EXPECT_EQ(due[0].text, QString::fromUtf8("Wie geht's? \"你好\""));
    EXPECT_EQ(due[0].memory.stability, 12.5);
    EXPECT_EQ(due[0].memory.phase, CardPhase::Review);
    EXPECT_EQ(due[0].reviews, 3);

    ASSERT_TRUE(db->MoveHard(lesson, {1000, 2000}, {1010, 2000}).ok());
    // The segment at 3-4 s was deleted; a timed line's sentence is not a segment and stays.
    ASSERT_TRUE(db->KeepHardSegmentsOnly(lesson, {{1010, 2000}}).ok());
    const std::vector<HardSentence> kept = db->HardSentences(lesson).value();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].aMs, 1010);
    EXPECT_EQ(kept[0].memory.dueMs, 500);
    EXPECT_EQ(kept[1].aMs, 5000);
    EXPECT_EQ(db->HardSentences().value().size(), 3u);
}

TEST_F(PlaylistStoreTest, PracticeAddsUpByDay) {
    auto db = OpenDb();
    ASSERT_TRUE(db);
    const QDate day(2026, 12, 9);
    ASSERT_TRUE(db->AddPractice({day, 30'000, 2, 1, 0, 0}).ok());
    ASSERT_TRUE(db->AddPractice({day, 45'000, 1, 0, 3, 4}).ok());
    ASSERT_TRUE(db->AddPractice({day.addDays(-3), 1000, 0, 0, 0, 1}).ok());
    const std::vector<PracticeDay> days = db->PracticeDays(day.addDays(-1), day).value();
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days[0], (PracticeDay{day, 75'000, 3, 1, 3, 4}));
    EXPECT_FALSE(db->AddPractice({QDate(), 1, 0, 0, 0, 0}).ok());
}

}  // namespace
}  // namespace ostrelle::store_test
