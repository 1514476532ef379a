#pragma once

#include <functional>
#include <optional>

#include "core/editor/ViewControl.h"
#include "core/image/ConfigImage.h"

class CellHost;

// A place in a block, the same in every block of a window: the row (or id) counted from the
// block's first, and the bit within the row (0 for blocks without bits). Tab moves to the same
// place in the other block.
struct CellPlace {
  int index = 0;
  int bit = 0;
};

// What the three block kinds share, so that a table window's cycle treats its blocks alike:
// the window and controller they work with, their share of the current cell, the first cell,
// Tab's counterpart, and loading and storing their region of the image, once bound to it.
class CellBlock {
 public:
  virtual ~CellBlock() = default;

  // The current cell is one of this block's.
  bool HoldsCurrent() const { return CurrentPlace().has_value(); }
  virtual void HandleKey(quint16 key, ShiftState shift) = 0;
  // Row 0 and bit 0, column 0 of line 1, or the first id.
  virtual void SelectFirst() = 0;
  virtual std::optional<CellPlace> CurrentPlace() const = 0;
  // Nothing happens where the block has no cell.
  virtual void SelectPlace(CellPlace place) = 0;
  // The region the block was bound to, read from and written to an image.
  virtual void Load(const ConfigImage& image) = 0;
  virtual void Store(ConfigImage& buffer) const = 0;
  // Every cell with the image bits it stores into: the byte's offset and the bits' mask.
  using CellVisitor = std::function<void(CellView& cell, int offset, quint8 mask)>;
  virtual void ForEachCell(const CellVisitor& visit) const = 0;

 protected:
  // Keeps the window and its controller; a size above the block's maximum is refused with the
  // error box, and then false.
  bool Attach(CellHost& window, int size, int maximum);
  // The controller's current cell when it is one of the `count` slots from `first`.
  const CellView* CurrentOf(const ViewSlot* first, size_t count) const;
  // A block going away drops its slots from the controller.
  void Forget(const ViewSlot* first, size_t count);

  CellHost* window_ = nullptr;
  ViewControllerClass* controller_ = nullptr;
};
