#include "core/formats/time_values.h"

#include <QStringList>

#include <cmath>
#include <limits>
#include <optional>
#include <utility>

namespace ostrelle {
namespace {

// The leading decimal number of a piece, leading blanks skipped; 0 when there is none.
double NumericValue(QStringView piece) {
    qsizetype i = 0;
    while (i < piece.size() && (piece[i] == u' ' || piece[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < piece.size() && (piece[i] == u'-' || piece[i] == u'+')) {
        negative = piece[i] == u'-';
        ++i;
    }
    double value = 0;
    for (; i < piece.size() && piece[i].isDigit() && piece[i].unicode() < 128; ++i)
        value = value * 10 + (piece[i].unicode() - u'0');
    if (i < piece.size() && piece[i] == u'.') {
        double scale = 0.1;
        for (++i; i < piece.size() && piece[i].unicode() >= u'0' && piece[i].unicode() <= u'9'; ++i) {
            value += (piece[i].unicode() - u'0') * scale;
            scale /= 10;
        }
    }
    return negative ? -value : value;
}

std::int32_t RoundHalfEven(double value) {
    const double rounded = std::nearbyint(value);  // default rounding mode: to nearest, ties to even
    if (!(rounded > std::numeric_limits<std::int32_t>::min()) ||
        !(rounded < std::numeric_limits<std::int32_t>::max()))
        return 0;
    return static_cast<std::int32_t>(rounded);
}

// A clock text of two or three fields of digits; anything else reads as 0.
std::int32_t ClockSeconds(const QString& text) {
    const QStringList fields = text.trimmed().split(u':');
    if (fields.size() < 2 || fields.size() > 3) return 0;
    std::int64_t total = 0;
    for (const QString& field : fields) {
        if (field.isEmpty() || field.size() > 6) return 0;
        for (QChar c : field)
            if (c.unicode() < u'0' || c.unicode() > u'9') return 0;
        total = total * 60 + field.toLongLong();
    }
    return total > std::numeric_limits<std::int32_t>::max() ? 0 : static_cast<std::int32_t>(total);
}

}  // namespace

std::int32_t TimeTextToSeconds(const QString& text) {
    const qsizetype length = text.size();
    if (length == 5 || length == 4) {
        const double minutes = NumericValue(QStringView(text).left(length - 3));
        const double seconds = NumericValue(QStringView(text).right(2));
        return RoundHalfEven(seconds + minutes * 60);
    }
    if (length > 5) return ClockSeconds(text);
    return 0;
}

namespace {

// The whole part and the fraction of a text with a fraction of digits only on its last field.
std::optional<std::pair<QString, double>> SplitFraction(const QString& text) {
    const qsizetype dot = text.lastIndexOf(u'.');
    if (dot < 0 || dot == text.size() - 1 || text.indexOf(u':', dot) >= 0) return std::nullopt;
    double fraction = 0;
    double scale = 0.1;
    for (qsizetype i = dot + 1; i < text.size(); ++i) {
        if (text[i].unicode() < u'0' || text[i].unicode() > u'9') return std::nullopt;
        fraction += (text[i].unicode() - u'0') * scale;
        scale /= 10;
    }
    return std::pair{text.left(dot), fraction};
}

// "MM:SS" + tail below an hour, "H:MM:SS" + tail from an hour on, hours padded to hourDigits.
QString ClockText(long long wholeSeconds, int hourDigits, const QString& tail) {
    const auto two = [](long long n) { return QString::number(n).rightJustified(2, u'0'); };
    if (wholeSeconds >= 3600)
        return QString::number(wholeSeconds / 3600).rightJustified(hourDigits, u'0') + u':' +
               two(wholeSeconds % 3600 / 60) + u':' + two(wholeSeconds % 60) + tail;
    return two(wholeSeconds / 60) + u':' + two(wholeSeconds % 60) + tail;
}

}  // namespace

double MarkTextToSeconds(const QString& text) {
    const auto split = SplitFraction(text);
    if (!split) return TimeTextToSeconds(text);
    return TimeTextToSeconds(split->first) + split->second;
}

QString MarkText(double seconds) {
    const long long ms = std::isfinite(seconds) && seconds > 0 ? std::llround(seconds * 1000) : 0;
    return ClockText(ms / 1000, 1, u'.' + QString::number(ms % 1000).rightJustified(3, u'0'));
}

QString ShownTime(const QString& text) {
    const auto split = SplitFraction(text);
    if (!split) return text;
    const long long tenths = std::llround((TimeTextToSeconds(split->first) + split->second) * 10);
    // The hour keeps the width it was written with.
    const int hourDigits = split->first.count(u':') == 2 ? static_cast<int>(split->first.indexOf(u':')) : 1;
    return ClockText(tenths / 10, hourDigits, u'.' + QString::number(tenths % 10));
}

QString PositionTextTenths(double positionSeconds, double durationSeconds) {
    const long long tenths = std::isfinite(positionSeconds) && positionSeconds > 0
                                 ? static_cast<long long>(positionSeconds * 10)
                                 : 0;
    const QString tail = u'.' + QString::number(tenths % 10);
    if (durationSeconds >= 3600 && tenths / 10 < 3600)
        return QStringLiteral("00:") + ClockText(tenths / 10, 2, tail);
    return ClockText(tenths / 10, 2, tail);
}

QString FormatSeconds(double seconds) {
    const std::int32_t whole = RoundHalfEven(seconds);
    const QString sign = whole < 0 ? QStringLiteral("-") : QString();
    const std::int64_t s = whole < 0 ? -static_cast<std::int64_t>(whole) : whole;
    const auto twoDigits = [](std::int64_t n) { return QString::number(n).rightJustified(2, u'0'); };
    if (s >= 3600)
        return sign + QString::number(s / 3600) + u':' + twoDigits(s % 3600 / 60) + u':' + twoDigits(s % 60);
    return sign + QString::number(s / 60) + u':' + twoDigits(s % 60);
}

QString PositionText(double positionSeconds, double durationSeconds) {
    const long long whole =
        std::isfinite(positionSeconds) && positionSeconds > 0 ? static_cast<long long>(positionSeconds) : 0;
    const auto two = [](long long n) { return QString::number(n).rightJustified(2, u'0'); };
    if (durationSeconds >= 3600)
        return two(whole / 3600) + u':' + two(whole % 3600 / 60) + u':' + two(whole % 60);
    return two(whole / 60) + u':' + two(whole % 60);
}

}  // namespace ostrelle
