#pragma once

#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

#include "core/image/ConfigImage.h"

// The configuration image in the words of the table windows: every value a window shows, named
// by the window's heading, the half (day or night), the row mark and the column heading, with
// the image bits it stands for. It is built from the image layout functions, so it describes
// exactly what the windows edit.
struct ConfigItem {
  QString table;   // the window's heading
  QString half;    // "день" or "ночь"; empty for the switching window's fixed bytes
  QString row;     // "абонент 25", "ГЛ 3", or the row's text
  QString column;  // the column heading, with its mode
  // The bits of the image the value is made of: (offset, mask).
  std::vector<std::pair<int, quint8>> bits;
  enum class Kind { kBit, kCityLineCell, kTwoDigits, kOneDigit, kSwitchTime, kAdminPhone };
  Kind kind = Kind::kBit;

  // The value as the window shows it.
  QString Text(const ConfigImage& image) const;
  // "table, half, row, column", the parts that are there.
  QString Name() const;
};

// Every item of a station with this many boards (rows and columns beyond it are not shown).
std::vector<ConfigItem> DescribeConfig(int boards);

// "table, half, row, column: old → new" for every item that differs; then "байт N: XX → YY"
// for every byte whose change no item shows, so that no difference is hidden.
QStringList ConfigDifferences(const ConfigImage& a, const ConfigImage& b, int boards);

// The whole image, table by table and row by row.
QStringList ShowConfig(const ConfigImage& image, int boards);
