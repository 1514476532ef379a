#include "editor/ViewIntElement.h"

#include <QMouseEvent>

#include "editor/CellWidgets.h"

ViewIntElementClass::ViewIntElementClass(QWidget* window, ViewControllerClass& controller)
    : QLineEdit(window), IntCellView(controller) {
  connect(this, &QLineEdit::textChanged, this, [this] { Change(); });
}

void ViewIntElementClass::ReplaceText(const QString& text, bool caretAtEnd) {
  ReplaceEditText(this, text, caretAtEnd);
}

void ViewIntElementClass::Paint(bool highlighted) {
  PaintEdit(this, highlighted);
}

void ViewIntElementClass::mouseReleaseEvent(QMouseEvent* event) {
  QLineEdit::mouseReleaseEvent(event);
  if (IsClick(this, event)) Click();
}
