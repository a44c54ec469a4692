#include "view/usage_window.h"

#include "core/model/commands.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QVBoxLayout>

namespace ostrelle {

UsageWindow::UsageWindow(const QString& instructions, const Window& window, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("操作方法"));
    resize(560, 600);
    auto* layout = new QVBoxLayout(this);

    instructions_ = new QPlainTextEdit(instructions, this);
    instructions_->setReadOnly(true);
    layout->addWidget(instructions_, 2);

    layout->addWidget(new QLabel(QString::fromUtf8("快捷键"), this));
    shortcuts_ = new QTableWidget(this);
    shortcuts_->setColumnCount(3);
    shortcuts_->setHorizontalHeaderLabels(
        {QString::fromUtf8("菜单"), QString::fromUtf8("命令"), QString::fromUtf8("快捷键")});
    shortcuts_->verticalHeader()->hide();
    shortcuts_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    shortcuts_->setSelectionMode(QAbstractItemView::NoSelection);
    // Menu captions carry their mnemonic markers ("文件(&F)"); the table shows plain names.
    const auto plain = [](QString caption) { return caption.remove(u'&').trimmed(); };
    const auto addShortcuts = [&](const QString& menu, const MenuEntries& entries) {
        for (const auto& [command, item] : entries) {
            const MenuItem& entry = window.*item;
            if (entry.shortcut.isEmpty()) continue;
            const int row = shortcuts_->rowCount();
            shortcuts_->insertRow(row);
            shortcuts_->setItem(row, 0, new QTableWidgetItem(menu));
            shortcuts_->setItem(row, 1, new QTableWidgetItem(plain(entry.caption)));
            shortcuts_->setItem(
                row, 2,
                new QTableWidgetItem(QKeySequence(entry.shortcut).toString(QKeySequence::NativeText)));
        }
    };
    for (const MenuSection& section : MenuBar()) {
        const QString menu = plain((window.*section.top).caption);
        addShortcuts(menu, section.entries);
        for (const MenuSubsection& submenu : section.submenus)
            addShortcuts(menu + QStringLiteral(" › ") + plain((window.*submenu.top).caption),
                         submenu.entries);
    }
    shortcuts_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    layout->addWidget(shortcuts_, 3);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

}  // namespace ostrelle
