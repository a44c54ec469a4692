#pragma once

#include "core/model/player_state.h"
#include "core/model/window_model.h"
#include "core/operations/feature.h"
#include "core/operations/speed_control.h"
#include "core/ports/media_player.h"

#include <functional>
#include <optional>
#include <utility>

namespace ostrelle {

// The pause choices beyond whole seconds, and the factor of the segment's length each one pauses for.
inline constexpr const char* kPauseBySegment = "按句长";
inline constexpr const char* kPauseBySegmentAndHalf = "按句长×1.5";
std::optional<double> PauseBySegmentLength(const QString& choice);

// What an operation that ends a repeat run does besides ending it.
struct RunEnding {
    // Which of the button and its menu item stop offering to stop a run.
    enum class Captions { Keep, ButtonOnly, ButtonAndMenu };
    bool pausePlayer = false;
    bool seekToA = false;
    Captions captions = Captions::Keep;
};

// Plays the current A-B segment a chosen number of times with a pause between passes, and steps between
// the file's segments. The run's state is in the session; a pass
// ends at the first tick at or after B, and the player is given B as its stop point so that no audio past
// B is heard.
class RepeatEngine final : public Feature {
public:
    static constexpr int kTicksPerSecond = 1000 / kRepeatTickMs;

    RepeatEngine(const Window& window, PlayerState& state, MediaPlayer& player, SpeedControl& speed)
        : window_(window), state_(state), player_(player), speed_(speed) {}

    bool Owns(Command command) const override {
        return command == Command::PlayRepeat || command == Command::NextSegment ||
               command == Command::PreviousSegment;
    }
    void Run(Command command) override {
        if (command == Command::PlayRepeat) PlayRepeat();
        if (command == Command::NextSegment) NextSegment();
        if (command == Command::PreviousSegment) PreviousSegment();
    }

    // Starts a run unless the play-repeat button offers to stop one, which it then does.
    void PlayRepeat();
    // One repeat tick (every 10 ms during a run).
    void Tick();
    void NextSegment();
    void PreviousSegment();
    // Makes segment index (from 0) of the file's segments current, as the steps would.
    void GoToSegment(int index);
    // Whether a step (+1 or -1) has a segment to go to: from a current one, with no A waiting for its B.
    bool CanStep(int delta) const;
    // Ends a run, and ending says what else happens.
    void StopRepeatRun(const RunEnding& ending);

    // Called each time a pass has played through.
    void SetPassHandler(std::function<void()> handler) { passPlayed_ = std::move(handler); }

    // The run's pass count and pause in ticks, from the first character of the two selectors.
    int RepeatCount() const;
    int PauseTicksSetting() const;

private:
    void StepSegment(int delta);
    void SetIdleCaptions(RunEnding::Captions which);
    // Where the run's passes start and end: the segment it repeats, or nothing when there is none.
    std::pair<double, double> RunSpan() const;

    const Window& window_;
    PlayerState& state_;
    MediaPlayer& player_;
    SpeedControl& speed_;
    std::function<void()> passPlayed_;
};

}  // namespace ostrelle
