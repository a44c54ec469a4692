#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

namespace ostrelle {

// A picture drawn for the device pixel ratio of the screen it is on, and drawn again when the window
// moves to a screen with another ratio, so that it is never scaled up blurred.
class PictureWidget : public QWidget {
public:
    using Draw = std::function<QImage(qreal devicePixelRatio)>;

    PictureWidget(Draw draw, QWidget* parent);

    // Another picture in its place, drawn at the next paint.
    void SetDraw(Draw draw);

    // The picture as it was last painted; null before the first paint.
    const QImage& Shown() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Draw draw_;
    QImage image_;
};

}  // namespace ostrelle
