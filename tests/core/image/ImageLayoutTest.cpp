#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "core/image/ImageLayout.h"

namespace {

// Every place of one half that a table, a general function or the switching window owns,
// with the name of its owner, as the layout functions give them.
std::multimap<int, std::string> ClaimedOffsets(bool day) {
  std::multimap<int, std::string> claims;
  for (int kind = 0; kind <= LineSeizure; ++kind) {
    for (int row = 0; row < RegionRowCount(kind); ++row) {
      claims.emplace(RegionOffset(RegionDescriptor(day, kind), row),
                     "kind " + std::to_string(kind) + " row " + std::to_string(row));
    }
  }
  for (int line = 1; line <= 8; ++line) {
    for (int column = 1; column <= 8; ++column) {
      claims.emplace(IncomingCellOffset(day, line, column),
                     "calls line " + std::to_string(line) + " column " + std::to_string(column));
    }
  }
  const std::vector<int> times = day ? std::vector<int>{1, 2, 3, 4} : std::vector<int>{5, 6};
  for (int t : times) {
    claims.emplace(SwitchTimeOffset(t), "time " + std::to_string(t) + " hour");
    claims.emplace(SwitchTimeOffset(t) + 1, "time " + std::to_string(t) + " minute");
  }
  claims.emplace(AdminPhoneOffset(day ? 1 : 2), "administrator phone");
  return claims;
}

}  // namespace

TEST(ImageLayout, EveryByteOfTheDayHalfHasExactlyOneOwner) {
  const std::multimap<int, std::string> claims = ClaimedOffsets(true);
  for (int offset = 0; offset < 256; ++offset) {
    EXPECT_EQ(claims.count(offset), 1u) << "offset " << offset;
  }
  EXPECT_EQ(claims.size(), 256u);
}

TEST(ImageLayout, TheNightHalfMirrorsTheDayHalfAndLeavesItsLastFourBytesToTheStation) {
  const std::multimap<int, std::string> claims = ClaimedOffsets(false);
  for (int offset = 256; offset < 512; ++offset) {
    const size_t expected = offset >= 508 ? 0u : 1u;
    EXPECT_EQ(claims.count(offset), expected) << "offset " << offset;
  }
  EXPECT_EQ(claims.size(), 252u);
}

TEST(ImageLayout, WorkedOffsets) {
  struct Row {
    const char* name;
    int actual;
    int expected;
  };
  const bool day = true, night = false;
  const Row rows[] = {
      {"subscriber 43, DVO-2", RegionOffset(RegionDescriptor(day, DVO2Abonent), 23), 43},
      {"subscriber 43, DVO-1 basic", RegionOffset(RegionDescriptor(day, DVO1AbonentBasic), 23), 47},
      {"subscriber 43, MTS", RegionOffset(RegionDescriptor(day, MTS), 23), 107},
      {"subscriber 43, GTS basic", RegionOffset(RegionDescriptor(day, GTSBasic), 23), 111},
      {"subscriber 43, DVO-1 additional", RegionOffset(RegionDescriptor(day, DVO1AbonentAdd), 23),
       175},
      {"subscriber 43, GTS additional", RegionOffset(RegionDescriptor(day, GTSAdd), 23), 239},
      {"night line 8, DVO-2", RegionOffset(RegionDescriptor(night, DVO2Line), 7), 315},
      {"night line 8, DVO-1 basic", RegionOffset(RegionDescriptor(night, DVO1LineBasic), 7), 319},
      {"night line 8, added digit", RegionOffset(RegionDescriptor(night, AddDigit), 7), 379},
      {"night line 8, DVO-1 additional", RegionOffset(RegionDescriptor(night, DVO1LineAdd), 7),
       447},
      {"night line 8, calls basic column 1", IncomingCellOffset(night, 8, 1), 440},
      {"night line 8, calls basic column 4", IncomingCellOffset(night, 8, 4), 443},
      {"night line 8, calls additional column 1", IncomingCellOffset(night, 8, 5), 504},
      {"night line 8, calls additional column 4", IncomingCellOffset(night, 8, 8), 507},
      {"night subscriber 20, DVO-1 basic",
       RegionOffset(RegionDescriptor(night, DVO1AbonentBasic), 0), 260},
      {"night subscriber 20, DVO-1 additional",
       RegionOffset(RegionDescriptor(night, DVO1AbonentAdd), 0), 388},
      {"subscriber 25, DVO-1 basic", RegionOffset(RegionDescriptor(day, DVO1AbonentBasic), 5), 44},
      {"subscriber 20, GTS basic", RegionOffset(RegionDescriptor(day, GTSBasic), 0), 68},
      {"night subscriber 26, MTS", RegionOffset(RegionDescriptor(night, MTS), 6), 321},
      {"line 3, calls basic column 2", IncomingCellOffset(day, 3, 2), 137},
      {"line 2, calls basic column 1", IncomingCellOffset(day, 2, 1), 160},
      {"line 6, calls additional column 1", IncomingCellOffset(day, 6, 5), 240},
      {"night line 4, added digit", RegionOffset(RegionDescriptor(night, AddDigit), 3), 377},
      {"selector 2 additional", RegionOffset(RegionDescriptor(day, SelectorAdd), 1), 125},
      {"selector 1 basic", RegionOffset(RegionDescriptor(day, SelectorBasic), 0), 116},
      {"seizure, any row", RegionOffset(RegionDescriptor(day, LineSeizure), 5), 119},
      {"night seizure", RegionOffset(RegionDescriptor(night, LineSeizure), 0), 375},
      {"switching time 5", SwitchTimeOffset(5), 500},
      {"switching time 3", SwitchTimeOffset(3), 252},
      {"administrator phone 2", AdminPhoneOffset(2), 383},
      {"no switching time 7", SwitchTimeOffset(7), -1},
  };
  for (const Row& row : rows) EXPECT_EQ(row.actual, row.expected) << row.name;
}

