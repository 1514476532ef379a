#include "core/editor/ViewByteBlock.h"

#include "core/editor/CellHost.h"

#include "core/image/ImageLayout.h"
#include "core/station/ImageAccess.h"

ViewByteBlockClass::~ViewByteBlockClass() {
  for (const ViewByteElementClass& element : Elements) {
    Forget(element.Cells.data(), element.Cells.size());
  }
}

void ViewByteBlockClass::Setup(CellHost& window, quint16 rows, quint16 firstRow, quint16 lastBit,
                               int left, int top, int step) {
  if (!Attach(window, rows, kMaxRows)) return;
  Rows = rows;
  FirstRow = firstRow;
  for (quint16 i = 0; i < Rows; ++i) {
    Elements[i].CreateCells(window, static_cast<quint16>(FirstRow + i), lastBit, left, top + 15 * i,
                            step);
  }
}

int ViewByteBlockClass::RegionRows() const {
  return qMin<int>(Rows, RegionRowCount(Selector));
}

void ViewByteBlockClass::LoadFromImage(const ConfigImage& image, quint8 descriptor) {
  Selector = descriptor;
  const bool lineBits = IsLineBitRegion(descriptor);
  for (int i = 0; i < RegionRows(); ++i) {
    quint8 byte = image[RegionOffset(descriptor, i)];
    if (lineBits) byte = LineBitsToColumns(byte);
    Elements[i].SetByte(byte);
  }
}

void ViewByteBlockClass::StoreToImage(ConfigImage& buffer) const {
  const bool lineBits = IsLineBitRegion(Selector);
  // Only the bits that have a cell are taken from the window: the others (lines beyond this
  // station's boards) keep what the image holds, so a bigger station can still use them.
  for (int i = 0; i < RegionRows(); ++i) {
    quint8 byte = Elements[i].GetByte();
    quint8 shown = Elements[i].ShownBits();
    if (lineBits) {
      byte = ColumnsToLineBits(byte);
      shown = ColumnsToLineBits(shown);
    }
    quint8& stored = buffer[RegionOffset(Selector, i)];
    stored = static_cast<quint8>((stored & ~shown) | (byte & shown));
  }
}

void ViewByteBlockClass::StoreIfEdited() {
  if (!window_ || !controller_->Edited) return;
  ConfigImage copy = window_->Station().Image();
  StoreToImage(copy);
  window_->Station().SetImage(copy);
}

void ViewByteBlockClass::StorePairIfEdited(ViewByteBlockClass& other) {
  if (!window_ || !controller_->Edited) return;
  ConfigImage copy = window_->Station().Image();
  StoreToImage(copy);
  other.StoreToImage(copy);
  window_->Station().SetImage(copy);
}

void ViewByteBlockClass::Select(quint16 rowId, quint16 bit) {
  if (!Contains(rowId)) return;
  ViewSlot* slot = Elements[rowId - FirstRow].CellSlot(bit);
  if (slot) SelectSlot(*controller_, *slot);
}

std::optional<ViewByteBlockClass::Position> ViewByteBlockClass::CurrentPosition() const {
  if (!controller_) return std::nullopt;
  const ViewSlot* current = controller_->GetCurrent();
  if (!current || !current->cell) return std::nullopt;
  const quint16 id = current->cell->Id;
  return Position{static_cast<quint16>(id / 10), static_cast<quint16>(id % 10)};
}

std::optional<CellPlace> ViewByteBlockClass::CurrentPlace() const {
  for (quint16 i = 0; i < Rows; ++i) {
    if (const CellView* cell = CurrentOf(Elements[i].Cells.data(), Elements[i].Cells.size())) {
      return CellPlace{i, cell->Id % 10};
    }
  }
  return std::nullopt;
}

void ViewByteBlockClass::SelectPlace(CellPlace place) {
  Select(static_cast<quint16>(FirstRow + place.index), static_cast<quint16>(place.bit));
}

void ViewByteBlockClass::HandleKey(quint16 key, ShiftState shift) {
  Q_UNUSED(shift);
  const std::optional<Position> position = CurrentPosition();
  if (!position || !Contains(position->rowId)) return;
  const quint16 row = position->rowId;
  const quint16 bit = position->bit;
  ViewByteElementClass& element = Elements[row - FirstRow];
  const quint16 last = element.LastBit;
  const quint16 final = static_cast<quint16>(FirstRow + Rows - 1);
  const auto right = [&] {
    if (bit < last) {
      Select(row, bit + 1);
    } else if (row < final) {
      Select(row + 1, 0);
    }
  };
  switch (key) {
    case viewkey::kEnter:
      element.ToggleBit(bit);
      break;
    case viewkey::kLeft:
      if (bit > 0) {
        Select(row, bit - 1);
      } else if (row > FirstRow) {
        Select(row - 1, Elements[row - 1 - FirstRow].LastBit);
      }
      break;
    case viewkey::kUp:
      if (row > FirstRow) Select(row - 1, bit);
      break;
    case viewkey::kRight:
      right();
      break;
    case viewkey::kDown:
      if (row < final) Select(row + 1, bit);
      break;
    case viewkey::kPlus:
      element.SetBit(bit, true);
      right();
      break;
    case viewkey::kMinus:
      element.SetBit(bit, false);
      right();
      break;
    default:
      break;
  }
}

void ViewByteBlockClass::ForEachCell(const CellVisitor& visit) const {
  const bool lineBits = IsLineBitRegion(Selector);
  for (int i = 0; i < RegionRows(); ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      CellView* cell = Elements[i].Cells[bit].cell;
      if (!cell) continue;
      const quint8 column = static_cast<quint8>(1u << bit);
      visit(*cell, RegionOffset(Selector, i), lineBits ? ColumnsToLineBits(column) : column);
    }
  }
}
