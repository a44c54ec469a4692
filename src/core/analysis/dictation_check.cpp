#include "core/analysis/dictation_check.h"

#include <QChar>

#include <algorithm>
#include <cstdint>

namespace ostrelle {

bool IsCharacterScript(char32_t c) {
    switch (QChar::script(c)) {
        case QChar::Script_Han:
        case QChar::Script_Hiragana:
        case QChar::Script_Katakana:
        case QChar::Script_Hangul:
            return true;
        default:
            // The prolonged sound mark ー is written inside Japanese words but belongs to no script.
            return c >= 0x3000 && c <= 0x30FF;
    }
}

namespace {

// A word or a character of a line: what is compared, and where its text stands in the line.
struct Token {
    QString key;
    qsizetype begin = 0;
    qsizetype end = 0;
};

char32_t CodePointAt(const QString& line, qsizetype i, qsizetype& size) {
    const QChar first = line.at(i);
    if (first.isHighSurrogate() && i + 1 < line.size() && line.at(i + 1).isLowSurrogate()) {
        size = 2;
        return QChar::surrogateToUcs4(first, line.at(i + 1));
    }
    size = 1;
    return first.unicode();
}

// Combining marks, and the separate voiced sound marks of half-width katakana, belong to the character
// before them: only together do they normalize to the full-width character.
bool JoinsPrevious(char32_t c) {
    const QChar::Category category = QChar::category(c);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
           category == QChar::Mark_Enclosing || c == 0xFF9E || c == 0xFF9F;
}

// The compared form of a piece of text: compatibility forms (full width, ligatures) as their plain
// letters, case folded, only letters, digits and marks kept.
QString ComparedForm(const QString& text) {
    const QString folded = text.normalized(QString::NormalizationForm_KC).toCaseFolded();
    QString key;
    for (qsizetype i = 0, size = 1; i < folded.size(); i += size) {
        const char32_t c = CodePointAt(folded, i, size);
        if (c == U'ß') {
            // Simple case folding keeps ß, yet a learner without the key types ss, as upper case does.
            key += QStringLiteral("ss");
        } else if (QChar::isLetterOrNumber(c) || QChar::isMark(c)) {
            key += folded.mid(i, size);
        }
    }
    return key;
}

std::vector<Token> Tokens(const QString& line) {
    std::vector<Token> tokens;
    bool inWord = false;
    qsizetype i = 0;
    while (i < line.size()) {
        const qsizetype begin = i;
        qsizetype size = 1;
        const char32_t first = CodePointAt(line, i, size);
        i += size;
        while (i < line.size() && JoinsPrevious(CodePointAt(line, i, size)))
            i += size;
        if (QChar::isSpace(first)) {
            inWord = false;
            continue;
        }
        const QString key = ComparedForm(line.mid(begin, i - begin));
        if (key.isEmpty()) continue;  // punctuation: a word goes on across it ("don't")
        qsizetype keySize = 1;
        if (IsCharacterScript(CodePointAt(key, 0, keySize))) {
            tokens.push_back({key, begin, i});
            inWord = false;
        } else if (inWord) {
            tokens.back().key += key;
            tokens.back().end = i;
        } else {
            tokens.push_back({key, begin, i});
            inWord = true;
        }
    }
    return tokens;
}

enum class Step : std::uint8_t { Same, Substitute, Delete, Insert };

// The shortest edit script from expected to typed, in line order (Levenshtein). The table is
// quadratic, so the common start and end are matched first; lines of a lesson are short.
std::vector<Step> EditScript(const std::vector<Token>& expected, const std::vector<Token>& typed) {
    std::size_t head = 0;
    while (head < expected.size() && head < typed.size() && expected[head].key == typed[head].key)
        ++head;
    std::size_t tail = 0;
    while (tail < expected.size() - head && tail < typed.size() - head &&
           expected[expected.size() - 1 - tail].key == typed[typed.size() - 1 - tail].key)
        ++tail;
    const std::size_t rows = expected.size() - head - tail;
    const std::size_t columns = typed.size() - head - tail;
    const auto same = [&](std::size_t r, std::size_t c) {
        return expected[head + r].key == typed[head + c].key;
    };

    // cost[r][c]: changes from the first r expected tokens of the middle to the first c typed ones.
    const std::size_t width = columns + 1;
    std::vector<std::size_t> cost((rows + 1) * width);
    for (std::size_t r = 0; r <= rows; ++r)
        cost[r * width] = r;
    for (std::size_t c = 0; c <= columns; ++c)
        cost[c] = c;
    for (std::size_t r = 1; r <= rows; ++r) {
        for (std::size_t c = 1; c <= columns; ++c) {
            const std::size_t diagonal = cost[(r - 1) * width + c - 1] + (same(r - 1, c - 1) ? 0 : 1);
            cost[r * width + c] =
                std::min({diagonal, cost[(r - 1) * width + c] + 1, cost[r * width + c - 1] + 1});
        }
    }

    std::vector<Step> steps(tail, Step::Same);
    std::size_t r = rows, c = columns;
    while (r > 0 || c > 0) {
        const std::size_t here = cost[r * width + c];
        if (r > 0 && c > 0 && here == cost[(r - 1) * width + c - 1] + (same(r - 1, c - 1) ? 0 : 1)) {
            steps.push_back(same(r - 1, c - 1) ? Step::Same : Step::Substitute);
            --r;
            --c;
        } else if (r > 0 && here == cost[(r - 1) * width + c] + 1) {
            steps.push_back(Step::Delete);
            --r;
        } else {
            steps.push_back(Step::Insert);
            --c;
        }
    }
    steps.insert(steps.end(), head, Step::Same);
    std::reverse(steps.begin(), steps.end());
    return steps;
}

}  // namespace

int DictationResult::Percent() const {
    if (total == 0) {
        const bool typedNothing = std::none_of(parts.begin(), parts.end(), [](const DictationPart& part) {
            return part.mark == DictationMark::Extra;
        });
        return typedNothing ? 100 : 0;
    }
    const int counted = total + extra;
    return (200 * correct + counted) / (2 * counted);
}

DictationResult CheckDictation(const QString& typed, const QString& expected) {
    const std::vector<Token> wanted = Tokens(expected);
    const std::vector<Token> given = Tokens(typed);
    DictationResult result;
    result.total = static_cast<int>(wanted.size());

    const auto text = [](const QString& line, const Token& token) {
        return line.mid(token.begin, token.end - token.begin);
    };
    // The spaces and punctuation of the expected line from `from` up to its word `next`.
    const auto addGap = [&](qsizetype from, std::size_t next) {
        const qsizetype to = next < wanted.size() ? wanted[next].begin : expected.size();
        if (to > from) result.parts.push_back({DictationMark::Correct, expected.mid(from, to - from), {}});
    };

    addGap(0, 0);
    std::size_t w = 0, g = 0;
    for (const Step step : EditScript(wanted, given)) {
        switch (step) {
            case Step::Same:
                ++result.correct;
                result.parts.push_back(
                    {DictationMark::Correct, text(expected, wanted[w]), text(typed, given[g])});
                break;
            case Step::Substitute:
                result.parts.push_back(
                    {DictationMark::Wrong, text(expected, wanted[w]), text(typed, given[g])});
                break;
            case Step::Delete:
                result.parts.push_back({DictationMark::Missed, text(expected, wanted[w]), {}});
                break;
            case Step::Insert:
                ++result.extra;
                result.parts.push_back({DictationMark::Extra, {}, text(typed, given[g++])});
                continue;
        }
        if (step != Step::Delete) ++g;
        addGap(wanted[w].end, w + 1);
        ++w;
    }
    return result;
}

}  // namespace ostrelle