TEST(ImageLayout, DescriptorsAndRowCounts) {
  EXPECT_EQ(RegionDescriptor(true, GTSAdd), 4);
  EXPECT_EQ(RegionDescriptor(false, GTSAdd), 0x14);
  const int counts[16] = {24, 24, 24, 24, 24, 24, 8, 8, 8, 8, 3, 3, 1, 0, 0, 0};
  for (int kind = 0; kind < 16; ++kind) {
    EXPECT_EQ(RegionRowCount(kind), counts[kind]) << kind;
    EXPECT_EQ(RegionRowCount(kind | kNightHalfFlag), counts[kind]) << kind;
    EXPECT_EQ(IsLineBitRegion(kind), kind >= 3 && kind <= 5) << kind;
  }
}

TEST(ImageLayout, LineBitsAndColumnsAreInverseOverEveryByte) {
  // Column m (bit m - 1 of the shown row) is city line m.
  const int bitOfLine[8] = {0, 4, 1, 5, 2, 6, 3, 7};
  for (int column = 0; column < 8; ++column) {
    EXPECT_EQ(ColumnsToLineBits(static_cast<std::uint8_t>(1 << column)), 1 << bitOfLine[column])
        << "line " << column + 1;
  }
  EXPECT_EQ(LineBitsToColumns(0x10), 0x02);
  for (int value = 0; value < 256; ++value) {
    const auto byte = static_cast<std::uint8_t>(value);
    EXPECT_EQ(ColumnsToLineBits(LineBitsToColumns(byte)), byte) << value;
    EXPECT_EQ(LineBitsToColumns(ColumnsToLineBits(byte)), byte) << value;
  }
}

TEST(ImageLayout, SubscriberCodesOverEveryByte) {
  const std::map<int, int> worked = {{20, 0x80}, {21, 0x88}, {22, 0x90}, {23, 0x98}, {24, 0xA0},
                                     {25, 0xA8}, {26, 0x81}, {27, 0x89}, {43, 0xAB}};
  for (const auto& [subscriber, code] : worked) EXPECT_EQ(SubscriberCode(subscriber), code);
  std::map<int, int> subscriberOf;
  for (int n = 20; n <= 43; ++n) subscriberOf[SubscriberCode(n)] = n;
  EXPECT_EQ(subscriberOf.size(), 24u);
  for (int value = 0; value < 256; ++value) {
    const auto found = subscriberOf.find(value);
    EXPECT_EQ(SubscriberFromCode(static_cast<std::uint8_t>(value)),
              found == subscriberOf.end() ? 0 : found->second)
        << value;
  }
}
