#pragma once

#include "core/model/ab_pair.h"
#include "core/model/window_model.h"
#include "core/ports/waveform_source.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

namespace ostrelle {

// The waveform strip above the position bar. It spans the same track as the bar and the marks, so a time
// has one x on all three. Shows the file's peaks, its stored segments shaded, the current segment's A and
// B as handles and the playing position as a line; whole file, or the current segment with a second on
// either side. When the current segment has a shadowing take, the take's outline runs in the lower half
// from A on the same time scale, the file's in the upper half. Once the take is scored, its pitch line runs
// over the original's, warped onto the original's time, and the stretches where it differs most are marked;
// a click on one plays it.
class WaveformStrip : public QWidget {
public:
    static constexpr int kHeight = 80;

    // source may be null: the strip then shows only the segments and the position; takes may be null: no
    // take is drawn.
    explicit WaveformStrip(WaveformSource* source, WaveformSource* takes = nullptr,
                           QWidget* parent = nullptr);

    struct Scene {
        QString path;
        double durationSeconds = 0;
        double positionSeconds = 0;
        ABList segments;
        std::optional<int> current;  // index in segments of the current one, with handles
        bool zoomed = false;
        QString take;  // the current segment's take, if it has one
        int takeVersion = 0;
        // The scored take's pitch line over the original's, and where it differs most.
        std::vector<Window::WaveformStrip::Pitch> pitch;
        std::vector<Window::WaveformStrip::Flag> flags;
    };
    void SetScene(Scene scene);

    // The x of a time, and the time of an x, in the window shown now.
    double XOfSeconds(double seconds) const;
    double SecondsOfX(double x) const;

    void SetSeekHandler(std::function<void(double seconds)> handler) { seek_ = std::move(handler); }
    // mark: 0 for A, 1 for B.
    void SetMoveHandler(std::function<void(int mark, double seconds)> handler) { move_ = std::move(handler); }
    void SetZoomHandler(std::function<void()> handler) { zoom_ = std::move(handler); }
    // A click on a flagged stretch: its index in the scene's flags.
    void SetFlagHandler(std::function<void(int flag)> handler) { flag_ = std::move(handler); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // The time window shown, in milliseconds.
    std::pair<qint64, qint64> Window() const;
    std::optional<std::pair<double, double>> CurrentSegment() const;
    void LoadWhatIsShown();
    void PaintScore(QPainter& painter);
    void PaintPeaks(QPainter& painter, const QColor& colour, const WaveformPeaks& peaks, qint64 startMs,
                    qint64 endMs, int middle, int reach);

    WaveformSource* source_;
    WaveformSource* takes_;
    Scene scene_;
    int loadedTakeVersion_ = -1;
    std::optional<int> dragged_;  // the handle being dragged
    double dragSeconds_ = 0;
    std::function<void(double)> seek_;
    std::function<void(int, double)> move_;
    std::function<void()> zoom_;
    std::function<void(int)> flag_;
};

}  // namespace ostrelle
