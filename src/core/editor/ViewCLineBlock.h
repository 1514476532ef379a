#pragma once

#include <array>
#include <optional>

#include "core/editor/CellBlock.h"

class CellHost;

// Rows of eight city-line cells, one row per city line: columns 0..3 the basic mode and 4..7
// the additional mode of the table of calls from city lines. The cell of row r, column c is in
// slot r * 8 + c.
class ViewCLineBlockClass : public CellBlock {
 public:
  ViewCLineBlockClass() = default;
  ~ViewCLineBlockClass() override;
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
  // The half a window's cycle loads: the one given here.
  void Bind(bool day) { day_ = day; }
  void StoreToImage(ConfigImage& buffer, bool day) const;
  void Select(quint16 column, quint16 row);
  struct Position {
    quint16 column;
    quint16 row;
  };
  std::optional<Position> CurrentPosition() const;
  void HandleKey(quint16 key, ShiftState shift) override;

  void SelectFirst() override { Select(0, 0); }
  std::optional<CellPlace> CurrentPlace() const override;
  void SelectPlace(CellPlace place) override;
  void Load(const ConfigImage& image) override { LoadFromImage(image, day_); }
  void Store(ConfigImage& buffer) const override { StoreToImage(buffer, day_); }
  void ForEachCell(const CellVisitor& visit) const override;

 private:
  CellView* Cell(int column, int row) const;

  bool day_ = true;
};
