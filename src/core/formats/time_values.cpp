#include "core/formats/time_values.h"

#include <QStringList>

#include <cmath>
#include <limits>

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
