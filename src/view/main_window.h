#pragma once

#include "core/operations/controller.h"
#include "core/ports/waveform_source.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>

#include <array>
#include <functional>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableView;

namespace ostrelle {

class GridTableModel;
class PictureWidget;
class UsageWindow;
class PracticeWindow;
class WaveformStrip;
class SeekBar;

// The main window: widgets at the window model's places, every widget event forwarded to the controller,
// and after each event the model rendered back and the real timers set to match the model's timers.
// It holds no state of the program.
class MainWindow : public QMainWindow {
public:
    // waveform feeds the waveform strip, takeWaveform the outline of a shadowing take under the current
    // segment; without them the strip shows segments and position only.
    MainWindow(Controller& app, MediaPlayer& player, WaveformSource* waveform = nullptr,
               WaveformSource* takeWaveform = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Runs the controller's start-up under the guard, then renders and lets the timers run: no tick comes
    // before start-up has finished, not even during a dialog it shows.
    void StartUp(const std::function<void()>& startUp);
    // Renders the model into the widgets and matches the timers; run after every handled event.
    void Render();
    // Files handed over by another start of the program: the window comes to the front and opens them.
    void OpenHandedOverFiles(const QStringList& paths);

    // For tests: the widgets by what they are for.
    QPushButton* CommandButton(Command command) const;
    QAction* MenuAction(Command command) const;
    QTableView* PlaylistGrid() const { return playlistGrid_; }
    WaveformStrip* Waveform() const { return waveformStrip_; }
    SeekBar* PositionBar() const { return seekBar_; }
    QPlainTextEdit* TextPane() const { return textPane_; }
    QLineEdit* DictationInput() const { return dictationInput_; }
    PictureWidget* MarkFlagWidget(int mark) const { return markFlags_.at(mark); }
    QCheckBox* CheckBoxFor(ostrelle::CheckBox Window::*box) const;
    QComboBox* ComboBoxFor(ComboBox Window::*box) const;
    const QTimer& TimerFor(ModelTimer Window::*timer) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Files and folders dropped anywhere on the window are opened together.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildControls();
    void BuildDictationInput();
    void BuildTextPane();
    void BuildMarks();
    void BuildMenus();
    void BuildPlayerStrip();
    void BuildTimers();
    void BuildWaveform(WaveformSource* source, WaveformSource* takes);
    // A double click on a timed text's line repeats that line.
    bool LoopClickedLine(QObject* watched, QEvent* event);
    // Gives a key pressed anywhere in the window to its menu item or to the focus; true when it decided.
    bool RouteShortcutKey(QObject* watched, QEvent* event) const;
    // Runs a handler of the controller, then renders.
    // A modal dialog runs its own event loop: ticks that arrive meanwhile are dropped, so that no two
    // operations ever run at once.
    void Handle(const std::function<void()>& handler);
    // As Handle, but an event that comes during another operation waits for it to end.
    void Deliver(const std::function<void()>& event);
    void RenderTimers();
    void RenderText();
    void RenderMarks();
    void RenderMenus();
    // Highlights the timed text's spoken line and keeps it in view.
    void RenderHighlight();
    // Shows or hides the strip: what lies below it moves down or up by its height.
    void RenderWaveform();

    Controller& app_;
    MediaPlayer& player_;
    QWidget* canvas_ = nullptr;
    std::vector<std::pair<Command, QPushButton*>> buttons_;
    std::array<QCheckBox*, 3> checkBoxes_{};  // in the order of kCheckBoxes
    std::array<QComboBox*, 3> comboBoxes_{};  // in the order of kComboBoxes
    std::array<QTimer, 9> timers_;            // in the order of kTimers
    QGroupBox* repeatGroup_ = nullptr;
    QGroupBox* recordingGroup_ = nullptr;
    QGroupBox* playlistGroup_ = nullptr;
    QLabel* positionLabel_ = nullptr;
    QLabel* fontSizeLabel_ = nullptr;
    QLabel* segmentNumberLabel_ = nullptr;
    QLabel* segmentCountLabel_ = nullptr;
    QLabel* segmentRangeLabel_ = nullptr;
    QLabel* passesLeftLabel_ = nullptr;
    std::array<PictureWidget*, 2> markFlags_{};
    std::array<FlagTip, 2> flagTips_{};  // as the flags are drawn
    std::array<QWidget*, 2> markCaptionBoxes_{};
    std::array<QLabel*, 2> markCaptions_{};
    QPlainTextEdit* textPane_ = nullptr;
    QProgressBar* splitProgress_ = nullptr;
    QLabel* shadowCue_ = nullptr;
    QLabel* statusNote_ = nullptr;
    QLabel* takeScore_ = nullptr;
    QLabel* reviewCue_ = nullptr;
    QLineEdit* dictationInput_ = nullptr;
    QPlainTextEdit* textBackdrop_ = nullptr;
    QTableView* playlistGrid_ = nullptr;
    GridTableModel* playlistGridModel_ = nullptr;
    SeekBar* seekBar_ = nullptr;
    std::vector<std::pair<Command, QAction*>> actions_;
    std::vector<std::pair<QAction*, MenuItem Window::*>> menuItems_;
    std::vector<std::pair<QAction*, MenuItem Window::*>> topMenus_;
    QTimer playerPoll_;
    QString shownText_;
    int shownHighlight_ = -1;
    std::vector<PaneMark> shownMarks_;
    QElapsedTimer ownScrolling_;  // since the learner last scrolled the text
    bool ownScrollingSeen_ = false;
    bool scrollingToLine_ = false;
    quint64 shownTopRequests_ = 0;
    bool rendering_ = false;   // the view follows the model: its own changes are no learner's
    bool timersLive_ = false;  // from the end of start-up on
    QPointer<UsageWindow> usageWindow_;
    QPointer<PracticeWindow> practiceWindow_;
    WaveformStrip* waveformStrip_ = nullptr;
    std::vector<QWidget*> belowWaveform_;  // the player strip and all under it
    bool waveformShown_ = false;
};

}  // namespace ostrelle
