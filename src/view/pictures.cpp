#include "view/pictures.h"

#include <QFont>
#include <QPainter>

#include <cmath>

namespace ostrelle {
namespace {

QImage BlankImage(int width, int height, qreal devicePixelRatio, QImage::Format format) {
    QImage image(static_cast<int>(std::ceil(width * devicePixelRatio)),
                 static_cast<int>(std::ceil(height * devicePixelRatio)), format);
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

}  // namespace

QImage PlaylistHeadingStrip(qreal devicePixelRatio) {
    QImage image = BlankImage(218, 16, devicePixelRatio, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 255));
    QPainter painter(&image);
    // Filled rather than drawn, so that each line covers whole pixels at any ratio.
    painter.fillRect(QRectF(20, 0, 1, 16), Qt::white);
    painter.fillRect(QRectF(140, 0, 1, 16), Qt::white);
    painter.setPen(Qt::white);
    QFont font;
    font.setFamilies(
        {QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPixelSize(10);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(QRect(0, 0, 20, 16), Qt::AlignCenter, QStringLiteral("No"));
    painter.drawText(QRect(21, 0, 119, 16), Qt::AlignCenter, QStringLiteral("MP3 NAME"));
    painter.drawText(QRect(141, 0, 77, 16), Qt::AlignCenter, QStringLiteral("LENGTH"));
    return image;
}

QImage MarkFlag(int index, qreal devicePixelRatio, FlagTip tip) {
    constexpr int kWidth = 39;
    constexpr int kHeight = 24;
    // In the flag's own pixels, for a point anywhere in them: the bar, then the tip, whose sides at ratio
    // 1 pass exactly the pixel centres the original bitmap holds.
    const auto inside = [tip](double x, double y) {
        if (y >= 1 && y < 17) return x >= 0 && x < kWidth;
        if (y < 17 || y >= 23) return false;
        switch (tip) {
            case FlagTip::Middle:
                return std::abs(x - 18.5) < 23 - y;
            case FlagTip::Right:
                return x < kWidth && kWidth - 0.5 - x < 2 * (23 - y);
            case FlagTip::Left:
                return x >= 0 && x - 0.5 < 2 * (23 - y);
        }
        return false;
    };
    const QColor fill = index == 0 ? QColor(255, 255, 0) : QColor(255, 0, 255);
    const QColor outline = index == 0 ? QColor(255, 255, 153) : fill;
    QImage image = BlankImage(kWidth, kHeight, devicePixelRatio, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int row = 0; row < image.height(); ++row) {
        for (int column = 0; column < image.width(); ++column) {
            const double x = (column + 0.5) / devicePixelRatio;
            const double y = (row + 0.5) / devicePixelRatio;
            if (!inside(x, y)) continue;
            // The outline is one flag pixel wide at every ratio.
            const bool edge =
                !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
            image.setPixelColor(column, row, edge ? outline : fill);
        }
    }
    return image;
}

}  // namespace ostrelle
