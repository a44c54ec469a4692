#pragma once

#include <QString>
#include <QStringList>

namespace ostrelle {

// What the program does with a file, as its name's suffix says in any letter case.
enum class FileKind {
    kUnknown,    // none of the kinds below
    kAudio,      // played, listed with its length, cut into segments
    kPlaylist,   // a list file: .m3u, .m3u8
    kTimedText,  // lines with the times they are spoken: .lrc, .srt
    kPlainText,  // .txt
    kDocument,   // rich text and Word: .rtf, .doc, .docx
};

// The suffix of the file name at the end of path (or of a bare name), without its dot and as written:
// "a.b/Lesson.Tar.FLAC" gives "FLAC"; a name without a dot gives "", a name that starts with its only dot
// (".mp3") gives the rest.
QString FileSuffix(const QString& path);

// path without its suffix, dot kept, for naming a companion file: "x/a.b.flac" gives "x/a.b."; a name
// without a suffix gets a dot.
QString PathWithoutSuffix(const QString& path);

FileKind KindOfFile(const QString& path);

// A kind's suffixes in lower case, the most common first; none for kUnknown.
QStringList SuffixesOfKind(FileKind kind);

// A dialog filter's pattern list for a kind: "*.mp3;*.wma;…".
QString FilterPatterns(FileKind kind);

// The suffixes of an audio file's companion texts in the order they are looked for: the last one found
// is the one shown.
QStringList CompanionTextSuffixes();

}  // namespace ostrelle
