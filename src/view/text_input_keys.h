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
// Whether key is a character typed into widget, a text input (not a repeat box): the review's grade keys
// (digits, Space) must not take the characters out of a line being typed.
bool TypesInto(const QWidget* widget, QKeyCombination key);

}  // namespace ostrelle
