// The player strip: the track, its buttons, the waveform strip above it and the A and B marks over it.
#include "view/main_window.h"

#include "core/operations/segment_display.h"
#include "view/picture_widget.h"
#include "view/pictures.h"
#include "view/seek_bar.h"
#include "view/view_units.h"
#include "view/waveform_strip.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QToolButton>

#include <algorithm>

namespace ostrelle {

void MainWindow::BuildPlayerStrip() {
    const Window& w = app_.window();
    auto* strip = new QWidget(canvas_);
    strip->setGeometry(Px(w.playerStrip));
    strip->lower();
    // The track spans the marks' range exactly.
    seekBar_ = new SeekBar(canvas_);
    seekBar_->setGeometry(Px(Window::kTrackLeftTwips), Px(w.playerStrip.top) + 4,
                          Px(Window::kTrackRightTwips) - Px(Window::kTrackLeftTwips), 16);
    seekBar_->SetSeekHandler([this](double seconds) { player_.SetCurrentPosition(seconds); });
    const struct {
        const char* glyph;
        Command command;
        const char* tip;
    } controls[] = {{"\u25B6", Command::Play, "播放"},
                    {"\u2759\u2759", Command::Pause, "暂停"},
                    {"\u25A0", Command::Stop, "停止"}};
    int x = Px(Window::kTrackLeftTwips);
    for (const auto& control : controls) {
        auto* b = new QToolButton(canvas_);
        b->setText(QString::fromUtf8(control.glyph));
        b->setToolTip(QString::fromUtf8(control.tip));
        b->setGeometry(x, Px(w.playerStrip.top) + 24, 22, 22);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this,
                [this, command = control.command] { Handle([this, command] { app_.Run(command); }); });
        x += 26;
    }
    positionLabel_ = new QLabel(canvas_);
    positionLabel_->setGeometry(Px(w.positionLabel.geometry));
    positionLabel_->setFont(WindowFont("MS UI Gothic", 12, false));
    playerPoll_.setInterval(100);
    connect(&playerPoll_, &QTimer::timeout, this,
            [this] { seekBar_->SetPosition(player_.CurrentPosition(), player_.Duration()); });
    playerPoll_.start();
}

void MainWindow::BuildWaveform(WaveformSource* source, WaveformSource* takes) {
    const Window& w = app_.window();
    const int top = Px(w.playerStrip.top);
    for (QObject* child : canvas_->children())
        if (auto* widget = qobject_cast<QWidget*>(child); widget && widget->y() >= top)
            belowWaveform_.push_back(widget);
    waveformStrip_ = new WaveformStrip(source, takes, canvas_);
    waveformStrip_->setGeometry(seekBar_->x(), top, seekBar_->width(), WaveformStrip::kHeight);
    waveformStrip_->hide();
    waveformStrip_->SetSeekHandler([this](double seconds) { player_.SetCurrentPosition(seconds); });
    waveformStrip_->SetMoveHandler([this](int mark, double seconds) {
        Handle([this, mark, seconds] {
            app_.MoveMark(mark == 0 ? SegmentEditor::Mark::A : SegmentEditor::Mark::B, seconds);
        });
    });
    waveformStrip_->SetZoomHandler([this] { Handle([this] { app_.Run(Command::ToggleWaveformZoom); }); });
    waveformStrip_->SetFlagHandler([this](int flag) { Handle([this, flag] { app_.PlayTakeFlag(flag); }); });
    connect(&playerPoll_, &QTimer::timeout, this, [this] {
        if (waveformShown_) RenderWaveform();
    });
}

