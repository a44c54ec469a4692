#include "core/analysis/text_sentences.h"

#include <QStringList>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace ostrelle {
namespace {

// In a paragraph whose longest line is at least this wide (a CJK character counting two), the lines
// nearly as wide as that one are running text that the writer's editor wrapped; shorter paragraphs are
// titles, dialogue or verse, a line each.
constexpr qsizetype kWrappedLineWidth = 40;
constexpr double kWrappedShareOfLongest = 0.7;

// Words that end in a full stop without ending a sentence, lower case, in the learners' languages.
const QStringList& Abbreviations() {
    static const QStringList words = {
        // English
        QStringLiteral("mr"),
        QStringLiteral("mrs"),
        QStringLiteral("ms"),
        QStringLiteral("dr"),
        QStringLiteral("prof"),
        QStringLiteral("st"),
        QStringLiteral("jr"),
        QStringLiteral("sr"),
        QStringLiteral("vs"),
        QStringLiteral("no"),
        QStringLiteral("mt"),
        QStringLiteral("e.g"),
        QStringLiteral("i.e"),
        // German
        QStringLiteral("bzw"),
        QStringLiteral("ca"),
        QStringLiteral("nr"),
        QStringLiteral("hr"),
        QStringLiteral("fr"),
        QStringLiteral("z.b"),
        QStringLiteral("u.a"),
        QStringLiteral("d.h"),
        // French
        QStringLiteral("mme"),
        QStringLiteral("mlle"),
        QStringLiteral("mm"),
        // Spanish
        QStringLiteral("sra"),
        QStringLiteral("srta"),
        QStringLiteral("ud"),
        QStringLiteral("uds"),
        QStringLiteral("dra"),
        // Russian
        QString::fromUtf8("г"),
        QString::fromUtf8("ул"),
        QString::fromUtf8("т.е"),
        QString::fromUtf8("др"),
    };
    return words;
}

bool IsCjk(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x3040 && u <= 0x30FF) || (u >= 0x3400 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) ||
           (u >= 0xAC00 && u <= 0xD7AF) || (u >= 0x3000 && u <= 0x303F) || (u >= 0xFF00 && u <= 0xFFEF);
}

qsizetype Width(const QString& line) {
    qsizetype width = 0;
    for (const QChar c : line.trimmed())
        width += IsCjk(c) ? 2 : 1;
    return width;
}

bool EndsSentence(const QString& line) {
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty()) return true;
    static const QString kEnds = QString::fromUtf8(".!?。！？…;；:：\"”’」』)）»");
    return kEnds.contains(trimmed.back());
}

// Whether a piece that ends in a full stop ends there only as an abbreviation or an initial.
bool EndsInAbbreviation(const QString& piece) {
    const QString trimmed = piece.trimmed();
    if (!trimmed.endsWith(u'.')) return false;
    qsizetype start = trimmed.size() - 1;
    while (start > 0 && !trimmed[start - 1].isSpace())
        --start;
    QString word = trimmed.mid(start, trimmed.size() - 1 - start).toLower();
    while (!word.isEmpty() && !word.front().isLetter())
        word.remove(0, 1);
    if (word.isEmpty()) return false;
    if (word.size() == 1 && word.front().isLetter()) return true;  // an initial, "z." of "z. B."
    return Abbreviations().contains(word);
}

// Joins the lines of a paragraph into the text of its sentences, with the position of each character in
// the original text: a wrapping line break becomes a blank (nothing between CJK characters), any other
// stays a break the sentence rules end a sentence at.
struct Joined {
    QString text;
    std::vector<qsizetype> at;  // for each character of text, its position in the original
};

