#include "adapters/gst/background_duration_meter.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHash>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

namespace ostrelle {
namespace {

using Delivered = std::vector<std::pair<QString, std::optional<double>>>;

// Lengths by path; notes the thread it runs on, and can hold a path until the test lets it go.
class ScriptedProbe final : public DurationProbe {
public:
    struct Script {
        QHash<QString, double> seconds;
        std::thread::id thread;
        QString held;
        std::promise<void> started;
        std::shared_future<void> release;
    };
    explicit ScriptedProbe(Script& script) : script_(script) {}
    std::optional<double> ProbeSeconds(const QString& path) override {
        script_.thread = std::this_thread::get_id();
        if (path == script_.held) {
            script_.started.set_value();
            script_.release.wait();
        }
        const auto it = script_.seconds.constFind(path);
        return it == script_.seconds.constEnd() ? std::nullopt : std::optional<double>(*it);
    }

private:
    Script& script_;
};

class BackgroundDurationMeterTest : public ::testing::Test {
protected:
    BackgroundDurationMeterTest() : meter_([this] { return std::make_unique<ScriptedProbe>(script_); }) {
        meter_.SetHandler([this](const QString& path, std::optional<double> seconds) {
            handlerThread_ = std::this_thread::get_id();
            delivered_.emplace_back(path, seconds);
        });
    }
    // Bounded, so a broken meter fails the test instead of hanging it.
    template <typename Step>
    void RunUntilDelivered(size_t count, Step step) {
        const QDeadlineTimer deadline(20000);
        while (delivered_.size() < count && !deadline.hasExpired())
            step();
    }

    ScriptedProbe::Script script_;
    Delivered delivered_;
    std::thread::id handlerThread_;
    BackgroundDurationMeter meter_;  // last: it goes first, while what its handler writes to is still here
};

TEST_F(BackgroundDurationMeterTest, MeasuresInOrderOnItsOwnThreadAndHandsResultsBackOnTheCallers) {
    script_.seconds = {{QStringLiteral("/a.mp3"), 1.5}};
    meter_.Measure(QStringLiteral("/a.mp3"));
    meter_.Measure(QString::fromUtf8("/不在.mp3"));
    EXPECT_TRUE(delivered_.empty()) << "never from inside Measure()";
    RunUntilDelivered(2, [&] { meter_.DeliverResults(50); });
    EXPECT_EQ(delivered_, (Delivered{{QStringLiteral("/a.mp3"), 1.5}, {QString::fromUtf8("/不在.mp3"), {}}}));
    EXPECT_NE(script_.thread, std::this_thread::get_id());
    EXPECT_EQ(handlerThread_, std::this_thread::get_id());
}

TEST_F(BackgroundDurationMeterTest, ResultsArriveThroughTheEventLoopAlone) {
    script_.seconds = {{QStringLiteral("/a.mp3"), 2}};
    meter_.Measure(QStringLiteral("/a.mp3"));
    RunUntilDelivered(1, [] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50); });
    EXPECT_EQ(delivered_, (Delivered{{QStringLiteral("/a.mp3"), 2}}));
}

TEST_F(BackgroundDurationMeterTest, CancellingDropsTheQueuedButNotTheMeasurementUnderWay) {
    std::promise<void> release;
    script_.release = release.get_future().share();
    script_.held = QStringLiteral("/long.mp3");
    script_.seconds = {{QStringLiteral("/long.mp3"), 10800}, {QStringLiteral("/next.mp3"), 1}};
    meter_.Measure(QStringLiteral("/long.mp3"));
    meter_.Measure(QStringLiteral("/next.mp3"));
    script_.started.get_future().wait();
    meter_.CancelQueued();
    release.set_value();
    RunUntilDelivered(1, [&] { meter_.DeliverResults(50); });
    meter_.DeliverResults(50);
    EXPECT_EQ(delivered_, (Delivered{{QStringLiteral("/long.mp3"), 10800}}));
}

// Measures until cancelled, as the read of a huge file would; bounded, so a meter that never cancels
// fails the test instead of hanging it.
class EndlessProbe final : public DurationProbe {
public:
    EndlessProbe(std::promise<void>& started, std::atomic<bool>& sawCancel)
        : started_(started), sawCancel_(sawCancel) {}
    std::optional<double> ProbeSeconds(const QString&) override {
        started_.set_value();
        const QDeadlineTimer deadline(20000);
        while (!cancelled_ && !deadline.hasExpired())
            std::this_thread::yield();
        sawCancel_ = cancelled_.load();
        return std::nullopt;
    }
    void Cancel() override { cancelled_ = true; }

private:
    std::promise<void>& started_;
    std::atomic<bool>& sawCancel_;
    std::atomic<bool> cancelled_{false};
};

TEST(BackgroundDurationMeterQuit, QuittingCancelsTheMeasurementUnderWay) {
    std::promise<void> started;
    std::atomic<bool> sawCancel{false};
    {
        BackgroundDurationMeter meter([&] { return std::make_unique<EndlessProbe>(started, sawCancel); });
        meter.Measure(QStringLiteral("/huge.mp3"));
        started.get_future().wait();
    }
    EXPECT_TRUE(sawCancel) << "the program waited for the whole file instead";
}

}  // namespace
}  // namespace ostrelle
