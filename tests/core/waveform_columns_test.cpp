#include "core/model/waveform_columns.h"

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

// Quiet 5 ms buckets from 0 with one loud bucket at loudMs.
WaveformPeaks QuietWithPeakAt(qint64 loudMs, int buckets) {
    WaveformPeaks peaks;
    peaks.min.assign(static_cast<std::size_t>(buckets), -0.01f);
    peaks.max.assign(static_cast<std::size_t>(buckets), 0.01f);
    peaks.min[static_cast<std::size_t>(loudMs / peaks.bucketMs)] = -0.8f;
    peaks.max[static_cast<std::size_t>(loudMs / peaks.bucketMs)] = 0.9f;
    return peaks;
}

TEST(WaveformColumns, AColumnHoldsTheExtremesOfEveryBucketItOverlaps) {
    const WaveformPeaks peaks = QuietWithPeakAt(1230, 1000);  // 5 s
    // 100 columns over 5 s: 50 ms each; 1230 ms falls in column 24.
    const std::vector<WaveformColumn> columns = WaveformColumns(peaks, 0, 5000, 100);
    ASSERT_EQ(columns.size(), 100u);
    for (int c = 0; c < 100; ++c) {
        ASSERT_TRUE(columns[c].known) << c;
        EXPECT_FLOAT_EQ(columns[c].max, c == 24 ? 0.9f : 0.01f) << c;
        EXPECT_FLOAT_EQ(columns[c].min, c == 24 ? -0.8f : -0.01f) << c;
    }
}

TEST(WaveformColumns, ColumnsNarrowerThanABucketEachShowIt) {
    const WaveformPeaks peaks = QuietWithPeakAt(1000, 400);
    // 10 columns over [1000, 1010): 1 ms each; the loud bucket covers the first five.
    const std::vector<WaveformColumn> columns = WaveformColumns(peaks, 1000, 1010, 10);
    for (int c = 0; c < 10; ++c)
        EXPECT_FLOAT_EQ(columns[c].max, c < 5 ? 0.9f : 0.01f) << c;
}

TEST(WaveformColumns, ColumnsNoBucketReachesAreUnknown) {
    WaveformPeaks range = QuietWithPeakAt(0, 1000);
    range.startMs = 2000;
    range.bucketMs = 1;  // [2000, 3000)
    const std::vector<WaveformColumn> columns = WaveformColumns(range, 1000, 4000, 3);
    EXPECT_FALSE(columns[0].known);
    EXPECT_TRUE(columns[1].known);
    EXPECT_FLOAT_EQ(columns[1].max, 0.9f);
    EXPECT_FALSE(columns[2].known);
    EXPECT_TRUE(WaveformColumns(range, 0, 0, 3).empty());
    EXPECT_TRUE(WaveformColumns(range, 0, 10, 0).empty());
}

TEST(SegmentZoomWindow, AddsASecondEitherSideWithinTheAudio) {
    struct Case {
        qint64 a, b, duration, start, end;
    } const cases[] = {
        {5000, 8000, 60000, 4000, 9000},      // inside
        {8000, 5000, 60000, 4000, 9000},      // marks in either order
        {300, 2000, 60000, 0, 3000},          // near the start
        {58000, 59500, 60000, 57000, 60000},  // near the end
        {58000, 59500, 0, 57000, 60500},      // length not known yet
    };
    for (const Case& c : cases) {
        const TimeWindow window = SegmentZoomWindow(c.a, c.b, c.duration);
        EXPECT_EQ(window.startMs, c.start) << c.a << ' ' << c.b;
        EXPECT_EQ(window.endMs, c.end) << c.a << ' ' << c.b;
    }
}

}  // namespace
}  // namespace ostrelle
