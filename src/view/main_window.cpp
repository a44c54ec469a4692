#include "view/main_window.h"

#include "view/grid_table_model.h"
#include "view/picture_widget.h"
#include "view/pictures.h"
#include "view/practice_window.h"
#include "view/usage_window.h"
#include "view/view_units.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColor>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTableView>
#include <QUrl>

#include <algorithm>

namespace ostrelle {
namespace {

const char* kStyle = R"(
QWidget#canvas { background: rgb(240, 240, 240); }
QPushButton {
    border: 1px solid rgb(122, 138, 160); border-radius: 4px; padding: 1px 4px; color: rgb(20, 30, 45);
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 rgb(252, 253, 255), stop:0.48 rgb(226, 234, 245),
                                stop:0.52 rgb(208, 220, 236), stop:1 rgb(232, 239, 248));
}
QPushButton:hover { border-color: rgb(60, 127, 177);
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 rgb(240, 248, 255), stop:0.48 rgb(206, 230, 250),
                                stop:0.52 rgb(180, 214, 244), stop:1 rgb(214, 236, 252)); }
QPushButton:pressed { background: rgb(180, 208, 236); }
QPushButton:disabled { color: rgb(150, 150, 150); border-color: rgb(190, 195, 202); background: rgb(236, 238, 241); }
QGroupBox { border: 1px solid rgb(160, 172, 190); border-radius: 6px; margin-top: 7px;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 rgb(250, 251, 253), stop:1 rgb(236, 240, 246)); }
QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 3px; color: rgb(30, 60, 110); }
QPlainTextEdit { border: 1px solid rgb(160, 172, 190); border-radius: 4px; background: white; }
QComboBox { border: 1px solid rgb(150, 160, 175); border-radius: 3px; background: white; padding: 0 2px; }
QTableView { border: 1px solid rgb(160, 172, 190); background: white; gridline-color: rgb(212, 208, 200);
    selection-background-color: rgb(0, 153, 155); selection-color: white; }
QToolButton { border: 1px solid rgb(122, 138, 160); border-radius: 11px; background: rgb(236, 242, 250); }
QToolButton:hover { background: rgb(206, 230, 250); }
)";

// The check boxes, combo boxes and timers in the order the view keeps their widgets.
constexpr std::array<CheckBox Window::*, 3> kCheckBoxes = {&Window::showTextBox, &Window::cursorFollowsBox,
                                                           &Window::sequentialPlayBox};
constexpr std::array<ComboBox Window::*, 3> kComboBoxes = {&Window::repeatCountBox, &Window::pauseBox,
                                                           &Window::fontSizeBox};
constexpr std::array<ModelTimer Window::*, 9> kTimers = {
    &Window::listingTimer,    &Window::recorderClockTimer, &Window::repeatTick,
    &Window::firstEntryTimer, &Window::positionTimer,      &Window::sequentialPlayTimer,
    &Window::followTextTimer, &Window::shadowTick,         &Window::statusNoteTimer};

template <typename Member, size_t N>
size_t IndexOf(const std::array<Member, N>& members, Member member) {
    return static_cast<size_t>(std::find(members.begin(), members.end(), member) - members.begin());
}

bool InRecordingGroup(Command command) {
    return command == Command::Record || command == Command::PlayRecording ||
           command == Command::SaveRecording;
}

bool InRepeatGroup(Command command) {
    switch (command) {
        case Command::PlayRepeat:
        case Command::SetA:
        case Command::SetB:
        case Command::PreviousSegment:
        case Command::NextSegment:
        case Command::DeleteSegment:
        case Command::DeleteAllSegments:
            return true;
        default:
            return false;
    }
}

}  // namespace

MainWindow::MainWindow(Controller& app, MediaPlayer& player, WaveformSource* waveform,
                       WaveformSource* takeWaveform, QWidget* parent)
    : QMainWindow(parent), app_(app), player_(player) {
    canvas_ = new QWidget(this);
    canvas_->setObjectName(QStringLiteral("canvas"));
    canvas_->setFixedSize(Px(Window::kClientWidthTwips), Px(Window::kClientHeightTwips));
    canvas_->setFont(WindowFont("Tahoma", 9, true));
    canvas_->setStyleSheet(QString::fromLatin1(kStyle));
    setCentralWidget(canvas_);
    BuildControls();
    BuildPlayerStrip();
    BuildMenus();
    BuildTimers();
    BuildWaveform(waveform, takeWaveform);
    app_.SetCloseHandler([this] { close(); });
    app_.SetRenderHandler([this] { Render(); });
    // Beside the window, not over it: the learner reads while the lesson goes on.
    app_.SetUsageHandler([this](const QString& instructions) {
        if (!usageWindow_) usageWindow_ = new UsageWindow(instructions, app_.window(), this);
        usageWindow_->show();
        usageWindow_->raise();
        usageWindow_->activateWindow();
    });
    app_.SetPracticeHandler([this](const PracticeSummary& summary) {
        if (!practiceWindow_) practiceWindow_ = new PracticeWindow(this);
        practiceWindow_->Show(summary);
    });
    setFixedSize(sizeHint());
    QCoreApplication::instance()->installEventFilter(this);
    Render();
}