void MainWindow::RenderWaveform() {
    const Window& w = app_.window();
    if (w.waveform.shown != waveformShown_) {
        waveformShown_ = w.waveform.shown;
        const int shift = waveformShown_ ? WaveformStrip::kHeight : -WaveformStrip::kHeight;
        for (QWidget* widget : belowWaveform_)
            widget->move(widget->x(), widget->y() + shift);
        canvas_->setFixedSize(canvas_->width(), canvas_->height() + shift);
        setFixedSize(sizeHint());
        waveformStrip_->setVisible(waveformShown_);
    }
    if (!waveformShown_) return;
    const PlayerState& state = app_.state();
    WaveformStrip::Scene scene;
    scene.path = player_.Url();
    scene.durationSeconds = player_.Duration();
    scene.positionSeconds = player_.CurrentPosition();
    scene.zoomed = w.waveform.zoomed;
    scene.take = w.waveform.take;
    scene.takeVersion = w.waveform.takeVersion;
    scene.pitch = w.waveform.pitch;
    scene.flags = w.waveform.flags;
    if (state.abListPath == scene.path) {
        scene.segments = state.abList;
        if (app_.segmentEditor().HasCurrentSegment()) scene.current = *state.abIndex;
    }
    waveformStrip_->SetScene(std::move(scene));
}

void MainWindow::BuildMarks() {
    const Window& w = app_.window();
    for (int i = 0; i < 2; ++i) {
        markCaptionBoxes_[i] = new QWidget(canvas_);
        markCaptions_[i] = new QLabel(markCaptionBoxes_[i]);
        markCaptions_[i]->setFont(WindowFont("Tahoma", 7, true));
        markCaptions_[i]->setAlignment(Qt::AlignCenter);
        markCaptions_[i]->setStyleSheet(QStringLiteral("background: rgb(%1, %2, %3);")
                                            .arg(w.markCaptions[i].background.red)
                                            .arg(w.markCaptions[i].background.green)
                                            .arg(w.markCaptions[i].background.blue));
        markFlags_[i] = new PictureWidget([i](qreal ratio) { return MarkFlag(i, ratio); }, canvas_);
        markFlags_[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
        markCaptionBoxes_[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
}

void MainWindow::RenderMarks() {
    const Window& w = app_.window();
    const std::array<FlagPlace, 2> flags = MarkFlagPlaces(w);
    std::array<QRect, 2> captionBoxes;
    for (int i = 0; i < 2; ++i) {
        // The flag's tip stands over the mark's time, the caption's middle over the flag's bar.
        const QRect bar = Px(flags[i].bar);
        markFlags_[i]->setGeometry(bar);
        if (flags[i].tip != flagTips_[i]) {
            flagTips_[i] = flags[i].tip;
            markFlags_[i]->SetDraw([i, tip = flags[i].tip](qreal ratio) { return MarkFlag(i, ratio, tip); });
        }
        markFlags_[i]->setVisible(w.markFlags[i].visible);
        const QString shown = WithoutZeroHours(w.markCaptions[i].caption);
        if (markCaptions_[i]->text() != shown) markCaptions_[i]->setText(shown);
        QRect box = Px(w.markCaptionBoxes[i].geometry);
        box.setWidth(std::max(box.width(), markCaptions_[i]->fontMetrics().horizontalAdvance(shown) + 4));
        box.moveLeft(box.left() - box.width() / 2 + bar.left() + Px(kFlagMiddleTipTwips) -
                     Px(w.markFlags[i].geometry.left));
        captionBoxes[i] = box;
    }
    // Captions that would cover each other move apart; the flags stay over their times.
    if (const int overlap = captionBoxes[0].right() + 2 - captionBoxes[1].left();
        overlap > 0 && w.markCaptionBoxes[0].visible && w.markCaptionBoxes[1].visible &&
        captionBoxes[0].left() <= captionBoxes[1].left()) {
        captionBoxes[0].translate(-(overlap + 1) / 2, 0);
        captionBoxes[1].translate(overlap / 2, 0);
    }
    for (int i = 0; i < 2; ++i) {
        markCaptionBoxes_[i]->setGeometry(captionBoxes[i]);
        markCaptions_[i]->setGeometry(0, 0, captionBoxes[i].width(), captionBoxes[i].height());
        markCaptionBoxes_[i]->setVisible(w.markCaptionBoxes[i].visible);
    }
    textBackdrop_->lower();
    // The captions sit on the bars of their flags.
    for (int i = 0; i < 2; ++i)
        markFlags_[i]->raise();
    for (int i = 0; i < 2; ++i)
        markCaptionBoxes_[i]->raise();
}

}  // namespace ostrelle
