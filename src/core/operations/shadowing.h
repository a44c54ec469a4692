#pragma once

#include "core/model/player_state.h"
#include "core/model/window_model.h"
#include "core/operations/feature.h"
#include "core/operations/recorder.h"
#include "core/operations/repeat_engine.h"
#include "core/operations/speed_control.h"
#include "core/ports/dialogs.h"
#include "core/ports/media_player.h"
#include "core/ports/wave_device.h"

#include <functional>

namespace ostrelle {

// Shadowing on the current segment: each pass plays the segment, records the learner for its length plus
// a margin, plays the take back, then pauses as a repeat run does. The last complete take of each segment
// is kept in takesDir, one folder per audio file.
class Shadowing final : public Feature {
public:
    static constexpr int kMarginMs = 1500;

    enum class Phase { Idle, Original, Recording, Take, Pausing };

    // A take ready to be scored: just recorded (fresh), or about to be heard again.
    using TakeReady =
        std::function<void(const QString& lesson, const ABPair& segment, const QString& take, bool fresh)>;

    Shadowing(Window& window, PlayerState& state, MediaPlayer& player, WaveDevice& device, Dialogs& dialogs,
              RepeatEngine& repeat, SpeedControl& speed, Recorder& recorder, QString takesDir,
              TakeReady takeReady = {})
        : window_(window),
          state_(state),
          player_(player),
          device_(device),
          dialogs_(dialogs),
          repeat_(repeat),
          speed_(speed),
          recorder_(recorder),
          takesDir_(std::move(takesDir)),
          takeReady_(std::move(takeReady)) {}

    // Starts a run on the current segment, or stops the one under way at once.
    void Toggle();
    // Plays the current segment once, then its take; or the take alone.
    void ReplayWithOriginal();
    void PlayTake();
    // Plays the original from `from` to `to` (seconds of the file), then the take from takeFrom to takeTo
    // (seconds of the take): a stretch where the take differs most.
    void ReplayPart(double from, double to, double takeFrom, double takeTo);
    // Asks where, then copies the current segment's take there.
    void SaveTake();
    // Every 10 ms while active.
    void Tick();
    // The device finished playing back.
    void DeviceDone();
    void Stop();
    // Another lesson started: the run ends without touching the player.
    void LessonChanged(const QString& path) override;
    // 跟读 and the commands of its takes.
    bool Owns(Command command) const override;
    void Run(Command command) override;
    void Present() override { UpdateStates(); }

    bool Active() const { return phase_ != Phase::Idle; }
    Phase phase() const { return phase_; }

    // Where the take of segment a-b of audioPath is kept.
    QString TakePath(const QString& audioPath, const ABPair& segment) const;
    QString TakesFolder(const QString& audioPath) const;
    // Forgets the takes of segments the file no longer has (all of them when it has none).
    void ForgetTakesNotIn(const QString& audioPath, const ABList& kept);
    // Whether the current segment has a take; switches the replay commands.
    void UpdateStates();
    // The last take's score, told beside the cue while the take plays back and in the pause after it.
    void ShowScore(const QString& text);

private:
    bool SegmentReady() const;
    // Whether the current segment's take is on disk, asked again only when the segment or the takes change:
    // the states are updated before every render, also during a run's 10 ms ticks.
    bool TakeKept();
    // Takes the device and the player for a run of passes; recordPasses: record the learner each pass.
    void StartRun(bool recordPasses, int passes);
    void BeginPass();
    // Plays the original from a_ to b_, telling cue.
    void PlayOriginal(const QString& cue);
    void StartRecording();
    void StartTakePlayback();
    // Ends the run early; the player is left alone when it already holds another lesson.
    void End(bool playerIsOurs);
    void EndRun(bool playerIsOurs = true);
    void Fail(const QString& whatFailed, const Failure& failure);
    void ShowCue(const QString& text);
    void TellTake(bool fresh);

    Window& window_;
    PlayerState& state_;
    MediaPlayer& player_;
    WaveDevice& device_;
    Dialogs& dialogs_;
    RepeatEngine& repeat_;
    SpeedControl& speed_;
    Recorder& recorder_;
    QString takesDir_;
    TakeReady takeReady_;
    QString cue_;    // the cue without the score
    QString score_;  // the last take's, while it plays back and in the pause after it

    Phase phase_ = Phase::Idle;
    bool recordPasses_ = true;  // false: a replay of the original and the take kept
    bool partOnly_ = false;     // the replay is of a stretch of both
    int pass_ = 0;
    int passes_ = 0;
    int ticks_ = 0;       // in the current phase
    int recordMs_ = 0;    // how long this pass records
    int pauseTicks_ = 0;  // of the pause between passes
    QString take_;        // the take of this run's segment
    double a_ = 0;
    double b_ = 0;
    QString checkedTake_;  // the take TakeKept() last looked for; empty: look again
    bool takeKept_ = false;
};

}  // namespace ostrelle
