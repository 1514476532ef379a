// What calls cost and what the lines carry: the tariff file as an administrator writes it, the
// charging rules call by call, Erlang B against published tables, the line load of hand-made
// calls, and sums that stay exact over a million calls.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <array>

#include "FakeHost.h"
#include "core/base/Errors.h"
#include "core/costs/Bills.h"
#include "core/costs/CostReport.h"
#include "core/costs/Erlang.h"
#include "core/costs/SubscriberDirectory.h"
#include "core/costs/Tariffs.h"
#include "core/files/CallRecords.h"
#include "core/files/DataFiles.h"
#include "core/files/SettingsFile.h"

namespace {

const char kTariffText[] =
    "# Тарифы офиса\n"
    "currency = грн\n"
    "strip = 9\n"
    "charged = 1 2\n"
    "working_hours = weekdays 09:00-18:00\n"
    "\n"
    "[Местная]\n"
    "prefixes =            # every number no other zone takes\n"
    "minute = 0\n"
    "[Город]\n"
    "prefixes = 2 3\n"
    "setup = 0.50\n"
    "minute = 1,20\n"
    "minimum = 1\n"
    "band = weekend 00:00-24:00 0.60\n"
    "band = weekdays 20:00-24:00 0.80\n"
    "[Межгород]\n"
    "prefixes = 8\n"
    "setup = 1\n"
    "minute = 9.9999\n"
    "maximum = 100\n"
    "[Москва]\n"
    "prefixes = 8495\n"
    "minute = 0.005\n";

Tariffs Table() {
  return ParseTariffs(QString::fromUtf8(kTariffText), QString::fromLatin1(kTariffFileName));
}

// The message a broken file gives, or "" when it is read.
QString Problem(const char* text) {
  try {
    ParseTariffs(QString::fromUtf8(text), QStringLiteral("NorvelTariffs.txt"));
  } catch (const NorvelError& error) {
    return error.Message();
  }
  return QString();
}

ExportRow Call(int day, int hour, int minute, int duration, const char* number, int type = 1) {
  ExportRow row;
  row.year = 2026;
  row.month = 12;
  row.day = day;
  row.hour = hour;
  row.minute = minute;
  row.subscriber = 20;
  row.duration = duration;
  row.cityLine = 1;
  row.callType = type;
  row.number = number;
  return row;
}

CallRecord Record(int day, int hour, int minute, int subscriber, int duration, int line,
                  const QString& number, int type = 1) {
  CallRecord r;
  r.StartTime = MakeDateTime(QDate(2026, 12, day), QTime(hour, minute));
  r.Subscriber = static_cast<quint8>(subscriber);
  r.Duration = duration;
  r.CityLine = static_cast<quint8>(line);
  r.CallType = static_cast<quint8>(type);
  r.DialledNumber = number;
  return r;
}

// Writes December's month file of these records, and the tariff file when one is given.
void WriteDecember(FakeHost& host, const std::vector<CallRecord>& records,
                   const char* tariffs = nullptr) {
  QString text = kDataFileHeader + QStringLiteral("\r\n");
  for (const CallRecord& r : records) text += CallRecordToText(r) + QStringLiteral("\r\n");
  host.WriteFile(DataFileName(12), Cp1251(text));
  if (tariffs) host.WriteFile(QString::fromLatin1(kTariffFileName), QByteArray(tariffs));
}

}  // namespace

TEST(TariffFile, AFullFileIsReadAsWritten) {
  const Tariffs t = Table();
  EXPECT_EQ(t.currency, QStringLiteral("грн"));
  EXPECT_EQ(t.strip, QStringList{QStringLiteral("9")});
  EXPECT_EQ(t.charged, (std::array<bool, 4>{false, true, true, false}));
  EXPECT_EQ(t.workFromMinute, 9 * 60);
  EXPECT_EQ(t.workToMinute, 18 * 60);
  ASSERT_EQ(t.zones.size(), 4u);
  EXPECT_EQ(t.zones[0].prefixes, QStringList{QString()});
  const TariffZone& city = t.zones[1];
  EXPECT_EQ(city.name, QStringLiteral("Город"));
  EXPECT_EQ(city.prefixes, (QStringList{QStringLiteral("2"), QStringLiteral("3")}));
  EXPECT_EQ(city.setup, 5000);
  EXPECT_EQ(city.perMinute, 12000);  // a decimal comma is taken as well
  EXPECT_EQ(city.minimumMinutes, 1);
  ASSERT_EQ(city.bands.size(), 2u);
  EXPECT_FALSE(city.bands[0].weekdays);
  EXPECT_EQ(city.bands[1].fromMinute, 20 * 60);
  EXPECT_EQ(city.bands[1].toMinute, 24 * 60);
  EXPECT_EQ(t.zones[2].maximum, 1000000);
  EXPECT_EQ(t.zones[3].perMinute, 50);
}

