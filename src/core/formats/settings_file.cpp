#include "core/formats/settings_file.h"

#include "core/formats/atomic_file.h"
#include "text/text_decoding.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace ostrelle {
namespace {

// A settings file holds a few lines; a larger one is not read into memory or rewritten.
constexpr qint64 kMaxSettingsBytes = 1024 * 1024;

bool HasNonAscii(const QByteArray& bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

QString TrimBlanks(QStringView text) {
    return text.trimmed().toString();
}

// A value with blanks at either end, or quoted already, is quoted so that reading gives it back whole.
QString QuoteIfNeeded(const QString& value) {
    if (value.isEmpty()) return value;
    const bool edgeBlank = value.front().isSpace() || value.back().isSpace();
    const bool quoted = value.size() >= 2 && value.front() == u'"' && value.back() == u'"';
    return edgeBlank || quoted ? u'"' + value + u'"' : value;
}

QString Unquote(const QString& value) {
    if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"')
        return value.mid(1, value.size() - 2);
    return value;
}

// "[name]" with optional blanks; the name, or nothing when the line opens no section.
std::optional<QString> SectionName(const QString& line) {
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(u'[')) return std::nullopt;
    const qsizetype close = trimmed.indexOf(u']');
    if (close < 0) return std::nullopt;
    return TrimBlanks(QStringView(trimmed).mid(1, close - 1));
}

}  // namespace

IniDocument IniDocument::Parse(const QByteArray& bytes) {
    IniDocument doc;
    QByteArray body = bytes;
    if (body.startsWith("\xEF\xBB\xBF")) {
        doc.bom_ = body.left(3);
        doc.encoding_ = Encoding::Utf8;
        body.remove(0, 3);
    } else if (body.startsWith("\xFF\xFE") || body.startsWith("\xFE\xFF")) {
        doc.bom_ = body.left(2);
        doc.encoding_ = body.startsWith("\xFF\xFE") ? Encoding::Utf16Le : Encoding::Utf16Be;
        body.remove(0, 2);
    } else if (HasNonAscii(body) && IsUtf8Text(body)) {
        // A file another program wrote in UTF-8 stays UTF-8, so its lines and ours read back alike.
        doc.encoding_ = Encoding::Utf8;
    }
    if (body.isEmpty()) return doc;

    const bool wide = doc.encoding_ == Encoding::Utf16Le || doc.encoding_ == Encoding::Utf16Be;
    if (wide) {
        // Lines of UTF-16 end at its own code units and keep their bytes, so a stray odd byte or a lone
        // surrogate is written back as it was read.
        const bool little = doc.encoding_ == Encoding::Utf16Le;
        const auto unitAt = [&](qsizetype unit) {
            const auto first = static_cast<unsigned char>(body[unit * 2]);
            const auto second = static_cast<unsigned char>(body[unit * 2 + 1]);
            return static_cast<char16_t>(little ? first | second << 8 : first << 8 | second);
        };
        const auto addLine = [&](QByteArray line, QByteArray ending) {
            QString text = doc.Decode(line);
            doc.lines_.push_back({std::move(line), std::move(text), std::move(ending)});
        };
        bool sawCrLf = false;
        bool sawLf = false;
        qsizetype start = 0;  // in code units
        for (qsizetype unit = 0; unit < body.size() / 2; ++unit) {
            if (unitAt(unit) != u'\n') continue;
            const bool crLf = unit > start && unitAt(unit - 1) == u'\r';
            (crLf ? sawCrLf : sawLf) = true;
            const qsizetype lineEnd = crLf ? unit - 1 : unit;
            addLine(body.mid(start * 2, (lineEnd - start) * 2),
                    body.mid(lineEnd * 2, (unit + 1 - lineEnd) * 2));
            start = unit + 1;
        }
        // The last line has no end of its own; it also holds an odd byte at the very end.
        if (start * 2 < body.size()) addLine(body.mid(start * 2), QByteArray());
        if (!sawCrLf && sawLf) doc.lineEnd_ = "\n";
        return doc;
    }

    if (!body.contains("\r\n") && body.contains('\n')) doc.lineEnd_ = "\n";
    qsizetype start = 0;
    while (start < body.size()) {
        qsizetype end = body.indexOf('\n', start);
        const bool last = end < 0;
        if (last) end = body.size();
        QByteArray line = body.mid(start, end - start);
        QByteArray ending = last ? QByteArray() : QByteArray("\n");
        if (line.endsWith('\r')) {
            line.chop(1);
            ending.prepend('\r');
        }
        QString text = doc.Decode(line);
        doc.lines_.push_back({std::move(line), std::move(text), std::move(ending)});
        start = end + 1;
    }
    return doc;
}

