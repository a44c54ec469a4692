#pragma once

#include "base/result.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace ostrelle {

// An INI document with private-profile rules: names match without regard to case, a value is the text
// after the first "=", the first of duplicate sections or keys wins. Lines are kept as their original
// bytes, so a write changes only the line it sets and never re-encodes the others.
class IniDocument {
public:
    static IniDocument Parse(const QByteArray& bytes);

    // The stored value, or nothing when the section or key is absent.
    std::optional<QString> Value(const QString& section, const QString& key) const;
    // Replaces the key's line, or adds the key at the end of its section, or adds the section at the end.
    void SetValue(const QString& section, const QString& key, const QString& value);
    // A document whose bytes would read back in another encoding than they are written in (GB18030 that
    // passes for UTF-8, UTF-8 that reads better as GB18030) becomes UTF-8 with a byte order mark, so that
    // reading it back gives the same texts.
    void MakeUnambiguous();
    QByteArray Serialize() const;

private:
    enum class Encoding { Gb18030, Utf8, Utf16Le, Utf16Be };

    struct Line {
        QByteArray bytes;   // without its line end
        QString text;       // decoded, for matching
        QByteArray ending;  // this line's own end, empty for a last line without one
    };

    QString Decode(const QByteArray& bytes) const;
    QByteArray Encode(const QString& text) const;
    // Index range [first, end) of the lines of the first section with this name; first = -1 when absent.
    std::pair<int, int> SectionRange(const QString& section) const;
    int FindKey(int first, int end, const QString& key) const;

    std::vector<Line> lines_;
    QByteArray bom_;
    QByteArray lineEnd_ = "\r\n";  // for new lines: the file's own, CR LF for a new file
    Encoding encoding_ = Encoding::Gb18030;
};

// The value under section and key of the file, read whole; empty when the file, section or key is absent,
// or when the file is over 1 MiB.
QString ReadIniValue(const QString& section, const QString& key, const QString& filePath);

// Whether the value under section and key reads as the number one ("1", " 1", "1.0"): a switch that is on.
bool ReadIniSwitch(const QString& section, const QString& key, const QString& filePath);

// Writes value under section and key, creating the file, section or key as needed. The new file replaces
// the old one by rename, so a failed write leaves the old file as it was. A file over 1 MiB is refused.
Result<void> WriteIniValue(const QString& section, const QString& key, const QString& value,
                           const QString& filePath);

}  // namespace ostrelle