TEST(TariffFile, EveryMistakeIsNamedWithItsLine) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"[Город\nminute = 1\n", "строка 1: неверный заголовок зоны"},
      {"[Город]\nminute 1\n", "строка 2: нет знака «=»"},
      {"[Город]\nminute = 1.5.5\n", "строка 2: «minute»: неверная сумма «1.5.5»"},
      {"[Город]\nsetup = -1\n", "строка 2: «setup»: неверная сумма «-1»"},
      {"[Город]\nminute = 0.00001\n", "строка 2: «minute»: неверная сумма «0.00001»"},
      {"charged = 0 4\n[Город]\n", "строка 1: «charged»: тип вызова «4» — не число от 0 до 3"},
      {"strip = 9a\n[Город]\n", "строка 1: «strip»: «9a» — не цифры номера"},
      {"[Город]\nprefixes = 8-10\n", "строка 2: «prefixes»: «8-10» — не цифры номера"},
      {"[Город]\nminimum = -1\n", "строка 2: «minimum»: неверное число минут «-1»"},
      {"[Город]\nband = weekdays 20:00-08:00 0.5\n",
       "строка 2: «band»: нужно «weekdays|weekend|all ЧЧ:ММ-ЧЧ:ММ цена», а не «weekdays "
       "20:00-08:00 0.5»"},
      {"[Город]\nband = holidays 08:00-20:00 0.5\n", "строка 2: «band»: нужно"},
      {"[Город]\nband = all 08:00-24:30 0.5\n", "строка 2: «band»: нужно"},
      {"[Город]\nband = all 08:00-08:00 0.5\n", "строка 2: «band»: нужно"},
      {"working_hours = 9-18\n[Город]\n", "строка 1: «working_hours»: нужно"},
      {"[Город]\ncolour = red\n", "строка 2: неизвестный параметр зоны «colour»"},
      {"valuta = руб.\n", "строка 1: неизвестный параметр «valuta»"},
      {"# nothing but words\ncurrency = руб.\n", "строка 2: нет ни одной зоны"},
      {"", "строка 1: нет ни одной зоны"},
  };
  for (const auto& c : cases) {
    const QString message = Problem(c.text);
    EXPECT_TRUE(message.startsWith(QStringLiteral("Файл NorvelTariffs.txt, ")))
        << c.text << " gave " << message.toStdString();
    EXPECT_TRUE(message.contains(QString::fromUtf8(c.message)))
        << c.text << " gave " << message.toStdString();
  }
  EXPECT_EQ(Problem(kTariffText), QString());
  // The edges of every range are taken.
  EXPECT_EQ(Problem("charged = 0 3\n[Г]\nprefixes =\nminimum = 0\n"), QString());
  EXPECT_EQ(Problem("[Город]\nprefixes = 2\nminimum = 1440\nband = all 00:59-24:00 0.5\n"),
            QString());
  EXPECT_EQ(Problem("[Город]\nprefixes = 2\nminute = 1000000.9999\n"), QString());
}

TEST(TariffFile, TheWorkingDirectorysFileOrNone) {
  FakeHost host;
  EXPECT_FALSE(LoadTariffs(host.env.workDir).has_value());
  // A file saved by a Windows editor: a byte order mark and CR LF line ends.
  QByteArray windows = "\xEF\xBB\xBF" + QByteArray(kTariffText);
  windows.replace("\n", "\r\n");
  host.WriteFile(QString::fromLatin1(kTariffFileName), windows);
  const std::optional<Tariffs> loaded = LoadTariffs(host.env.workDir);
  ASSERT_TRUE(loaded.has_value());
  EXPECT_EQ(loaded->zones.size(), 4u);
  EXPECT_EQ(loaded->currency, QStringLiteral("грн"));

  host.WriteFile(QString::fromLatin1(kTariffFileName), "[Город]\nminute = много\n");
  try {
    LoadTariffs(host.env.workDir);
    FAIL() << "a broken file was taken";
  } catch (const ConvertError& error) {
    EXPECT_EQ(error.Message(),
              QStringLiteral("Файл NorvelTariffs.txt, строка 2: «minute»: неверная сумма «много» "
                             "(от 0 до 1000000, не больше четырех знаков после точки)"));
  }
}

