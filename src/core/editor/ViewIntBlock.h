#pragma once

#include <array>
#include <optional>

#include <utility>
#include <vector>

#include "core/editor/CellBlock.h"

class CellHost;

// Integer cells in one or more columns, one image byte each: the added digits and the general
// functions. Slot k holds the cell whose id is FirstId + k, or nothing, so a block may reserve
// more ids than it has cells.
class ViewIntBlockClass : public CellBlock {
 public:
  ViewIntBlockClass() = default;
  ~ViewIntBlockClass() override;
  ViewIntBlockClass(const ViewIntBlockClass&) = delete;
  ViewIntBlockClass& operator=(const ViewIntBlockClass&) = delete;

  static constexpr quint16 kMaxCapacity = 10;

  quint16 Capacity = 0;
  quint16 FirstId = 0;
  std::array<ViewSlot, kMaxCapacity> Cells;

  // A capacity above 10 is refused with an error box, and the block stays empty.
  void Setup(CellHost& window, quint16 capacity, quint16 firstId);
  // One column of n cells from slot firstSlot down.
  void AddCells(quint16 n, quint16 firstSlot, int left, int top, quint16 digits);
  void LoadFromImage(const ConfigImage& image, quint8 descriptor, quint16 firstSlot);
  // The regions a window's cycle loads, each into the cells from its first slot on.
  using Region = std::pair<quint8, quint16>;
  void Bind(std::vector<Region> regions) { regions_ = std::move(regions); }
  void StoreToImage(ConfigImage& buffer, quint8 descriptor, quint16 firstSlot) const;
  // Nothing happens for an id whose slot holds no cell.
  void Select(quint16 id);
  bool Contains(quint16 id) const { return id >= FirstId && id < FirstId + Capacity; }
  std::optional<quint16> CurrentPosition() const;
  void HandleKey(quint16 key, ShiftState shift) override;

  void SelectFirst() override { Select(FirstId); }
  std::optional<CellPlace> CurrentPlace() const override;
  void SelectPlace(CellPlace place) override;
  void Load(const ConfigImage& image) override;
  void Store(ConfigImage& buffer) const override;
  void ForEachCell(const CellVisitor& visit) const override;

 private:
  CellView* Cell(int slot) const;

  std::vector<Region> regions_;
};
