#pragma once

#include "core/model/window_model.h"

#include <QDialog>

class QPlainTextEdit;
class QTableWidget;

namespace ostrelle {

// How to use the program: the introduction's text, then every menu command with its shortcut.
class UsageWindow : public QDialog {
public:
    UsageWindow(const QString& instructions, const Window& window, QWidget* parent = nullptr);

    QPlainTextEdit* Instructions() const { return instructions_; }
    QTableWidget* Shortcuts() const { return shortcuts_; }

private:
    QPlainTextEdit* instructions_;
    QTableWidget* shortcuts_;
};

}  // namespace ostrelle
