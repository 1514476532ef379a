#include "core/editor/ViewCLineBlock.h"

#include "core/editor/CellHost.h"
#include "core/image/ImageLayout.h"

ViewCLineBlockClass::~ViewCLineBlockClass() {
  Forget(Cells.data(), Cells.size());
}

void ViewCLineBlockClass::Setup(CellHost& window, quint16 rows) {
  if (!Attach(window, rows, kMaxRows)) return;
  Rows = rows;
}

void ViewCLineBlockClass::CreateCells(quint16 rows, int leftBasic, int leftAdditional, int top,
                                      int step) {
  if (!window_) return;
  for (quint16 r = 0; r < qMin(rows, Rows); ++r) {
    for (quint16 c = 0; c < kColumns; ++c) {
      const int left = c < 4 ? leftBasic + step * c : leftAdditional + step * (c - 4);
      CreateCLineCell(*window_, c, r, left, top + 24 * r, Cells[r * kColumns + c]);
    }
  }
}

CellView* ViewCLineBlockClass::Cell(int column, int row) const {
  if (column < 0 || column >= kColumns || row < 0 || row >= Rows) return nullptr;
  return Cells[row * kColumns + column].cell;
}

void ViewCLineBlockClass::LoadFromImage(const ConfigImage& image, bool day) {
  for (int r = 0; r < Rows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      if (CellView* cell = Cell(c, r)) cell->SetValue(image[IncomingCellOffset(day, r + 1, c + 1)]);
    }
  }
}

void ViewCLineBlockClass::StoreToImage(ConfigImage& buffer, bool day) const {
  for (int r = 0; r < Rows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      if (CellView* cell = Cell(c, r))
        buffer[IncomingCellOffset(day, r + 1, c + 1)] = cell->Value();
    }
  }
}

void ViewCLineBlockClass::Select(quint16 column, quint16 row) {
  if (Cell(column, row)) SelectSlot(*controller_, Cells[row * kColumns + column]);
}

std::optional<ViewCLineBlockClass::Position> ViewCLineBlockClass::CurrentPosition() const {
  if (!controller_) return std::nullopt;
  const ViewSlot* current = controller_->GetCurrent();
  if (!current || !current->cell) return std::nullopt;
  return Position{current->cell->Column, current->cell->Row};
}

std::optional<CellPlace> ViewCLineBlockClass::CurrentPlace() const {
  const CellView* cell = CurrentOf(Cells.data(), Cells.size());
  if (!cell) return std::nullopt;
  return CellPlace{cell->Row, cell->Column};
}

void ViewCLineBlockClass::SelectPlace(CellPlace place) {
  if (place.index >= 0 && place.bit >= 0) {
    Select(static_cast<quint16>(place.bit), static_cast<quint16>(place.index));
  }
}

void ViewCLineBlockClass::HandleKey(quint16 key, ShiftState shift) {
  Q_UNUSED(shift);
  const std::optional<Position> position = CurrentPosition();
  if (!position || !Cell(position->column, position->row)) return;
  const quint16 c = position->column;
  const quint16 r = position->row;
  // Right wraps from the last additional column to the first basic column of the next line;
  // Left does not wrap back.
  const auto right = [&] {
    if (c < kColumns - 1) {
      Select(c + 1, r);
    } else if (r + 1 < Rows) {
      Select(0, r + 1);
    }
  };
  switch (key) {
    case viewkey::kLeft:
      if (c > 0) Select(c - 1, r);
      break;
    case viewkey::kUp:
      if (r > 0) Select(c, r - 1);
      break;
    case viewkey::kRight:
      right();
      break;
    case viewkey::kDown:
      if (r + 1 < Rows) Select(c, r + 1);
      break;
    case viewkey::kPlus:
    case viewkey::kMinus:
      Cell(c, r)->SetDelaySign(key == viewkey::kPlus);
      right();
      break;
    default:
      break;
  }
}

void ViewCLineBlockClass::ForEachCell(const CellVisitor& visit) const {
  for (int r = 0; r < Rows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      if (CellView* cell = Cell(c, r)) visit(*cell, IncomingCellOffset(day_, r + 1, c + 1), 0xFF);
    }
  }
}
