#include "core/formats/m3u.h"

#include "text/text_decoding.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QUrl>

namespace ostrelle {
namespace {

bool IsUtf8List(const QString& listPath) {
    return listPath.endsWith(QStringLiteral(".m3u8"), Qt::CaseInsensitive);
}

QString ResolveEntry(QString line, const QString& listFolder) {
    if (line.contains(QStringLiteral("://"))) {
        const QUrl url(line);
        return url.isLocalFile() ? url.toLocalFile() : line;
    }
    // A list written on Windows: backslashes separate, a drive letter makes it absolute.
    if (!line.contains(u'/') && line.contains(u'\\')) line.replace(u'\\', u'/');
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:/"));
    if (line.startsWith(u'/') || drive.match(line).hasMatch()) return line;
    return QDir::cleanPath(QDir(listFolder).filePath(line));
}

}  // namespace

bool IsNetworkAddress(const QString& path) {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+://"));
    return scheme.match(path).hasMatch();
}

std::vector<M3uEntry> ParseM3u(const QByteArray& bytes, const QString& listPath) {
    QString text = IsUtf8List(listPath) ? QString::fromUtf8(bytes) : DecodeTextFile(bytes);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    const QString folder = QFileInfo(listPath).absolutePath();
    std::vector<M3uEntry> entries;
    int number = 0;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        const QString line = text.mid(start, end - start).trimmed();
        start = end + (end + 1 < text.size() && text[end] == u'\r' && text[end + 1] == u'\n' ? 2 : 1);
        if (line.startsWith(u'#')) continue;
        if (!line.isEmpty()) entries.push_back({number, ResolveEntry(line, folder)});
        ++number;
    }
    return entries;
}

QByteArray SerializeM3u(const QStringList& paths, const QString& listPath) {
    const QString text = paths.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    if (IsUtf8List(listPath)) return text.toUtf8();
    QStringEncoder encoder("GB18030");
    const QByteArray gb18030 = encoder.encode(text);
    // Some GB18030 bytes pass for UTF-8 ("学习" reads as "ѧϰ"), and a short list can be taken for another
    // code page: a list that would not read back as written says UTF-8 outright, with a byte order mark.
    if (DecodeTextFile(gb18030) == text) return gb18030;
    return "\xEF\xBB\xBF" + text.toUtf8();
}

}  // namespace ostrelle
