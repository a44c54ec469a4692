#pragma once

#include <QString>

#include <vector>

namespace ostrelle {

// One sentence of a lesson's text: where it stands in the text and what it says, blanks and line breaks
// inside it made single spaces (none between Chinese or Japanese characters).
struct TextSentence {
    qsizetype from = 0;    // in the text, at its first character
    qsizetype length = 0;  // up to its last character, its closing punctuation included
    QString text;
};

// The sentences of a lesson's text in any of the languages learners study here, in order. Sentences end
// where Unicode's rules end them (full stops, question and exclamation marks, CJK 。！？), but not after
// a common abbreviation ("Mr.", "z. B.", "Mme.") or an initial ("J. K."). A blank line always ends one.
// A line break ends one too, unless it only wraps a long line of running text: a title, a heading or a
// line of a dialogue stands alone.
std::vector<TextSentence> SplitTextSentences(const QString& text);

// Whether a sentence holds anything to say: a letter or a digit, not only a rule of dashes or stars.
bool Speakable(const QString& sentence);
// Whether a sentence ends without a sentence's closing mark, as a title or a heading does.
bool TextHeading(const QString& sentence);

}  // namespace ostrelle
