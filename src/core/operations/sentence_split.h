#pragma once

#include "core/model/window_model.h"
#include "core/operations/feature.h"
#include "core/operations/segment_editor.h"
#include "core/ports/dialogs.h"
#include "core/ports/media_player.h"
#include "core/ports/sentence_analyzer.h"

namespace ostrelle {

// 自动断句: the lesson is split into sentences in the background from the position on, and they become
// its segments; the window shows the progress meanwhile. Without an analyzer the command stays off.
class SentenceSplit final : public Feature {
public:
    SentenceSplit(Window& window, const PlayerState& state, MediaPlayer& player, Dialogs& dialogs,
                  SentenceAnalyzer* sentences, SegmentEditor& editor);

    bool Owns(Command command) const override { return command == Command::AutoSplit; }
    // Starts a split of the lesson, or stops the one under way.
    void Run(Command command) override;
    // A split of another file stops.
    void LessonChanged(const QString& path) override;
    // The analyzer's news: its progress, its sentences (stored as segments) or why it failed.
    void ShowProgress();

private:
    void Stop();

    Window& window_;
    const PlayerState& state_;
    MediaPlayer& player_;
    Dialogs& dialogs_;
    SentenceAnalyzer* sentences_;
    SegmentEditor& editor_;
};

}  // namespace ostrelle
