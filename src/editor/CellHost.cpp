#include "editor/CellHost.h"

#include "shell/OperatorUi.h"

void CreateBitCell(CellHost& window, quint16 id, int left, int top, ViewSlot& slot) {
  CellView* cell = window.NewBitCell(id, left, top);
  cell->Id = id;
  cell->Slot = &slot;
  slot.cell = cell;
}

void CreateIntCell(CellHost& window, quint16 id, int left, int top, quint16 digits,
                   ViewSlot& slot) {
  CellView* cell = window.NewIntCell(id, left, top, digits);
  cell->Id = id;
  cell->Slot = &slot;
  slot.cell = cell;
}

void CreateCLineCell(CellHost& window, quint16 column, quint16 row, int left, int top,
                     ViewSlot& slot) {
  CellView* cell = window.NewCLineCell(column, row, left, top);
  cell->Column = column;
  cell->Row = row;
  cell->Slot = &slot;
  slot.cell = cell;
}

bool RefuseSize(CellHost& window, int size, int maximum) {
  if (size <= maximum) return false;
  window.Ui().InfoBox(kInvalidRowNumber, true);
  return true;
}