QString IniDocument::Decode(const QByteArray& bytes) const {
    switch (encoding_) {
        case Encoding::Utf8:
            return QString::fromUtf8(bytes);
        case Encoding::Utf16Le:
            return QStringDecoder(QStringDecoder::Utf16LE).decode(bytes);
        case Encoding::Utf16Be:
            return QStringDecoder(QStringDecoder::Utf16BE).decode(bytes);
        case Encoding::Gb18030:
            break;
    }
    QStringDecoder decoder("GB18030");
    return decoder.isValid() ? QString(decoder.decode(bytes)) : QString::fromLatin1(bytes);
}

QByteArray IniDocument::Encode(const QString& text) const {
    switch (encoding_) {
        case Encoding::Utf8:
            return text.toUtf8();
        case Encoding::Utf16Le:
            return QStringEncoder(QStringEncoder::Utf16LE).encode(text);
        case Encoding::Utf16Be:
            return QStringEncoder(QStringEncoder::Utf16BE).encode(text);
        case Encoding::Gb18030:
            break;
    }
    QStringEncoder encoder("GB18030");
    return encoder.isValid() ? QByteArray(encoder.encode(text)) : text.toUtf8();
}

std::pair<int, int> IniDocument::SectionRange(const QString& section) const {
    const QString wanted = section.trimmed();
    const int count = static_cast<int>(lines_.size());
    for (int i = 0; i < count; ++i) {
        const auto name = SectionName(lines_[i].text);
        if (!name || name->compare(wanted, Qt::CaseInsensitive) != 0) continue;
        int end = i + 1;
        while (end < count && !SectionName(lines_[end].text))
            ++end;
        return {i, end};
    }
    return {-1, -1};
}

int IniDocument::FindKey(int first, int end, const QString& key) const {
    const QString wanted = key.trimmed();
    for (int i = first + 1; i < end; ++i) {
        const QString& text = lines_[i].text;
        const QString trimmed = text.trimmed();
        if (trimmed.startsWith(u';')) continue;
        const qsizetype eq = text.indexOf(u'=');
        if (eq < 0) continue;
        if (QStringView(text).left(eq).trimmed().compare(wanted, Qt::CaseInsensitive) == 0) return i;
    }
    return -1;
}

std::optional<QString> IniDocument::Value(const QString& section, const QString& key) const {
    const auto [first, end] = SectionRange(section);
    if (first < 0) return std::nullopt;
    const int at = FindKey(first, end, key);
    if (at < 0) return std::nullopt;
    const QString& text = lines_[at].text;
    return Unquote(TrimBlanks(QStringView(text).mid(text.indexOf(u'=') + 1)));
}

