#include "core/formats/segment_text.h"

namespace ostrelle {

ABPair ParseAB(const QString& slotText) {
    ABPair pair;
    const qsizetype n = slotText.size() - 2;
    for (qsizetype i = 1; i <= n; ++i) {
        if (slotText[i - 1] != u'B') continue;
        pair.bText = slotText.right(slotText.size() - i);
        pair.aText = i >= 2 ? slotText.mid(1, i - 2) : QString();
    }
    return pair;
}

QString SlotText(const QString& aText, const QString& bText) {
    return QStringLiteral("A") + aText + QStringLiteral("B") + bText;
}

}  // namespace ostrelle
