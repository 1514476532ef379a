#include <gtest/gtest.h>

#include <random>

#include "FakeCells.h"
#include "core/editor/ViewByteBlock.h"
#include "core/editor/ViewCLineBlock.h"
#include "core/editor/ViewIntBlock.h"
#include "core/image/ImageLayout.h"

namespace {

using namespace viewkey;

ConfigImage RandomImage(unsigned seed) {
  std::mt19937 random(seed);
  ConfigImage image;
  for (auto& byte : image) byte = static_cast<std::uint8_t>(random());
  return image;
}

struct ByteBlockTest : ::testing::TestWithParam<quint16> {
  FakeCells window;
  ViewByteBlockClass block;

  void SetUp() override {
    block.Setup(window, 24, GetParam(), 7, 40, 30, 37);
    window.controller.Reset();
    block.LoadFromImage(window.station.image, RegionDescriptor(true, DVO1AbonentBasic));
    window.Activate();
  }
  quint16 Row(int index) const { return static_cast<quint16>(GetParam() + index); }
  std::pair<int, int> Where() const {
    const auto position = block.CurrentPosition();
    return position ? std::pair<int, int>{position->rowId - GetParam(), position->bit}
                    : std::pair<int, int>{-1, -1};
  }
  bool Bit(int row, int bit) const { return (block.Elements[row].GetByte() >> bit) & 1; }
};

}  // namespace

TEST_P(ByteBlockTest, NavigationFollowsTheKeyTable) {
  const struct {
    const char* name;
    int row, bit;
    quint16 key;
    int toRow, toBit;
  } rows[] = {
      {"Right wraps to the next row", 0, 7, kRight, 1, 0},
      {"Left wraps back to the last bit", 1, 0, kLeft, 0, 7},
      {"Right on the last bit of the last row", 23, 7, kRight, 23, 7},
      {"Left on the first bit of the first row", 0, 0, kLeft, 0, 0},
      {"Up on the first row", 0, 3, kUp, 0, 3},
      {"Down on the last row", 23, 3, kDown, 23, 3},
      {"Up", 5, 3, kUp, 4, 3},
      {"Down", 5, 3, kDown, 6, 3},
      {"Right", 5, 3, kRight, 5, 4},
      {"Enter stays", 5, 3, kEnter, 5, 3},
      {"plus sets and moves right", 2, 3, kPlus, 2, 4},
      {"minus clears and wraps", 2, 7, kMinus, 3, 0},
      {"plus on the last bit of the last row stays", 23, 7, kPlus, 23, 7},
      {"Tab is the window's", 5, 3, kTab, 5, 3},
      {"any other key", 5, 3, 65, 5, 3},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    block.Select(Row(row.row), static_cast<quint16>(row.bit));
    block.HandleKey(row.key, {});
    EXPECT_EQ(Where(), std::make_pair(row.toRow, row.toBit));
  }
}

TEST_P(ByteBlockTest, PlusAndMinusSetBitsEnterTogglesThem) {
  block.Select(Row(2), 3);
  block.HandleKey(kPlus, {});
  EXPECT_TRUE(Bit(2, 3));
  block.Select(Row(23), 7);
  block.HandleKey(kPlus, {});
  EXPECT_TRUE(Bit(23, 7));
  block.HandleKey(kMinus, {});
  EXPECT_FALSE(Bit(23, 7));

  window.controller.Edited = false;
  block.Select(Row(4), 1);
  block.HandleKey(kEnter, {});
  EXPECT_TRUE(Bit(4, 1));
  block.HandleKey(kEnter, {});
  EXPECT_FALSE(Bit(4, 1));
  EXPECT_TRUE(window.controller.Edited);
  EXPECT_EQ(Where(), std::make_pair(4, 1));

  // Setting a bit to the state it has is no change at all.
  window.controller.Edited = false;
  block.Elements[4].SetBit(1, false);
  EXPECT_FALSE(window.controller.Edited);
}

