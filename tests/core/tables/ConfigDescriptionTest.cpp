#include <gtest/gtest.h>

#include <random>

#include "core/tables/ConfigDescription.h"

namespace {

ConfigImage Zeros() {
  ConfigImage image{};
  return image;
}

}  // namespace

TEST(ConfigDifferences, EachWorkedOffsetIsOneLineInTheWindowsWords) {
  const struct {
    int boards;
    int offset;
    quint8 before;
    quint8 after;
    const char* line;
  } rows[] = {
      {4, 260, 0x00, 0x01, "ДВО-1 абонентов, ночь, абонент 20, Основной режим ОС1: нет → да"},
      {4, 388, 0x00, 0x80, "ДВО-1 абонентов, ночь, абонент 20, Дополнительный режим ОС8: нет → да"},
      {1, 44, 0x00, 0x04, "ДВО-1 абонентов, день, абонент 25, Основной режим ОС3: нет → да"},
      {2, 68, 0x00, 0x02, "Доступ абонентов к ГТС, день, абонент 20, Основной режим 3: нет → да"},
      {2, 68, 0x00, 0x10, "Доступ абонентов к ГТС, день, абонент 20, Основной режим 2: нет → да"},
      {2, 321, 0x00, 0x01, "Доступ абонентов к МТС, ночь, абонент 26, 1: нет → да"},
      {2, 137, 0xA8, 0xE8, "Вызовы с городских линий, день, ГЛ 3, Основной режим 2: 25 → 25+"},
      {4, 377, 0x00, 0x0A, "Цифры донабора по ГЛ, ночь, ГЛ 4, Цифра: 00 → 0A"},
      {4, 125, 0x00, 0x31,
       "Общестанционные функции, день, Номер телефона 2 селектора, Доп.: 00 → 31"},
      {4, 119, 0x00, 0x03, "Общестанционные функции, день, Распределение занятия ГЛ, Осн.: 0 → 3"},
      {4, 500, 0x00, 0x96,
       "Переключение режимов, Время начала ночного дополнительного режима, Час.:Мин.: не задано → "
       "22:00"},
      {4, 383, 0x00, 0xA8, "Переключение режимов, Номер телефона 2 администратора: нет → 25"},
      {4, 508, 0x00, 0xFF, "байт 508: 00 → FF"},
      // Bits of city lines a one-board station does not have: no box shows them.
      {1, 68, 0x00, 0x04, "байт 68: 00 → 04"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    ConfigImage a = Zeros();
    a[row.offset] = row.before;
    ConfigImage b = a;
    b[row.offset] = row.after;
    EXPECT_EQ(ConfigDifferences(a, b, row.boards), QStringList{QString::fromUtf8(row.line)});
  }
}

TEST(ConfigDifferences, NoDifferenceIsEverHidden) {
  std::mt19937 random(3);
  ConfigImage image;
  for (auto& byte : image) byte = static_cast<quint8>(random());
  for (const int boards : {1, 4}) {
    EXPECT_TRUE(ConfigDifferences(image, image, boards).isEmpty());
    // A changed bit shows up in some line, wherever it is (every 17th byte is tried).
    for (int offset = 0; offset < kImageSize; offset += 17) {
      for (int bit = 0; bit < 8; ++bit) {
        ConfigImage changed = image;
        changed[offset] ^= static_cast<quint8>(1u << bit);
        EXPECT_FALSE(ConfigDifferences(image, changed, boards).isEmpty())
            << "boards " << boards << " offset " << offset << " bit " << bit;
      }
    }
  }
}

TEST(ShowConfig, RowsWithTheirColumns) {
  ConfigImage image = Zeros();
  image[44] = 0x05;   // subscriber 25: ОС1 and ОС3
  image[137] = 0xE8;  // line 3, column 2: 25 with the delay sign
  const QStringList lines = ShowConfig(image, 2);
  EXPECT_TRUE(
      lines.contains(QStringLiteral("  абонент 25: Основной режим: ОС1 ОС3; "
                                    "Дополнительный режим: -")));
  EXPECT_TRUE(lines.contains(QStringLiteral("ДВО-1 абонентов, ночь")));
  const qsizetype calls = lines.indexOf(QStringLiteral("Вызовы с городских линий, день"));
  ASSERT_GE(calls, 0);
  EXPECT_TRUE(
      lines[calls + 3].startsWith(QStringLiteral("  ГЛ 3: Основной режим 1 пусто; "
                                                 "Основной режим 2 25+")));
}