TEST(Charging, EachRuleOnItsOwnCall) {
  const Tariffs t = Table();
  // 2026-12-04 is a Friday, 12-05 a Saturday, 12-07 a Monday.
  const struct {
    const char* what;
    ExportRow row;
    Rated::Kind kind;
    int zone;
    int minutes;
    Money cost;
  } cases[] = {
      {"a zero-minute call pays the set-up and the minimum", Call(7, 10, 0, 0, "2345"),
       Rated::Kind::kCharged, 1, 1, 170},
      {"a day price up to the band's start", Call(7, 19, 59, 3, "2345"), Rated::Kind::kCharged, 1,
       3, 410},
      {"the evening band from its first minute", Call(7, 20, 0, 3, "2345"), Rated::Kind::kCharged,
       1, 3, 290},
      {"the evening band to the day's last minute", Call(4, 23, 59, 3, "3456"),
       Rated::Kind::kCharged, 1, 3, 290},
      {"the weekend band on a Saturday", Call(5, 10, 0, 3, "2345"), Rated::Kind::kCharged, 1, 3,
       230},
      {"the weekend band before the weekday evening band", Call(6, 21, 0, 3, "2345"),
       Rated::Kind::kCharged, 1, 3, 230},
      {"a Monday just after midnight is a weekday again", Call(7, 0, 0, 3, "2345"),
       Rated::Kind::kCharged, 1, 3, 410},
      {"a cost is rounded half up once per call", Call(7, 10, 0, 1, "8312"), Rated::Kind::kCharged,
       2, 1, 1100},
      {"the maximum caps a long call", Call(7, 10, 0, 20, "8312"), Rated::Kind::kCharged, 2, 20,
       10000},
      {"the longest prefix wins", Call(7, 10, 0, 1, "84951234567"), Rated::Kind::kCharged, 3, 1, 1},
      {"an exact half rounds up", Call(7, 10, 0, 1, "8495"), Rated::Kind::kCharged, 3, 1, 1},
      {"the access digit is stripped", Call(7, 10, 0, 2, "92345"), Rated::Kind::kCharged, 1, 2,
       290},
      {"the filler blank is no part of the number", Call(7, 10, 0, 2, "98312 "),
       Rated::Kind::kCharged, 2, 2, 2100},
      {"the access digit alone is a number of the empty prefix", Call(7, 10, 0, 2, "9"),
       Rated::Kind::kCharged, 0, 2, 0},
      {"an unknown duration has no cost", Call(7, 10, 0, -1, "8312"), Rated::Kind::kUnknownDuration,
       -1, 0, 0},
      {"call type 0 is not charged here", Call(7, 10, 0, 5, "8312", 0), Rated::Kind::kNotCharged,
       -1, 0, 0},
      {"call type 3 is not charged here", Call(7, 10, 0, 5, "8312", 3), Rated::Kind::kNotCharged,
       -1, 0, 0},
      {"a call type the station never gives is not charged", Call(7, 10, 0, 5, "8312", 4),
       Rated::Kind::kNotCharged, -1, 0, 0},
  };
  for (const auto& c : cases) {
    const Rated rated = RateCall(t, c.row);
    EXPECT_EQ(rated.kind, c.kind) << c.what;
    EXPECT_EQ(rated.zone, c.zone) << c.what;
    EXPECT_EQ(rated.minutes, c.minutes) << c.what;
    EXPECT_EQ(rated.cost, c.cost) << c.what;
  }

  // Call types 0 and 3 are charged where the file says so.
  Tariffs everyType = t;
  everyType.charged.fill(true);
  EXPECT_EQ(RateCall(everyType, Call(7, 10, 0, 5, "8312", 0)).kind, Rated::Kind::kCharged);
  EXPECT_EQ(RateCall(everyType, Call(7, 10, 0, 5, "8312", 3)).kind, Rated::Kind::kCharged);
  // Days of the week across the turn of February (1 Monday .. 7 Sunday).
  for (const auto& [year, month, day, weekday] :
       {std::array{2026, 2, 28, 6}, {2026, 3, 1, 7}, {2024, 2, 29, 4}, {2026, 12, 7, 1}}) {
    EXPECT_EQ(DayOfWeek(year, month, day), weekday) << year << '-' << month << '-' << day;
  }

  Tariffs noCatchAll = t;
  noCatchAll.zones.erase(noCatchAll.zones.begin());
  EXPECT_EQ(RateCall(noCatchAll, Call(7, 10, 0, 2, "555")).kind, Rated::Kind::kNoZone);
  EXPECT_EQ(MoneyText(123456), QStringLiteral("1234.56"));
  EXPECT_EQ(MoneyText(5), QStringLiteral("0.05"));
  EXPECT_EQ(MoneyText(0), QStringLiteral("0.00"));
  EXPECT_EQ(MoneyText(-5), QStringLiteral("-0.05"));
  EXPECT_EQ(MoneyText(-123400), QStringLiteral("-1234.00"));
  // Printed pages write amounts the Russian way: groups of three, no-break spaces, a comma.
  EXPECT_EQ(RussianMoney(867052285), QStringLiteral("8\u00A0670\u00A0522,85"));
  EXPECT_EQ(RussianMoney(100000), QStringLiteral("1\u00A0000,00"));
  EXPECT_EQ(RussianMoney(99999), QStringLiteral("999,99"));
  EXPECT_EQ(RussianMoney(-123456), QStringLiteral("-1\u00A0234,56"));
  // The tax within an amount: 20 % of 120.00 within it is 20.00; rounded half up; exact for the
  // largest month (24 subscribers × 44,640 minutes at the largest price) without overflowing.
  Tariffs taxed = ParseTariffs(QStringLiteral("vat = 20\n[А]\nprefixes =\n"), QStringLiteral("t"));
  EXPECT_EQ(taxed.VatIn(12000), 2000);
  EXPECT_EQ(taxed.VatIn(17350), 2892);  // 2891.67
  EXPECT_EQ(taxed.VatName(), QStringLiteral("НДС 20 %"));
  const Money largest = Money{24} * 44'640 * 1'000'000 * 100;
  EXPECT_EQ(taxed.VatIn(largest), largest / 6);
  taxed = ParseTariffs(QStringLiteral("vat = 7.5\n[А]\nprefixes =\n"), QStringLiteral("t"));
  EXPECT_EQ(taxed.VatName(), QStringLiteral("НДС 7,50 %"));
  EXPECT_EQ(taxed.VatIn(10750), 750);
}

// Re-billing last year with this year's file gives last year's prices: a call is rated with
// the prices in force on its day, a zone that starts on a day covers no number before it, and a
// holiday is priced as a weekend day.
TEST(Charging, ThePricesOfTheCallsDayAndHolidaysAsWeekends) {
  const Tariffs t = ParseTariffs(QStringLiteral("holidays = 2026-06-12\n"
                                                "[Город]\nprefixes = 2\nminute = 1\n"
                                                "band = weekend 00:00-24:00 0.50\n"
                                                "[Новая]\nprefixes = 7\nvalid_from = 2026-07-01\n"
                                                "minute = 5\n"
                                                "[Город]\nvalid_from = 2026-07-01\nminute = 2\n"),
                                 QString::fromLatin1(kTariffFileName));
  const auto on = [](int month, int day, const char* number) {
    ExportRow row = Call(day, 10, 0, 3, number);
    row.month = month;
    return row;
  };
  const struct {
    const char* what;
    ExportRow row;
    Rated::Kind kind;
    Money cost;
  } cases[] = {
      {"a Thursday before the change", on(6, 11, "2345"), Rated::Kind::kCharged, 300},
      {"a holiday Friday is a weekend day", on(6, 12, "2345"), Rated::Kind::kCharged, 150},
      {"the last day of the old prices", on(6, 30, "2345"), Rated::Kind::kCharged, 300},
      {"the first day of the new prices", on(7, 1, "2345"), Rated::Kind::kCharged, 600},
      {"the new prices keep the weekend band", on(7, 4, "2345"), Rated::Kind::kCharged, 150},
      {"a zone before its first day covers nothing", on(6, 30, "7123"), Rated::Kind::kNoZone, 0},
      {"a zone from its first day", on(7, 1, "7123"), Rated::Kind::kCharged, 1500},
  };
  for (const auto& c : cases) {
    const Rated rated = RateCall(t, c.row);
    EXPECT_EQ(rated.kind, c.kind) << c.what;
    EXPECT_EQ(rated.cost, c.cost) << c.what;
  }
  EXPECT_EQ(t.zones.size(), 2u);  // one zone, one name: one "итого" in a bill
}

