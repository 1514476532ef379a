#pragma once

#include <utility>
#include <vector>

#include "core/editor/ViewByteBlock.h"
#include "core/editor/ViewCLineBlock.h"
#include "core/editor/ViewIntBlock.h"

// A block of a table window together with the image regions it shows, so that a window's
// cycle (load, keys, Tab, store) can treat its blocks alike.
class TableBlock {
 public:
  virtual ~TableBlock() = default;

  // The current cell is one of this block's.
  virtual bool HoldsCurrent() const = 0;
  virtual void HandleKey(quint16 key, ShiftState shift) = 0;
  // Row 0 and bit 0, column 0 of line 1, or the first id.
  virtual void SelectFirst() = 0;
  // Tab: the cell at the current cell's place in this block (the same row and bit, or the same
  // row of the other column); nothing when there is no such cell.
  virtual void SelectCounterpartOf(const TableBlock& from) = 0;
  virtual void Load(const ConfigImage& image) = 0;
  virtual void Store(ConfigImage& buffer) const = 0;
};

class ByteTableBlock : public TableBlock {
 public:
  explicit ByteTableBlock(quint8 descriptor) : descriptor_(descriptor) {}
  ViewByteBlockClass block;

  bool HoldsCurrent() const override;
  void HandleKey(quint16 key, ShiftState shift) override { block.HandleKey(key, shift); }
  void SelectFirst() override { block.Select(block.FirstRow, 0); }
  void SelectCounterpartOf(const TableBlock& from) override;
  void Load(const ConfigImage& image) override { block.LoadFromImage(image, descriptor_); }
  void Store(ConfigImage& buffer) const override { block.StoreToImage(buffer); }

 private:
  quint8 descriptor_;
};

class CLineTableBlock : public TableBlock {
 public:
  explicit CLineTableBlock(bool day) : day_(day) {}
  ViewCLineBlockClass block;

  bool HoldsCurrent() const override { return block.CurrentPosition().has_value(); }
  void HandleKey(quint16 key, ShiftState shift) override { block.HandleKey(key, shift); }
  void SelectFirst() override { block.Select(0, 0); }
  void SelectCounterpartOf(const TableBlock&) override {}
  void Load(const ConfigImage& image) override { block.LoadFromImage(image, day_); }
  void Store(ConfigImage& buffer) const override { block.StoreToImage(buffer, day_); }

 private:
  bool day_;
};

class IntTableBlock : public TableBlock {
 public:
  // Each region is loaded into the cells from its first slot on.
  using Region = std::pair<quint8, quint16>;
  explicit IntTableBlock(std::vector<Region> regions) : regions_(std::move(regions)) {}
  ViewIntBlockClass block;

  bool HoldsCurrent() const override;
  void HandleKey(quint16 key, ShiftState shift) override { block.HandleKey(key, shift); }
  void SelectFirst() override { block.Select(block.FirstId); }
  void SelectCounterpartOf(const TableBlock& from) override;
  void Load(const ConfigImage& image) override;
  void Store(ConfigImage& buffer) const override;

 private:
  std::vector<Region> regions_;
};
