#include "view/waveform_strip.h"

#include "core/formats/time_values.h"
#include "core/model/waveform_columns.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace ostrelle {
namespace {

constexpr int kHandleReachPx = 5;
const QColor kBackground(24, 32, 40);
const QColor kPeaks(110, 200, 160);
const QColor kTakePeaks(240, 170, 90);
const QColor kDivider(255, 255, 255, 50);
const QColor kSegment(255, 255, 255, 40);
const QColor kCurrentSegment(255, 255, 128, 60);
const QColor kHandleA(255, 255, 128);
const QColor kHandleB(255, 0, 255);
const QColor kPosition(255, 80, 60);
const QColor kFlag(255, 150, 40, 70);
const QColor kFlagEdge(255, 150, 40);
const QColor kOriginalPitch(140, 200, 255);
const QColor kTakePitch(255, 110, 90);
// A pitch line spans an octave either way of the voice's median over the strip's height.
constexpr double kPitchRangeSemitones = 12;

qint64 Ms(double seconds) {
    return std::llround(seconds * 1000);
}

}  // namespace

WaveformStrip::WaveformStrip(WaveformSource* source, WaveformSource* takes, QWidget* parent)
    : QWidget(parent), source_(source), takes_(takes) {
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(false);
    if (source_) source_->SetUpdateHandler([this] { update(); });
    if (takes_) takes_->SetUpdateHandler([this] { update(); });
}

void WaveformStrip::SetScene(Scene scene) {
    const bool newFile = scene.path != scene_.path;
    scene_ = std::move(scene);
    if (newFile) dragged_.reset();
    if (isVisible()) LoadWhatIsShown();
    update();
}

void WaveformStrip::LoadWhatIsShown() {
    if (takes_ && !scene_.take.isEmpty() &&
        (takes_->Peaks().path != scene_.take || loadedTakeVersion_ != scene_.takeVersion)) {
        takes_->Load(scene_.take);
        loadedTakeVersion_ = scene_.takeVersion;
    }
    if (!source_ || scene_.path.isEmpty()) return;
    if (source_->Peaks().path != scene_.path) source_->Load(scene_.path);
    if (scene_.zoomed && CurrentSegment()) {
        const auto [start, end] = Window();
        source_->LoadRange(scene_.path, start, end);
    }
}

std::optional<std::pair<double, double>> WaveformStrip::CurrentSegment() const {
    if (!scene_.current || *scene_.current < 0 || *scene_.current >= static_cast<int>(scene_.segments.size()))
        return std::nullopt;
    const ABPair& pair = scene_.segments[*scene_.current];
    return std::pair{pair.a.Seconds(), pair.b.Seconds()};
}

std::pair<qint64, qint64> WaveformStrip::Window() const {
    const qint64 length = Ms(scene_.durationSeconds);
    if (scene_.zoomed) {
        if (const auto segment = CurrentSegment()) {
            const TimeWindow window = SegmentZoomWindow(Ms(segment->first), Ms(segment->second), length);
            return {window.startMs, window.endMs};
        }
    }
    // Until the length is known the peaks decoded so far set the scale.
    qint64 end = length;
    if (end <= 0 && source_) end = std::max(source_->Peaks().durationMs, source_->Peaks().EndMs());
    return {0, std::max<qint64>(end, 1000)};
}

double WaveformStrip::XOfSeconds(double seconds) const {
    const auto [start, end] = Window();
    return width() * (seconds * 1000 - start) / static_cast<double>(end - start);
}

double WaveformStrip::SecondsOfX(double x) const {
    const auto [start, end] = Window();
    return (start + std::clamp(x, 0.0, static_cast<double>(width())) / width() * (end - start)) / 1000;
}

void WaveformStrip::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    const auto [start, end] = Window();
    const auto segment = CurrentSegment();
    const bool withTake = segment && takes_ && !scene_.take.isEmpty() && takes_->Peaks().path == scene_.take;
    const int half = withTake ? height() / 4 : height() / 2;

    if (source_) {
        const bool ranged =
            scene_.zoomed && source_->RangePeaks().path == scene_.path && !source_->RangePeaks().min.empty();
        const WaveformPeaks& peaks = ranged ? source_->RangePeaks() : source_->Peaks();
        if (peaks.path == scene_.path) {
            PaintPeaks(painter, kPeaks, peaks, start, end, half, half - 2);
            if (peaks.problem) {
                painter.setPen(Qt::white);
                // The strip has room for the sentence only.
                painter.drawText(rect(), Qt::AlignCenter, FailureMessage({peaks.problem->code, {}}));
            }
        }
    }
    if (withTake) {
        // The take's time 0 is A.
        const qint64 a = Ms(segment->first);
        painter.setPen(kDivider);
        painter.drawLine(0, height() / 2, width(), height() / 2);
        PaintPeaks(painter, kTakePeaks, takes_->Peaks(), start - a, end - a, height() - half, half - 2);
    }

    for (int i = 0; i < static_cast<int>(scene_.segments.size()); ++i) {
        const ABPair& pair = scene_.segments[i];
        if (pair.blank) continue;
        const double xa = XOfSeconds(pair.a.Seconds());
        const double xb = XOfSeconds(pair.b.Seconds());
        painter.fillRect(QRectF(xa, 0, std::max(1.0, xb - xa), height()),
                         scene_.current == i ? kCurrentSegment : kSegment);
    }
    if (segment) {
        const double times[2] = {dragged_ == 0 ? dragSeconds_ : segment->first,
                                 dragged_ == 1 ? dragSeconds_ : segment->second};
        for (int mark = 0; mark < 2; ++mark) {
            const double x = std::round(XOfSeconds(times[mark]));
            painter.setPen(QPen(mark == 0 ? kHandleA : kHandleB, 2));
            painter.drawLine(QPointF(x, 0), QPointF(x, height()));
            painter.setBrush(mark == 0 ? kHandleA : kHandleB);
            const QPointF tip[3] = {{x - 5, 0}, {x + 5, 0}, {x, 7}};
            painter.drawPolygon(tip, 3);
        }
    }
    PaintScore(painter);
    painter.setPen(QPen(kPosition, 1));
    const double xp = std::round(XOfSeconds(scene_.positionSeconds));
    painter.drawLine(QPointF(xp, 0), QPointF(xp, height()));
}

