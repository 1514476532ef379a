#include "core/tables/TableCycle.h"

#include "core/editor/CellHost.h"
#include "core/base/OperatorUi.h"
#include "core/station/ImageAccess.h"
#include "core/tables/ImageLayout.h"

TableCycle::TableCycle(CellHost& cells, Options options, std::function<void()> close)
    : cells_(cells),
      options_(options),
      close_(std::move(close)),
      // A window keeps the half it was opened for, whatever is chosen meanwhile.
      day_(cells.Station().DayMode()) {}

TableCycle::~TableCycle() = default;

ByteTableBlock& TableCycle::AddByteBlock(int kind) {
  auto block = std::make_unique<ByteTableBlock>(RegionDescriptor(day_, kind));
  ByteTableBlock& added = *block;
  blocks_.push_back(std::move(block));
  return added;
}

CLineTableBlock& TableCycle::AddCLineBlock() {
  auto block = std::make_unique<CLineTableBlock>(day_);
  CLineTableBlock& added = *block;
  blocks_.push_back(std::move(block));
  return added;
}

IntTableBlock& TableCycle::AddIntBlock(std::vector<std::pair<int, quint16>> kindsAtSlots) {
  std::vector<IntTableBlock::Region> regions;
  for (const auto& [kind, slot] : kindsAtSlots) {
    regions.emplace_back(RegionDescriptor(day_, kind), slot);
  }
  auto block = std::make_unique<IntTableBlock>(std::move(regions));
  IntTableBlock& added = *block;
  blocks_.push_back(std::move(block));
  return added;
}

void TableCycle::Start() {
  ViewControllerClass& controller = cells_.Controller();
  controller.Reset();
  const ConfigImage& image = cells_.Station().Image();
  for (const auto& block : blocks_) block->Load(image);
  controller.Activate();
  if (!blocks_.empty()) blocks_.front()->SelectFirst();
}

void TableCycle::Commit() {
  // A window that built nothing (the city-line window made at start-up) touches nothing.
  if (blocks_.empty() || !cells_.Controller().Edited) return;
  ConfigImage copy = cells_.Station().Image();
  for (const auto& block : blocks_) block->Store(copy);
  cells_.Station().SetImage(copy);
}

TableBlock* TableCycle::CurrentBlock() const {
  for (const auto& block : blocks_) {
    if (block->HoldsCurrent()) return block.get();
  }
  return nullptr;
}

void TableCycle::UserActiveKey(quint16 key, ShiftState shift) {
  switch (key) {
    case viewkey::kEsc:
      close_();
      return;
    case viewkey::kF1:
      cells_.Ui().ShowHelp(options_.helpTopic);
      return;
    default:
      break;
  }
  // The current block is the one that holds the current cell, so a cell chosen with the mouse
  // counts for its own block.
  TableBlock* current = CurrentBlock();
  if (!current) return;
  if (key == viewkey::kTab) {
    if (!options_.tabBetweenBlocks || blocks_.size() != 2) return;
    TableBlock* other = current == blocks_[0].get() ? blocks_[1].get() : blocks_[0].get();
    other->SelectCounterpartOf(*current);
    return;
  }
  current->HandleKey(key, shift);
}

void TableCycle::FormKeyPress(QObject* sender, QChar& character) {
  TableKeyHandlers::FormKeyPress(sender, character);
  if (options_.signsTypeHash && (character == u'+' || character == u'-')) character = u'#';
}
