#pragma once

#include <QString>

namespace ostrelle {

// The espeak-ng voice that reads text best: by its script (Chinese "cmn", Japanese "ja", Korean "ko",
// Russian "ru", Greek "el", Arabic "ar"), and for Latin letters by the commonest short words of English,
// German, French, Spanish, Italian and Portuguese; English when nothing tells.
QString GuessVoice(const QString& text);

}  // namespace ostrelle
