#include <gtest/gtest.h>

#include <random>

#include "StationModel.h"
#include "StorableImage.h"
#include "core/image/ImageLayout.h"
#include "core/tables/ConfigText.h"

namespace {

// Ten thousand in the plain build; the sanitizer build checks the same paths on fewer.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kImages = 300;
#else
constexpr int kImages = 10000;
#endif

ConfigImage Random(std::mt19937& random) {
  ConfigImage image;
  for (auto& byte : image) byte = static_cast<quint8>(random());
  return image;
}

ConfigImage RoundTrip(const ConfigImage& image, int boards, const ConfigImage& base = {}) {
  const ConfigTextResult back = ConfigFromText(ConfigToText(image, boards, "test"), base);
  EXPECT_TRUE(back.errors.isEmpty()) << back.errors.join(u'\n').toStdString();
  return back.image.value_or(ConfigImage{});
}

ConfigImage Read(const char* text, const ConfigImage& base) {
  const ConfigTextResult result = ConfigFromText(QByteArray(text), base);
  EXPECT_TRUE(result.errors.isEmpty()) << result.errors.join(u'\n').toStdString();
  return result.image.value_or(ConfigImage{});
}

}  // namespace

TEST(ConfigText, EveryImageComesBackWhole) {
  // Valid images of every size, images of arbitrary bytes (invalid entries, times out of
  // range, bits of absent lines) and the emulator's own image, read onto a base of other bytes
  // so that nothing is taken from the base.
  std::mt19937 random(11);
  const ConfigImage base = Random(random);
  int differing = 0;
  for (int n = 0; n < kImages; ++n) {
    const int boards = 1 + n % 4;
    const ConfigImage image = n % 2 ? StorableImage(boards, n) : Random(random);
    const ConfigImage back = RoundTrip(image, boards, base);
    for (int i = 0; i < kImageSize; ++i) differing += back[i] != image[i];
  }
  EXPECT_EQ(differing, 0);
  const std::vector<std::uint8_t> emulator = station::DefaultImage();
  ConfigImage image;
  std::copy(emulator.begin(), emulator.end(), image.begin());
  EXPECT_EQ(RoundTrip(image, 4, base), image);
}

TEST(ConfigText, AValidImageNeedsNoByteLinesAndReadsLikeTheWindows) {
  ConfigImage image = StorableImage(4, 5);
  image[AdminPhoneOffset(1)] = SubscriberCode(20);
  image[AdminPhoneOffset(2)] = 0;
  const QString text = QString::fromUtf8(ConfigToText(image, 4, "Norvel.cfg"));
  // Only bytes that no window shows whole get byte lines.
  EXPECT_FALSE(text.contains(QStringLiteral("\nбайт 128 ")));
  EXPECT_FALSE(text.contains(QStringLiteral("задано байтами")));
  EXPECT_TRUE(text.contains(QStringLiteral("\n# Доступ абонентов к МТС, ночь\n")));
  EXPECT_TRUE(text.contains(QStringLiteral("\nбайт 511 = 0x11\n")));
  // The same image gives the same text: it can be kept and compared in version control.
  EXPECT_EQ(ConfigToText(image, 4, "Norvel.cfg"), ConfigToText(image, 4, "Norvel.cfg"));
}

TEST(ConfigText, ATemplateChangesExactlyTheBytesOfItsSettings) {
  std::mt19937 random(7);
  const ConfigImage base = StorableImage(4, 9);
  const ConfigImage image = Read(
      "# шаблон\n"
      "ДВО-1 абонентов, ночь, абонент 20, Основной режим ОС1 = да\n"
      "Доступ абонентов к ГТС, день, абонент 20, Основной режим 3 = нет\n"
      "Вызовы с городских линий, день, ГЛ 3, Основной режим 2 = 25+\n"
      "Общестанционные функции, ночь, Распределение занятия ГЛ, Осн. = C\n"
      "Переключение режимов, Время начала ночного дополнительного режима, Час.:Мин. = 22:15\n"
      "Переключение режимов, Номер телефона 2 администратора = 31\n"
      "байт 508 = 0xfe\n",
      base);
  ConfigImage expected = base;
  expected[260] |= 0x01;
  expected[68] &= ~0x02;
  expected[137] = 0xE8;
  expected[375] = 0x0C;
  expected[500] = 0x96;
  expected[501] = 15;
  expected[383] = SubscriberCode(31);
  expected[508] = 0xFE;
  for (int i = 0; i < kImageSize; ++i) EXPECT_EQ(image[i], expected[i]) << "byte " << i;
}

TEST(ConfigText, ASettingWinsOverAByteLineForItsBits) {
  // A hand edit of a setting is kept even when the byte lines exported with it stay.
  ConfigImage base{};
  const ConfigImage image = Read(
      "Общестанционные функции, день, Распределение занятия ГЛ, Осн. = 3\n"
      "байт 119 = 0xF5\n",
      base);
  EXPECT_EQ(image[119], 0xF3);
}

