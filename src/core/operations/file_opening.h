#pragma once

#include "core/model/window_model.h"
#include "core/operations/documents.h"
#include "core/operations/playlist.h"
#include "core/operations/playlist_files.h"
#include "core/ports/dialogs.h"

#include <QStringList>

#include <atomic>

namespace ostrelle {

// Files handed over together: given on the command line, chosen at once in the open dialog, or dropped on
// the window.
class FileOpening {
public:
    static constexpr int kNoteMs = 6000;

    // A folder gives at most this many audio files; a walk ends after this many entries.
    static constexpr int kMostAudioFiles = 5000;
    static constexpr int kMostEntries = 200000;

    FileOpening(Window& window, Dialogs& dialogs, Documents& documents, Playlist& playlist,
                PlaylistFiles& playlistFiles)
        : window_(window),
          dialogs_(dialogs),
          documents_(documents),
          playlist_(playlist),
          playlistFiles_(playlistFiles) {}

    // List files are read first; audio files are then listed in the order given (a folder gives its audio
    // files, in its subfolders too, in natural order) and the first one starts; a text is shown in the pane
    // last, so that it wins over the companion text of the audio. Anything else is left out, with a note
    // in the status line rather than a message per file.
    void Open(const QStringList& paths);
    // A passing note in the status line, hidden again after a while.
    void ShowNote(const QString& text);
    void HideNote();

    // What a walk of a folder found.
    struct Found {
        QStringList files;
        bool cut = false;  // a cap, or the learner, ended the walk early
    };
    // A folder's audio files, in natural order of their paths within it: "第2课" before "第10课". The walk
    // ends at the caps, or soon after stop becomes true; entries counts what it has looked at so far.
    static Found AudioFilesIn(const QString& folder, const std::atomic<bool>* stop = nullptr,
                              std::atomic<int>* entries = nullptr);

private:
    // The same on a thread of its own, while the window shows how far it is and the learner may cancel.
    Found WalkFolder(const QString& folder);

    Window& window_;
    Dialogs& dialogs_;
    Documents& documents_;
    Playlist& playlist_;
    PlaylistFiles& playlistFiles_;
};

}  // namespace ostrelle
