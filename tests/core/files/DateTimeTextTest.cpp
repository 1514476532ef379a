#include <gtest/gtest.h>

#include "core/files/DateTimeText.h"
#include "core/base/Clock.h"

namespace {
QDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return MakeDateTime(QDate(y, mo, d), QTime(h, mi, s));
}
}  // namespace

TEST(DateTimeText, WritesShortDateAndLongTimeWithoutLeadingZeroHour) {
  EXPECT_EQ(DateTimeToText(At(2026, 12, 7, 9, 5, 7)), QStringLiteral("07.12.2026 9:05:07"));
  EXPECT_EQ(DateTimeToText(At(2026, 1, 31, 23, 59, 59)), QStringLiteral("31.01.2026 23:59:59"));
  EXPECT_EQ(DateTimeToText(At(2026, 3, 1, 0, 0, 1)), QStringLiteral("01.03.2026 0:00:01"));
  // Midnight is the date alone.
  EXPECT_EQ(DateTimeToText(At(2026, 3, 1)), QStringLiteral("01.03.2026"));
}

TEST(DateTimeText, ParsesWhatItWritesAndTheUsualShortForms) {
  struct Case {
    const char* text;
    QDateTime expected;
  } cases[] = {
      {"07.12.2026 9:05:07", At(2026, 12, 7, 9, 5, 7)},
      {"07.12.2026 09:05:07", At(2026, 12, 7, 9, 5, 7)},
      {"07.12.2026", At(2026, 12, 7)},
      {"07.12.2026 ", At(2026, 12, 7)},
      {"  7.1.2026   9:05", At(2026, 1, 7, 9, 5)},
      {"07.12.26 9:05", At(2026, 12, 7, 9, 5)},
      {"29.02.2024 0:00", At(2024, 2, 29)},
      {"01.03.2026\t23:59", At(2026, 3, 1, 23, 59)},
  };
  for (const Case& c : cases) {
    const auto parsed = TextToDateTime(QString::fromUtf8(c.text));
    ASSERT_TRUE(parsed.has_value()) << c.text;
    EXPECT_EQ(*parsed, c.expected) << c.text;
  }
}

TEST(DateTimeText, RejectsWhatIsNoDateTime) {
  for (const char* text :
       {"", " ", "abc", "07.12", "07/12/2026", "31.02.2026", "07.13.2026", "07.12.2026 25:00",
        "07.12.2026 9:60", "07.12.2026 9", "07.12.2026 9:05 x", "07.12.2026x", "07.12.202 9:05",
        "07.12.20269:05", ".12.2026"}) {
    EXPECT_FALSE(TextToDateTime(QString::fromUtf8(text)).has_value()) << text;
  }
}

TEST(DateTimeText, RoundTripsEverySecondOfADayToTheSecond) {
  for (int s = 0; s < 86400; s += 37) {
    const QDateTime moment = MakeDateTime(QDate(2026, 12, 7), QTime(0, 0).addSecs(s));
    EXPECT_EQ(TextToDateTime(DateTimeToText(moment)), moment);
  }
}