TEST(Erlang, AgreesWithThePublishedTables) {
  // Erlang B tables: 2 lines carry 0.153 E and 8 lines 3.13 E at 1 % blocking; 4 lines 1.09 E.
  EXPECT_NEAR(TrafficFor(2, 0.01), 0.153, 0.0005);
  EXPECT_NEAR(TrafficFor(8, 0.01), 3.13, 0.005);
  EXPECT_NEAR(TrafficFor(4, 0.01), 0.869, 0.0005);
  EXPECT_NEAR(TrafficFor(8, 0.05), 4.54, 0.005);
  EXPECT_NEAR(ErlangB(1.0, 1), 0.5, 1e-12);
  EXPECT_NEAR(ErlangB(2.0, 2), 0.4, 1e-12);
  EXPECT_EQ(ErlangB(0, 8), 0);
  EXPECT_EQ(LinesFor(3.12, 0.01), 8);
  EXPECT_EQ(LinesFor(3.14, 0.01), 9);
  EXPECT_EQ(LinesFor(0, 0.01), 0);
}

TEST(LineLoad, HandMadeCallsAcrossAnHourAndMidnight) {
  FakeHost host;
  WriteDecember(host, {
                          // Line 1 from 09:50 to 10:10, line 2 from 09:55 to 10:05.
                          Record(1, 9, 50, 20, 20, 1, QStringLiteral("2345")),
                          Record(1, 9, 55, 21, 10, 2, QStringLiteral("2346")),
                          // Inside line 1's call: the line counts once in those minutes.
                          Record(1, 9, 58, 22, 5, 1, QStringLiteral("2347")),
                          // Line 3 from 10:30 to 11:00.
                          Record(1, 10, 30, 23, 30, 3, QStringLiteral("2348")),
                          // Line 4 from 23:50 to 00:20 of the next day.
                          Record(1, 23, 50, 24, 30, 4, QStringLiteral("2349")),
                          // A zero-minute call holds its line for the minute it began in.
                          Record(1, 12, 0, 25, 0, 5, QStringLiteral("2350")),
                          // No city line, and an unknown length: no load.
                          Record(1, 13, 0, 26, 40, 0, QStringLiteral("2351")),
                          Record(1, 14, 0, 27, -1, 6, QStringLiteral("2352")),
                      });
  const ReportData day = BuildReport(host.env.workDir, {12, 0, 1, 0}, 4);
  EXPECT_EQ(day.periodDays, 1);
  EXPECT_DOUBLE_EQ(day.erlangs[9], 15 / 60.0);
  EXPECT_DOUBLE_EQ(day.erlangs[10], 45 / 60.0);
  EXPECT_DOUBLE_EQ(day.erlangs[12], 1 / 60.0);
  EXPECT_DOUBLE_EQ(day.erlangs[13], 0);
  EXPECT_DOUBLE_EQ(day.erlangs[14], 0);
  EXPECT_DOUBLE_EQ(day.erlangs[23], 10 / 60.0);
  EXPECT_DOUBLE_EQ(day.erlangs[0], 20 / 60.0);
  EXPECT_EQ(day.peakBusy[9], 2);
  EXPECT_EQ(day.peakBusy[10], 2);
  EXPECT_EQ(day.peakBusy[11], 0);
  EXPECT_EQ(day.peakBusyOverall, 2);
  EXPECT_EQ(day.busyHour, 10);
  // Given 4 lines, the calls name lines 5 and 6 (one of unknown length): the station has 6.
  EXPECT_EQ(day.cityLines, 6);
  EXPECT_NEAR(day.blockingAtBusyHour, ErlangB(0.75, 6), 1e-12);
  EXPECT_EQ(day.linesForOnePercent, 4);
  // Tuesday: 09:50 is before no working hours without a tariff file (08:00-18:00); 23:50 is
  // after them.
  EXPECT_EQ(day.outsideWorkingHours, 1);
  EXPECT_EQ(day.calls, 8);
  EXPECT_EQ(day.unknownDuration, 1);
  EXPECT_EQ(day.minutes, 20 + 10 + 5 + 30 + 30 + 0 + 40);
  EXPECT_FALSE(day.tariffs.has_value());

  // Over the whole month the same minutes spread over its 31 days.
  const ReportData month = BuildReport(host.env.workDir, {12, 0, 0, 0}, 4);
  EXPECT_EQ(month.periodDays, 31);
  EXPECT_DOUBLE_EQ(month.erlangs[10], 45 / (60.0 * 31));
  EXPECT_EQ(month.busyHour, 10);
  ASSERT_FALSE(month.longest.empty());
  EXPECT_EQ(month.longest.front().row.subscriber, 26);
}

