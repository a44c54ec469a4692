#pragma once

#include "core/operations/controller.h"

#include <QMainWindow>
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
class SeekBar;

// The main window: widgets at the window model's places, every widget event forwarded to the controller,
// and after each event the model rendered back and the real timers set to match the model's timers.
// It holds no state of the program.
class MainWindow : public QMainWindow {
public:
    MainWindow(Ostrelle& app, MediaPlayer& player, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Renders the model into the widgets and matches the timers; run after every handled event.
    void Render();

    // For tests: the widgets by control.
    QPushButton* CommandButton(int index) const { return commandButtons_[index]; }
    QAction* MenuAction(MenuId id) const;
    QTableView* Grid() const { return grid_; }
    QPlainTextEdit* TextPane() const { return textPane_; }
    QCheckBox* CheckBox(int index) const { return checkBoxes_[index]; }
    QComboBox* Combo(int index) const { return combos_[index]; }
    const QTimer& ModelTimer(int number) const { return timers_[number - 1]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();
    void BuildPlayerStrip();
    void BuildTimers();
    // Runs a handler of the controller, then renders.
    // A modal dialog runs its own event loop: ticks that arrive meanwhile are dropped, so that no two
    // operations ever run at once.
    void Handle(const std::function<void()>& handler);
    void RenderTimer(int number, const ostrelle::ModelTimer& model);

    Ostrelle& app_;
    MediaPlayer& player_;
    QWidget* canvas_ = nullptr;
    std::array<QPushButton*, 11> commandButtons_{};
    std::array<QPushButton*, 2> openButtons_{};
    QPushButton* saveRecordingButton_ = nullptr;
    std::array<QPushButton*, 2> deleteButtons_{};
    std::array<QCheckBox*, 3> checkBoxes_{};
    std::array<QComboBox*, 3> combos_{};
    std::array<QGroupBox*, 3> groupBoxes_{};
    QLabel* usageLabel_ = nullptr;
    QLabel* positionLabel_ = nullptr;
    std::array<QLabel*, 2> repeatHeadings_{};
    QLabel* fontSizeLabel_ = nullptr;
    std::array<QLabel*, 3> segmentLabels_{};
    std::array<QLabel*, 3> infoLabels_{};
    QLabel* passesLabel_ = nullptr;
    std::array<QLabel*, 2> flags_{};
    std::array<QWidget*, 2> markBoxes_{};
    std::array<QLabel*, 2> markCaptions_{};
    QPlainTextEdit* textPane_ = nullptr;
    QPlainTextEdit* backdrop_ = nullptr;
    QTableView* grid_ = nullptr;
    GridTableModel* gridModel_ = nullptr;
    SeekBar* seekBar_ = nullptr;
    std::vector<std::pair<MenuId, QAction*>> actions_;
    std::vector<std::pair<QAction*, MenuItem Window::*>> menuItems_;
    std::vector<std::pair<QAction*, MenuItem Window::*>> topMenus_;
    std::array<QTimer, 6> timers_;
    QTimer playerPoll_;
    QString shownText_;
    bool busy_ = false;
};

}  // namespace ostrelle
