#pragma once

#include <QString>
#include <array>

#include "core/image/ConfigImage.h"

// The mode switching window's values, without the window: six switching times and the two
// administrator phones, in both halves of the image at once.
struct SwitchValues {
  // Hour -1 means the time is not set.
  std::array<int, 6> hours{};
  std::array<int, 6> minutes{};
  // Subscriber numbers as the operator sees them; empty for a byte that names no subscriber.
  std::array<QString, 2> adminPhones;
};

SwitchValues LoadSwitchValues(const ConfigImage& image);
// Writes into the copy every byte that differs from the values; true when any byte was
// written. A phone that is no subscriber number 20..43 leaves its byte as it was.
bool StoreSwitchValues(const SwitchValues& values, ConfigImage& copy);

// Which of the window's values, stored now into the held image, would differ from the image
// last read from the station or written to it.
struct SwitchChanges {
  std::array<bool, 6> hours{};
  std::array<bool, 6> minutes{};
  std::array<bool, 2> adminPhones{};
};
SwitchChanges ChangedSwitchValues(const SwitchValues& values, const ConfigImage& held,
                                  const ConfigImage& station);
