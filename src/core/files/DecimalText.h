#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>
#include <QtGlobal>
#include <type_traits>

// Decimal digits written straight into a byte buffer, for the exports, bills and database rows
// that write millions of numbers: no string is made per number.

// Writes `value` (with a minus sign when negative) at `p`; gives the position after it. At most
// 20 bytes are written.
inline char* WriteDecimal(char* p, qint64 value) {
  char digits[20];
  int n = 0;
  const bool negative = value < 0;
  quint64 v = negative ? 0 - static_cast<quint64>(value) : static_cast<quint64>(value);
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  if (negative) *p++ = '-';
  while (n > 0) *p++ = digits[--n];
  return p;
}

// Writes `value` as exactly `width` digits, with leading zeros (months, days, hours, years);
// gives the position after them.
inline char* WriteDigits(char* p, int value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    p[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return p + width;
}

inline void AppendDigits(QByteArray& out, int value, int width) {
  char text[12];
  out.append(text, WriteDigits(text, value, width) - text);
}

inline void AppendDecimal(QByteArray& out, qint64 value) {
  char text[24];
  out.append(text, WriteDecimal(text, value) - text);
}

// A decimal field as a text-file reader's number conversion leaves it: leading blanks skipped,
// an optional sign, then as many digits as there are; nothing more is checked. Digits past
// 2^40 are not taken, so no field can overflow.
template <class View>
qint64 LeadingNumber(View field) {
  const auto at = [&field](qsizetype i) -> int {
    if constexpr (std::is_same_v<View, QStringView>) {
      return field[i].unicode();
    } else {
      return static_cast<unsigned char>(field[i]);
    }
  };
  qsizetype i = 0;
  while (i < field.size() && at(i) == ' ') ++i;
  bool negative = false;
  if (i < field.size() && (at(i) == '-' || at(i) == '+')) {
    negative = at(i) == '-';
    ++i;
  }
  qint64 value = 0;
  while (i < field.size() && at(i) >= '0' && at(i) <= '9' && value < (qint64(1) << 40)) {
    value = value * 10 + (at(i) - '0');
    ++i;
  }
  return negative ? -value : value;
}
