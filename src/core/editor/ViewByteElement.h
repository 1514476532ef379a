#pragma once

#include <array>

#include "core/editor/ViewControl.h"

class CellHost;

// A row of up to eight bit cells standing for one byte of the image, bit 0 first.
class ViewByteElementClass {
 public:
  std::array<ViewSlot, 8> Cells;
  quint16 LastBit = 0;

  void CreateCells(CellHost& window, quint16 rowId, quint16 lastBit, int left, int top, int step);
  // Bits above LastBit read as 0 and are ignored when set.
  quint8 GetByte() const;
  // The bits that have a cell; the rest of the byte is not this row's to change.
  quint8 ShownBits() const;
  void SetByte(quint8 byte);
  void ToggleBit(quint16 bit);
  // Setting a bit to the state it has does nothing at all; a change runs the cell's Click.
  void SetBit(quint16 bit, bool on);
  // None for a bit without a cell.
  ViewSlot* CellSlot(quint16 bit);

 private:
  CellView* Cell(quint16 bit) const;
};