MainWindow::~MainWindow() {
    // Children still signal while they go (a repeat box losing its focus); none of that is a command.
    for (QObject* child : findChildren<QObject*>())
        child->disconnect(this);
}

QPushButton* MainWindow::CommandButton(Command command) const {
    for (const auto& [id, button] : buttons_)
        if (id == command) return button;
    return nullptr;
}

QAction* MainWindow::MenuAction(Command command) const {
    for (const auto& [id, action] : actions_)
        if (id == command) return action;
    return nullptr;
}

QCheckBox* MainWindow::CheckBoxFor(ostrelle::CheckBox Window::*box) const {
    return checkBoxes_.at(IndexOf(kCheckBoxes, box));
}

QComboBox* MainWindow::ComboBoxFor(ComboBox Window::*box) const {
    return comboBoxes_.at(IndexOf(kComboBoxes, box));
}

const QTimer& MainWindow::TimerFor(ModelTimer Window::*timer) const {
    return timers_.at(IndexOf(kTimers, timer));
}

void MainWindow::BuildControls() {
    const Window& w = app_.window();
    playlistGroup_ = new QGroupBox(w.playlistGroup.caption, canvas_);
    recordingGroup_ = new QGroupBox(w.recordingGroup.caption, canvas_);
    repeatGroup_ = new QGroupBox(w.repeatGroup.caption, canvas_);

    for (const auto& [command, member] : CommandButtons()) {
        const Button& model = w.*member;
        QWidget* group = InRecordingGroup(command) ? recordingGroup_
                         : InRepeatGroup(command)  ? repeatGroup_
                                                   : playlistGroup_;
        auto* b = new QPushButton(model.caption, group);
        b->setGeometry(Px(model.geometry));
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QPushButton::clicked, this,
                [this, command = command] { Handle([this, command] { app_.Run(command); }); });
        buttons_.emplace_back(command, b);
    }

    auto* heading = new PictureWidget(&PlaylistHeadingStrip, playlistGroup_);
    heading->setGeometry(Px(w.playlistHeading.geometry));

    playlistGridModel_ = new GridTableModel(app_.window().playlistGrid, this);
    playlistGrid_ = new QTableView(playlistGroup_);
    playlistGrid_->setGeometry(Px(w.playlistGridGeometry));
    playlistGrid_->setModel(playlistGridModel_);
    playlistGrid_->horizontalHeader()->hide();
    playlistGrid_->verticalHeader()->hide();
    playlistGrid_->verticalHeader()->setDefaultSectionSize(17);
    playlistGrid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    playlistGrid_->setSelectionMode(QAbstractItemView::SingleSelection);
    playlistGrid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    playlistGrid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    playlistGrid_->setShowGrid(true);
    playlistGrid_->setFont(WindowFont("Tahoma", 8, false));
    connect(playlistGrid_, &QTableView::clicked, this, [this](const QModelIndex& index) {
        Handle([this, index] {
            app_.window().playlistGrid.SetActiveCell(index.row(), index.column());
            app_.playlist().SelectEntry();
        });
    });
    // Arrow keys, Page Up and the like move the current row as a click does.
    connect(playlistGrid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (rendering_ || !current.isValid()) return;
                if (QGuiApplication::mouseButtons() != Qt::NoButton) return;  // the click handler runs
                Handle([this, current] {
                    app_.window().playlistGrid.SetActiveCell(current.row(), current.column());
                    app_.playlist().SelectEntry();
                });
            });
    connect(playlistGrid_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        Handle([this, index] {
            app_.window().playlistGrid.SetActiveCell(index.row(), index.column());
            app_.playlist().PlayEntry();
        });
    });

    for (size_t i = 0; i < kCheckBoxes.size(); ++i) {
        CheckBox Window::*box = kCheckBoxes[i];
        checkBoxes_[i] = new QCheckBox((w.*box).caption, canvas_);
        checkBoxes_[i]->setFocusPolicy(Qt::NoFocus);
        connect(checkBoxes_[i], &QCheckBox::clicked, this, [this, box](bool checked) {
            Handle([this, box, checked] {
                (app_.window().*box).value = checked ? 1 : 0;
                if (box == &Window::showTextBox) app_.ApplyTextShown();
            });
        });
    }
    CheckBoxFor(&Window::cursorFollowsBox)->setStyleSheet(QStringLiteral("background: white;"));

    const auto label = [&](QWidget* parentWidget, const Label& model) {
        auto* l = new QLabel(model.caption, parentWidget);
        QRect place = Px(model.geometry);
        // A counter's box is a few pixels wide in twips; let its digits show.
        place.setWidth(std::max(place.width(), 28));
        l->setGeometry(place);
        if (model.foreground.red != 0)
            l->setStyleSheet(QStringLiteral("color: rgb(%1, %2, %3);")
                                 .arg(model.foreground.red)
                                 .arg(model.foreground.green)
                                 .arg(model.foreground.blue));
        return l;
    };
    for (const Label* repeatHeading : {&w.repeatInfoHeading, &w.currentSegmentHeading, &w.segmentCountHeading,
                                       &w.repeatCountHeading, &w.pauseHeading})
        label(repeatGroup_, *repeatHeading);
    segmentNumberLabel_ = label(repeatGroup_, w.segmentNumberLabel);
    segmentCountLabel_ = label(repeatGroup_, w.segmentCountLabel);
    segmentRangeLabel_ = label(repeatGroup_, w.segmentRangeLabel);
    passesLeftLabel_ = label(repeatGroup_, w.passesLeftLabel);
    for (const LineDecoration& line : w.repeatGroupLines) {
        auto* frame = new QFrame(repeatGroup_);
        frame->setGeometry(Px(line.x1), Px(line.y), Px(line.x2 - line.x1), 1);
        frame->setStyleSheet(QStringLiteral("background: red;"));
    }
    label(canvas_, w.usageLabel);
    // Over the usage line while a file is split into sentences; the window stays usable meanwhile.
    splitProgress_ = new QProgressBar(canvas_);
    splitProgress_->setGeometry(Px(w.usageLabel.geometry));
    splitProgress_->setRange(0, 100);
    splitProgress_->hide();
    // Notes that stand over the usage line for a while, in their own colours.
    const auto note = [&](const Label& model) {
        auto* l = new QLabel(canvas_);
        l->setGeometry(Px(model.geometry));
        l->setAlignment(Qt::AlignCenter);
        l->setAutoFillBackground(true);
        const auto css = [](Rgb c) { return QColor(c.red, c.green, c.blue).name(); };
        l->setStyleSheet(
            QStringLiteral("color: %1; background: %2;").arg(css(model.foreground), css(model.background)));
        l->hide();
        return l;
    };
    shadowCue_ = note(w.shadowCue);
    QFont cueFont = shadowCue_->font();
    cueFont.setBold(true);
    cueFont.setPointSize(cueFont.pointSize() + 2);
    shadowCue_->setFont(cueFont);
    statusNote_ = note(w.statusNote);
    takeScore_ = note(w.takeScore);
    reviewCue_ = note(w.reviewCue);
    reviewCue_->setFont(cueFont);
    setAcceptDrops(true);
    BuildDictationInput();
    fontSizeLabel_ = label(canvas_, w.fontSizeLabel);

    for (size_t i = 0; i < kComboBoxes.size(); ++i) {
        ComboBox Window::*box = kComboBoxes[i];
        QComboBox* combo = comboBoxes_[i] =
            new QComboBox(box == &Window::fontSizeBox ? canvas_ : static_cast<QWidget*>(repeatGroup_));
        combo->setEditable(true);
        // Typed text is kept as typed and stored with the next pick; Enter adds no item of its own.
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setGeometry(Px((w.*box).geometry));
        connect(combo, &QComboBox::activated, this, [this, box, combo](int item) {
            Handle([this, box, combo, item] {
                (app_.window().*box).text = combo->itemText(item);
                app_.StoreRepeatChoices();
            });
        });
        connect(combo, &QComboBox::editTextChanged, this,
                [this, box](const QString& text) { (app_.window().*box).text = text; });
    }

    BuildTextPane();

    BuildMarks();
}

