#pragma once

#include <QString>

class QLineEdit;
class QMouseEvent;
class QWidget;

// What the cell widgets share.

// The control name "Lab" and at most four digits of the number, and the cells' 10-point font.
void NameCell(QWidget* cell, int number);
// Sets an edit's text without its change signal and puts the caret at the front or the end.
void ReplaceEditText(QLineEdit* edit, const QString& text, bool caretAtEnd);
// Edit cells show their current state by the keyboard focus; the colour is the system's
// highlighted-text colour, which is usually as white as the normal one.
void PaintEdit(QLineEdit* edit, bool highlighted);
// A left-button click that ended inside the edit.
bool IsClick(QLineEdit* edit, QMouseEvent* event);
