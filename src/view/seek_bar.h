#pragma once

#include <QWidget>

#include <functional>

namespace ostrelle {

// The player's position bar. Its track spans the widget's whole width, so a time t of a file of length L
// sits at x = width × t / L, exactly under the marks placed by the same rule.
class SeekBar : public QWidget {
public:
    explicit SeekBar(QWidget* parent = nullptr) : QWidget(parent) { setCursor(Qt::PointingHandCursor); }

    void SetPosition(double seconds, double durationSeconds);
    // Called with the seconds the learner clicked or dragged to.
    void SetSeekHandler(std::function<void(double)> handler) { seek_ = std::move(handler); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void SeekTo(double x);

    double position_ = 0;
    double duration_ = 0;
    std::function<void(double)> seek_;
};

}  // namespace ostrelle
