#include "core/formats/settings_file.h"
#include "support/app_fixture.h"

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

TEST(PassRate, ProgressivePassesRiseInEqualStepsFromTheChosenSpeedToTheMediasOwn) {
    for (int passes = 1; passes <= 6; ++passes) {
        SCOPED_TRACE(passes);
        const SpeedChoice choice{0.6, true};
        std::vector<double> rates;
        for (int pass = 0; pass < passes; ++pass)
            rates.push_back(PassRate(choice, pass, passes));
        EXPECT_DOUBLE_EQ(rates.front(), 0.6);
        if (passes == 1) continue;
        EXPECT_DOUBLE_EQ(rates.back(), 1.0);
        for (int pass = 1; pass < passes; ++pass)
            EXPECT_NEAR(rates[pass] - rates[pass - 1], 0.4 / (passes - 1), 1e-12) << "pass " << pass;
    }
    // Without the ramp, or from a speed already at or above the media's own, every pass keeps the choice.
    for (const SpeedChoice& choice : {SpeedChoice{0.6, false}, SpeedChoice{1.5, true}})
        for (int pass = 0; pass < 4; ++pass)
            EXPECT_DOUBLE_EQ(PassRate(choice, pass, 4), choice.rate);
}

class SpeedTest : public AppFixture {
protected:
    SpeedTest() {
        player_.SetUrl(QStringLiteral("/music/lesson.mp3"));
        window().repeatCountBox.text = QString::fromUtf8("3次");
        window().pauseBox.text = QString::fromUtf8("1秒");
        state().abList = {Segment("00:05", "00:08")};
        state().abIndex = 0;
    }

    QString Stored(const char* key) {
        return ReadIniValue(QStringLiteral("Speed"), QString::fromLatin1(key), app_.folder().SettingsFile());
    }
};

TEST_F(SpeedTest, AProgressiveRunPlaysEachPassFasterAndTheChosenSpeedAppliesAgainAfter) {
    app_.Run(Command::Speed50);
    app_.Run(Command::ToggleProgressiveSpeed);
    EXPECT_TRUE(window().speed50Item.checked && window().progressiveSpeedItem.checked);
    EXPECT_FALSE(window().speed100Item.checked);
    app_.Run(Command::PlayRepeat);
    std::vector<int> passTicks;
    std::vector<QString> labels{window().passesLeftLabel.caption};
    while (window().repeatTick.Running() && passTicks.size() < 5) {
        int ticks = 0;
        while (window().repeatTick.Running() && !Pausing()) {
            player_.Advance(0.010);
            app_.TickRepeat();
            ++ticks;
        }
        passTicks.push_back(ticks);
        labels.push_back(window().passesLeftLabel.caption);
        while (window().repeatTick.Running() && Pausing()) {
            player_.Advance(0.010);
            app_.TickRepeat();
        }
    }
    // 3 s of media at 0.5×, 0.75× and 1.0×.
    EXPECT_EQ(passTicks, (std::vector<int>{600, 400, 300}));
    EXPECT_EQ(labels, (std::vector<QString>{QString::fromUtf8("剩3次"), QString::fromUtf8("剩2次"),
                                            QString::fromUtf8("剩1次"), QString()}));
    EXPECT_DOUBLE_EQ(player_.Rate(), 0.5);
}

TEST_F(SpeedTest, TheSpeedHoldsAcrossFilesAndPausesAndReadsBackFromTheSettingsFile) {
    app_.Run(Command::Speed80);
    app_.Run(Command::Faster);
    EXPECT_DOUBLE_EQ(player_.Rate(), 0.85);
    EXPECT_FALSE(window().speed80Item.checked || window().speed90Item.checked) << "between two presets";
    player_.Play();
    player_.Pause();
    player_.SetUrl(QStringLiteral("/music/next.mp3"));
    player_.Play();
    player_.Advance(1.0);
    EXPECT_DOUBLE_EQ(player_.CurrentPosition(), 0.85) << "positions stay in media time";
    app_.ShowPosition();
    EXPECT_EQ(window().positionLabel.caption, QString::fromUtf8("00:00  0.85×"));
    EXPECT_EQ(Stored("Rate"), QStringLiteral("0.85"));

    // The next start of the program.
    Window again;
    SimulatedPlayer player;
    SpeedControl restored(again, player, [](const QString&, const QString&) {});
    restored.Restore(app_.folder().SettingsFile());
    EXPECT_DOUBLE_EQ(player.Rate(), 0.85);

    app_.Run(Command::NormalSpeed);
    app_.ShowPosition();
    EXPECT_EQ(window().positionLabel.caption, QStringLiteral("00:00")) << "nothing beside it at 1.0×";
    EXPECT_TRUE(window().speed100Item.checked);
}

TEST_F(SpeedTest, StoredSpeedsOutOfRangeOrNotNumbersPlayAtTheMediasOwnSpeed) {
    const QString ini = app_.folder().SettingsFile();
    for (const char* text : {"abc", "0.3", "2.5", "nan", "", "0,8"}) {
        ASSERT_TRUE(
            WriteIniValue(QStringLiteral("Speed"), QStringLiteral("Rate"), QString::fromLatin1(text), ini)
                .ok());
        player_.SetRate(0.7);
        app_.speed().Restore(ini);
        EXPECT_DOUBLE_EQ(player_.Rate(), 1.0) << text;
        EXPECT_TRUE(window().speed100Item.checked) << text;
    }
}

TEST_F(SpeedTest, StepsStopAtTheEndsAndAFileThatCannotChangeSpeedSaysSo) {
    app_.Run(Command::Speed50);
    EXPECT_FALSE(window().slowerItem.enabled);
    app_.Run(Command::Slower);
    EXPECT_DOUBLE_EQ(player_.Rate(), 0.5);
    app_.Run(Command::Speed200);
    EXPECT_FALSE(window().fasterItem.enabled);
    EXPECT_TRUE(window().slowerItem.enabled);

    player_.fixedSpeed = true;
    app_.ShowPosition();
    EXPECT_EQ(window().positionLabel.caption, QString::fromUtf8("00:00  1.00×(此文件不能变速)"));
}

}  // namespace
}  // namespace ostrelle