void MainWindow::BuildTimers() {
    const std::array<std::function<void()>, 9> ticks = {
        [this] { app_.ListPlayingFile(); }, [this] { app_.ShowRecordingTime(); },
        [this] { app_.TickRepeat(); },      [this] { app_.LoadFirstEntry(); },
        [this] { app_.ShowPosition(); },    [this] { app_.PlayNextWhenEnded(); },
        [this] { app_.FollowTimedText(); }, [this] { app_.TickShadowing(); },
        [this] { app_.HideStatusNote(); }};
    for (size_t i = 0; i < timers_.size(); ++i) {
        timers_[i].setTimerType(Qt::PreciseTimer);
        connect(&timers_[i], &QTimer::timeout, this, [this, i, tick = ticks[i]] {
            // A timeout already queued when its timer was switched off is not a tick.
            if (!(app_.window().*kTimers[i]).Running()) return;
            Handle(tick);
        });
    }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); }))
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    Handle([this, paths] { app_.OpenFiles(paths); });
}

void MainWindow::closeEvent(QCloseEvent* event) {
    app_.SaveResumePoint();
    QMainWindow::closeEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (LoopClickedLine(watched, event) || RouteShortcutKey(watched, event)) return true;
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::Deliver(const std::function<void()>& event) {
    app_.Deliver(event);
}

void MainWindow::OpenHandedOverFiles(const QStringList& paths) {
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
    if (!paths.isEmpty()) Deliver([this, paths] { app_.OpenFiles(paths); });
}

void MainWindow::Handle(const std::function<void()>& handler) {
    (void)app_.Handle(handler);
}

void MainWindow::StartUp(const std::function<void()>& startUp) {
    Handle([&] {
        startUp();
        timersLive_ = true;
    });
}

void MainWindow::RenderTimers() {
    if (!timersLive_) return;
    for (size_t i = 0; i < timers_.size(); ++i) {
        const ModelTimer& model = app_.window().*kTimers[i];
        QTimer& timer = timers_[i];
        if (!model.Running())
            timer.stop();
        else if (!timer.isActive() || timer.interval() != model.intervalMs)
            timer.start(model.intervalMs);
    }
}

void MainWindow::Render() {
    const QScopedValueRollback<bool> rendering(rendering_, true);
    app_.UpdateDerivedStates();
    const Window& w = app_.window();
    if (windowTitle() != w.title) setWindowTitle(w.title);

    const auto apply = [](QPushButton* b, const Button& model) {
        if (b->text() != model.caption) b->setText(model.caption);
        b->setEnabled(model.enabled);
        b->setToolTip(model.toolTip);
    };
    for (const auto& [command, button] : buttons_) {
        for (const auto& [id, member] : CommandButtons())
            if (id == command) apply(button, w.*member);
    }

    const std::array<std::pair<QGroupBox*, const GroupBox*>, 3> groups = {
        {{repeatGroup_, &w.repeatGroup},
         {recordingGroup_, &w.recordingGroup},
         {playlistGroup_, &w.playlistGroup}}};
    for (const auto& [widget, model] : groups) {
        widget->setGeometry(Px(model->geometry));
        if (widget->title() != model->caption) widget->setTitle(model->caption);
    }
    for (size_t i = 0; i < kCheckBoxes.size(); ++i) {
        const CheckBox& model = w.*kCheckBoxes[i];
        checkBoxes_[i]->setGeometry(Px(model.geometry));
        checkBoxes_[i]->setChecked(model.value == 1);
    }
    const auto text = [](QLabel* l, const Label& model, const QString& shown) {
        if (l->text() != shown) {
            l->setText(shown);
            // Let a longer text show as far as its group allows, in a smaller type when even that is short.
            const int room = std::max(l->parentWidget()->width() - l->x() - 4, 1);
            QFont font = l->parentWidget()->font();
            while (font.pointSize() > 6 && QFontMetrics(font).horizontalAdvance(shown) + 2 > room)
                font.setPointSize(font.pointSize() - 1);
            l->setFont(font);
            l->resize(std::clamp(l->sizeHint().width(), Px(model.geometry.width), room), l->height());
        }
        l->setVisible(model.visible);
    };
    text(segmentNumberLabel_, w.segmentNumberLabel, w.segmentNumberLabel.caption);
    text(segmentCountLabel_, w.segmentCountLabel, w.segmentCountLabel.caption);
    text(segmentRangeLabel_, w.segmentRangeLabel, WithoutZeroHours(w.segmentRangeLabel.caption));
    text(passesLeftLabel_, w.passesLeftLabel, w.passesLeftLabel.caption);
    text(positionLabel_, w.positionLabel, w.positionLabel.caption);
    text(fontSizeLabel_, w.fontSizeLabel, w.fontSizeLabel.caption);

    for (size_t i = 0; i < kComboBoxes.size(); ++i) {
        QComboBox* combo = comboBoxes_[i];
        const ComboBox& model = w.*kComboBoxes[i];
        const QSignalBlocker block(combo);
        QStringList shown;
        for (int k = 0; k < combo->count(); ++k)
            shown << combo->itemText(k);
        if (shown != model.items) {
            combo->clear();
            combo->addItems(model.items);
            // The list may hold a choice wider than its box (按句长×1.5): the list is as wide as it needs.
            combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0) +
                                           combo->view()->frameWidth() * 2);
        }
        if (combo->currentText() != model.text) {
            combo->setEditText(model.text);
            // A choice wider than the box shows its start.
            if (combo->lineEdit()) combo->lineEdit()->setCursorPosition(0);
        }
        combo->setVisible(model.visible);
    }

    RenderText();

    RenderMarks();

    if (playlistGridModel_->Refresh()) {
        const GridModel& grid = w.playlistGrid;
        for (int c = 0; c < grid.Cols(); ++c) {
            playlistGrid_->setColumnHidden(c, grid.ColumnWidth(c) == 0);
            if (grid.ColumnWidth(c) > 0) playlistGrid_->setColumnWidth(c, grid.ColumnWidth(c));
        }
        // The row numbers are shown whole ("10.", "100."): their column widens as far as the widest one
        // needs, and the name column beside it gives up that much.
        const QFontMetrics metrics(playlistGrid_->font());
        int needed = 0;
        for (int r = 1; r < grid.Rows(); ++r)
            needed = std::max(needed, metrics.horizontalAdvance(grid.CellText(r, kNumberColumn)) + 6);
        const int widen = std::max(0, needed - grid.ColumnWidth(kNumberColumn));
        if (widen > 0) {
            playlistGrid_->setColumnWidth(kNumberColumn, grid.ColumnWidth(kNumberColumn) + widen);
            playlistGrid_->setColumnWidth(kFileNameColumn,
                                          std::max(20, grid.ColumnWidth(kFileNameColumn) - widen));
        }
        if (grid.Rows() > 0) playlistGrid_->setRowHidden(0, true);
    }
    playlistGrid_->setToolTip(w.playlistGrid.toolTip);
    if (shownTopRequests_ != w.playlistGrid.TopRequests()) {
        shownTopRequests_ = w.playlistGrid.TopRequests();
        playlistGrid_->scrollToTop();
    }
    const int selected = w.playlistGrid.SelectedRow();
    if (selected < 0)
        playlistGrid_->clearSelection();
    else if (playlistGrid_->selectionModel()->selectedRows().value(0).row() != selected)
        playlistGrid_->selectRow(selected);

    RenderMenus();

    splitProgress_->setValue(w.splitProgress.percent);
    splitProgress_->setFormat(
        QString::fromUtf8("%1 %p%（再按 %2 停止）").arg(w.splitProgress.task, w.splitProgress.stopKey));
    splitProgress_->setVisible(w.splitProgress.shown);
    if (shadowCue_->text() != w.shadowCue.caption) shadowCue_->setText(w.shadowCue.caption);
    shadowCue_->setVisible(w.shadowCue.visible);
    if (statusNote_->text() != w.statusNote.caption) statusNote_->setText(w.statusNote.caption);
    statusNote_->setVisible(w.statusNote.visible && !w.shadowCue.visible);
    if (takeScore_->text() != w.takeScore.caption) takeScore_->setText(w.takeScore.caption);
    takeScore_->setVisible(w.takeScore.visible && !w.shadowCue.visible && !w.statusNote.visible &&
                           !w.reviewCue.visible);
    if (reviewCue_->text() != w.reviewCue.caption) reviewCue_->setText(w.reviewCue.caption);
    reviewCue_->setVisible(w.reviewCue.visible && !w.shadowCue.visible && !w.statusNote.visible);
    shadowCue_->raise();

    RenderWaveform();
    RenderTimers();
}

}  // namespace ostrelle
