#pragma once

#include <QString>

#include <vector>

namespace ostrelle {

enum class DictationMark { Correct, Missed, Wrong, Extra };

// A piece of the checked line, in line order. A word (or a Chinese, Japanese or Korean character) of the
// expected line comes as Correct or Wrong (both texts), or Missed (expected only); one the learner added
// comes as Extra (typed only). The spaces and punctuation between the expected words come as Correct
// parts of their own with no typed text, so the expected texts of all parts joined give the line back.
struct DictationPart {
    DictationMark mark = DictationMark::Correct;
    QString expected;
    QString typed;
};

struct DictationResult {
    std::vector<DictationPart> parts;
    int correct = 0;  // words and characters of the expected line typed right
    int total = 0;    // words and characters of the expected line
    int extra = 0;    // words and characters typed that the line does not have
    // correct of total and extra in percent, rounded: what was added counts against the line as much as
    // what was missed. An empty expected line scores 100 only when nothing was typed.
    int Percent() const;
};

// Compares what the learner typed with the expected line: Chinese, Japanese and Korean character by
// character, other scripts word by word (whitespace separates words). Letter case (ß matches ss),
// full- and half-width forms and punctuation do not count. The parts are the fewest changes that turn
// the expected line into the typed one.
DictationResult CheckDictation(const QString& typed, const QString& expected);

// Whether c belongs to a script compared character by character: Chinese, Japanese and Korean.
bool IsCharacterScript(char32_t c);

}  // namespace ostrelle
