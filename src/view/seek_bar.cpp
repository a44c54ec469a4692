#include "view/seek_bar.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace ostrelle {

void SeekBar::SetPosition(double seconds, double durationSeconds) {
    if (seconds == position_ && durationSeconds == duration_) return;
    position_ = seconds;
    duration_ = durationSeconds;
    update();
}

void SeekBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int mid = height() / 2;
    const QRectF groove(0, mid - 3, width(), 6);
    painter.setPen(QColor(150, 160, 175));
    painter.setBrush(QColor(225, 230, 238));
    painter.drawRoundedRect(groove, 3, 3);
    if (duration_ <= 0) return;
    const double x = std::clamp(width() * position_ / duration_, 0.0, double(width()));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(70, 130, 200));
    painter.drawRoundedRect(QRectF(0, mid - 3, x, 6), 3, 3);
    painter.setBrush(QColor(255, 255, 255));
    painter.setPen(QColor(70, 130, 200));
    painter.drawEllipse(QPointF(x, mid), 6, 6);
}

void SeekBar::SeekTo(double x) {
    if (duration_ <= 0 || !seek_) return;
    seek_(std::clamp(x / width(), 0.0, 1.0) * duration_);
}

void SeekBar::mousePressEvent(QMouseEvent* event) {
    SeekTo(event->position().x());
}

void SeekBar::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) SeekTo(event->position().x());
}

}  // namespace ostrelle
