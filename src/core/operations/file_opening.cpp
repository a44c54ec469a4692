#include "core/operations/file_opening.h"

#include "core/formats/file_kinds.h"

#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

namespace ostrelle {

QStringList FileOpening::AudioFilesIn(const QString& folder) {
    const QDir root(folder);
    QStringList found;
    QDirIterator files(folder, QDir::Files | QDir::Readable, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (KindOfFile(path) == FileKind::kAudio) found << root.relativeFilePath(path);
    }
    QCollator natural(QLocale(QLocale::Chinese, QLocale::China));
    natural.setNumericMode(true);
    natural.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(found.begin(), found.end(),
              [&natural](const QString& a, const QString& b) { return natural.compare(a, b) < 0; });
    for (QString& path : found)
        path = QDir::cleanPath(root.absoluteFilePath(path));
    return found;
}

void FileOpening::Open(const QStringList& paths) {
    QStringList audio;
    QStringList lists;
    QStringList texts;
    QStringList leftOut;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            const QStringList inFolder = AudioFilesIn(path);
            if (inFolder.isEmpty()) leftOut << info.fileName();
            audio << inFolder;
            continue;
        }
        const FileKind kind = info.isFile() ? KindOfFile(path) : FileKind::kUnknown;
        const QString absolute = info.absoluteFilePath();
        switch (kind) {
            case FileKind::kAudio:
                audio << absolute;
                break;
            case FileKind::kPlaylist:
                lists << absolute;
                break;
            case FileKind::kTimedText:
            case FileKind::kPlainText:
            case FileKind::kDocument:
                texts << absolute;
                break;
            case FileKind::kUnknown:
                leftOut << info.fileName();
                break;
        }
    }
    for (const QString& list : lists)
        playlistFiles_.LoadM3uList(list);
    if (!audio.isEmpty()) {
        playlistFiles_.ListAudioFiles(audio);
        playlist_.PlayRow(playlist_.FindPlaylistRow(audio.constFirst()));
    }
    for (const QString& text : texts)
        documents_.OpenChosenFile(text, QFileInfo(text).fileName());
    if (!leftOut.isEmpty())
        ShowNote(QString::fromUtf8("%1 个文件不能打开，已略过：%2")
                     .arg(leftOut.size())
                     .arg(leftOut.mid(0, 3).join(QString::fromUtf8("、")) +
                          (leftOut.size() > 3 ? QString::fromUtf8("…") : QString())));
}

void FileOpening::ShowNote(const QString& text) {
    window_.statusNote.caption = text;
    window_.statusNote.visible = true;
    window_.statusNoteTimer = {true, kNoteMs};
}

void FileOpening::HideNote() {
    window_.statusNote.visible = false;
    window_.statusNoteTimer.enabled = false;
}

}  // namespace ostrelle
