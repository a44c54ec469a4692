#pragma once

#include "core/model/commands.h"
#include "core/model/window_model.h"
#include "core/operations/feature.h"
#include "core/ports/media_player.h"

#include <QString>

#include <functional>

namespace ostrelle {

// The learner's playback speed, pitch kept, and whether the passes of a run speed up towards 1.0×.
struct SpeedChoice {
    double rate = 1.0;
    bool progressive = false;
};

// The speed of pass (from 0) of a run of passes: the chosen one; progressive and slower than 1.0×, it
// rises in equal steps from the chosen speed on the first pass to 1.0× on the last.
double PassRate(const SpeedChoice& choice, int pass, int passes);

// "  0.80×" beside the position while the speed is not the media's own, and a word when the file
// plays at 1.0× although another speed was asked for.
QString SpeedText(double asked, double playing);

// The 语速 submenu and the 渐进语速 item: applies the chosen speed to the player (for every file, kept
// in the settings file) and the speed of each pass of a repeat run.
class SpeedControl final : public Feature {
public:
    static constexpr double kStep = 0.05;
    static constexpr const char* kSection = "Speed";

    using WriteSetting = std::function<void(const QString& key, const QString& value)>;

    SpeedControl(Window& window, MediaPlayer& player, WriteSetting writeSetting)
        : window_(window), player_(player), writeSetting_(std::move(writeSetting)) {}

    // The stored choice; a stored speed that is not a number from 0.5 to 2.0 counts as 1.0.
    void Restore(const QString& settingsFile);
    bool Owns(Command command) const override;
    // Runs a command of the 语速 submenu or the 渐进语速 item.
    void Run(Command command) override;
    // Chooses rate as the submenu would, held to 0.5–2.0 and kept to hundredths (the desktop's media
    // controls ask for any speed).
    void Choose(double rate);

    // A repeat run's pass starts, or the run ends and the chosen speed applies again.
    void StartPass(int pass, int passes);
    void EndRun();

    const SpeedChoice& choice() const { return choice_; }
    // The speed last given to the player.
    double Asked() const { return asked_; }
    // Ticks the preset that matches the choice, and the progressive item.
    void ShowChoice();

private:
    void Apply(double rate);

    Window& window_;
    MediaPlayer& player_;
    WriteSetting writeSetting_;
    SpeedChoice choice_;
    double asked_ = 1.0;
};

}  // namespace ostrelle