void IniDocument::SetValue(const QString& section, const QString& key, const QString& value) {
    const bool wide = encoding_ == Encoding::Utf16Le || encoding_ == Encoding::Utf16Be;
    const QByteArray newEnding = wide ? Encode(QString::fromLatin1(lineEnd_)) : lineEnd_;
    auto makeLine = [&](const QString& text) { return Line{Encode(text), text, newEnding}; };
    // Whatever comes after a last line without an end needs one first.
    auto endLastLine = [&] {
        if (lines_.empty() || !lines_.back().ending.isEmpty()) return;
        Line& last = lines_.back();
        if (wide && last.bytes.size() % 2 != 0) {
            // A stray odd byte is made a whole code unit, so the lines after it start on one. The added
            // byte gives a unit that is no bracket, equals sign or blank (a lone low surrogate in LE).
            last.bytes.append(encoding_ == Encoding::Utf16Le ? '\xDC' : '\xFF');
            last.text = Decode(last.bytes);
        }
        last.ending = newEnding;
    };

    const auto [first, end] = SectionRange(section);
    if (first < 0) {
        endLastLine();
        lines_.push_back(makeLine(u'[' + section.trimmed() + u']'));
        lines_.push_back(makeLine(key.trimmed() + u'=' + QuoteIfNeeded(value)));
        return;
    }
    const int at = FindKey(first, end, key);
    if (at >= 0) {
        // Keep the key as it was spelled in the file, and the line's own end.
        Line& line = lines_[at];
        const QString text = line.text.left(line.text.indexOf(u'=')).trimmed() + u'=' + QuoteIfNeeded(value);
        line.bytes = Encode(text);
        line.text = text;
        return;
    }
    int insertAt = end;
    while (insertAt > first + 1 && lines_[insertAt - 1].text.trimmed().isEmpty())
        --insertAt;
    if (insertAt == static_cast<int>(lines_.size())) endLastLine();
    lines_.insert(lines_.begin() + insertAt, makeLine(key.trimmed() + u'=' + QuoteIfNeeded(value)));
}

void IniDocument::MakeUnambiguous() {
    if (!bom_.isEmpty()) return;  // the file says its encoding itself
    const QByteArray bytes = Serialize();
    if (!HasNonAscii(bytes)) return;
    // Read back without a byte order mark, the bytes are taken for UTF-8 exactly when Parse would take them
    // so.
    const bool readsAsUtf8 = IsUtf8Text(bytes);
    if (readsAsUtf8 == (encoding_ == Encoding::Utf8)) return;
    // Either way the file would read back in another encoding than it is written in: say UTF-8 outright.
    bom_ = "\xEF\xBB\xBF";
    if (encoding_ == Encoding::Utf8) return;
    encoding_ = Encoding::Utf8;
    for (Line& line : lines_)
        line.bytes = Encode(line.text);
}

QByteArray IniDocument::Serialize() const {
    QByteArray out = bom_;
    for (const Line& line : lines_)
        out += line.bytes + line.ending;
    return out;
}

QString ReadIniValue(const QString& section, const QString& key, const QString& filePath) {
    QFile file(filePath);
    if (file.size() > kMaxSettingsBytes || !file.open(QIODevice::ReadOnly)) return {};
    return IniDocument::Parse(file.readAll()).Value(section, key).value_or(QString());
}

bool ReadIniSwitch(const QString& section, const QString& key, const QString& filePath) {
    bool ok = false;
    const double value = ReadIniValue(section, key, filePath).trimmed().toDouble(&ok);
    return ok && value == 1.0;
}

Result<void> WriteIniValue(const QString& section, const QString& key, const QString& value,
                           const QString& filePath) {
    // A line break would end the line early and add lines of its own: such a value cannot be kept.
    for (const QString& text : {section, key, value})
        if (text.contains(u'\n') || text.contains(u'\r'))
            return Failure{FailureCode::CannotWrite, QStringLiteral("a line break in the text")};
    QByteArray old;
    {
        QFile file(filePath);
        if (file.exists()) {
            if (file.size() > kMaxSettingsBytes) return Failure{FailureCode::TooLarge, filePath};
            if (!file.open(QIODevice::ReadOnly))
                return Failure{FailureCode::CannotRead,
                               QStringLiteral("%1: %2").arg(filePath, file.errorString())};
            old = file.readAll();
        }
    }
    IniDocument doc = IniDocument::Parse(old);
    doc.SetValue(section, key, value);
    doc.MakeUnambiguous();
    const QByteArray bytes = doc.Serialize();

    return WriteFileAtomically(filePath, bytes);
}

}  // namespace ostrelle
