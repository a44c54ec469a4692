#pragma once

#include "core/model/player_state.h"
#include "core/model/window_model.h"
#include "core/operations/feature.h"
#include "core/operations/file_lengths.h"
#include "core/ports/dialogs.h"
#include "core/ports/media_player.h"
#include "core/ports/playlist_store.h"

#include <functional>

namespace ostrelle {

// The list of audio files: the grid as a view of the playlist table, the entry of each file that starts
// playing, clearing, deleting, selecting, and playing the list in sequence.
class Playlist final : public Feature {
public:
    struct Hooks {
        std::function<void(const QString& path)> startAudioFile;
        std::function<void(const QString& path, int row)> loadFileSegments;
        // Opens a lesson again, paused where it was left.
        std::function<void(const PlayerState::LessonLeft& lesson)> returnToLesson;
    };

    Playlist(Window& window, PlayerState& state, MediaPlayer& player, Dialogs& dialogs, FileLengths& lengths,
             PlaylistStore* database, Hooks hooks)
        : window_(window),
          state_(state),
          player_(player),
          dialogs_(dialogs),
          lengths_(lengths),
          database_(database),
          hooks_(std::move(hooks)) {}

    void LoadPlaylistGrid();
    void FitPlaylistRows();
    // The number of filled rows; switches the clear-list and delete-entry pairs to match.
    int CountPlaylistRows();
    // The first row whose path is path (letter case counts), 0 when none.
    int FindPlaylistRow(const QString& path) const;
    void SelectPlaylistRow(int row);

    void SelectEntry();
    void PlayEntry();
    // Plays a row as a double-click on it does.
    void PlayRow(int row);
    // The filled row step rows (+1 below, -1 above) from the current entry's, or 0 when there is none.
    int ListedRowBeside(int step) const;
    // Starts that row's file as a double-click on it does; nothing when there is none.
    void PlayEntryBeside(int step);
    bool Owns(Command command) const override {
        return command == Command::ClearList || command == Command::DeleteEntry;
    }
    void Run(Command command) override {
        if (command == Command::ClearList) ClearPlaylist();
        if (command == Command::DeleteEntry) DeletePlaylistEntry();
    }
    void ClearPlaylist();
    void DeletePlaylistEntry();
    // The listing tick: enters or refreshes the playing file's row in table and grid.
    void ListPlayingFile();
    // The sequential-play tick: plays the next entry when the current one has ended and sequential play is
    // on.
    void PlayNextWhenEnded();

    // Writes list entry row (from 1) into the grid.
    void WriteGridRow(int row, const QString& fileName, const QString& durationText, const QString& path);

    // When the player could not open path: tells the learner why and clears what belonged to the file
    // before. Returns whether it could not.
    bool ReportIfUnplayable(const QString& path);
    // Tells the learner the file cannot be played and returns to the lesson they had.
    void ReportUnplayable(const QString& path, const Failure& failure);
    // Tells the learner, once, that a write of the list failed.
    void TellIfFailed(const Result<void>& written, const QString& what);

private:
    // The duration text to record for path, or nothing while it cannot be known yet.
    std::optional<double> MeasuredDuration(const QString& path);
    void SetCentredColumn(int col);

    Window& window_;
    PlayerState& state_;
    MediaPlayer& player_;
    Dialogs& dialogs_;
    FileLengths& lengths_;
    PlaylistStore* database_;
    Hooks hooks_;
};

}  // namespace ostrelle