TEST_P(ByteBlockTest, SelectionMovesTheHighlightAndTheFocus) {
  block.Select(Row(0), 0);
  CellView* first = window.Current();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(window.focus, first);
  block.HandleKey(kDown, {});
  CellView* second = window.Current();
  EXPECT_NE(second, first);
  EXPECT_EQ(window.focus, second);
  EXPECT_FALSE(static_cast<FakeBitCell*>(first)->highlighted);
  EXPECT_TRUE(static_cast<FakeBitCell*>(second)->highlighted);
  EXPECT_EQ(second->Id, Row(1) * 10);
}

INSTANTIATE_TEST_SUITE_P(FirstAndSecondBlock, ByteBlockTest, ::testing::Values(0, 24),
                         [](const auto& info) { return "FirstRow" + std::to_string(info.param); });

TEST(ByteBlock, CellsAreLaidOutByRowAndStep) {
  FakeCells window;
  ViewByteBlockClass block;
  block.Setup(window, 2, 24, 1, 100, 50, 21);
  ASSERT_EQ(window.placed.size(), 4u);
  const int expected[4][3] = {{240, 100, 50}, {241, 121, 50}, {250, 100, 65}, {251, 121, 65}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(window.placed[i].cell->Id, expected[i][0]);
    EXPECT_EQ(window.placed[i].left, expected[i][1]);
    EXPECT_EQ(window.placed[i].top, expected[i][2]);
  }
  EXPECT_TRUE(block.Contains(25));
  EXPECT_FALSE(block.Contains(26));
  EXPECT_FALSE(block.Contains(23));
}

TEST(ByteBlock, LoadingMakesNoChangeAndHighlightsNothing) {
  FakeCells window;
  window.station.image = RandomImage(7);
  ViewByteBlockClass block;
  block.Setup(window, 24, 0, 7, 0, 0, 37);
  window.controller.Reset();
  block.LoadFromImage(window.station.image, RegionDescriptor(false, DVO2Abonent));
  window.Activate();
  EXPECT_FALSE(window.controller.Edited);
  EXPECT_EQ(window.Current(), nullptr);
  EXPECT_EQ(window.focus, nullptr);
}

TEST(Blocks, TooManyRowsAreRefusedAndTheBlockStaysEmpty) {
  FakeCells window;
  window.ui.ExpectInfo(QStringLiteral("Invalid RowNumber"), true)
      .ExpectInfo(QStringLiteral("Invalid RowNumber"), true)
      .ExpectInfo(QStringLiteral("Invalid RowNumber"), true);
  ViewByteBlockClass bytes;
  bytes.Setup(window, 25, 0, 7, 0, 0, 37);
  ViewCLineBlockClass lines;
  lines.Setup(window, 9);
  lines.CreateCells(9, 0, 200, 0, 47);
  ViewIntBlockClass ints;
  ints.Setup(window, 11, 0);
  ints.AddCells(3, 0, 0, 0, 2);
  window.ui.Verify();
  EXPECT_TRUE(window.placed.empty());

  // Empty blocks load, store and navigate nothing.
  window.Activate();
  ConfigImage image = RandomImage(3);
  const ConfigImage before = image;
  bytes.LoadFromImage(image, 0);
  bytes.StoreToImage(image);
  lines.StoreToImage(image, true);
  ints.StoreToImage(image, RegionDescriptor(true, AddDigit), 0);
  bytes.Select(0, 0);
  bytes.HandleKey(kDown, {});
  EXPECT_EQ(image, before);
  EXPECT_EQ(window.Current(), nullptr);
}

