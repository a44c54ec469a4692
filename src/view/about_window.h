#pragma once

#include <QDialog>

class QPushButton;

namespace ostrelle {

// The About window: what the program is, who makes it, where to report problems.
class AboutWindow : public QDialog {
public:
    explicit AboutWindow(QWidget* parent = nullptr);
    QPushButton* CloseButton() const { return close_; }

private:
    QPushButton* close_;
};

}  // namespace ostrelle
