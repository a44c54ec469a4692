#pragma once

#include <QKeyCombination>

class QWidget;

namespace ostrelle {

// Whether the learner types text in the widget: an editable line, text, spin box or combo box. A read-only
// text such as the lesson pane is not one.
bool EditsText(const QWidget* widget);

// The keys a text input edits with, whatever else they are bound to: the arrows, Home and End, Backspace and
// Delete with any modifier, and Ctrl+A, C, X, V, Z, Y and Ctrl+Shift+Z.
bool IsTextEditingKey(QKeyCombination key);

}  // namespace ostrelle
