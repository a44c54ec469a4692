#include "view/view_units.h"

#include <QRegularExpression>

#include <cmath>

namespace ostrelle {
namespace {

constexpr double kTwipsPerPixel = 15.0;

}  // namespace

int Px(int twips) {
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}
QRect Px(const TwipsRect& r) {
    return {Px(r.left), Px(r.top), Px(r.width), Px(r.height)};
}

QFont WindowFont(const char* family, int points, bool bold) {
    QFont font;
    font.setFamilies(
        {QString::fromLatin1(family), QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("DejaVu Sans")});
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

QString WithoutZeroHours(QString text) {
    static const QRegularExpression zeroHours(QStringLiteral("(?<![\\d:])00:(\\d\\d:\\d\\d)(?![\\d:])"));
    return text.replace(zeroHours, QStringLiteral("\\1"));
}

}  // namespace ostrelle
