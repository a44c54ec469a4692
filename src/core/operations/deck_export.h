#pragma once

#include "core/model/player_state.h"
#include "core/operations/feature.h"
#include "core/operations/segment_store.h"
#include "core/ports/card_export.h"
#include "core/ports/dialogs.h"
#include "core/ports/media_player.h"
#include "core/ports/review_store.h"

#include <functional>

namespace ostrelle {

// 导出到Anki: the loaded lesson's segments, the book of hard sentences, or those due today, as a package
// of flashcards with the sentence's clip on the front and its words on the back.
class DeckExport final : public Feature {
public:
    struct Adapters {
        ReviewStore* reviews = nullptr;
        ClipCutter* cutter = nullptr;  // null: no export
        DeckWriter* writer = nullptr;
    };

    // lessonText: the timed text of a lesson not loaded, for sentences kept without their words.
    DeckExport(const PlayerState& state, MediaPlayer& player, Dialogs& dialogs, SegmentStore& store,
               Adapters adapters, std::function<qint64()> nowMs,
               std::function<TimedText(const QString& lesson)> lessonText = {})
        : state_(state),
          player_(player),
          dialogs_(dialogs),
          store_(store),
          adapters_(adapters),
          nowMs_(std::move(nowMs)),
          lessonText_(std::move(lessonText)) {}

    bool Owns(Command command) const override { return command == Command::ExportAnki; }
    void Run(Command) override { Export(); }

    void Export();

private:
    const PlayerState& state_;
    MediaPlayer& player_;
    Dialogs& dialogs_;
    SegmentStore& store_;
    Adapters adapters_;
    std::function<qint64()> nowMs_;
    std::function<TimedText(const QString& lesson)> lessonText_;
};

}  // namespace ostrelle
