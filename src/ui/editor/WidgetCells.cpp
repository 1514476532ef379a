#include "ui/editor/WidgetCells.h"

#include "ui/editor/CellWidgets.h"
#include "ui/editor/KeyRouter.h"
#include "ui/editor/ViewBitElement.h"
#include "ui/editor/ViewCLineElement.h"
#include "ui/editor/ViewIntElement.h"

void WidgetCells::Place(QWidget* cell, int number, int left, int top, int width, int height) {
  NameCell(cell, number);
  cell->setGeometry(left, top, width, height);
  router_.Watch(cell);
  cell->show();
}

CellView* WidgetCells::NewBitCell(quint16 id, int left, int top) {
  auto* cell = new ViewBitElementClass(window_, controller_);
  Place(cell, id, left, top, ViewBitElementClass::kWidth, ViewBitElementClass::kHeight);
  return cell;
}

CellView* WidgetCells::NewIntCell(quint16 id, int left, int top, quint16 digits) {
  auto* cell = new ViewIntElementClass(window_, controller_);
  cell->Digits = digits;
  Place(cell, id, left, top, ViewIntElementClass::WidthFor(digits), ViewIntElementClass::kHeight);
  return cell;
}

CellView* WidgetCells::NewCLineCell(quint16 column, quint16 row, int left, int top) {
  auto* cell = new ViewCLineElementClass(window_, controller_);
  Place(cell, row * 8 + column, left, top, ViewCLineElementClass::kWidth,
        ViewCLineElementClass::kHeight);
  return cell;
}
