#include "core/operations/file_opening.h"

#include "core/formats/file_kinds.h"

#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <future>

namespace ostrelle {

FileOpening::Found FileOpening::AudioFilesIn(const QString& folder, const std::atomic<bool>* stop,
                                             std::atomic<int>* entries) {
    const QDir root(folder);
    Found found;
    QDirIterator files(folder, QDir::Files | QDir::Readable, QDirIterator::Subdirectories);
    for (int seen = 0; files.hasNext(); ++seen) {
        if (seen >= kMostEntries || found.files.size() >= kMostAudioFiles ||
            (stop && stop->load(std::memory_order_relaxed))) {
            found.cut = true;
            break;
        }
        if (entries) entries->store(seen, std::memory_order_relaxed);
        const QString path = files.next();
        if (KindOfFile(path) == FileKind::kAudio) found.files << root.relativeFilePath(path);
    }
    QCollator natural(QLocale(QLocale::Chinese, QLocale::China));
    natural.setNumericMode(true);
    natural.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(found.files.begin(), found.files.end(),
              [&natural](const QString& a, const QString& b) { return natural.compare(a, b) < 0; });
    for (QString& path : found.files)
        path = QDir::cleanPath(root.absoluteFilePath(path));
    return found;
}

FileOpening::Found FileOpening::WalkFolder(const QString& folder) {
    std::atomic<bool> stop{false};
    std::atomic<int> entries{0};
    std::future<Found> walk =
        std::async(std::launch::async, [&] { return AudioFilesIn(folder, &stop, &entries); });
    const QString name = QFileInfo(folder).fileName();
    const auto label = [&] {
        return QString::fromUtf8("正在查看文件夹 %1 …（已看过 %2 个文件）").arg(name).arg(entries.load());
    };
    // A walk of a big tree (a whole disk dropped by mistake) must neither freeze the window nor run on
    // unasked: the learner sees it and may cancel it.
    while (walk.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        if (!dialogs_.ReportProgress(label(), 0, 1)) stop = true;
    }
    dialogs_.ReportProgress(label(), 1, 1);
    return walk.get();
}

void FileOpening::Open(const QStringList& paths) {
    QStringList audio;
    QStringList lists;
    QStringList texts;
    QStringList leftOut;
    bool cut = false;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            const Found inFolder = WalkFolder(path);
            if (inFolder.files.isEmpty()) leftOut << info.fileName();
            cut = cut || inFolder.cut;
            audio << inFolder.files;
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
    if (cut)
        ShowNote(QString::fromUtf8("文件夹没有全部查看完，只加入了找到的 %1 个音频文件。").arg(audio.size()));
    else if (!leftOut.isEmpty())
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
