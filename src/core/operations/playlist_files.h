#pragma once

#include "core/formats/m3u.h"
#include "core/model/player_state.h"
#include "core/model/window_model.h"
#include "core/operations/feature.h"
#include "core/operations/file_lengths.h"
#include "core/operations/playlist.h"
#include "core/ports/dialogs.h"
#include "core/ports/media_player.h"
#include "core/ports/playlist_store.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace ostrelle {

// Reading a list file into the grid and the table, and saving the grid's list as a list file.
class PlaylistFiles final : public Feature {
public:
    PlaylistFiles(Window& window, PlayerState& state, MediaPlayer& player, Dialogs& dialogs,
                  FileLengths& lengths, PlaylistStore* database, Playlist& playlist)
        : window_(window),
          state_(state),
          player_(player),
          dialogs_(dialogs),
          lengths_(lengths),
          database_(database),
          playlist_(playlist) {}

    // Stops, selects row 1, asks for a list file and reads it.
    bool Owns(Command command) const override {
        return command == Command::OpenList || command == Command::SaveList;
    }
    void Run(Command command) override {
        if (command == Command::OpenList) OpenList();
        if (command == Command::SaveList) SaveM3uList();
    }
    void OpenList();
    void LoadM3uList(const QString& listPath);
    void SaveM3uList();
    // Lists audio files after the entries already there, in the order given, and selects the first.
    void ListAudioFiles(const QStringList& paths);

private:
    // Lists the entries of a list file, or files given together, and selects the first.
    void ListEntries(const std::vector<M3uEntry>& entries);
    // Enters one list entry into the table, or says why it could not.
    std::optional<Failure> StoreEntry(const QString& path, const QString& fileName, const QString& duration);

    Window& window_;
    PlayerState& state_;
    MediaPlayer& player_;
    Dialogs& dialogs_;
    FileLengths& lengths_;
    PlaylistStore* database_;
    Playlist& playlist_;
};

}  // namespace ostrelle