Joined JoinParagraph(qsizetype from, const QStringList& lines) {
    qsizetype longest = 0;
    for (const QString& line : lines)
        longest = std::max(longest, Width(line));
    Joined joined;
    qsizetype pos = from;
    for (int i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        // A "\r" of "\r\n" would end a sentence of its own: only its position counts.
        const qsizetype content = line.endsWith(u'\r') ? line.size() - 1 : line.size();
        for (qsizetype k = 0; k < content; ++k) {
            joined.text += line[k];
            joined.at.push_back(pos + k);
        }
        pos += line.size() + 1;  // and its line break
        if (i + 1 == lines.size()) break;
        const bool wraps = !EndsSentence(line) && longest >= kWrappedLineWidth &&
                           Width(line) >= kWrappedShareOfLongest * static_cast<double>(longest);
        const QString next = lines[i + 1].trimmed();
        const bool cjk = !line.trimmed().isEmpty() && IsCjk(line.trimmed().back()) && !next.isEmpty() &&
                         IsCjk(next.front());
        if (wraps && cjk) continue;
        joined.text += wraps ? QChar(u' ') : QChar(u'\n');
        joined.at.push_back(pos - 1);
    }
    return joined;
}

// The sentence's words with their blanks made single, none kept between CJK characters.
QString Tidy(const QString& text) {
    QString tidy;
    bool blank = false;
    for (const QChar c : text) {
        if (c.isSpace()) {
            blank = !tidy.isEmpty();
            continue;
        }
        if (blank && !(IsCjk(tidy.back()) && IsCjk(c))) tidy += u' ';
        blank = false;
        tidy += c;
    }
    return tidy;
}

void SplitParagraph(qsizetype from, const QStringList& lines, std::vector<TextSentence>& sentences) {
    const Joined joined = JoinParagraph(from, lines);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Sentence, joined.text);
    qsizetype start = 0;
    QString pending;
    qsizetype pendingFrom = -1;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        const QString piece = joined.text.mid(start, end - start);
        if (pendingFrom < 0) pendingFrom = start;
        pending += piece;
        start = end;
        // An abbreviation or an initial goes on with what follows, unless a line ended there.
        if (end < joined.text.size() && !piece.endsWith(u'\n') && EndsInAbbreviation(piece)) continue;
        const QString text = Tidy(pending);
        if (!text.isEmpty()) {
            qsizetype first = pendingFrom;
            while (joined.text[first].isSpace())
                ++first;
            qsizetype last = end - 1;
            while (last > first && joined.text[last].isSpace())
                --last;
            sentences.push_back({joined.at[first], joined.at[last] - joined.at[first] + 1, text});
        }
        pending.clear();
        pendingFrom = -1;
    }
}

}  // namespace

bool Speakable(const QString& sentence) {
    return std::any_of(sentence.begin(), sentence.end(), [](QChar c) { return c.isLetterOrNumber(); });
}

bool TextHeading(const QString& sentence) {
    static const QString kClosing = QString::fromUtf8(".?!;:…。！？；：");
    static const QString kQuotes = QString::fromUtf8("\"'”’»」』)）");
    QString text = sentence.trimmed();
    while (!text.isEmpty() && kQuotes.contains(text.back()))
        text.chop(1);
    return !text.isEmpty() && !kClosing.contains(text.back());
}

std::vector<TextSentence> SplitTextSentences(const QString& text) {
    std::vector<TextSentence> sentences;
    // Paragraphs are the runs of lines between blank ones; positions are those of the text as it is.
    const QStringList lines = text.split(u'\n');
    QStringList paragraph;
    qsizetype paragraphFrom = 0;
    qsizetype pos = 0;
    for (const QString& raw : lines) {
        if (raw.trimmed().isEmpty()) {
            if (!paragraph.isEmpty()) SplitParagraph(paragraphFrom, paragraph, sentences);
            paragraph.clear();
        } else {
            if (paragraph.isEmpty()) paragraphFrom = pos;
            paragraph << raw;
        }
        pos += raw.size() + 1;
    }
    if (!paragraph.isEmpty()) SplitParagraph(paragraphFrom, paragraph, sentences);
    return sentences;
}

}  // namespace ostrelle
