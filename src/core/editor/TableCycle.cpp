#include "core/editor/TableCycle.h"

#include "core/base/OperatorUi.h"
#include "core/editor/CellHost.h"
#include "core/image/ImageLayout.h"
#include "core/station/ImageAccess.h"

TableCycle::TableCycle(CellHost& cells, Options options, std::function<void()> close)
    : cells_(cells),
      options_(options),
      close_(std::move(close)),
      // A window keeps the half it was opened for, whatever is chosen meanwhile.
      day_(cells.Station().DayMode()) {}

TableCycle::~TableCycle() = default;

template <class Block>
Block& TableCycle::Add(std::unique_ptr<Block> block) {
  Block& added = *block;
  blocks_.push_back(std::move(block));
  return added;
}

ViewByteBlockClass& TableCycle::AddByteBlock(int kind) {
  auto block = std::make_unique<ViewByteBlockClass>();
  block->Bind(RegionDescriptor(day_, kind));
  byteBlocks_.push_back(block.get());
  return Add(std::move(block));
}

ViewCLineBlockClass& TableCycle::AddCLineBlock() {
  auto block = std::make_unique<ViewCLineBlockClass>();
  block->Bind(day_);
  return Add(std::move(block));
}

ViewIntBlockClass& TableCycle::AddIntBlock(std::vector<std::pair<int, quint16>> kindsAtSlots) {
  std::vector<ViewIntBlockClass::Region> regions;
  for (const auto& [kind, slot] : kindsAtSlots) {
    regions.emplace_back(RegionDescriptor(day_, kind), slot);
  }
  auto block = std::make_unique<ViewIntBlockClass>();
  block->Bind(std::move(regions));
  return Add(std::move(block));
}

void TableCycle::Start() {
  ViewControllerClass& controller = cells_.Controller();
  controller.Reset();
  const ConfigImage& image = cells_.Station().Image();
  for (const auto& block : blocks_) block->Load(image);
  controller.Activate();
  if (!blocks_.empty()) blocks_.front()->SelectFirst();
}

void TableCycle::RefreshMarks() {
  const ImageAccess& station = cells_.Station();
  // Unedited, the window hands nothing over and the held image stays as it is.
  ConfigImage handed = station.Image();
  if (cells_.Controller().Edited) {
    for (const auto& block : blocks_) block->Store(handed);
  }
  const ConfigImage& written = station.StationImage();
  for (const auto& block : blocks_) {
    block->ForEachCell([&](CellView& cell, int offset, quint8 mask) {
      cell.ShowChanged(((handed[offset] ^ written[offset]) & mask) != 0);
    });
  }
}

void TableCycle::Commit() {
  // A window that built nothing (the city-line window made at start-up) touches nothing.
  if (blocks_.empty()) return;
  if (byteBlocks_.size() == blocks_.size() && byteBlocks_.size() <= 2) {
    if (byteBlocks_.size() == 1) {
      byteBlocks_[0]->StoreIfEdited();
    } else {
      byteBlocks_[0]->StorePairIfEdited(*byteBlocks_[1]);
    }
    return;
  }
  if (!cells_.Controller().Edited) return;
  ConfigImage copy = cells_.Station().Image();
  for (const auto& block : blocks_) block->Store(copy);
  cells_.Station().SetImage(copy);
}

CellBlock* TableCycle::CurrentBlock() const {
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
  CellBlock* current = CurrentBlock();
  if (!current) return;
  if (key == viewkey::kTab) {
    if (!options_.tabBetweenBlocks || blocks_.size() != 2) return;
    CellBlock* other = current == blocks_[0].get() ? blocks_[1].get() : blocks_[0].get();
    if (const std::optional<CellPlace> place = current->CurrentPlace()) other->SelectPlace(*place);
    return;
  }
  current->HandleKey(key, shift);
}

void TableCycle::FormKeyPress(QObject* sender, QChar& character) {
  TableKeyHandlers::FormKeyPress(sender, character);
  if (options_.signsTypeHash && (character == u'+' || character == u'-')) character = u'#';
}
