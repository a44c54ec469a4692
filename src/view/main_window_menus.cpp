// The menu bar and its shortcuts.
#include "view/main_window.h"

#include "view/text_input_keys.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenuBar>

namespace ostrelle {

void MainWindow::BuildMenus() {
    Window& w = app_.window();
    const auto addEntries = [this, &w](QMenu* menu, const MenuEntries& entries) {
        for (const auto& [id, item] : entries) {
            // The presets of a submenu stand apart from the commands after them.
            if (!menu->actions().isEmpty() && menu->actions().back()->isCheckable() && !(w.*item).checkable)
                menu->addSeparator();
            QAction* action = menu->addAction((w.*item).caption);
            action->setShortcut(QKeySequence((w.*item).shortcut));
            action->setShortcutContext(Qt::WindowShortcut);
            action->setCheckable((w.*item).checkable);
            // The model decides the tick; a click only gives the command.
            connect(action, &QAction::triggered, this,
                    [this, command = id] { Handle([this, command] { app_.Run(command); }); });
            actions_.emplace_back(id, action);
            menuItems_.emplace_back(action, item);
        }
    };
    for (const MenuSection& section : MenuBar()) {
        QMenu* menu = menuBar()->addMenu((w.*section.top).caption);
        topMenus_.emplace_back(menu->menuAction(), section.top);
        addEntries(menu, section.entries);
        for (const MenuSubsection& submenu : section.submenus) {
            QMenu* sub = menu->addMenu((w.*submenu.top).caption);
            topMenus_.emplace_back(sub->menuAction(), submenu.top);
            addEntries(sub, submenu.entries);
        }
    }
}

bool MainWindow::RouteShortcutKey(QObject* watched, QEvent* event) const {
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (event->type() != QEvent::ShortcutOverride || !widget || widget->window() != this) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    // What the learner is typing must not move a segment's marks or clear the list.
    if ((EditsText(widget) && IsTextEditingKey(key->keyCombination())) ||
        TypesInto(widget, key->keyCombination())) {
        key->accept();
        return true;
    }
    // Other keys an editable widget would take for itself (X11 line edits erase the line on Ctrl+U): in this
    // window the menu's shortcuts come first, whatever has the focus.
    const QKeySequence pressed(key->keyCombination());
    for (const auto& [id, action] : actions_) {
        if (action->isEnabled() && action->shortcut() == pressed) return true;
    }
    return false;
}

void MainWindow::RenderMenus() {
    const Window& w = app_.window();
    for (const auto& [action, item] : menuItems_) {
        const MenuItem& model = w.*item;
        if (action->text() != model.caption) action->setText(model.caption);
        action->setEnabled(model.enabled);
        action->setVisible(model.visible);
        if (model.checkable) action->setChecked(model.checked);
    }
    for (const auto& [action, item] : topMenus_)
        action->setEnabled((w.*item).enabled);
}

}  // namespace ostrelle
