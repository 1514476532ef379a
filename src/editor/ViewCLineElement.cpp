#include "editor/ViewCLineElement.h"

#include <QMouseEvent>

#include "editor/CellWidgets.h"

ViewCLineElementClass::ViewCLineElementClass(QWidget* window, ViewControllerClass& controller)
    : QLineEdit(window), CLineCellView(controller) {
  connect(this, &QLineEdit::textChanged, this, [this] { Change(); });
}

void ViewCLineElementClass::ReplaceText(const QString& text, bool caretAtEnd) {
  ReplaceEditText(this, text, caretAtEnd);
}

void ViewCLineElementClass::Paint(bool highlighted) {
  PaintEdit(this, highlighted);
}

void ViewCLineElementClass::mouseReleaseEvent(QMouseEvent* event) {
  QLineEdit::mouseReleaseEvent(event);
  if (IsClick(this, event)) Click();
}
