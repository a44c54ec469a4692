#include "adapters/gst/gst_wave_device.h"
#include "support/app_fixture.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

constexpr int kDeadlineMs = 15000;

// A microphone that hears a steady tone, paced in real time, and a silent loudspeaker.
struct ToneDevice : GstWaveDevice {
    ToneDevice()
        : GstWaveDevice(QStringLiteral("audiotestsrc is-live=true wave=sine freq=440 samplesperbuffer=480"),
                        QStringLiteral("fakesink sync=true")) {}
};

// Shadowing with the real recorder's device: a half-second segment of a file in a folder whose name has
// Chinese characters and quotes, one pass.
class ShadowingTakeTest : public AppFixtureWith<ToneDevice> {
protected:
    ShadowingTakeTest() {
        QDir(dir_.path()).mkdir(QString::fromUtf8("课文 \"一\""));
        audio_ = MakeFile(QString::fromUtf8("课文 \"一\"/第1课.mp3"));
        player_.SetUrl(audio_);
        window().repeatCountBox.text = QString::fromUtf8("1次");
        AddRow(audio_, QStringLiteral("1:00"), {QStringLiteral("A00:05B00:05.500")});
        app_.transport().LoadFileSegments(audio_, 1);
        app_.UpdateDerivedStates();
    }

    Shadowing& shadowing() { return app_.shadowing(); }
    QString Take() { return shadowing().TakePath(audio_, *state().RepeatedSegment()); }

    void TickOriginal() {
        for (int i = 0; i < 1000 && shadowing().phase() == Shadowing::Phase::Original; ++i) {
            player_.Advance(0.010);
            app_.TickShadowing();
        }
    }

    // The device records in real time; the run's clock is ticked once the device has heard it all.
    void RecordTheLearner(int ms) {
        ASSERT_EQ(shadowing().phase(), Shadowing::Phase::Recording);
        ASSERT_TRUE(QTest::qWaitFor([&] { return device_.LengthMs() >= ms; }, kDeadlineMs));
        for (int tick = 0; tick < ms / 10; ++tick)
            app_.TickShadowing();
    }

    QString audio_;
};

TEST_F(ShadowingTakeTest, ATakeIsRecordedKeptAndPlayedBackByTheRealDevice) {
    app_.Run(Command::Shadowing);
    TickOriginal();
    RecordTheLearner(500 + Shadowing::kMarginMs);
    ASSERT_EQ(shadowing().phase(), Shadowing::Phase::Take) << dialogs_.shown.size();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shadowing().Active(); }, kDeadlineMs));
    EXPECT_TRUE(dialogs_.shown.empty());

    ASSERT_TRUE(QFileInfo(Take()).isFile());
    EXPECT_TRUE(Take().startsWith(dir_.path() + QStringLiteral("/takes/")));
    ASSERT_TRUE(device_.Open(Take()).ok());
    EXPECT_GE(device_.LengthMs(), 500 + Shadowing::kMarginMs);
    EXPECT_LT(device_.LengthMs(), 500 + Shadowing::kMarginMs + 2000);
    device_.Close();

    app_.UpdateDerivedStates();
    ASSERT_TRUE(window().playTakeItem.enabled);
    app_.Run(Command::PlayTake);
    EXPECT_TRUE(shadowing().Active());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shadowing().Active(); }, kDeadlineMs));
    EXPECT_TRUE(dialogs_.shown.empty());
}

}  // namespace
}  // namespace ostrelle
