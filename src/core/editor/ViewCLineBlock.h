#pragma once

#include <array>
#include <optional>

#include "core/editor/ViewControl.h"
#include "core/files/ConfigImage.h"

class CellHost;

// Rows of eight city-line cells, one row per city line: columns 0..3 the basic mode and 4..7
// the additional mode of the table of calls from city lines. The cell of row r, column c is in
// slot r * 8 + c.
class ViewCLineBlockClass {
 public:
  ViewCLineBlockClass() = default;
  ~ViewCLineBlockClass();
  ViewCLineBlockClass(const ViewCLineBlockClass&) = delete;
  ViewCLineBlockClass& operator=(const ViewCLineBlockClass&) = delete;

  static constexpr quint16 kMaxRows = 8;
  static constexpr quint16 kColumns = 8;

  quint16 Rows = 0;
  std::array<ViewSlot, kMaxRows * kColumns> Cells;

  // More than 8 rows are refused with an error box, and the block stays empty.
  void Setup(CellHost& window, quint16 rows);
  void CreateCells(quint16 rows, int leftBasic, int leftAdditional, int top, int step);
  void LoadFromImage(const ConfigImage& image, bool day);
  void StoreToImage(ConfigImage& buffer, bool day) const;
  void Select(quint16 column, quint16 row);
  struct Position {
    quint16 column;
    quint16 row;
  };
  std::optional<Position> CurrentPosition() const;
  void HandleKey(quint16 key, ShiftState shift);

 private:
  CellView* Cell(int column, int row) const;

  CellHost* window_ = nullptr;
  ViewControllerClass* controller_ = nullptr;
};