// Working hours hold their first minute and not their last; the eighth line carries load too.
TEST(LineLoad, TheEdgesOfTheWorkingHoursAndOfTheLines) {
  FakeHost host;
  WriteDecember(host, {Record(1, 7, 59, 20, 1, 1, QStringLiteral("2345")),
                       Record(1, 8, 0, 21, 1, 1, QStringLiteral("2345")),
                       Record(1, 17, 59, 22, 1, 1, QStringLiteral("2345")),
                       Record(1, 18, 0, 23, 1, 8, QStringLiteral("2345"))});
  const ReportData day = BuildReport(host.env.workDir, {12, 0, 1, 0}, 8);
  EXPECT_EQ(day.outsideWorkingHours, 2);
  EXPECT_EQ(day.peakBusy[18], 1);
  // Four hours carry a minute each: the busy hour is the first of them.
  EXPECT_EQ(day.busyHour, 7);

  // A Saturday is outside working hours all day, at ten too; a call in the period's first
  // minute loads its line; a zero-minute call is among the longest, a free one not among the
  // costliest.
  WriteDecember(host, {Record(5, 0, 0, 20, 0, 2, QStringLiteral("2345")),
                       Record(5, 10, 0, 21, 1, 3, QStringLiteral("2345"))});
  const ReportData saturday = BuildReport(host.env.workDir, {12, 0, 5, 0}, 8);
  EXPECT_EQ(saturday.outsideWorkingHours, 2);
  EXPECT_EQ(saturday.peakBusy[0], 1);
  EXPECT_EQ(saturday.longest.size(), 2u);
  // A subscriber's page lists the first 40 calls and counts the rest.
  std::vector<CallRecord> many;
  for (int i = 0; i < 45; ++i) many.push_back(Record(2, 9, i, 24, 1, 1, QStringLiteral("2345")));
  WriteDecember(host, many);
  const SubscriberReport listed = BuildReport(host.env.workDir, {12, 0, 2, 0}, 8).subscribers[24];
  EXPECT_EQ(listed.firstCalls.size(), size_t(ReportData::kSubscriberListed));
  EXPECT_EQ(listed.callsNotListed, 5);
  EXPECT_TRUE(saturday.costliest.empty());
}

TEST(LineLoad, TheStationsLinesAndTheMonthsNamesAtTheirEdges) {
  FakeHost host;
  for (const auto& [boards, lines] : {std::pair{1, 2}, {4, 8}, {0, 4}, {5, 4}}) {
    WriteSettingsFile(host.env.workDir, 2, static_cast<quint16>(boards), host.clock.Now());
    EXPECT_EQ(StationCityLines(host.env.workDir), lines) << boards << " boards";
  }
  EXPECT_EQ(MonthName(1), QStringLiteral("январь"));
  EXPECT_EQ(MonthName(12), QStringLiteral("декабрь"));
  EXPECT_EQ(MonthName(13), QString());
}

TEST(CostSums, AMillionCallsSumToTheKopeck) {
  // Costs of 0.07, 0.0149 and 0.005: floating-point sums of them drift, and rounding the sum
  // instead of each call gives other kopecks. Every call here costs a known whole number of
  // kopecks: 7, 1 (0.0149 rounds down) and 1 (0.005 rounds up).
  const char tariffs[] =
      "[Семь]\nprefixes = 7\nminute = 0.07\n"
      "[Полторы]\nprefixes = 1\nminute = 0.0149\n"
      "[Половина]\nprefixes = 5\nminute = 0.005\n";
  FakeHost host;
  QString text = kDataFileHeader + QStringLiteral("\r\n");
  const QString lines[] = {
      CallRecordToText(Record(3, 10, 0, 20, 1, 1, QStringLiteral("777"))) + "\r\n",
      CallRecordToText(Record(3, 10, 1, 21, 1, 2, QStringLiteral("111"))) + "\r\n",
      CallRecordToText(Record(3, 10, 2, 22, 1, 3, QStringLiteral("555"))) + "\r\n",
  };
  constexpr int kEach = 333'334;  // a million calls and two
  QByteArray bytes = Cp1251(text);
  for (const QString& line : lines) {
    const QByteArray encoded = Cp1251(line);
    for (int i = 0; i < kEach; ++i) bytes += encoded;
  }
  host.WriteFile(DataFileName(12), bytes);
  host.WriteFile(QString::fromLatin1(kTariffFileName), QByteArray(tariffs));

  const ReportData report = BuildReport(host.env.workDir, {12, 0, 0, 0}, 8);
  EXPECT_EQ(report.calls, 3 * kEach);
  EXPECT_EQ(report.cost, Money{kEach} * (7 + 1 + 1));
  EXPECT_EQ(report.zones.at(0).cost, Money{kEach} * 7);
  EXPECT_EQ(report.zones.at(1).cost, Money{kEach});
  EXPECT_EQ(report.subscribers.at(22).cost, Money{kEach});

  const BillBook book(host.env.workDir, {12, 0, 0, 0}, *report.tariffs);
  EXPECT_EQ(book.All().cost, report.cost);
  EXPECT_EQ(book.Subscribers().at(20).cost, Money{kEach} * 7);
  QBuffer csv;
  csv.open(QIODevice::WriteOnly);
  WriteBillsCsv(book, csv);
  const QByteArray written = csv.data();
  EXPECT_TRUE(written.contains(",23333.38\r\n")) << "subscriber 20's 0.07 × 333334";
  EXPECT_TRUE(written.endsWith(QByteArray("," + MoneyText(Money{kEach} * 9).toUtf8() + "\r\n")))
      << written.right(200).toStdString();
}

