#include "adapters/gst/stop_point.h"

#include <gtest/gtest.h>

#include <optional>

namespace ostrelle {
namespace {

constexpr std::int64_t kSecondNs = 1'000'000'000;

// A stop point at 2 s whose segment from 1 s has been sent to the sink whole.
StopPoint DrainingTowardsTwoSeconds() {
    StopPoint stop;
    stop.Set(2.0);
    (void)stop.PlanSeek(1.0);
    stop.SegmentDone();
    return stop;
}

TEST(StopPointTest, OnlyASeekBeforeTheStopPointEndsThere) {
    struct Case {
        std::optional<double> stopPoint;
        double target;
        std::optional<double> expectedStop;
    };
    for (const Case& c : {Case{2.0, 1.0, 2.0}, Case{2.0, 1.9996, std::nullopt}, Case{2.0, 2.5, std::nullopt},
                          Case{std::nullopt, 1.0, std::nullopt}}) {
        StopPoint stop;
        stop.Set(c.stopPoint);
        const SegmentSeek seek = stop.PlanSeek(c.target);
        EXPECT_EQ(seek.stopSeconds, c.expectedStop) << c.target;
        EXPECT_EQ(stop.Active(), c.expectedStop) << c.target;
        EXPECT_TRUE(seek.flush);
        EXPECT_DOUBLE_EQ(seek.startSeconds, c.target);
        EXPECT_EQ(seek.sinkOffsetNs, c.expectedStop ? StopPoint::kRestartLeadNs : 0) << c.target;
    }
}

TEST(StopPointTest, SeeksKeepTheStopPointUntilItIsCleared) {
    StopPoint stop;
    stop.Set(2.0);
    EXPECT_EQ(stop.PlanSeek(0.0).stopSeconds, 2.0);
    EXPECT_EQ(stop.PlanSeek(3.0).stopSeconds, std::nullopt);
    EXPECT_EQ(stop.PlanSeek(0.5).stopSeconds, 2.0) << "applies again to a seek before it";
    stop.Set(std::nullopt);
    EXPECT_EQ(stop.PlanSeek(0.5).stopSeconds, std::nullopt);
}

TEST(StopPointTest, ReachedOnlyOnceTheOutputHasPlayedUpToIt) {
    StopPoint stop;
    stop.Set(2.0);
    (void)stop.PlanSeek(1.0);
    EXPECT_FALSE(stop.AwaitingOutput()) << "the parser has not sent the last buffer yet";
    EXPECT_FALSE(stop.ReportsPaused(2.0));
    stop.SegmentDone();
    EXPECT_EQ(stop.Track(1.9, true, 0), StopPointProgress::kDraining);
    EXPECT_FALSE(stop.ReportsPaused(1.9));
    EXPECT_EQ(stop.Track(1.9996, true, 10), StopPointProgress::kReached);
    EXPECT_TRUE(stop.Idle());
    EXPECT_FALSE(stop.AwaitingOutput());
    EXPECT_TRUE(stop.ReportsPaused(1.0)) << "paused at the stop point, never stopped";
}

TEST(StopPointTest, AnOutputThatStandsStillWhilePlayingMeansTheMediaEnded) {
    StopPoint stop = DrainingTowardsTwoSeconds();
    EXPECT_EQ(stop.Track(1.4, true, 900), StopPointProgress::kDraining);
    EXPECT_EQ(stop.Track(1.5, true, 1000), StopPointProgress::kDraining);
    EXPECT_EQ(stop.Track(1.5, true, 1000 + StopPoint::kStallMs - 1), StopPointProgress::kDraining);
    EXPECT_EQ(stop.Track(1.5, false, 5000), StopPointProgress::kDraining) << "paused short of it";
    EXPECT_EQ(stop.Track(1.5, true, 1000 + StopPoint::kStallMs), StopPointProgress::kMediaEnded);
}

TEST(StopPointTest, AnOutputThatStandsStillJustShortOfTheStopHasReachedItsRealEnd) {
    // An MP4 with an edit list loses the frame that straddles the stop: its audio ends 6 ms early.
    StopPoint stop = DrainingTowardsTwoSeconds();
    EXPECT_EQ(stop.Track(1.98, true, 0), StopPointProgress::kDraining);
    EXPECT_EQ(stop.Track(1.994, true, 10), StopPointProgress::kDraining);
    EXPECT_EQ(stop.Track(1.994, true, 10 + StopPoint::kShortEndStallMs - 1), StopPointProgress::kDraining);
    EXPECT_EQ(stop.Track(1.994, true, 10 + StopPoint::kShortEndStallMs), StopPointProgress::kReached);
    EXPECT_TRUE(stop.ReportsPaused(1.994)) << "paused, not ended";

    const auto restart = stop.PlanRestart(1.0, 3 * kSecondNs, 2 * kSecondNs);
    ASSERT_TRUE(restart);
    stop.Restarted();
    EXPECT_TRUE(stop.StillInOldPass(1.994)) << "the old pass ended there";
    stop.SegmentDone();
    EXPECT_EQ(stop.Track(1.994, true, 5000), StopPointProgress::kReached) << "later passes end there at once";

    (void)stop.PlanSeek(1.0);
    stop.SegmentDone();
    EXPECT_EQ(stop.Track(1.994, true, 6000), StopPointProgress::kReached) << "the same stop from a flush";
    stop.Set(3.0);
    (void)stop.PlanSeek(1.0);
    stop.SegmentDone();
    EXPECT_EQ(stop.Track(1.994, true, 7000), StopPointProgress::kDraining) << "another stop ends elsewhere";
}

TEST(StopPointTest, AnOutputThatHasNotStartedYetIsGivenLongerThanOneThatStopped) {
    StopPoint stop = DrainingTowardsTwoSeconds();
    EXPECT_EQ(stop.Track(0.0, true, 0), StopPointProgress::kDraining);
    EXPECT_EQ(stop.Track(0.0, true, StopPoint::kStartStallMs - 1), StopPointProgress::kDraining)
        << "a sound server stream still starting";
    EXPECT_EQ(stop.Track(0.0, true, StopPoint::kStartStallMs), StopPointProgress::kMediaEnded);
}

TEST(StopPointTest, ARestartFromTheStopPointIsQueuedAndShiftedByTheWaitThere) {
    StopPoint stop = DrainingTowardsTwoSeconds();
    ASSERT_EQ(stop.Track(2.0, true, 0), StopPointProgress::kReached);

    const std::optional<SegmentSeek> restart = stop.PlanRestart(1.0, 5 * kSecondNs, 3 * kSecondNs);
    ASSERT_TRUE(restart);
    EXPECT_FALSE(restart->flush);
    EXPECT_DOUBLE_EQ(restart->startSeconds, 1.0);
    EXPECT_EQ(restart->stopSeconds, 2.0);
    EXPECT_EQ(restart->sinkOffsetNs, 2 * kSecondNs + StopPoint::kRestartLeadNs);

    EXPECT_FALSE(stop.PlanRestart(1.0, std::nullopt, 3 * kSecondNs)) << "no running time";
    EXPECT_FALSE(stop.PlanRestart(1.0, 5 * kSecondNs, 0)) << "never reached";
    EXPECT_FALSE(stop.PlanRestart(2.0, 5 * kSecondNs, 3 * kSecondNs)) << "nothing left before the stop";

    stop.Restarted();
    EXPECT_FALSE(stop.Idle());
    EXPECT_EQ(stop.Active(), 2.0);
    EXPECT_TRUE(stop.StillInOldPass(2.0)) << "the sink still reports the last pass";
    EXPECT_FALSE(stop.StillInOldPass(1.01));
}

TEST(StopPointTest, TheReportedPositionStaysWithinThePass) {
    StopPoint stop;
    stop.Set(2.0);
    (void)stop.PlanSeek(1.0);
    EXPECT_DOUBLE_EQ(stop.ReportedPosition(0.98, 1.0), 1.0) << "a restart's first buffer waits";
    EXPECT_DOUBLE_EQ(stop.ReportedPosition(1.5, 1.0), 1.5);
    EXPECT_DOUBLE_EQ(stop.ReportedPosition(2.2, 1.0), 2.0);
    stop.SegmentDone();
    EXPECT_DOUBLE_EQ(stop.ReportedPosition(1.9997, 1.0), 2.0) << "within the sink's rounding of it";
}

TEST(StopPointTest, ANewStopPointAlreadyPassedAppliesFromTheNextSeek) {
    StopPoint stop;
    stop.Set(3.0);
    (void)stop.PlanSeek(1.0);
    stop.Set(2.5);
    EXPECT_TRUE(stop.NeedsReseek(2.0));
    stop.Set(1.5);
    EXPECT_FALSE(stop.NeedsReseek(2.0));
    EXPECT_EQ(stop.Active(), std::nullopt) << "the segment plays on to the end";
    EXPECT_EQ(stop.PlanSeek(1.0).stopSeconds, 1.5);
}

}  // namespace
}  // namespace ostrelle
