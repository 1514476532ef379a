#include "core/editor/CellHost.h"

#include "core/base/OperatorUi.h"

namespace {

// The new cell goes into its slot and knows it.
CellView* Place(CellView* cell, ViewSlot& slot) {
  cell->Slot = &slot;
  slot.cell = cell;
  return cell;
}

}  // namespace

void CreateBitCell(CellHost& window, quint16 id, int left, int top, ViewSlot& slot) {
  Place(window.NewBitCell(id, left, top), slot)->Id = id;
}

void CreateIntCell(CellHost& window, quint16 id, int left, int top, quint16 digits,
                   ViewSlot& slot) {
  Place(window.NewIntCell(id, left, top, digits), slot)->Id = id;
}

void CreateCLineCell(CellHost& window, quint16 column, quint16 row, int left, int top,
                     ViewSlot& slot) {
  CellView* cell = Place(window.NewCLineCell(column, row, left, top), slot);
  cell->Column = column;
  cell->Row = row;
}

bool RefuseSize(CellHost& window, int size, int maximum) {
  if (size <= maximum) return false;
  window.Ui().InfoBox(kInvalidRowNumber, true);
  return true;
}
