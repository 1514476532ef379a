#include "ui/editor/CellWidgets.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalBlocker>

void ReplaceEditText(QLineEdit* edit, const QString& text, bool caretAtEnd) {
  const QSignalBlocker quiet(edit);
  edit->setText(text);
  edit->setCursorPosition(caretAtEnd ? static_cast<int>(text.size()) : 0);
}

// Edit cells show their current state by the keyboard focus; the colour is the system's
// highlighted-text colour, which is usually as white as the normal one.
void PaintEdit(QLineEdit* edit, bool highlighted) {
  QPalette colours = edit->palette();
  colours.setColor(QPalette::Base, QApplication::palette().color(
                                       highlighted ? QPalette::HighlightedText : QPalette::Base));
  edit->setPalette(colours);
}

bool IsClick(QLineEdit* edit, QMouseEvent* event) {
  return event->button() == Qt::LeftButton && edit->rect().contains(event->position().toPoint());
}

void NameCell(QWidget* cell, int number) {
  cell->setObjectName(QStringLiteral("Lab") + QString::number(number).left(4));
  QFont font = cell->font();
  font.setPointSize(10);
  cell->setFont(font);
}
