#include "view/picture_widget.h"

#include <QPainter>

namespace ostrelle {

PictureWidget::PictureWidget(Draw draw, QWidget* parent) : QWidget(parent), draw_(std::move(draw)) {}

void PictureWidget::SetDraw(Draw draw) {
    draw_ = std::move(draw);
    image_ = {};
    update();
}

void PictureWidget::paintEvent(QPaintEvent* /*event*/) {
    const qreal ratio = devicePixelRatioF();
    if (image_.isNull() || image_.devicePixelRatio() != ratio) image_ = draw_(ratio);
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), image_);
}

}  // namespace ostrelle