// A text is read as a person writes it: a comment after the value, the words in any case, an
// hour of one digit, midnight, a number with a leading zero, a byte order mark.
TEST(ConfigText, ATextIsReadAsAPersonWritesIt) {
  const ConfigImage image = Read(
      "\xEF\xBB\xBFДоступ абонентов к МТС, ночь, абонент 20, 1 = Да  # боссу можно\n"
      "Вызовы с городских линий, день, ГЛ 3, Основной режим 2 = ПУСТО\n"
      "Переключение режимов, Время начала ночного режима, Час.:Мин. = 7:30 # утро\n"
      "Переключение режимов, Время окончания ночного режима, Час.:Мин. = 0:00\n"
      "Переключение режимов, Номер телефона 1 администратора = 021\n",
      ConfigImage{});
  EXPECT_EQ(image[AdminPhoneOffset(1)], SubscriberCode(21));
  EXPECT_EQ(image[SwitchTimeOffset(2)], 0x80);
  EXPECT_EQ(image[SwitchTimeOffset(2) + 1], 0);
  EXPECT_EQ(image[RegionOffset(RegionDescriptor(false, MTS), 0)], ColumnsToLineBits(0x01));
  EXPECT_EQ(image[SwitchTimeOffset(1)], 0x87);
  EXPECT_EQ(image[SwitchTimeOffset(1) + 1], 30);
  EXPECT_EQ(ConfigFromText("# только комментарий\n\n", {}).settings, 0);
}

TEST(ConfigText, MistakesAreNamedByLineAndNothingIsGiven) {
  const struct {
    const char* text;
    const char* error;
  } rows[] = {
      {"\n\nДВО-2 абонентов, день, абонент 20, ДС1 = может\n",
       "line 3: \"ДВО-2 абонентов, день, абонент 20, ДС1\" = \"может\": \"да\" or \"нет\" is "
       "needed"},
      // A comment right after the sign leaves no value.
      {"ДВО-2 абонентов, день, абонент 20, ДС1 =# да\n",
       "line 1: \"ДВО-2 абонентов, день, абонент 20, ДС1\" = \"\": \"да\" or \"нет\" is needed"},
      {"ДВО-2 абонентов, день, абонент 44, ДС1 = да\n",
       "line 1: \"ДВО-2 абонентов, день, абонент 44, ДС1\" is no setting"},
      {"Цифры донабора по ГЛ, ночь, ГЛ 4, Цифра = 1AB\n",
       "line 1: \"Цифры донабора по ГЛ, ночь, ГЛ 4, Цифра\" = \"1AB\": one or two hexadecimal "
       "digits are needed"},
      {"Общестанционные функции, день, Распределение занятия ГЛ, Осн. = 12\n",
       "line 1: \"Общестанционные функции, день, Распределение занятия ГЛ, Осн.\" = \"12\": one "
       "hexadecimal digit is needed"},
      {"Вызовы с городских линий, день, ГЛ 1, Основной режим 1 = 19\n",
       "line 1: \"Вызовы с городских линий, день, ГЛ 1, Основной режим 1\" = \"19\": \"пусто\", a "
       "subscriber 20..43, or one followed by \"+\" is needed"},
      {"Переключение режимов, Время начала ночного режима, Час.:Мин. = 24:00\n",
       "line 1: \"Переключение режимов, Время начала ночного режима, Час.:Мин.\" = \"24:00\": "
       "\"не задано\" or a time Ч:ММ (0:00..23:59) is needed"},
      {"Доступ абонентов к МТС, ночь, абонент 20, 1 = да\n"
       "Доступ абонентов к MТС, ночь, абонент 20, 2 = да\n",
       "line 2: \"Доступ абонентов к MТС, ночь, абонент 20, 2\" is no setting (латинская буква "
       "\"M\" вместо русской)"},
      {"байт 512 = 0x01\n", "line 1: \"байт 512\": the image has bytes 0..511"},
      {"байт 5 = 256\n", "line 1: \"байт 5\": a byte 0x00..0xFF is needed"},
      {"байт 5 = 0x01\nбайт 5 = 0x02\n", "line 2: \"байт 5\" is given again (first on line 1)"},
      {"просто слова\n", "line 1: \"просто слова\" has no \"=\""},
      {"байт 5 = 0x01\n\xff\n", "the text is not UTF-8"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    const ConfigTextResult result = ConfigFromText(QByteArray(row.text), ConfigImage{});
    EXPECT_FALSE(result.image.has_value());
    EXPECT_EQ(result.errors, QStringList{QString::fromUtf8(row.error)});
  }
  // A file that is no text of settings says a little of it, not all of it.
  const ConfigTextResult huge =
      ConfigFromText(QByteArray(100, '\n') + QByteArray(1 << 20, 'x'), {});
  EXPECT_EQ(huge.errors.size(), 1);
  EXPECT_LT(huge.errors.join(u'\n').size(), 400);
  const ConfigTextResult many = ConfigFromText(QByteArray(1000, 'x').replace('x', "x\n"), {});
  ASSERT_EQ(many.errors.size(), 21);
  EXPECT_EQ(many.errors.back(), QStringLiteral("and 980 more mistakes"));
}
