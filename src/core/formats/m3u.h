#pragma once

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
// comments, blank lines keep their number, relative paths are taken from the list's folder, and file
// addresses ("file:///…") become paths.
// The text is UTF-8 for ".m3u8"; otherwise by its byte order mark, as UTF-8 when valid, else detected.
std::vector<M3uEntry> ParseM3u(const QByteArray& bytes, const QString& listPath);

// Whether a list entry is an address on the network ("http://…") rather than a file here.
bool IsNetworkAddress(const QString& path);

// One path per CR LF line: UTF-8 for ".m3u8", GB18030 otherwise, unless those bytes would read back as
// other text: then UTF-8 with a byte order mark.
QByteArray SerializeM3u(const QStringList& paths, const QString& listPath);

}  // namespace ostrelle