TEST(Bills, EachSubscribersCallsInFileOrderWithZoneTotals) {
  FakeHost host;
  WriteDecember(host,
                {
                    Record(7, 10, 0, 21, 2, 1, QStringLiteral("92345 ")),
                    Record(7, 11, 0, 20, 0, 1, QStringLiteral("2345")),
                    Record(7, 12, 0, 21, -1, 1, QStringLiteral("8312")),
                    Record(7, 13, 0, 21, 20, 2, QStringLiteral("8312")),
                    Record(7, 14, 0, 20, 5, 2, QStringLiteral("8312"), 0),
                    // Another year in the same month file: left out of the latest year's bills.
                    Record(8, 9, 0, 20, 5, 2, QStringLiteral("2345")),
                },
                kTariffText);
  {
    // Move the last call to 2025.
    QFile file(host.Path(DataFileName(12)));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    file.close();
    const qsizetype last = bytes.lastIndexOf("08.12.2026");
    ASSERT_GE(last, 0);
    bytes.replace(last, 10, "08.12.2025");
    host.WriteFile(DataFileName(12), bytes);
  }
  const BillBook book(host.env.workDir, {12, 0, 0, 0}, Table());
  EXPECT_EQ(book.Year(), 2026);
  EXPECT_EQ(book.OtherYearsLeftOut(), 1);
  ASSERT_EQ(book.Subscribers().size(), 2u);
  std::vector<QByteArray> numbers;
  book.ForEachCall(21, [&](const ReportCall& call) { numbers.push_back(call.row.number); });
  EXPECT_EQ(numbers, (std::vector<QByteArray>{"92345", "8312", "8312"}));
  const SubscriberReport& s21 = book.Subscribers().at(21);
  EXPECT_EQ(s21.cost, 290 + 10000);
  EXPECT_EQ(s21.unknownDuration, 1);
  EXPECT_EQ(s21.zones.at(1).minutes, 2);
  EXPECT_EQ(s21.zones.at(2).calls, 1);
  EXPECT_EQ(book.Subscribers().at(20).cost, 170);
  EXPECT_EQ(book.All().cost, 170 + 290 + 10000);

  QBuffer csv;
  csv.open(QIODevice::WriteOnly);
  WriteBillsCsv(book, csv);
  const QString text = QString::fromUtf8(csv.data());
  EXPECT_TRUE(csv.data().startsWith("\xEF\xBB\xBF"));
  EXPECT_TRUE(text.contains(QStringLiteral("21,2026-12-07,10:00,\"92345\",Город,2,2.90\r\n")))
      << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("21,2026-12-07,13:00,\"8312\",Межгород,20,100.00\r\n")));
  EXPECT_TRUE(text.contains(QStringLiteral("20,2026-12-07,11:00,\"2345\",Город,1,1.70\r\n")));
}

