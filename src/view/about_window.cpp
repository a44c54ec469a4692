#include "view/about_window.h"

#include <QLabel>
#include <QPushButton>

namespace ostrelle {

AboutWindow::AboutWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("关于"));
    setFixedSize(360, 200);
    setStyleSheet(QStringLiteral("QDialog { background: rgb(240, 240, 240); }"));
    auto* backdrop = new QLabel(this);
    backdrop->setGeometry(0, 0, 360, 200);
    backdrop->setStyleSheet(QStringLiteral("background: rgb(255, 128, 255);"));
    const char* lines[] = {
        "Ostrelle 复读机：一句一句地听，一遍一遍地练。",
        "作者：Ostrelle 开发组",
        "使用中遇到问题，欢迎写信告诉我们。",
        "Ostrelle 开发组 出品",
    };
    int y = 20;
    for (const char* line : lines) {
        auto* label = new QLabel(QString::fromUtf8(line), this);
        label->setGeometry(20, y, 320, 24);
        y += 32;
    }
    close_ = new QPushButton(QString::fromUtf8("关闭"), this);
    close_->setGeometry(260, 160, 80, 28);
    connect(close_, &QPushButton::clicked, this, &QDialog::close);
}

}  // namespace ostrelle