void WaveformStrip::PaintScore(QPainter& painter) {
    for (std::size_t i = 0; i < scene_.flags.size(); ++i) {
        const Window::WaveformStrip::Flag& flag = scene_.flags[i];
        const double xa = XOfSeconds(flag.from), xb = XOfSeconds(flag.to);
        const QRectF area(xa, 0, std::max(2.0, xb - xa), height() - 1);
        painter.fillRect(area, kFlag);
        painter.setPen(kFlagEdge);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(area);
        painter.drawText(area.adjusted(3, 1, 0, 0), Qt::AlignLeft | Qt::AlignTop, QString::number(i + 1));
    }
    const double middle = height() / 2.0;
    const double reach = height() / 2.0 - 4;
    const auto y = [&](float semitones) {
        return middle - std::clamp(semitones / kPitchRangeSemitones, -1.0, 1.0) * reach;
    };
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (const bool take : {false, true}) {
        painter.setPen(QPen(take ? kTakePitch : kOriginalPitch, 2));
        QPainterPath line;
        bool drawing = false;
        double lastSeconds = 0;
        for (const Window::WaveformStrip::Pitch& point : scene_.pitch) {
            const std::optional<float>& value = take ? point.take : point.original;
            // A line breaks where the voice does.
            if (!value || point.seconds - lastSeconds > 0.015) drawing = false;
            lastSeconds = point.seconds;
            if (!value) continue;
            const QPointF at(XOfSeconds(point.seconds), y(*value));
            if (drawing)
                line.lineTo(at);
            else
                line.moveTo(at);
            drawing = true;
        }
        painter.drawPath(line);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
}

void WaveformStrip::PaintPeaks(QPainter& painter, const QColor& colour, const WaveformPeaks& peaks,
                               qint64 startMs, qint64 endMs, int middle, int reach) {
    // A column for each pixel of the screen, so that on a high-density screen the outline has all of its
    // detail rather than wider columns.
    const qreal ratio = devicePixelRatioF();
    const auto columns =
        WaveformColumns(peaks, startMs, endMs, static_cast<int>(std::lround(width() * ratio)));
    const auto onPixel = [ratio](double y) { return std::round(y * ratio) / ratio; };
    for (int x = 0; x < static_cast<int>(columns.size()); ++x) {
        if (!columns[x].known) continue;
        const double top = onPixel(middle - columns[x].max * reach);
        const double bottom = onPixel(middle - columns[x].min * reach);
        painter.fillRect(QRectF(x / ratio, top, 1 / ratio, bottom - top + 1 / ratio), colour);
    }
}

void WaveformStrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const double x = event->position().x();
    if (const auto segment = CurrentSegment()) {
        for (int mark = 0; mark < 2; ++mark) {
            const double time = mark == 0 ? segment->first : segment->second;
            if (std::abs(XOfSeconds(time) - x) <= kHandleReachPx) {
                dragged_ = mark;
                dragSeconds_ = time;
                return;
            }
        }
    }
    const double seconds = SecondsOfX(x);
    for (std::size_t i = 0; i < scene_.flags.size(); ++i) {
        if (seconds >= scene_.flags[i].from && seconds <= scene_.flags[i].to && flag_) {
            flag_(static_cast<int>(i));
            return;
        }
    }
    if (seek_) seek_(seconds);
}

void WaveformStrip::mouseMoveEvent(QMouseEvent* event) {
    if (!dragged_) return;
    dragSeconds_ = SecondsOfX(event->position().x());
    update();
}

void WaveformStrip::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragged_) return;
    const int mark = *dragged_;
    dragged_.reset();
    dragSeconds_ = SecondsOfX(event->position().x());
    if (move_) move_(mark, dragSeconds_);
    update();
}

void WaveformStrip::wheelEvent(QWheelEvent* event) {
    // In to the segment, out to the whole file.
    const int steps = event->angleDelta().y();
    if ((steps > 0) != scene_.zoomed && steps != 0 && zoom_) zoom_();
    event->accept();
}

}  // namespace ostrelle
