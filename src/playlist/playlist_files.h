#pragma once

#include "app/dialogs.h"
#include "app/player_state.h"
#include "app/window_model.h"
#include "playback/media_player.h"
#include "playlist/duration_probe.h"
#include "playlist/playlist.h"
#include "playlist/playlist_database.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace ostrelle {

// One path of a list file and the number of its line among the entry and blank lines.
struct M3uEntry {
    int lineNumber = 0;
    QString path;
};

// The entries of a list file: lines end at CR LF, LF or CR (the last may have none), "#" lines are
// comments, blank lines keep their number, and relative paths are taken from the list's folder.
// The text is UTF-8 for ".m3u8"; otherwise by its byte order mark, as UTF-8 when valid, else detected.
std::vector<M3uEntry> ParseM3u(const QByteArray& bytes, const QString& listPath);

// One path per CR LF line: UTF-8 for ".m3u8", GB18030 otherwise.
QByteArray SerializeM3u(const QStringList& paths, const QString& listPath);

// Reading a list file into the grid and the table, and saving the grid's list as a list file.
class PlaylistFiles {
public:
    PlaylistFiles(Window& window, PlayerState& state, MediaPlayer& player, Dialogs& dialogs,
                  DurationProbe& probe, PlaylistDatabase* database, Playlist& playlist)
        : window_(window),
          state_(state),
          player_(player),
          dialogs_(dialogs),
          probe_(probe),
          database_(database),
          playlist_(playlist) {}

    // Command 9: stop, select row 1, choose a list file and read it.
    void OpenList();
    void LoadM3uList(const QString& listPath);
    void SaveM3uList();

private:
    Window& window_;
    PlayerState& state_;
    MediaPlayer& player_;
    Dialogs& dialogs_;
    DurationProbe& probe_;
    PlaylistDatabase* database_;
    Playlist& playlist_;
};

}  // namespace ostrelle
