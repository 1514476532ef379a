#pragma once

#include <random>

#include "core/image/ConfigImage.h"
#include "core/image/ImageLayout.h"

// A random image that every table can store back unchanged: access rows hold only the lines a
// station of this size has, call-distribution cells hold valid entries, the seizure value fits
// its one digit, and the switching times are times.
inline ConfigImage StorableImage(int boards, unsigned seed = 42) {
  std::mt19937 random(seed);
  ConfigImage image;
  for (auto& byte : image) byte = static_cast<std::uint8_t>(random());
  std::uint8_t columns = 0;
  for (int line = 0; line < 2 * boards; ++line) columns |= static_cast<std::uint8_t>(1u << line);
  const std::uint8_t lines = ColumnsToLineBits(columns);
  for (const bool day : {true, false}) {
    for (const int kind : {GTSBasic, GTSAdd, MTS}) {
      for (int row = 0; row < 24; ++row)
        image[RegionOffset(RegionDescriptor(day, kind), row)] &= lines;
    }
    for (int line = 1; line <= 8; ++line) {
      for (int column = 1; column <= 8; ++column) {
        std::uint8_t& cell = image[IncomingCellOffset(day, line, column)];
        cell = cell % 3 == 0 ? 0 : SubscriberCode(20 + cell % 24) + (cell % 3 == 2 ? 0x40 : 0);
      }
    }
    image[RegionOffset(RegionDescriptor(day, LineSeizure), 0)] &= 0x0F;
  }
  for (int t = 1; t <= 6; ++t) {
    const int offset = SwitchTimeOffset(t);
    image[offset] =
        image[offset] % 5 == 0 ? 0 : static_cast<std::uint8_t>(0x80 + image[offset] % 24);
    image[offset + 1] = image[offset] ? image[offset + 1] % 60 : 0;
  }
  image[511] = 0x11;
  return image;
}
