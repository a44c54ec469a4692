#include "core/analysis/text_language.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <array>
#include <vector>

namespace ostrelle {
namespace {

struct Words {
    const char* voice;
    std::vector<const char*> words;  // UTF-8
};

struct Language {
    const char* voice;
    QSet<QString> words;
};

const std::vector<Language>& LatinLanguages() {
    static const std::array<Words, 6> lists = {{
        {"en",
         {"the", "and", "is", "are", "of", "to", "in", "it", "you", "that", "was", "with", "for", "this"}},
        {"de",
         {"der", "die", "das", "und", "ist", "nicht", "ich", "sie", "ein", "eine", "mit", "zu", "auf",
          "sich"}},
        {"fr",
         {"le", "la", "les", "et", "est", "un", "une", "des", "je", "vous", "pas", "que", "dans", "du"}},
        {"es", {"el", "la", "los", "las", "y", "es", "un", "una", "que", "de", "en", "no", "por", "con"}},
        {"it", {"il", "lo", "la", "gli", "e", "è", "un", "una", "che", "di", "non", "per", "sono", "con"}},
        {"pt", {"o", "a", "os", "as", "e", "é", "um", "uma", "que", "de", "não", "em", "com", "para"}},
    }};
    static const std::vector<Language> languages = [] {
        std::vector<Language> made;
        for (const Words& list : lists) {
            Language language{list.voice, {}};
            for (const char* word : list.words)
                language.words.insert(QString::fromUtf8(word));
            made.push_back(std::move(language));
        }
        return made;
    }();
    return languages;
}

}  // namespace

QString GuessVoice(const QString& text) {
    int han = 0, kana = 0, hangul = 0, cyrillic = 0, greek = 0, arabic = 0, latin = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x3040 && u <= 0x30FF)
            ++kana;
        else if ((u >= 0x4E00 && u <= 0x9FFF) || (u >= 0x3400 && u <= 0x4DBF))
            ++han;
        else if (u >= 0xAC00 && u <= 0xD7AF)
            ++hangul;
        else if (u >= 0x0400 && u <= 0x04FF)
            ++cyrillic;
        else if (u >= 0x0370 && u <= 0x03FF)
            ++greek;
        else if (u >= 0x0600 && u <= 0x06FF)
            ++arabic;
        else if (c.isLetter() && u < 0x0250)
            ++latin;
    }
    // Japanese writes kana among its kanji; Chinese never does.
    if (kana > 0 && kana * 10 >= han) return QStringLiteral("ja");
    const int most = std::max({han, hangul, cyrillic, greek, arabic, latin});
    if (most == 0) return QStringLiteral("en");
    if (most == han) return QStringLiteral("cmn");
    if (most == hangul) return QStringLiteral("ko");
    if (most == cyrillic) return QStringLiteral("ru");
    if (most == greek) return QStringLiteral("el");
    if (most == arabic) return QStringLiteral("ar");

    static const QRegularExpression nonLetters(QStringLiteral("[^\\\\p{L}]+"));
    const QStringList words = text.toLower().split(nonLetters, Qt::SkipEmptyParts);
    const char* best = "en";
    int bestCount = 0;
    for (const Language& language : LatinLanguages()) {
        int count = 0;
        for (const QString& word : words)
            count += language.words.contains(word) ? 1 : 0;
        if (count > bestCount) {
            bestCount = count;
            best = language.voice;
        }
    }
    return QString::fromLatin1(best);
}

}  // namespace ostrelle
