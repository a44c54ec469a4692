#include "view/text_input_keys.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace ostrelle {

bool EditsText(const QWidget* widget) {
    if (const auto* line = qobject_cast<const QLineEdit*>(widget)) return !line->isReadOnly();
    if (const auto* text = qobject_cast<const QTextEdit*>(widget)) return !text->isReadOnly();
    if (const auto* plain = qobject_cast<const QPlainTextEdit*>(widget)) return !plain->isReadOnly();
    if (const auto* spin = qobject_cast<const QAbstractSpinBox*>(widget)) return !spin->isReadOnly();
    // An editable box has the focus itself; its line edit only takes the keys on.
    if (const auto* combo = qobject_cast<const QComboBox*>(widget)) return combo->isEditable();
    return false;
}

bool IsTextEditingKey(QKeyCombination key) {
    switch (key.key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
            return true;
        default:
            break;
    }
    const Qt::KeyboardModifiers modifiers = key.keyboardModifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::ControlModifier) {
        switch (key.key()) {
            case Qt::Key_A:
            case Qt::Key_C:
            case Qt::Key_X:
            case Qt::Key_V:
            case Qt::Key_Z:
            case Qt::Key_Y:
                return true;
            default:
                return false;
        }
    }
    return modifiers == (Qt::ControlModifier | Qt::ShiftModifier) && key.key() == Qt::Key_Z;
}

bool TypesInto(const QWidget* widget, QKeyCombination key) {
    // A repeat box takes only its few choices: there the review's grades and Space stay shortcuts.
    if (!EditsText(widget) || qobject_cast<const QComboBox*>(widget)) return false;
    const Qt::KeyboardModifiers modifiers = key.keyboardModifiers() & ~Qt::KeypadModifier;
    return (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier) && key.key() >= Qt::Key_Space &&
           key.key() <= Qt::Key_AsciiTilde;
}

}  // namespace ostrelle
