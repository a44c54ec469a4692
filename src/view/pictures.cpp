#include "view/pictures.h"

#include <QFont>
#include <QPainter>

namespace ostrelle {

QImage PlaylistHeadingStrip() {
    QImage image(218, 16, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 255));
    QPainter painter(&image);
    painter.setPen(Qt::white);
    painter.drawLine(20, 0, 20, 15);
    painter.drawLine(140, 0, 140, 15);
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

QImage MarkFlag(int index) {
    constexpr int kWidth = 39;
    constexpr int kHeight = 24;
    const auto inside = [](int x, int y) {
        if (y >= 1 && y <= 16) return x >= 0 && x < kWidth;
        if (y >= 17 && y <= 22) {
            const int half = 22 - y;  // row 17: columns 13..23, row 22: column 18
            return x >= 18 - half && x <= 18 + half;
        }
        return false;
    };
    const QColor fill = index == 0 ? QColor(255, 255, 0) : QColor(255, 0, 255);
    const QColor outline = index == 0 ? QColor(255, 255, 153) : fill;
    QImage image(kWidth, kHeight, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            if (!inside(x, y)) continue;
            const bool edge =
                !inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1);
            image.setPixelColor(x, y, edge ? outline : fill);
        }
    }
    return image;
}

}  // namespace ostrelle
