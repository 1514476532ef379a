#include <gtest/gtest.h>

#include "core/base/Counts.h"

// Each count takes the form of its word that Russian (or English) gives it.
TEST(Counts, EveryCountTakesTheFormOfItsWord) {
  const struct {
    qint64 n;
    const char* russian;
    const char* english;
  } rows[] = {
      {0, "0 разговоров", "0 alarms"},       {1, "1 разговор", "1 alarm"},
      {2, "2 разговора", "2 alarms"},        {4, "4 разговора", "4 alarms"},
      {5, "5 разговоров", "5 alarms"},       {11, "11 разговоров", "11 alarms"},
      {12, "12 разговоров", "12 alarms"},    {14, "14 разговоров", "14 alarms"},
      {21, "21 разговор", "21 alarms"},      {22, "22 разговора", "22 alarms"},
      {51, "51 разговор", "51 alarms"},      {111, "111 разговоров", "111 alarms"},
      {112, "112 разговоров", "112 alarms"}, {1001, "1001 разговор", "1001 alarms"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(RussianCount(row.n, "разговор", "разговора", "разговоров"),
              QString::fromUtf8(row.russian));
    EXPECT_EQ(EnglishCount(row.n, "alarm", "alarms"), QString::fromUtf8(row.english));
  }
}
