#include <gtest/gtest.h>

#include "core/files/TextFiles.h"

TEST(TextFiles, Cp1251RoundTripsRussianText) {
  const QString text = QStringLiteral("  Дата   Время Абон. ёЁ №");
  const QByteArray bytes = EncodeCp1251(text);
  EXPECT_EQ(bytes.size(), text.size());
  EXPECT_EQ(static_cast<unsigned char>(bytes[2]), 0xC4);  // Д
  EXPECT_EQ(DecodeCp1251(bytes), text);
}

TEST(TextFiles, EveryDefinedByteRoundTrips) {
  QByteArray all;
  for (int b = 0; b < 256; ++b) {
    if (b != 0x98) all.append(static_cast<char>(b));  // 0x98 is the one undefined byte
  }
  EXPECT_EQ(EncodeCp1251(DecodeCp1251(all)), all);
}

TEST(TextFiles, SplitLinesAcceptsCrLfAndLfAlone) {
  struct Case {
    QString text;
    QStringList lines;
  } cases[] = {
      {QStringLiteral(""), {}},
      {QStringLiteral("a"), {QStringLiteral("a")}},
      {QStringLiteral("a\r\n"), {QStringLiteral("a")}},
      {QStringLiteral("a\r\nb\nc"),
       {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}},
      {QStringLiteral("\r\n\r\n"), {QString(), QString()}},
      {QStringLiteral("a\rb\r\n"), {QStringLiteral("a\rb")}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitLines(c.text), c.lines) << c.text.toStdString();
  }
  EXPECT_EQ(JoinLines({QStringLiteral("a"), QStringLiteral("b")}), QStringLiteral("a\r\nb\r\n"));
}
