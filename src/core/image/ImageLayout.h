#pragma once

#include <cstdint>

// Where each setting lives in the configuration image. Every operation here is a pure function
// of its arguments; none of them touches the station.
//
// The image is two halves of 256 bytes with the same layout, day (0..255) and night (256..511).
// Per-equipment regions hold one byte per board in runs of four; the per-row regions are named
// by a region kind, and a region descriptor is the kind in bits 0..3 with 0x10 set for the
// night half.

enum RegionKind : std::uint8_t {
  DVO1AbonentBasic = 0,
  DVO1AbonentAdd = 1,
  DVO2Abonent = 2,
  GTSBasic = 3,
  GTSAdd = 4,
  MTS = 5,
  DVO1LineBasic = 6,
  DVO1LineAdd = 7,
  DVO2Line = 8,
  AddDigit = 9,
  SelectorBasic = 10,
  SelectorAdd = 11,
  LineSeizure = 12,
};

inline constexpr int kHalfSize = 256;
inline constexpr std::uint8_t kNightHalfFlag = 0x10;
inline constexpr int kMaxSubscribers = 24;
inline constexpr int kMaxCityLines = 8;
inline constexpr int kFirstSubscriber = 20;
inline constexpr int kLastSubscriber = kFirstSubscriber + kMaxSubscribers - 1;

std::uint8_t RegionDescriptor(bool day, int kind);
// Rows of a region; only bits 0..3 of the argument are taken as the kind.
int RegionRowCount(int kind);
// Image offset of a row of the region the descriptor names.
int RegionOffset(std::uint8_t descriptor, int row);
bool IsLineBitRegion(int kind);

// Access rows keep one bit per city line in the station's order (lines 1, 3, 5, 7 in bits 0..3,
// lines 2, 4, 6, 8 in bits 4..7); the windows show column m as line m.
std::uint8_t LineBitsToColumns(std::uint8_t lineBits);
std::uint8_t ColumnsToLineBits(std::uint8_t columns);

// Image offset of one cell of the table of calls from city lines: line 1..8, column 1..4 of the
// basic mode or 5..8 of the additional mode.
int IncomingCellOffset(bool day, int line, int column);

// The delay sign of a call-distribution byte, added to a subscriber code.
inline constexpr std::uint8_t kDelaySign = 0x40;

// The byte that names subscriber 20..43 inside the image and in call records.
std::uint8_t SubscriberCode(int subscriber);
// 20..43, or 0 for a byte that names no subscriber.
int SubscriberFromCode(std::uint8_t code);

// Hour byte of switching time 1..6; the minute byte follows it. -1 for any other number.
int SwitchTimeOffset(int time);
// Administrator phone 1 or 2; -1 for any other number.
int AdminPhoneOffset(int phone);
