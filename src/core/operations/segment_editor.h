#pragma once

#include "core/model/player_state.h"
#include "core/operations/feature.h"
#include "core/operations/repeat_engine.h"
#include "core/operations/segment_store.h"
#include "core/ports/dialogs.h"
#include "core/ports/media_player.h"

#include <functional>

namespace ostrelle {

// The commands that make, move and remove A-B segments of the loaded file.
class SegmentEditor final : public Feature {
public:
    struct Hooks {
        // Called with the file whose segments were deleted or added, whether or not the store took it.
        std::function<void(const QString& path)> segmentsChanged;
        // A segment of path moved from one span to another (ms).
        std::function<void(const QString& path, std::pair<qint64, qint64> from, std::pair<qint64, qint64> to)>
            segmentMoved = {};
    };

    SegmentEditor(Window& window, PlayerState& state, MediaPlayer& player, SegmentStore& store,
                  RepeatEngine& repeat, Dialogs& dialogs, Hooks hooks)
        : window_(window),
          state_(state),
          player_(player),
          store_(store),
          repeat_(repeat),
          dialogs_(dialogs),
          hooks_(std::move(hooks)) {}

    bool Owns(Command command) const override;
    void Run(Command command) override;
    // The nudges, while a segment is current.
    void Present() override;

    void SetAPoint();
    // Stores A and B as a new segment of the loaded file and makes it current.
    void SetBPoint();
    // Deletes the current stored segment of the file whose segments are shown.
    void DeleteCurrentAB();
    // Asks, then deletes every segment of the file whose segments are shown.
    void DeleteAllAB();

    // Stores spans (start and end in seconds, in order) as segments of the loaded file, as many as there
    // are free slots. When the file has segments the learner first chooses to replace them, to add after
    // them, or to leave everything as it is. The first new segment becomes current, as after marking by hand.
    void AddSegments(const std::vector<std::pair<double, double>>& spans);

    // Reads path's segments into the player state; none when they cannot be read.
    void ReloadSegments(const QString& path);

    enum class Mark { A, B };
    // Moves the current segment's A or B by deltaSeconds, kept within the file and on its side of the
    // other mark, rewrites the segment's slot in place, and plays the edge that moved: from A, or the
    // last second up to B. A run goes on with the new points.
    void NudgeMark(Mark mark, double deltaSeconds);
    // The same with the mark's new place given, as when its handle is dragged on the waveform.
    void MoveMark(Mark mark, double seconds);
    // Whether a stored segment is current and no A waits for its B.
    bool HasCurrentSegment() const;

private:
    // True when the store failed; the learner is told, unless the database was never available.
    bool Failed(const Result<void>& stored);

    Window& window_;
    PlayerState& state_;
    MediaPlayer& player_;
    SegmentStore& store_;
    RepeatEngine& repeat_;
    Dialogs& dialogs_;
    Hooks hooks_;
};

}  // namespace ostrelle
