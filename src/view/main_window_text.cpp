// The lesson's text beside the player: the pane, its highlight and the dictation line under it.
#include "view/main_window.h"

#include "view/view_units.h"

#include <QColor>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>

namespace ostrelle {
namespace {

// After the learner scrolls the text, the spoken line is not brought back into view for this long.
constexpr qint64 kOwnScrollingMs = 4000;

}  // namespace

void MainWindow::BuildDictationInput() {
    dictationInput_ = new QLineEdit(canvas_);
    dictationInput_->setPlaceholderText(QString::fromUtf8("听写：输入听到的句子，按回车检查"));
    dictationInput_->hide();
    dictationInput_->setAcceptDrops(false);  // a dropped file opens, rather than typing its name
    connect(dictationInput_, &QLineEdit::textEdited, this,
            [this](const QString& text) { app_.window().dictationInput.text = text; });
    connect(dictationInput_, &QLineEdit::returnPressed, this,
            [this] { Handle([this, typed = dictationInput_->text()] { app_.CheckDictation(typed); }); });
}

void MainWindow::BuildTextPane() {
    textBackdrop_ = new QPlainTextEdit(canvas_);
    textBackdrop_->setReadOnly(true);
    textBackdrop_->setFocusPolicy(Qt::NoFocus);
    textPane_ = new QPlainTextEdit(canvas_);
    textPane_->setReadOnly(true);
    textPane_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    textPane_->viewport()->installEventFilter(this);
    ownScrolling_.start();
    ownScrollingSeen_ = false;
    connect(textPane_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (scrollingToLine_) return;
        ownScrolling_.restart();
        ownScrollingSeen_ = true;
    });
}

bool MainWindow::LoopClickedLine(QObject* watched, QEvent* event) {
    if (watched != textPane_->viewport() || event->type() != QEvent::MouseButtonDblClick) return false;
    const auto* click = static_cast<QMouseEvent*>(event);
    const int line = textPane_->cursorForPosition(click->position().toPoint()).blockNumber();
    if (app_.state().timedText.lines.empty() || app_.state().timedTextRaw) return false;
    Handle([this, line] { app_.LoopTimedLine(line); });
    return true;
}

void MainWindow::RenderText() {
    const Window& w = app_.window();
    QRect paneArea = Px(w.textPane.geometry);
    if (w.dictationInput.visible) {
        // The input line takes the bottom of the text's place while dictating, above the mark captions that
        // reach up into it.
        const int inputHeight = dictationInput_->sizeHint().height();
        const int bottom = std::min(paneArea.bottom(), markCaptionBoxes_[0]->y() - 2);
        dictationInput_->setGeometry(paneArea.x(), bottom - inputHeight + 1, paneArea.width(), inputHeight);
        paneArea.setBottom(bottom - inputHeight - 1);
        if (dictationInput_->text() != w.dictationInput.text) dictationInput_->setText(w.dictationInput.text);
        if (!dictationInput_->isVisible()) {
            dictationInput_->show();
            dictationInput_->setFocus();
        }
    } else {
        dictationInput_->hide();
    }
    textPane_->setGeometry(paneArea);
    textBackdrop_->setGeometry(Px(w.textBackdrop.geometry));
    if (!shownText_.isSharedWith(w.textPane.text) && shownText_ != w.textPane.text) {
        shownText_ = w.textPane.text;
        textPane_->setPlainText(shownText_);
        shownHighlight_ = -2;  // the new text keeps the old one's selections until they are set again
    }
    RenderHighlight();
    if (textPane_->font().pointSize() != w.textPane.fontSizePt)
        textPane_->setFont(WindowFont("MS Sans Serif", w.textPane.fontSizePt, false));
    textPane_->setVisible(w.textPane.visible);
    textPane_->setReadOnly(true);
}

void MainWindow::RenderHighlight() {
    const int line = app_.window().textPane.highlightLine;
    const std::vector<PaneMark>& marks = app_.window().textPane.marks;
    if (line == shownHighlight_ && marks == shownMarks_) return;
    const bool lineMoved = line != shownHighlight_;
    shownHighlight_ = line;
    shownMarks_ = marks;
    QList<QTextEdit::ExtraSelection> selections;
    const QTextBlock block = textPane_->document()->findBlockByNumber(line);
    if (line >= 0 && block.isValid()) {
        // The learner's own scrolling is left alone for a while.
        if (lineMoved && (!ownScrollingSeen_ || ownScrolling_.elapsed() > kOwnScrollingMs)) {
            scrollingToLine_ = true;
            QTextCursor cursor(block);
            textPane_->setTextCursor(cursor);
            textPane_->centerCursor();
            scrollingToLine_ = false;
        }
        // A band across the pane for each line the spoken one wraps onto (laid out once in view).
        const int wrapped = block.layout() ? std::max(1, block.layout()->lineCount()) : 1;
        for (int l = 0; l < wrapped; ++l) {
            QTextEdit::ExtraSelection spoken;
            spoken.cursor = QTextCursor(block);
            if (l > 0) spoken.cursor.setPosition(block.position() + block.layout()->lineAt(l).textStart());
            spoken.format.setBackground(QColor(255, 236, 140));
            spoken.format.setProperty(QTextFormat::FullWidthSelection, true);
            selections << spoken;
        }
    }
    for (const PaneMark& mark : marks) {
        const QTextBlock marked = textPane_->document()->findBlockByNumber(mark.line);
        if (!marked.isValid()) continue;
        QTextEdit::ExtraSelection part;
        part.cursor = QTextCursor(marked);
        part.cursor.setPosition(marked.position() + std::min(mark.from, marked.length() - 1));
        part.cursor.setPosition(marked.position() + std::min(mark.from + mark.length, marked.length() - 1),
                                QTextCursor::KeepAnchor);
        part.format.setForeground(QColor(mark.color.red, mark.color.green, mark.color.blue));
        part.format.setFontStrikeOut(mark.struckOut);
        part.format.setFontUnderline(!mark.struckOut);
        selections << part;
    }
    textPane_->setExtraSelections(selections);
}

}  // namespace ostrelle
