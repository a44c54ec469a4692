#include "view/main_window.h"

#include "view/grid_table_model.h"
#include "view/pictures.h"
#include "view/seek_bar.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace ostrelle {
namespace {

constexpr double kTwipsPerPixel = 15.0;

int Px(int twips) {
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}
QRect Px(const TwipsRect& r) {
    return {Px(r.left), Px(r.top), Px(r.width), Px(r.height)};
}

QFont WindowFont(const char* family, int points, bool bold) {
    QFont font;
    font.setFamilies(
        {QString::fromLatin1(family), QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("DejaVu Sans")});
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

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

}  // namespace

MainWindow::MainWindow(Ostrelle& app, MediaPlayer& player, QWidget* parent)
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
    app_.SetCloseHandler([this] { close(); });
    setFixedSize(sizeHint());
    Render();
}

MainWindow::~MainWindow() = default;

QAction* MainWindow::MenuAction(MenuId id) const {
    for (const auto& [menuId, action] : actions_)
        if (menuId == id) return action;
    return nullptr;
}

void MainWindow::BuildControls() {
    const Window& w = app_.window();
    const auto group = [&](int i, const GroupBox& model) {
        groupBoxes_[i] = new QGroupBox(model.caption, canvas_);
        return groupBoxes_[i];
    };
    QGroupBox* list = group(2, w.aeroGroupBox3);
    QGroupBox* recording = group(1, w.aeroGroupBox2);
    QGroupBox* repeat = group(0, w.aeroGroupBox1);

    const auto button = [&](QWidget* parentWidget, const Button& model, auto onClick) {
        auto* b = new QPushButton(model.caption, parentWidget);
        b->setGeometry(Px(model.geometry));
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QPushButton::clicked, this, [this, onClick] { Handle(onClick); });
        return b;
    };
    for (int i : {0, 1}) {
        QWidget* parentWidget = recording;
        commandButtons_[i] = button(parentWidget, w.aeroButton1[i], [this, i] { app_.RunCommand(i); });
    }
    for (int i : {2, 3, 4, 7, 8})
        commandButtons_[i] = button(repeat, w.aeroButton1[i], [this, i] { app_.RunCommand(i); });
    for (int i : {5, 6, 9, 10})
        commandButtons_[i] = button(list, w.aeroButton1[i], [this, i] { app_.RunCommand(i); });
    for (int i : {0, 1})
        openButtons_[i] = button(list, w.aeroButton2[i], [this, i] { app_.AeroButton2_Click(i); });
    saveRecordingButton_ = button(recording, w.aeroButton3, [this] { app_.AeroButton3_Click(); });
    for (int i : {0, 1})
        deleteButtons_[i] = button(repeat, w.aeroButton4[i], [this, i] { app_.AeroButton4_Click(i); });

    auto* heading = new QLabel(list);
    heading->setGeometry(Px(w.picture1.geometry));
    heading->setPixmap(QPixmap::fromImage(PlaylistHeadingStrip()));
    heading->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    gridModel_ = new GridTableModel(app_.window().grid1, this);
    grid_ = new QTableView(list);
    grid_->setGeometry(Px(w.grid1Geometry));
    grid_->setModel(gridModel_);
    grid_->horizontalHeader()->hide();
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setDefaultSectionSize(17);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setShowGrid(true);
    grid_->setFont(WindowFont("Tahoma", 8, false));
    connect(grid_, &QTableView::clicked, this, [this](const QModelIndex& index) {
        Handle([this, index] {
            app_.window().grid1.SetActiveCell(index.row(), index.column());
            app_.playlist().Grid1_Click();
        });
    });
    connect(grid_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        Handle([this, index] {
            app_.window().grid1.SetActiveCell(index.row(), index.column());
            app_.playlist().Grid1_DblClick();
        });
    });

    for (int i = 0; i < 3; ++i) {
        checkBoxes_[i] = new QCheckBox(w.aeroCheckBox1[i].caption, canvas_);
        checkBoxes_[i]->setFocusPolicy(Qt::NoFocus);
        connect(checkBoxes_[i], &QCheckBox::clicked, this, [this, i](bool checked) {
            Handle([this, i, checked] {
                app_.window().aeroCheckBox1[i].value = checked ? 1 : 0;
                app_.AeroCheckBox1_Click(i);
            });
        });
    }
    checkBoxes_[1]->setStyleSheet(QStringLiteral("background: white;"));

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
    for (int i = 0; i < 3; ++i)
        infoLabels_[i] = label(repeat, w.label6[i]);
    for (int i = 0; i < 3; ++i)
        segmentLabels_[i] = label(repeat, w.label7[i]);
    for (int i = 0; i < 2; ++i)
        repeatHeadings_[i] = label(repeat, w.label4[i]);
    passesLabel_ = label(repeat, w.label8);
    for (const LineDecoration& line : w.lines) {
        auto* frame = new QFrame(repeat);
        frame->setGeometry(Px(line.x1), Px(line.y), Px(line.x2 - line.x1), 1);
        frame->setStyleSheet(QStringLiteral("background: red;"));
    }
    usageLabel_ = label(canvas_, w.label1[0]);
    fontSizeLabel_ = label(canvas_, w.label5);

    for (int i = 0; i < 3; ++i) {
        combos_[i] = new QComboBox(i < 2 ? static_cast<QWidget*>(repeat) : canvas_);
        combos_[i]->setEditable(true);
        combos_[i]->setGeometry(Px(w.combo1[i].geometry));
        connect(combos_[i], &QComboBox::activated, this, [this, i](int item) {
            Handle([this, i, item] {
                app_.window().combo1[i].text = combos_[i]->itemText(item);
                app_.Combo1_Click(i);
            });
        });
        connect(combos_[i], &QComboBox::editTextChanged, this,
                [this, i](const QString& text) { app_.window().combo1[i].text = text; });
    }

    backdrop_ = new QPlainTextEdit(canvas_);
    backdrop_->setReadOnly(true);
    backdrop_->setFocusPolicy(Qt::NoFocus);
    textPane_ = new QPlainTextEdit(canvas_);
    textPane_->setReadOnly(true);
    textPane_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    textPane_->installEventFilter(this);

    for (int i = 0; i < 2; ++i) {
        markBoxes_[i] = new QWidget(canvas_);
        markCaptions_[i] = new QLabel(markBoxes_[i]);
        markCaptions_[i]->setFont(WindowFont("Tahoma", 7, true));
        markCaptions_[i]->setAlignment(Qt::AlignCenter);
        markCaptions_[i]->setStyleSheet(QStringLiteral("background: rgb(%1, %2, %3);")
                                            .arg(w.label3[i].background.red)
                                            .arg(w.label3[i].background.green)
                                            .arg(w.label3[i].background.blue));
        flags_[i] = new QLabel(canvas_);
        flags_[i]->setPixmap(QPixmap::fromImage(MarkFlag(i)));
        flags_[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
        markBoxes_[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
}

void MainWindow::BuildPlayerStrip() {
    const Window& w = app_.window();
    auto* strip = new QWidget(canvas_);
    strip->setGeometry(Px(w.wmPlayer1));
    strip->lower();
    // The track spans the marks' range exactly: time 0 at 3890 twips, the end at 13320.
    seekBar_ = new SeekBar(canvas_);
    seekBar_->setGeometry(Px(3890), Px(w.wmPlayer1.top) + 4, Px(13320) - Px(3890), 16);
    seekBar_->SetSeekHandler([this](double seconds) { player_.SetCurrentPosition(seconds); });
    const struct {
        const char* glyph;
        MenuId id;
        const char* tip;
    } controls[] = {{"\u25B6", MenuId::Play, "播放"},
                    {"\u2759\u2759", MenuId::Pause, "暂停"},
                    {"\u25A0", MenuId::Stop, "停止"}};
    int x = Px(3890);
    for (const auto& control : controls) {
        auto* b = new QToolButton(canvas_);
        b->setText(QString::fromUtf8(control.glyph));
        b->setToolTip(QString::fromUtf8(control.tip));
        b->setGeometry(x, Px(w.wmPlayer1.top) + 24, 22, 22);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this,
                [this, id = control.id] { Handle([this, id] { app_.MenuClick(id); }); });
        x += 26;
    }
    positionLabel_ = new QLabel(canvas_);
    positionLabel_->setGeometry(Px(w.label2.geometry));
    positionLabel_->setFont(WindowFont("MS UI Gothic", 12, false));
    playerPoll_.setInterval(100);
    connect(&playerPoll_, &QTimer::timeout, this,
            [this] { seekBar_->SetPosition(player_.CurrentPosition(), player_.Duration()); });
    playerPoll_.start();
}

void MainWindow::BuildMenus() {
    Window& w = app_.window();
    for (const MenuSection& section : MenuBar()) {
        QMenu* menu = menuBar()->addMenu((w.*section.top).caption);
        topMenus_.emplace_back(menu->menuAction(), section.top);
        for (const auto& [id, item] : section.entries) {
            QAction* action = menu->addAction((w.*item).caption);
            action->setShortcut(QKeySequence((w.*item).shortcut));
            action->setShortcutContext(Qt::WindowShortcut);
            connect(action, &QAction::triggered, this,
                    [this, id = id] { Handle([this, id] { app_.MenuClick(id); }); });
            actions_.emplace_back(id, action);
            menuItems_.emplace_back(action, item);
        }
    }
}

void MainWindow::BuildTimers() {
    const std::array<std::function<void()>, 6> ticks = {
        [this] { app_.Timer1_Timer(); }, [this] { app_.Timer2_Timer(); }, [this] { app_.Timer3_Timer(); },
        [this] { app_.Timer4_Timer(); }, [this] { app_.Timer5_Timer(); }, [this] { app_.Timer6_Timer(); }};
    for (int i = 0; i < 6; ++i) {
        timers_[i].setTimerType(Qt::PreciseTimer);
        connect(&timers_[i], &QTimer::timeout, this, [this, tick = ticks[i]] { Handle(tick); });
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // The text pane would take Ctrl+A, Ctrl+X and the like for itself; the menu's shortcuts come first.
    if (watched == textPane_ && event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        for (const auto& [id, action] : actions_) {
            if (action->isEnabled() && action->shortcut() == pressed) return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::Handle(const std::function<void()>& handler) {
    if (busy_) return;
    busy_ = true;
    handler();
    busy_ = false;
    Render();
}

void MainWindow::RenderTimer(int number, const ostrelle::ModelTimer& model) {
    QTimer& timer = timers_[number - 1];
    if (!model.Running()) {
        timer.stop();
        return;
    }
    if (!timer.isActive() || timer.interval() != model.intervalMs) timer.start(model.intervalMs);
}

void MainWindow::Render() {
    const Window& w = app_.window();
    if (windowTitle() != w.title) setWindowTitle(w.title);

    const auto apply = [](QPushButton* b, const Button& model) {
        if (b->text() != model.caption) b->setText(model.caption);
        b->setEnabled(model.enabled);
        b->setToolTip(model.toolTip);
    };
    for (int i = 0; i < 11; ++i)
        apply(commandButtons_[i], w.aeroButton1[i]);
    for (int i = 0; i < 2; ++i)
        apply(openButtons_[i], w.aeroButton2[i]);
    apply(saveRecordingButton_, w.aeroButton3);
    for (int i = 0; i < 2; ++i)
        apply(deleteButtons_[i], w.aeroButton4[i]);

    const std::array<const GroupBox*, 3> groups = {&w.aeroGroupBox1, &w.aeroGroupBox2, &w.aeroGroupBox3};
    for (int i = 0; i < 3; ++i) {
        groupBoxes_[i]->setGeometry(Px(groups[i]->geometry));
        if (groupBoxes_[i]->title() != groups[i]->caption) groupBoxes_[i]->setTitle(groups[i]->caption);
    }
    for (int i = 0; i < 3; ++i) {
        checkBoxes_[i]->setGeometry(Px(w.aeroCheckBox1[i].geometry));
        checkBoxes_[i]->setChecked(w.aeroCheckBox1[i].value == 1);
    }
    const auto text = [](QLabel* l, const Label& model) {
        if (l->text() != model.caption) {
            l->setText(model.caption);
            // Let a longer text show as far as its group allows.
            const int room = l->parentWidget()->width() - l->x() - 4;
            l->resize(std::clamp(l->sizeHint().width(), Px(model.geometry.width), std::max(room, 1)),
                      l->height());
        }
        l->setVisible(model.visible);
    };
    for (int i = 0; i < 3; ++i)
        text(segmentLabels_[i], w.label7[i]);
    text(passesLabel_, w.label8);
    text(positionLabel_, w.label2);
    text(fontSizeLabel_, w.label5);

    for (int i = 0; i < 3; ++i) {
        QComboBox* combo = combos_[i];
        const ComboBox& model = w.combo1[i];
        const QSignalBlocker block(combo);
        QStringList shown;
        for (int k = 0; k < combo->count(); ++k)
            shown << combo->itemText(k);
        if (shown != model.items) {
            combo->clear();
            combo->addItems(model.items);
        }
        if (combo->currentText() != model.text) combo->setEditText(model.text);
        combo->setVisible(model.visible);
    }

    textPane_->setGeometry(Px(w.aeroTextBox1.geometry));
    backdrop_->setGeometry(Px(w.aeroTextBox2.geometry));
    if (!shownText_.isSharedWith(w.aeroTextBox1.text) && shownText_ != w.aeroTextBox1.text) {
        shownText_ = w.aeroTextBox1.text;
        textPane_->setPlainText(shownText_);
    }
    if (textPane_->font().pointSize() != w.aeroTextBox1.fontSizePt)
        textPane_->setFont(WindowFont("MS Sans Serif", w.aeroTextBox1.fontSizePt, false));
    textPane_->setVisible(w.aeroTextBox1.visible);
    textPane_->setReadOnly(true);

    for (int i = 0; i < 2; ++i) {
        // The flag's tip and the caption's middle stand over the mark's time.
        const QRect flag = Px(w.image1[i].geometry);
        flags_[i]->setGeometry(flag.left() - 19, flag.top(), 39, 24);
        flags_[i]->setVisible(w.image1[i].visible);
        const QRect box = Px(w.picture2[i].geometry);
        markBoxes_[i]->setGeometry(box.left() - box.width() / 2, box.top(), box.width(), box.height());
        markCaptions_[i]->setGeometry(0, 0, box.width(), box.height());
        if (markCaptions_[i]->text() != w.label3[i].caption) markCaptions_[i]->setText(w.label3[i].caption);
        markBoxes_[i]->setVisible(w.picture2[i].visible);
    }
    backdrop_->lower();
    // The captions sit on the bars of their flags.
    for (int i = 0; i < 2; ++i)
        flags_[i]->raise();
    for (int i = 0; i < 2; ++i)
        markBoxes_[i]->raise();

    if (gridModel_->Refresh()) {
        const GridModel& grid = w.grid1;
        for (int c = 0; c < grid.Cols(); ++c) {
            grid_->setColumnHidden(c, grid.ColumnWidth(c) == 0);
            if (grid.ColumnWidth(c) > 0) grid_->setColumnWidth(c, grid.ColumnWidth(c));
        }
        if (grid.Rows() > 0) grid_->setRowHidden(0, true);
    }
    grid_->setToolTip(w.grid1.toolTip);
    const int selected = w.grid1.SelectedRow();
    if (selected < 0)
        grid_->clearSelection();
    else if (grid_->selectionModel()->selectedRows().value(0).row() != selected)
        grid_->selectRow(selected);

    for (const auto& [action, item] : menuItems_) {
        const MenuItem& model = w.*item;
        if (action->text() != model.caption) action->setText(model.caption);
        action->setEnabled(model.enabled);
        action->setVisible(model.visible);
    }
    for (const auto& [action, item] : topMenus_)
        action->setEnabled((w.*item).enabled);

    RenderTimer(1, w.timer1);
    RenderTimer(2, w.timer2);
    RenderTimer(3, w.timer3);
    RenderTimer(4, w.timer4);
    RenderTimer(5, w.timer5);
    RenderTimer(6, w.timer6);
}

}  // namespace ostrelle
