#pragma once

#include "core/model/window_model.h"
#include "core/operations/documents.h"
#include "core/operations/playlist.h"
#include "core/operations/playlist_files.h"

#include <QStringList>

namespace ostrelle {

// Files handed over together: given on the command line, chosen at once in the open dialog, or dropped on
// the window.
class FileOpening {
public:
    static constexpr int kNoteMs = 6000;

    FileOpening(Window& window, Documents& documents, Playlist& playlist, PlaylistFiles& playlistFiles)
        : window_(window), documents_(documents), playlist_(playlist), playlistFiles_(playlistFiles) {}

    // List files are read first; audio files are then listed in the order given (a folder gives its audio
    // files, in its subfolders too, in natural order) and the first one starts; a text is shown in the pane
    // last, so that it wins over the companion text of the audio. Anything else is left out, with a note
    // in the status line rather than a message per file.
    void Open(const QStringList& paths);
    void HideNote();

    // A folder's audio files, in natural order of their paths within it: "第2课" before "第10课".
    static QStringList AudioFilesIn(const QString& folder);

private:
    void ShowNote(const QString& text);

    Window& window_;
    Documents& documents_;
    Playlist& playlist_;
    PlaylistFiles& playlistFiles_;
};

}  // namespace ostrelle
