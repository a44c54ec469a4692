#include "core/formats/file_kinds.h"

#include <array>

namespace ostrelle {
namespace {

struct SuffixKind {
    const char16_t* suffix;
    FileKind kind;
};

// Audio: what GStreamer's base, good, ugly and libav plugins decode and the length probe measures.
constexpr std::array kKinds{
    SuffixKind{u"mp3", FileKind::kAudio},     SuffixKind{u"wma", FileKind::kAudio},
    SuffixKind{u"m4a", FileKind::kAudio},     SuffixKind{u"m4b", FileKind::kAudio},
    SuffixKind{u"aac", FileKind::kAudio},     SuffixKind{u"ogg", FileKind::kAudio},
    SuffixKind{u"oga", FileKind::kAudio},     SuffixKind{u"opus", FileKind::kAudio},
    SuffixKind{u"flac", FileKind::kAudio},    SuffixKind{u"wav", FileKind::kAudio},
    SuffixKind{u"m3u", FileKind::kPlaylist},  SuffixKind{u"m3u8", FileKind::kPlaylist},
    SuffixKind{u"lrc", FileKind::kTimedText}, SuffixKind{u"srt", FileKind::kTimedText},
    SuffixKind{u"txt", FileKind::kPlainText}, SuffixKind{u"rtf", FileKind::kDocument},
    SuffixKind{u"doc", FileKind::kDocument},  SuffixKind{u"docx", FileKind::kDocument},
};

// The dot that starts the suffix of path's file name, or -1.
qsizetype SuffixDot(const QString& path) {
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot > path.lastIndexOf(u'/') ? dot : -1;
}

}  // namespace

QString FileSuffix(const QString& path) {
    const qsizetype dot = SuffixDot(path);
    return dot < 0 ? QString() : path.mid(dot + 1);
}

QString PathWithoutSuffix(const QString& path) {
    const qsizetype dot = SuffixDot(path);
    return dot < 0 ? path + u'.' : path.left(dot + 1);
}

FileKind KindOfFile(const QString& path) {
    const QString suffix = FileSuffix(path);
    for (const SuffixKind& entry : kKinds) {
        if (suffix.compare(QStringView(entry.suffix), Qt::CaseInsensitive) == 0) return entry.kind;
    }
    return FileKind::kUnknown;
}

QStringList SuffixesOfKind(FileKind kind) {
    QStringList suffixes;
    for (const SuffixKind& entry : kKinds) {
        if (entry.kind == kind && kind != FileKind::kUnknown) suffixes << QString::fromUtf16(entry.suffix);
    }
    return suffixes;
}

QString FilterPatterns(FileKind kind) {
    QStringList patterns;
    for (const QString& suffix : SuffixesOfKind(kind))
        patterns << QStringLiteral("*.") + suffix;
    return patterns.join(u';');
}

QStringList CompanionTextSuffixes() {
    return {QStringLiteral("txt"),  QStringLiteral("rtf"), QStringLiteral("doc"),
            QStringLiteral("docx"), QStringLiteral("lrc"), QStringLiteral("srt")};
}

}  // namespace ostrelle
