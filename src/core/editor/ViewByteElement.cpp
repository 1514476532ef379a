#include "core/editor/ViewByteElement.h"

#include "core/editor/CellHost.h"

void ViewByteElementClass::CreateCells(CellHost& window, quint16 rowId, quint16 lastBit, int left,
                                       int top, int step) {
  LastBit = qMin<quint16>(lastBit, 7);
  for (quint16 b = 0; b <= LastBit; ++b) {
    CreateBitCell(window, static_cast<quint16>(rowId * 10 + b), left + step * b, top, Cells[b]);
  }
}

CellView* ViewByteElementClass::Cell(quint16 bit) const {
  return bit <= LastBit && bit < Cells.size() ? Cells[bit].cell : nullptr;
}

quint8 ViewByteElementClass::GetByte() const {
  quint8 byte = 0;
  for (quint16 b = 0; b <= LastBit; ++b) {
    if (CellView* cell = Cell(b); cell && cell->Value()) byte |= static_cast<quint8>(1u << b);
  }
  return byte;
}

quint8 ViewByteElementClass::ShownBits() const {
  quint8 bits = 0;
  for (quint16 b = 0; b <= LastBit; ++b) {
    if (Cell(b)) bits |= static_cast<quint8>(1u << b);
  }
  return bits;
}

void ViewByteElementClass::SetByte(quint8 byte) {
  for (quint16 b = 0; b <= LastBit; ++b) SetBit(b, (byte >> b) & 1);
}

void ViewByteElementClass::ToggleBit(quint16 bit) {
  if (CellView* cell = Cell(bit)) cell->SetValue(cell->Value() ? 0 : 1);
}

void ViewByteElementClass::SetBit(quint16 bit, bool on) {
  if (CellView* cell = Cell(bit)) cell->SetValue(on ? 1 : 0);
}

ViewSlot* ViewByteElementClass::CellSlot(quint16 bit) {
  return Cell(bit) ? &Cells[bit] : nullptr;
}
