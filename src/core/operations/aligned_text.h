#pragma once

#include "core/model/player_state.h"
#include "core/model/window_model.h"
#include "core/operations/documents.h"
#include "core/operations/feature.h"
#include "core/ports/dialogs.h"
#include "core/ports/media_player.h"
#include "core/ports/text_aligner.h"

namespace ostrelle {

// 文本对齐: the companion text's sentences placed in the lesson's audio in the background, with progress
// and a way to stop; the result is a timed text like a lyrics file's, highlighted as it is spoken, its
// lines looped with a double-click and turned into segments with 歌词转为复读段. Without an aligner the
// command stays off.
class AlignedText final : public Feature {
public:
    // Alignments are kept in cacheDir, one per audio file, for the audio and text they were made of.
    AlignedText(Window& window, const PlayerState& state, MediaPlayer& player, Dialogs& dialogs,
                TextAligner* aligner, Documents& documents, QString cacheDir);

    bool Owns(Command command) const override {
        return command == Command::AlignText || command == Command::ExportLrc;
    }
    // Starts aligning, or stops the alignment under way; or writes the timed text as an .lrc.
    void Run(Command command) override;
    // A lesson whose text was aligned before shows it timed at once.
    void LessonChanged(const QString& path) override;
    void Present() override;
    // The aligner's news: its progress, or its result, or why it failed.
    void ShowProgress();

private:
    void Stop();
    void ExportLrc();
    // The timed text as LRC lines.
    static QString LrcOf(const TimedText& timed);
    // The file an alignment of the audio at path with text is kept in, and the prefix of any of the audio's.
    std::pair<QString, QString> CacheFile(const QString& path, const QString& text) const;
    void Keep(const QString& path, const QString& text, const TimedText& timed);

    Window& window_;
    const PlayerState& state_;
    MediaPlayer& player_;
    Dialogs& dialogs_;
    TextAligner* aligner_;
    Documents& documents_;
    QString cacheDir_;
    std::vector<QString> sentences_;  // of the alignment under way
    QString alignedText_;             // the document the alignment under way is of
};

// Where the alignment of text with the audio at path is kept in cacheDir, and the prefix of every
// alignment kept for that audio; nothing when the audio cannot be identified.
std::pair<QString, QString> AlignmentCacheFile(const QString& cacheDir, const QString& path,
                                               const QString& text);
// That alignment, when one is kept; no lines otherwise.
TimedText KeptAlignment(const QString& cacheDir, const QString& path, const QString& text);
// The timed text the program would show beside the audio at path: its LRC or SRT, or its document's kept
// alignment; no lines when it has neither.
TimedText LessonTimedText(const QString& audioPath, const QString& cacheDir);

}  // namespace ostrelle
