#pragma once

#include <array>
#include <optional>

#include "core/editor/CellBlock.h"
#include "core/editor/ViewByteElement.h"

class CellHost;

// Rows of byte cells bound to one per-row region of the image: the service and access tables.
// A row id is FirstRow + row index, unique within the window, so the bit cells' ids are too.
class ViewByteBlockClass : public CellBlock {
 public:
  ViewByteBlockClass() = default;
  ~ViewByteBlockClass() override;
  ViewByteBlockClass(const ViewByteBlockClass&) = delete;
  ViewByteBlockClass& operator=(const ViewByteBlockClass&) = delete;

  static constexpr quint16 kMaxRows = 24;

  quint16 Rows = 0;
  quint16 FirstRow = 0;
  std::array<ViewByteElementClass, kMaxRows> Elements;
  // The region descriptor of the last load; storing writes back to the same region.
  quint8 Selector = 0;

  // More than 24 rows are refused with an error box, and the block stays empty.
  void Setup(CellHost& window, quint16 rows, quint16 firstRow, quint16 lastBit, int left, int top,
             int step);
  void LoadFromImage(const ConfigImage& image, quint8 descriptor);
  // The region a window's cycle loads: the one given here.
  void Bind(quint8 descriptor) { bound_ = descriptor; }
  void StoreToImage(ConfigImage& buffer) const;
  // Hands a changed copy of the station's image over only when a cell was edited.
  void StoreIfEdited();
  // Both blocks into one copy, this one first, with one hand-over.
  void StorePairIfEdited(ViewByteBlockClass& other);

  void Select(quint16 rowId, quint16 bit);
  bool Contains(quint16 rowId) const { return rowId >= FirstRow && rowId < FirstRow + Rows; }
  struct Position {
    quint16 rowId;
    quint16 bit;
  };
  // From the current bit cell's id; none without a current cell.
  std::optional<Position> CurrentPosition() const;
  void HandleKey(quint16 key, ShiftState shift) override;

  void SelectFirst() override { Select(FirstRow, 0); }
  std::optional<CellPlace> CurrentPlace() const override;
  void SelectPlace(CellPlace place) override;
  void Load(const ConfigImage& image) override { LoadFromImage(image, bound_); }
  void Store(ConfigImage& buffer) const override { StoreToImage(buffer); }
  void ForEachCell(const CellVisitor& visit) const override;

 private:
  // Rows that exist both in the block and in its region.
  int RegionRows() const;

  quint8 bound_ = 0;
};
