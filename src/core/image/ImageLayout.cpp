#include "core/image/ImageLayout.h"

namespace {

// Row r of a subscriber region: port p = r mod 6 picks the slot of 8 bytes, board b = r div 6
// the byte within the run of four.
int SubscriberPlace(int row) {
  return 8 * (row % 6) + row / 6;
}

// Row r of a city-line region: board b = r div 2, line l = r mod 2 of the board.
int CityLinePlace(int row) {
  return 8 * (row % 2) + row / 2;
}

// The bit of city line m = column + 1 in an access byte: b + 4l, with board b = (m - 1) div 2
// and line l = (m - 1) mod 2 of the board.
int LineBitOfColumn(int column) {
  return column / 2 + 4 * (column % 2);
}

}  // namespace

std::uint8_t RegionDescriptor(bool day, int kind) {
  return static_cast<std::uint8_t>(day ? kind : kind + kNightHalfFlag);
}

int RegionRowCount(int kind) {
  switch (kind & 0x0F) {
    case DVO1AbonentBasic:
    case DVO1AbonentAdd:
    case DVO2Abonent:
    case GTSBasic:
    case GTSAdd:
    case MTS:
      return kMaxSubscribers;
    case DVO1LineBasic:
    case DVO1LineAdd:
    case DVO2Line:
    case AddDigit:
      return kMaxCityLines;
    case SelectorBasic:
    case SelectorAdd:
      return 3;
    case LineSeizure:
      return 1;
    default:
      return 0;
  }
}

int RegionOffset(std::uint8_t descriptor, int row) {
  const int half = (descriptor & kNightHalfFlag) ? kHalfSize : 0;
  int offset = 0;
  switch (descriptor & 0x0F) {
    case DVO1AbonentBasic:
      offset = 4 + SubscriberPlace(row);
      break;
    case DVO1AbonentAdd:
      offset = 132 + SubscriberPlace(row);
      break;
    case DVO2Abonent:
      offset = SubscriberPlace(row);
      break;
    case GTSBasic:
      offset = 68 + SubscriberPlace(row);
      break;
    case GTSAdd:
      offset = 196 + SubscriberPlace(row);
      break;
    case MTS:
      offset = 64 + SubscriberPlace(row);
      break;
    case DVO1LineBasic:
      offset = 52 + CityLinePlace(row);
      break;
    case DVO1LineAdd:
      offset = 180 + CityLinePlace(row);
      break;
    case DVO2Line:
      offset = 48 + CityLinePlace(row);
      break;
    case AddDigit:
      offset = 112 + CityLinePlace(row);
      break;
    case SelectorBasic:
      offset = 116 + row;
      break;
    case SelectorAdd:
      offset = 124 + row;
      break;
    case LineSeizure:
      offset = 119;
      break;
    default:
      break;
  }
  return half + offset;
}

bool IsLineBitRegion(int kind) {
  const int k = kind & 0x0F;
  return k == GTSBasic || k == GTSAdd || k == MTS;
}

std::uint8_t LineBitsToColumns(std::uint8_t lineBits) {
  std::uint8_t columns = 0;
  for (int column = 0; column < 8; ++column) {
    if (lineBits & (1u << LineBitOfColumn(column)))
      columns |= static_cast<std::uint8_t>(1u << column);
  }
  return columns;
}

std::uint8_t ColumnsToLineBits(std::uint8_t columns) {
  std::uint8_t lineBits = 0;
  for (int column = 0; column < 8; ++column) {
    if (columns & (1u << column))
      lineBits |= static_cast<std::uint8_t>(1u << LineBitOfColumn(column));
  }
  return lineBits;
}

int IncomingCellOffset(bool day, int line, int column) {
  const int board = (line - 1) / 2;
  const int lineOfBoard = (line - 1) % 2;
  const int q = board + 4 * lineOfBoard;
  const int offset = column <= 4 ? 128 + 8 * q + (column - 1) : 192 + 8 * q + (column - 5);
  return day ? offset : offset + kHalfSize;
}

std::uint8_t SubscriberCode(int subscriber) {
  const int k = subscriber - kFirstSubscriber;
  return static_cast<std::uint8_t>(0x80 + 8 * (k % 6) + k / 6);
}

int SubscriberFromCode(std::uint8_t code) {
  for (int n = kFirstSubscriber; n <= kLastSubscriber; ++n) {
    if (SubscriberCode(n) == code) return n;
  }
  return 0;
}

int SwitchTimeOffset(int time) {
  static constexpr int kOffsets[] = {244, 246, 252, 254, 500, 502};
  return time >= 1 && time <= 6 ? kOffsets[time - 1] : -1;
}

int AdminPhoneOffset(int phone) {
  if (phone == 1) return 127;
  return phone == 2 ? 383 : -1;
}
