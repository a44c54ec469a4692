#pragma once

#include "core/model/player_state.h"
#include "core/model/window_model.h"
#include "core/operations/feature.h"
#include "core/ports/dialogs.h"
#include "core/ports/media_player.h"

#include <functional>

namespace ostrelle {

// Opening a chosen file by its kind, starting an audio file, and the companion text shown beside the
// player: the document with the audio file's folder and base name and the extension txt, rtf, doc, docx,
// or a timed text (lrc, srt) whose lines are highlighted as they are spoken.
class Documents final : public Feature {
public:
    struct Hooks {
        std::function<void(const QString& section, const QString& key, const QString& value)> writeSetting;
        std::function<int()> countPlaylistRows;
        std::function<int(const QString& path)> findPlaylistRow;
        std::function<void(const QString& path, int row)> loadFileSegments;
        // Starts measuring the file's exact length in the background when it is not known yet.
        std::function<void(const QString& path)> measureLength;
        // Several files chosen at once.
        std::function<void(const QStringList& paths)> openFiles;
    };

    Documents(Window& window, PlayerState& state, MediaPlayer& player, Dialogs& dialogs, QString settingsFile,
              Hooks hooks)
        : window_(window),
          state_(state),
          player_(player),
          dialogs_(dialogs),
          settingsFile_(std::move(settingsFile)),
          hooks_(std::move(hooks)) {}

    // The open-file command: asks for files, starting in the folder of the one opened last, and opens one
    // as its kind says; several are opened together.
    bool Owns(Command command) const override { return command == Command::OpenFile; }
    void Run(Command /*command*/) override { ChooseAndOpenFile(); }
    void ChooseAndOpenFile();
    // title ends in the file's extension, which decides the kind (file_kinds.h); a list file or a file of
    // no known kind opens nothing.
    void OpenChosenFile(const QString& path, const QString& title);
    void StartAudioFile(const QString& path);
    // The companion documents of an audio file (its path with another suffix, found in any letter case),
    // loaded in the order of CompanionTextSuffixes(): the last one found wins.
    void LoadCompanionText(const QString& audioPath);
    void LoadPlainText(const QString& path);
    // An LRC or SRT file: shown without its time tags, unless the learner asked for the file as it is. A
    // file without a single valid time shows as plain text.
    void LoadTimedText(const QString& path);
    // The timed text is shown as its file is, or without its tags.
    void SetTimedTextRaw(bool raw);
    // Word, rich text and plain text documents; tellErrors shows why a document chosen directly could not
    // be read.
    void LoadTextDocument(const QString& path, bool tellErrors = false);
    // Shows or hides the text pane as the text-display check box says.
    void ApplyTextShown();
    // The document shown, now timed (by aligning it with its audio): shown and followed as a timed text
    // is, its own text as the raw view.
    void ShowAlignedText(TimedText timed);

private:
    void ShowText(const QString& text);
    void ShowTimedText();

    Window& window_;
    PlayerState& state_;
    MediaPlayer& player_;
    Dialogs& dialogs_;
    QString settingsFile_;
    Hooks hooks_;
};

// Empties the text pane, and forgets a timed text it showed.
void ClearTextPane(Window& window, PlayerState& state);
// Greyed, the sentences of an aligned text that could not be placed, as the pane shows the timed text.
std::vector<PaneMark> UnplacedSentenceMarks(const PlayerState& state);

// The file in path's folder whose name equals path's name without regard to letter case, or nothing.
std::optional<QString> FindFileIgnoringCase(const QString& path);

}  // namespace ostrelle
