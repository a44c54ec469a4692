#include "core/operations/file_opening.h"

#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

namespace ostrelle {
namespace {

enum class Kind { Audio, List, Text, Other };

Kind KindOf(const QString& path) {
    static const QStringList audio = {QStringLiteral("mp3"),  QStringLiteral("wma"), QStringLiteral("wav"),
                                      QStringLiteral("ogg"),  QStringLiteral("oga"), QStringLiteral("opus"),
                                      QStringLiteral("flac"), QStringLiteral("m4a"), QStringLiteral("m4b"),
                                      QStringLiteral("aac")};
    static const QStringList lists = {QStringLiteral("m3u"), QStringLiteral("m3u8")};
    static const QStringList texts = {QStringLiteral("txt"), QStringLiteral("lrc"), QStringLiteral("srt"),
                                      QStringLiteral("rtf"), QStringLiteral("doc"), QStringLiteral("docx")};
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (audio.contains(suffix)) return Kind::Audio;
    if (lists.contains(suffix)) return Kind::List;
    if (texts.contains(suffix)) return Kind::Text;
    return Kind::Other;
}

}  // namespace

QStringList FileOpening::AudioFilesIn(const QString& folder) {
    const QDir root(folder);
    QStringList found;
    QDirIterator files(folder, QDir::Files | QDir::Readable, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (KindOf(path) == Kind::Audio) found << root.relativeFilePath(path);
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
        const Kind kind = info.isFile() ? KindOf(path) : Kind::Other;
        const QString absolute = info.absoluteFilePath();
        switch (kind) {
            case Kind::Audio:
                audio << absolute;
                break;
            case Kind::List:
                lists << absolute;
                break;
            case Kind::Text:
                texts << absolute;
                break;
            case Kind::Other:
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
