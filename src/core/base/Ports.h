#pragma once

#include <QtGlobal>

// The serial ports the program can use, COM1 to COM16, and the one it takes when nothing says
// otherwise.
inline constexpr quint16 kFirstPort = 1;
inline constexpr quint16 kLastPort = 16;
inline constexpr quint16 kDefaultPort = 2;

inline constexpr bool IsPortNumber(int number) {
  return number >= kFirstPort && number <= kLastPort;
}
