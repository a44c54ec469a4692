#include "core/formats/segment_text.h"

#include "core/formats/time_values.h"

namespace ostrelle {

ABPair ParseAB(const QString& slotText) {
    QString aText, bText;
    bool split = false;
    const qsizetype n = slotText.size() - 2;
    for (qsizetype i = 1; i <= n; ++i) {
        if (slotText[i - 1] != u'B') continue;
        bText = slotText.right(slotText.size() - i);
        aText = i >= 2 ? slotText.mid(1, i - 2) : QString();
        split = true;
    }
    if (!split || aText.isEmpty()) return {.a = {}, .b = {}, .blank = true};
    return {ReadMark(aText), ReadMark(bText)};
}

QString SlotText(const ABPair& segment) {
    return QStringLiteral("A") + WrittenMark(segment.a) + QStringLiteral("B") + WrittenMark(segment.b);
}

MarkTime ReadMark(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.contains(u'.')) return MarkTime::At(MarkTextToSeconds(trimmed));
    const MarkTime::Form form =
        trimmed.count(u':') >= 2 ? MarkTime::Form::HoursMinutesSeconds : MarkTime::Form::MinutesSeconds;
    const std::int32_t seconds = TimeTextToSeconds(trimmed);
    return {seconds > 0 ? std::int64_t{seconds} * 1000 : 0, form};
}

QString WrittenMark(const MarkTime& mark) {
    const std::int64_t whole = mark.ms / 1000;
    const auto two = [](std::int64_t n) { return QString::number(n).rightJustified(2, u'0'); };
    switch (mark.form) {
        case MarkTime::Form::MinutesSeconds:
            return two(whole / 60) + u':' + two(whole % 60);
        case MarkTime::Form::HoursMinutesSeconds:
            return two(whole / 3600) + u':' + two(whole % 3600 / 60) + u':' + two(whole % 60);
        case MarkTime::Form::Milliseconds:
            break;
    }
    return MarkText(mark.Seconds());
}

QString ShownMark(const MarkTime& mark) {
    const QString written = WrittenMark(mark);
    return mark.form == MarkTime::Form::Milliseconds ? ShownTime(written) : written;
}

}  // namespace ostrelle
