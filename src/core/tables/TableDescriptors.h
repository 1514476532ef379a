#pragma once

#include <array>

#include "core/image/ImageLayout.h"

// What one table window is, stated once: its heading, the programming menu's button, its help
// topic, whose rows it shows and the image regions behind it. The windows, the programming
// menu, the configuration text and the checks all read it from here, so a table is renamed or
// moved in one place.
enum class TableId {
  kDVO1Subscribers,
  kDVO2Subscribers,
  kCityAccess,
  kLongDistanceAccess,
  kDVO1Lines,
  kDVO2Lines,
  kAddDigits,
  kCityLineCalls,
  kGeneral,
  kSwitching,
};

struct TableDescriptor {
  TableId id;
  const char* windowName;   // the window's own title
  const char* heading;      // the heading in the window, and the table's name in the text
  const char* menuCaption;  // the programming menu's button; null when the menu has none
  int helpTopic;
  enum class Rows { kSubscribers, kCityLines, kOwn } rows;
  const char* columnPrefix;  // "ОС", "ДС", or "" for city-line numbers
  // The image regions, one per block of the window; the mode headings over the blocks.
  std::array<int, 2> kinds;
  int blocks;
  std::array<const char*, 2> modes;

  constexpr bool Subscribers() const { return rows == Rows::kSubscribers; }
};

inline constexpr const char* kBasicMode = "Основной режим";
inline constexpr const char* kAdditionalMode = "Дополнительный режим";

inline constexpr std::array<TableDescriptor, 10> kTables = {{
    {TableId::kDVO1Subscribers,
     "Norvel Program DVO-1 Abonent",
     "ДВО-1 абонентов",
     "ДВО-1 абонентов",
     30,
     TableDescriptor::Rows::kSubscribers,
     "ОС",
     {DVO1AbonentBasic, DVO1AbonentAdd},
     2,
     {kBasicMode, kAdditionalMode}},
    {TableId::kDVO2Subscribers,
     "Norvel Program DVO-2 Abonent",
     "ДВО-2 абонентов",
     "ДВО-2 абонентов",
     40,
     TableDescriptor::Rows::kSubscribers,
     "ДС",
     {DVO2Abonent, 0},
     1,
     {}},
    {TableId::kCityAccess,
     "Norvel Access1",
     "Доступ абонентов к ГТС",
     "Доступа абонентов к ГТС",
     50,
     TableDescriptor::Rows::kSubscribers,
     "",
     {GTSBasic, GTSAdd},
     2,
     {kBasicMode, "Дополн. режим"}},
    {TableId::kLongDistanceAccess,
     "Norvel Access2",
     "Доступ абонентов к МТС",
     "Доступа абонентов к МТС",
     60,
     TableDescriptor::Rows::kSubscribers,
     "",
     {MTS, 0},
     1,
     {}},
    {TableId::kDVO1Lines,
     "Norvel Program DVO-1 CityLine",
     "ДВО-1 городских линий",
     "ДВО-1 городских линий",
     70,
     TableDescriptor::Rows::kCityLines,
     "ОС",
     {DVO1LineBasic, DVO1LineAdd},
     2,
     {kBasicMode, kAdditionalMode}},
    {TableId::kDVO2Lines,
     "Norvel Program DVO-2 CityLine",
     "ДВО-2 городских линий",
     "ДВО-2 городских линий",
     80,
     TableDescriptor::Rows::kCityLines,
     "ДС",
     {DVO2Line, 0},
     1,
     {}},
    {TableId::kAddDigits,
     "Norvel Add Digit",
     "Цифры донабора по ГЛ",
     "Цифры донабора по ГЛ",
     90,
     TableDescriptor::Rows::kCityLines,
     "",
     {AddDigit, 0},
     1,
     {}},
    // The calls from city lines are cells of their own, not regions of rows.
    {TableId::kCityLineCalls,
     "PrgCityLineForm",
     "Вызовы с городских линий",
     "Вызовов с ГЛ",
     6400,
     TableDescriptor::Rows::kCityLines,
     "",
     {},
     0,
     {kBasicMode, kAdditionalMode}},
    {TableId::kGeneral,
     "Norvel PrgGeneral",
     "Общестанционные функции",
     "Общестанционных функций",
     100,
     TableDescriptor::Rows::kOwn,
     "",
     {},
     0,
     {}},
    {TableId::kSwitching,
     "ProgrSwitchForm",
     "Переключение режимов",
     nullptr,
     0,
     TableDescriptor::Rows::kOwn,
     "",
     {},
     0,
     {}},
}};

constexpr const TableDescriptor& Table(TableId id) {
  return kTables[static_cast<size_t>(id)];
}

static_assert(
    [] {
      for (size_t i = 0; i < kTables.size(); ++i) {
        if (static_cast<size_t>(kTables[i].id) != i) return false;
      }
      return true;
    }(),
    "the tables stand in the order of their ids");
