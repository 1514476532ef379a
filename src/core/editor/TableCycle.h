#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "core/editor/KeyHandlers.h"
#include "core/editor/ViewByteBlock.h"
#include "core/editor/ViewCLineBlock.h"
#include "core/editor/ViewIntBlock.h"

class CellHost;

// What every table window does, without the window: it loads its blocks with the controller
// reset, activates the controller and selects the first cell; it decides every key (Esc
// closes, F1 opens the help topic, Tab moves to the other block where the window allows it,
// everything else goes to the block that holds the current cell); and when the window goes, it
// hands a changed copy of the image to the station only if a cell was edited: the service and
// access tables by their blocks' own StoreIfEdited and StorePairIfEdited.
class TableCycle : public TableKeyHandlers {
 public:
  struct Options {
    int helpTopic = 0;
    bool tabBetweenBlocks = false;
    // The city-line window: a typed "+" or "-" goes on to the cell as "#", which it discards.
    bool signsTypeHash = false;
  };
  TableCycle(CellHost& cells, Options options, std::function<void()> close);
  ~TableCycle() override;

  // The blocks in the window's order: the first is selected at the start and stored first.
  ViewByteBlockClass& AddByteBlock(int kind);
  ViewCLineBlockClass& AddCLineBlock();
  ViewIntBlockClass& AddIntBlock(std::vector<std::pair<int, quint16>> kindsAtSlots);

  // Loads the blocks from the station's image and selects the first cell.
  void Start();
  // Hands the edits to the station; runs when the window goes.
  void Commit();
  // Marks each cell whose value, as the window would hand it over now, differs from the image
  // last read from the station or written to it: what "Записать программирование" would change.
  void RefreshMarks();

  void UserActiveKey(quint16 key, ShiftState shift) override;
  void FormKeyPress(QObject* sender, QChar& character) override;

  bool Day() const { return day_; }

 private:
  CellBlock* CurrentBlock() const;
  template <class Block>
  Block& Add(std::unique_ptr<Block> block);

  CellHost& cells_;
  Options options_;
  std::function<void()> close_;
  bool day_;
  std::vector<std::unique_ptr<CellBlock>> blocks_;
  // The same blocks when they are all byte blocks (the service and access tables).
  std::vector<ViewByteBlockClass*> byteBlocks_;
};