TEST(TariffFile, TheReadmesExampleIsAFileThatIsRead) {
  QFile readme(QStringLiteral(NORVEL_SOURCE_DIR "/README.md"));
  ASSERT_TRUE(readme.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(readme.readAll());
  const qsizetype start = text.indexOf(QStringLiteral("```ini\n# NorvelTariffs.txt"));
  ASSERT_GE(start, 0);
  const qsizetype body = text.indexOf(u'\n', start) + 1;
  const QString example = text.mid(body, text.indexOf(QStringLiteral("```"), body) - body);
  const Tariffs t = ParseTariffs(example, QString::fromLatin1(kTariffFileName));
  EXPECT_EQ(t.zones.size(), 4u);
  // A Saturday evening call to a city number: the weekend band comes first.
  EXPECT_EQ(RateCall(t, Call(5, 21, 0, 3, "92345")).cost, 50 + 3 * 60);
  EXPECT_EQ(RateCall(t, Call(7, 21, 0, 3, "92345")).cost, 50 + 3 * 80);
  EXPECT_EQ(RateCall(t, Call(7, 12, 0, 0, "84991234567")).zone, 3);
  // A band ends before its end minute: 07:59 is the night band's, 08:00 the day's price.
  EXPECT_EQ(RateCall(t, Call(7, 7, 59, 3, "92345")).cost, 50 + 3 * 80);
  EXPECT_EQ(RateCall(t, Call(7, 8, 0, 3, "92345")).cost, 50 + 3 * 120);
  // Long distance in December 2026 costs the price from July on; 2026-01-01 is a day off.
  EXPECT_EQ(RateCall(t, Call(7, 12, 0, 2, "98123")).cost, 100 + 2 * 1150);
  EXPECT_TRUE(t.DayOff(2026, 1, 1));
}

// Mistakes only the whole file shows: each is refused with its line and the other place, where
// it used to leave a zone, a key or a band silently dead.
TEST(TariffFile, MistakesAcrossTheFileAreRefusedWithBothPlaces) {
  const struct {
    const char* name;
    const char* text;
    const char* message;
  } cases[] = {
      {"PrefixInTwoZones", "[А]\nprefixes = 2 8\n[Б]\nprefixes = 8\n",
       "строка 4: префикс «8» уже в зоне «А» (строка 2)"},
      {"TwoDefaultZones", "[А]\nprefixes =\n[Б]\nprefixes =\n",
       "строка 4: вторая зона для всех остальных номеров: первая — «А» (строка 2)"},
      {"KeyTwiceInAZone", "[А]\nprefixes = 8\nminute = 9.90\nminute = 1\n",
       "строка 4: «minute» задан второй раз (первый раз в строке 3)"},
      {"GlobalKeyTwice", "currency = руб.\ncurrency = грн\n[А]\nprefixes = 8\n",
       "строка 2: «currency» задан второй раз (первый раз в строке 1)"},
      {"ZoneNameTwice", "[А]\nprefixes = 2\n[А]\nprefixes = 8\n",
       "строка 3: зона «А» уже есть (строка 1)"},
      {"ZoneWithoutPrefixes", "[А]\nprefixes = 2\n[Б]\nminute = 1\n[В]\nprefixes = 8\n",
       "строка 3: у зоны «Б» нет «prefixes»"},
      {"LastZoneWithoutPrefixes", "[А]\nminute = 1\n", "строка 1: у зоны «А» нет «prefixes»"},
      {"BandTwice",
       "[А]\nprefixes = 2\nband = weekend 00:00-24:00 0.6\nband = weekend 00:00-24:00 0.6\n",
       "строка 4: «band» пересекается с полосой строки 3"},
      {"BandsOverlap",
       "[А]\nprefixes = 2\nband = all 00:00-08:00 0.8\nband = all 07:00-09:00 0.5\n",
       "строка 4: «band» пересекается с полосой строки 3"},
      {"PriceBeyondTheLimit", "[А]\nprefixes = 2\nminute = 1000001\n",
       "строка 3: «minute»: неверная сумма «1000001»"},
      {"LaterPricesWithoutADay", "[А]\nprefixes = 2\n[Б]\nprefixes = 8\n[А]\nminute = 2\n",
       "строка 5: зона «А» уже есть (строка 1)"},
      {"LaterPricesOutOfOrder",
       "[А]\nprefixes = 2\nvalid_from = 2026-03-01\n[А]\nvalid_from = 2026-01-01\n",
       "строка 4: цены зоны «А» с 2026-01-01 идут после цен с 2026-03-01"},
      {"LaterPricesWithPrefixes", "[А]\nprefixes = 2\n[А]\nvalid_from = 2026-07-01\nprefixes = 3\n",
       "строка 5: номера зоны «А» даны в ее первой части (строка 1)"},
      {"NotADay", "[А]\nprefixes = 2\nvalid_from = 2026-02-30\n",
       "строка 3: «valid_from»: «2026-02-30» — не день"},
      {"VatAbove100", "vat = 120\n[А]\nprefixes = 2\n", "строка 1: «vat»: неверный процент «120»"},
      {"NotAHoliday", "holidays = 2026-01-01, 1 мая\n[А]\nprefixes = 2\n",
       "строка 1: «holidays»: «1 мая» — не день"},
      {"WeekendBandUnderAnAllDayOne",
       "[А]\nprefixes = 2\nband = all 00:00-24:00 0.8\nband = weekend 10:00-12:00 0.5\n",
       "строка 4: «band» не действует ни в одну минуту: ее дни и часы уже заняты полосами строк 3"},
      {"AllBandUnderWeekdayAndWeekendOnes",
       "[А]\nprefixes = 2\nband = weekdays 08:00-20:00 1\nband = weekend 00:00-24:00 0.5\n"
       "band = all 09:00-18:00 0.7\n",
       "строка 5: «band» не действует ни в одну минуту: ее дни и часы уже заняты полосами строк 3, "
       "4"},
      {"ChargedWithNothing", "charged =\n[А]\nprefixes = 2\n",
       "строка 1: «charged» без типов вызова"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(Problem(c.text).contains(QString::fromUtf8(c.message)))
        << c.name << " gave " << Problem(c.text).toStdString();
  }
  // A weekend band before one of every day keeps the weekend's own price: no overlap.
  EXPECT_EQ(Problem("[А]\nprefixes = 2\nband = weekend 00:00-24:00 0.6\n"
                    "band = all 00:00-08:00 0.8\n"),
            QString());
  // A band of one minute just after another's end is reached: a band ends before its end.
  EXPECT_EQ(Problem("[А]\nprefixes = 2\nband = all 00:00-12:00 0.8\nband = all 12:00-12:01 0.5\n"),
            QString());

  // Warned, not refused: holidays of other years only, prices more than a year ahead.
  const Tariffs tariffs = ParseTariffs(
      QStringLiteral("holidays = 2025-01-01\n[А]\nprefixes = 2\n[А]\nvalid_from = 2028-01-01\n"),
      QStringLiteral("t"));
  const QStringList warnings = TariffWarnings(tariffs, QDate(2026, 12, 8), 2026);
  ASSERT_EQ(warnings.size(), 2);
  EXPECT_TRUE(warnings[0].contains(QStringLiteral("нет ни одного дня 2026 года")));
  EXPECT_TRUE(warnings[1].contains(QStringLiteral("с 2028-01-01, больше чем через год")));
  EXPECT_TRUE(TariffWarnings(tariffs, QDate(2027, 2, 1), 2025).isEmpty());
}

// The subscriber directory as written, and each mistake named with its line.
TEST(SubscriberFile, EntriesAndMistakes) {
  const SubscriberDirectory directory = ParseSubscriberDirectory(
      QStringLiteral("# who\n20 = Иванов Иван; Бухгалтерия; 100-01  # chief\n 43 = Склад \n"),
      QStringLiteral("f"));
  ASSERT_NE(directory.Of(20), nullptr);
  EXPECT_EQ(directory.Of(20)->name, QStringLiteral("Иванов Иван"));
  EXPECT_EQ(directory.Of(20)->costCentre, QStringLiteral("100-01"));
  EXPECT_EQ(directory.DepartmentOf(20), QStringLiteral("Бухгалтерия"));
  EXPECT_EQ(directory.DepartmentOf(43), QStringLiteral("без отдела"));
  EXPECT_EQ(directory.Of(21), nullptr);
  EXPECT_TRUE(directory.Warnings().isEmpty());
  // "#" glued to a word is part of the name; two spellings of one department are warned.
  const SubscriberDirectory spelled = ParseSubscriberDirectory(
      QStringLiteral("24 = Склад#2; Продажи\n25 = Петров; продажи\n26 = Сидоров; Продажи \n"),
      QStringLiteral("f"));
  EXPECT_EQ(spelled.Of(24)->name, QStringLiteral("Склад#2"));
  EXPECT_EQ(spelled.Warnings(),
            QStringList{QStringLiteral("Файл f, строка 2: отдел «продажи» отличается от «Продажи» "
                                       "(строка 1) только регистром или пробелами; это два "
                                       "отдела")});
  const struct {
    const char* name;
    const char* text;
    const char* message;
  } cases[] = {
      {"NotAnExtension", "19 = Кто-то\n", "строка 1: «19» — не номер абонента станции"},
      {"NoEquals", "20 Иванов\n", "строка 1: нужно «номер = имя; отдел; центр затрат»"},
      {"Twice", "20 = А\n\n20 = Б\n", "строка 3: абонент 20 уже назван в строке 1"},
      {"NoName", "21 = ; Склад\n", "строка 1: у абонента 21 нет имени"},
      {"TooManyParts", "22 = А; Б; В; Г\n", "строка 1: больше трех частей"},
      {"CommasForSemicolons", "22 = Петров, Продажи, 101\n", "строка 1: части разделены «,»"},
      {"ACommentCuttingTheDepartment", "23 = Склад #2; Логистика\n",
       "строка 1: после «#» идет «;»"},
  };
  for (const auto& c : cases) {
    try {
      ParseSubscriberDirectory(QString::fromUtf8(c.text), QStringLiteral("f"));
      ADD_FAILURE() << c.name << " was read";
    } catch (const ConvertError& error) {
      EXPECT_TRUE(error.Message().contains(QString::fromUtf8(c.message)))
          << c.name << " gave " << error.Message().toStdString();
    }
  }
}

TEST(TariffFile, AFileNotInUtf8IsNamedWithItsLine) {
  FakeHost host;
  // "Город" in Windows-1251 on line 3.
  host.WriteFile(QString::fromLatin1(kTariffFileName),
                 "[A]\nprefixes = 2\n[\xc3\xee\xf0\xee\xe4]\nprefixes = 8\n");
  try {
    LoadTariffs(host.env.workDir);
    FAIL() << "a Windows-1251 file was taken";
  } catch (const ConvertError& error) {
    EXPECT_TRUE(error.Message().contains(QStringLiteral("строка 3: текст не в UTF-8")))
        << error.Message().toStdString();
  }
}

namespace {

// An office's month: on each weekday of December 2026, from 10:00, lines 1 to `fullLines` busy
// for `fullMinutes`, and the next line for `partMinutes`; nothing at weekends.
std::vector<CallRecord> Office(int fullLines, int fullMinutes, int partMinutes) {
  std::vector<CallRecord> calls;
  for (int day = 1; day <= 31; ++day) {
    if (DayOfWeek(2026, 12, day) > 5) continue;
    for (int line = 1; line <= fullLines; ++line) {
      calls.push_back(Record(day, 10, 0, 19 + line, fullMinutes, line, QStringLiteral("2345")));
    }
    if (partMinutes > 0) {
      calls.push_back(
          Record(day, 10, 0, 20 + fullLines, partMinutes, fullLines + 1, QStringLiteral("2345")));
    }
  }
  return calls;
}

}  // namespace

// The busy hour is taken over the working days: an office busy only on weekdays is not averaged
// down by its weekends, and the verdict is a lower bound; with every line busy at once the
// recorded calls cannot tell how many lines are needed.
TEST(LineLoad, TheBusyHourOfTheWorkingDaysDecidesTheVerdict) {
  FakeHost host;
  // 3.45 erlangs at 10:00 on each of the 23 weekdays: on 8 lines more than 1 % are lost.
  WriteDecember(host, Office(3, 60, 27));
  const ReportData office = BuildReport(host.env.workDir, {12, 0, 0, 0}, 8);
  EXPECT_EQ(office.workingDays, 23);
  EXPECT_EQ(office.busyDays, 10);
  EXPECT_EQ(office.busyHour, 10);
  EXPECT_DOUBLE_EQ(office.busyHourTraffic, 3.45);
  EXPECT_GT(office.blockingAtBusyHour, 0.01);
  EXPECT_EQ(office.linesForOnePercent, LinesFor(3.45, 0.01));
  EXPECT_GT(office.linesForOnePercent, 8);
  EXPECT_FALSE(office.linesCannotBeEstimated);
  // Averaged over all 31 days, as before, the same calls looked like enough.
  EXPECT_LE(LinesFor(office.erlangs[10], 0.01), 8);

  // Holidays are days off: the working days are fewer, and their calls are outside the hours.
  QFile tariffs(QDir(host.env.workDir).filePath(QString::fromLatin1(kTariffFileName)));
  ASSERT_TRUE(tariffs.open(QIODevice::WriteOnly));
  tariffs.write("holidays = 2026-12-01, 2026-12-02\n[Все]\nprefixes =\n");
  tariffs.close();
  const ReportData holidays = BuildReport(host.env.workDir, {12, 0, 0, 0}, 8);
  EXPECT_EQ(holidays.workingDays, 21);
  EXPECT_EQ(holidays.outsideWorkingHours, office.outsideWorkingHours + 2 * 4);  // 4 calls a day
  ASSERT_TRUE(tariffs.remove());

  // Every one of the 8 lines busy for half an hour each weekday.
  WriteDecember(host, Office(8, 30, 0));
  const ReportData full = BuildReport(host.env.workDir, {12, 0, 0, 0}, 8);
  EXPECT_TRUE(full.linesCannotBeEstimated);
  EXPECT_EQ(full.allBusyMinutes, 300);  // 30 minutes on each of the 10 busiest days

  // The verdict leads with the decision; that the record understates the load comes under it.
  const auto verdict = [](const ReportData& data) {
    return LineVerdict(data.calls, data.linesCannotBeEstimated, data.allBusyMinutes,
                       data.linesForOnePercent, data.cityLines);
  };
  EXPECT_TRUE(
      verdict(office).startsWith(QStringLiteral("Линий не хватает: нужно не менее %1 (сейчас 8).")
                                     .arg(office.linesForOnePercent)));
  EXPECT_TRUE(verdict(full).startsWith(QStringLiteral("Линий не хватает: нужно не менее")));
  EXPECT_TRUE(verdict(full).contains(QStringLiteral("\nЛинии заняты все одновременно 300 мин")));
  EXPECT_TRUE(LineVerdict(100, true, 300, 5, 8)
                  .startsWith(QStringLiteral("Линий, вероятно, не хватает: все 8 заняты")));
  // Settings for 4 lines while the calls use 8: the calls' count holds, and the report says so.
  const ReportData fewer = BuildReport(host.env.workDir, {12, 0, 0, 0}, 4);
  EXPECT_EQ(fewer.cityLines, 8);
  EXPECT_TRUE(fewer.cityLinesFromCalls);
  EXPECT_EQ(fewer.allBusyMinutes, 300);
  EXPECT_FALSE(full.cityLinesFromCalls);
}