TEST(CLineBlock, NavigationOfATwoLineBlock) {
  FakeCells window;
  ViewCLineBlockClass block;
  block.Setup(window, 2);
  block.CreateCells(2, 60, 280, 40, 47);
  window.Activate();
  const struct {
    const char* name;
    int column, row;
    quint16 key;
    int toColumn, toRow;
  } rows[] = {
      {"Right wraps to the next line", 7, 0, kRight, 0, 1},
      {"Right on the last cell", 7, 1, kRight, 7, 1},
      {"Down on the last line", 3, 1, kDown, 3, 1},
      {"Left does not wrap back", 0, 1, kLeft, 0, 1},
      {"Left", 5, 1, kLeft, 4, 1},
      {"Up", 3, 1, kUp, 3, 0},
      {"Up on the first line", 3, 0, kUp, 3, 0},
      {"Down", 3, 0, kDown, 3, 1},
      {"from basic to additional", 3, 0, kRight, 4, 0},
      {"Enter does nothing", 3, 0, kEnter, 3, 0},
      {"plus moves right", 2, 0, kPlus, 3, 0},
      {"minus wraps", 7, 0, kMinus, 0, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    block.Select(static_cast<quint16>(row.column), static_cast<quint16>(row.row));
    block.HandleKey(row.key, {});
    const auto position = block.CurrentPosition();
    ASSERT_TRUE(position);
    EXPECT_EQ(position->column, row.toColumn);
    EXPECT_EQ(position->row, row.toRow);
  }
  // Cells sit in their columns: the additional mode from its own anchor.
  EXPECT_EQ(window.placed[3].left, 60 + 3 * 47);
  EXPECT_EQ(window.placed[4].left, 280);
  EXPECT_EQ(window.placed[9].top, 64);
}

TEST(CLineBlock, SignKeysSetTheDelaySignOfTheCurrentCell) {
  FakeCells window;
  ViewCLineBlockClass block;
  block.Setup(window, 2);
  block.CreateCells(2, 0, 200, 0, 47);
  ConfigImage image{};
  image[IncomingCellOffset(true, 1, 2)] = SubscriberCode(25);
  image[IncomingCellOffset(true, 1, 3)] = 0x01;
  block.LoadFromImage(image, true);
  window.Activate();
  block.Select(1, 0);
  block.HandleKey(kPlus, {});
  block.HandleKey(kPlus, {});
  block.StoreToImage(image, true);
  EXPECT_EQ(image[IncomingCellOffset(true, 1, 2)], SubscriberCode(25) + 0x40);
  // The invalid entry keeps its mark and is written back as empty.
  EXPECT_EQ(static_cast<FakeCLineCell*>(block.Cells[2].cell)->text, kInvalidEntryText);
  EXPECT_EQ(image[IncomingCellOffset(true, 1, 3)], 0);
  EXPECT_EQ(block.CurrentPosition()->column, 3);
}

namespace {

// The general functions' arrangement: three two-digit cells and one one-digit cell in the
// first block, three cells in the second, nine ids each.
struct IntBlocks : ::testing::Test {
  FakeCells window;
  ViewIntBlockClass first;
  ViewIntBlockClass second;
  void SetUp() override {
    first.Setup(window, 9, 0);
    first.AddCells(3, 0, 100, 40, 2);
    first.AddCells(1, 3, 200, 40, 1);
    second.Setup(window, 9, 9);
    second.AddCells(3, 0, 300, 40, 2);
    window.Activate();
  }
};

}  // namespace

TEST_F(IntBlocks, UpAndDownRunThroughTheIdsAndStopAtGaps) {
  EXPECT_FALSE(second.Contains(8));
  EXPECT_TRUE(second.Contains(9));
  EXPECT_TRUE(second.Contains(17));
  EXPECT_FALSE(second.Contains(18));
  const struct {
    const char* name;
    ViewIntBlockClass* block;
    quint16 id, key, to;
  } rows[] = {
      {"Down crosses to the next column", &first, 2, kDown, 3},
      {"Up crosses back", &first, 3, kUp, 2},
      {"Down into an empty slot", &first, 3, kDown, 3},
      {"Up from the first id", &second, 9, kUp, 9},
      {"Down", &second, 9, kDown, 10},
      {"Down from the last cell", &second, 11, kDown, 11},
      {"Left does nothing", &second, 10, kLeft, 10},
      {"Enter does nothing", &second, 10, kEnter, 10},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    row.block->Select(row.id);
    row.block->HandleKey(row.key, {});
    EXPECT_EQ(row.block->CurrentPosition(), row.to);
  }
  // Selecting an id without a cell leaves the selection where it was.
  second.Select(10);
  second.Select(12);
  first.Select(4);
  EXPECT_EQ(second.CurrentPosition(), 10);
}

TEST_F(IntBlocks, CellsAreColumnsOfTheirWidthAndSlots) {
  ASSERT_EQ(window.placed.size(), 7u);
  EXPECT_EQ(window.placed[2].top, 40 + 2 * 24);
  EXPECT_EQ(window.placed[3].left, 200);
  EXPECT_EQ(window.placed[3].top, 40);
  EXPECT_EQ(window.placed[3].cell->Id, 3);
  EXPECT_EQ(static_cast<IntCellView*>(window.placed[3].cell)->Digits, 1);
  EXPECT_EQ(window.placed[4].cell->Id, 9);
}

TEST_F(IntBlocks, TheSeizureIsShownAsOneDigitAndStoredAsIt) {
  ConfigImage image = RandomImage(11);
  image[119] = 0x23;
  first.LoadFromImage(image, RegionDescriptor(true, SelectorBasic), 0);
  first.LoadFromImage(image, RegionDescriptor(true, LineSeizure), 3);
  EXPECT_EQ(static_cast<FakeIntCell*>(first.Cells[3].cell)->text, QStringLiteral("3"));
  ConfigImage stored = image;
  first.StoreToImage(stored, RegionDescriptor(true, SelectorBasic), 0);
  first.StoreToImage(stored, RegionDescriptor(true, LineSeizure), 3);
  ConfigImage expected = image;
  expected[119] = 0x03;
  EXPECT_EQ(stored, expected);
}

namespace {

struct RoundTrip {
  int kind;
  bool subscribers;
};

}  // namespace

TEST(BlockStorage, LoadThenStoreKeepsEveryByteForEveryRegionHalfAndBoardCount) {
  const RoundTrip byteRegions[] = {
      {DVO1AbonentBasic, true}, {DVO1AbonentAdd, true}, {DVO2Abonent, true},
      {GTSBasic, true},         {GTSAdd, true},         {MTS, true},
      {DVO1LineBasic, false},   {DVO1LineAdd, false},   {DVO2Line, false}};
  for (int boards = 1; boards <= 4; ++boards) {
    for (const bool day : {true, false}) {
      const ConfigImage image = RandomImage(static_cast<unsigned>(boards * 2 + day));
      for (const RoundTrip& region : byteRegions) {
        SCOPED_TRACE(testing::Message()
                     << "boards " << boards << " day " << day << " kind " << region.kind);
        FakeCells window;
        const int rows = region.subscribers ? 6 * boards : 2 * boards;
        const bool lineBits = IsLineBitRegion(region.kind);
        ViewByteBlockClass block;
        block.Setup(window, static_cast<quint16>(rows), 0,
                    static_cast<quint16>(lineBits ? 2 * boards - 1 : 7), 0, 0, 37);
        const quint8 descriptor = RegionDescriptor(day, region.kind);
        block.LoadFromImage(image, descriptor);
        ConfigImage stored = image;
        block.StoreToImage(stored);
        // Access rows keep the bits of city lines the station does not have, as they were.
        EXPECT_EQ(stored, image);
      }

      FakeCells window;
      ViewCLineBlockClass lines;
      lines.Setup(window, static_cast<quint16>(2 * boards));
      lines.CreateCells(static_cast<quint16>(2 * boards), 0, 200, 0, 47);
      // Only valid entries survive a store; make the calls table hold only those.
      ConfigImage valid = image;
      for (int line = 1; line <= 8; ++line) {
        for (int column = 1; column <= 8; ++column) {
          const int offset = IncomingCellOffset(day, line, column);
          const int choice = valid[offset] % 3;
          valid[offset] =
              choice == 0 ? 0 : SubscriberCode(20 + valid[offset] % 24) + (choice == 2 ? 0x40 : 0);
        }
      }
      lines.LoadFromImage(valid, day);
      ConfigImage stored = valid;
      lines.StoreToImage(stored, day);
      EXPECT_EQ(stored, valid) << "calls table, boards " << boards << " day " << day;

      ViewIntBlockClass digits;
      digits.Setup(window, static_cast<quint16>(2 * boards), 0);
      digits.AddCells(static_cast<quint16>(2 * boards), 0, 0, 0, 2);
      digits.LoadFromImage(image, RegionDescriptor(day, AddDigit), 0);
      stored = image;
      digits.StoreToImage(stored, RegionDescriptor(day, AddDigit), 0);
      EXPECT_EQ(stored, image) << "added digits, boards " << boards << " day " << day;
    }
  }
}

TEST(BlockStorage, OneEditChangesExactlyItsOwnByte) {
  const ConfigImage image = RandomImage(99);
  struct Edit {
    const char* name;
    int kind;
    bool day;
    int boards;
    int row;
    int bit;
    int offset;
    int lineBit;
  };
  const Edit edits[] = {
      {"ОС3 of subscriber 25, one board", DVO1AbonentBasic, true, 1, 5, 2, 44, 2},
      {"night DVO-1 basic of subscriber 20", DVO1AbonentBasic, false, 4, 0, 0, 260, 0},
      {"night DVO-1 additional of subscriber 20", DVO1AbonentAdd, false, 4, 0, 7, 388, 7},
      {"ГТС column 3 of subscriber 20", GTSBasic, true, 2, 0, 2, 68, 1},
      {"ГТС column 2 of subscriber 20", GTSBasic, true, 4, 0, 1, 68, 4},
      {"night МТС column 1 of subscriber 26", MTS, false, 2, 6, 0, 321, 0},
  };
  for (const Edit& edit : edits) {
    SCOPED_TRACE(edit.name);
    FakeCells window;
    window.station.image = image;
    // Access rows hold bits of lines beyond the station's boards too; they stay as they are.
    const quint8 descriptor = RegionDescriptor(edit.day, edit.kind);
    const ConfigImage before = window.station.image;
    const bool lineBits = IsLineBitRegion(edit.kind);
    ViewByteBlockClass block;
    block.Setup(window, static_cast<quint16>(6 * edit.boards), 0,
                static_cast<quint16>(lineBits ? 2 * edit.boards - 1 : 7), 0, 0, 37);
    window.controller.Reset();
    block.LoadFromImage(before, descriptor);
    window.Activate();
    block.Select(static_cast<quint16>(edit.row), static_cast<quint16>(edit.bit));
    block.HandleKey(kEnter, {});
    block.StoreIfEdited();
    EXPECT_EQ(window.station.handOvers, 1);
    ConfigImage expected = before;
    expected[edit.offset] ^= static_cast<quint8>(1u << edit.lineBit);
    EXPECT_EQ(window.station.image, expected);
  }
}

TEST(BlockStorage, APairIsHandedOverOnceAndOnlyWhenEdited) {
  FakeCells window;
  window.station.image = RandomImage(5);
  const ConfigImage before = window.station.image;
  ViewByteBlockClass basic;
  ViewByteBlockClass additional;
  basic.Setup(window, 12, 0, 7, 0, 0, 37);
  additional.Setup(window, 12, 24, 7, 0, 200, 37);
  window.controller.Reset();
  basic.LoadFromImage(before, RegionDescriptor(true, DVO1AbonentBasic));
  additional.LoadFromImage(before, RegionDescriptor(true, DVO1AbonentAdd));
  window.Activate();
  basic.StorePairIfEdited(additional);
  EXPECT_EQ(window.station.handOvers, 0);

  basic.Select(0, 0);
  basic.HandleKey(kEnter, {});
  additional.Select(24, 1);
  additional.HandleKey(kEnter, {});
  basic.StorePairIfEdited(additional);
  EXPECT_EQ(window.station.handOvers, 1);
  ConfigImage expected = before;
  expected[4] ^= 0x01;
  expected[132] ^= 0x02;
  EXPECT_EQ(window.station.image, expected);
}

TEST(BlockLifetime, AClosedWindowsSlotIsNeverCurrentAgain) {
  FakeCells window;
  {
    ViewByteBlockClass block;
    block.Setup(window, 2, 0, 7, 0, 0, 37);
    window.Activate();
    block.Select(1, 1);
    ASSERT_NE(window.controller.GetCurrent(), nullptr);
  }
  EXPECT_EQ(window.controller.GetCurrent(), nullptr);
}
