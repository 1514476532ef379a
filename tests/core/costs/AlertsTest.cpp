// Suspicious calls: each kind of rule on hand-made calls, at the edges of working hours, on a
// weekend and a holiday; a subscriber's usual and its first weeks; the auto-dialler; the rules
// file as an administrator writes it.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "core/base/Clock.h"
#include "core/base/Errors.h"
#include "core/costs/AlertDelivery.h"
#include "core/costs/Alerts.h"
#include "core/files/DataFiles.h"

namespace {

CallRecord Call(QDate day, int hour, int minute, int subscriber, int duration,
                const QString& number, int line = 1) {
  CallRecord record;
  record.StartTime = MakeDateTime(day, QTime(hour, minute));
  record.Subscriber = static_cast<quint8>(subscriber);
  record.Duration = duration;
  record.CityLine = static_cast<quint8>(line);
  record.CallType = 1;
  record.DialledNumber = number;
  return record;
}

struct Station {
  QTemporaryDir dir;
  void Store(std::vector<CallRecord> records) { AppendCallRecords(dir.path(), records); }
  AlertCheck Check(const AlertRules& rules, QDate from, QDate to,
                   const std::optional<Tariffs>& tariffs = std::nullopt) {
    return FindAlerts(dir.path(), rules, tariffs, from, to);
  }
};

AlertRules Rules(const char* text) {
  return ParseAlertRules(QString::fromUtf8(text), QStringLiteral("NorvelAlerts.txt"));
}

const QDate kDecember1(2026, 12, 1);
const QDate kDecember31(2026, 12, 31);

}  // namespace

TEST(Alerts, TheBuiltInRulesAtTheEdgesOfWorkingHoursWeekendsAndHolidays) {
  const QString international = QStringLiteral("Международные вне рабочего времени");
  const QString longCall = QStringLiteral("Долгий разговор вне рабочего времени");
  // December 2026: the 5th is a Saturday, the 7th a Monday; the 9th a holiday of the tariffs.
  const struct {
    const char* name;
    int day, hour, minute, duration;
    const char* number;
    QString rule;
    const char* when = "";  // how the finding names the day, when it names one
  } rows[] = {
      {"a minute before work", 7, 7, 59, 5, "981044207946", international},
      {"work starts", 7, 8, 0, 5, "981044207946", {}},
      {"the last minute of work", 7, 17, 59, 5, "90044207946", {}},
      {"work has ended", 7, 18, 0, 5, "90044207946", international},
      {"a Saturday noon", 5, 12, 0, 5, "9810375", international, "выходной (сб)"},
      {"a holiday noon", 9, 12, 0, 5, "9810375", international, "праздник (ср)"},
      {"an 8 of long distance, not abroad", 7, 23, 0, 5, "984951234567", {}},
      {"61 minutes at night", 8, 23, 0, 61, "2345678", longCall},
      {"60 minutes at night", 10, 23, 0, 60, "2345678", {}},
      {"200 minutes at work", 10, 10, 0, 200, "2345678", {}},
  };
  Station station;
  std::vector<CallRecord> records;
  for (const auto& row : rows) {
    records.push_back(Call(QDate(2026, 12, row.day), row.hour, row.minute, 20, row.duration,
                           QString::fromLatin1(row.number)));
  }
  station.Store(records);
  const Tariffs tariffs = ParseTariffs(QStringLiteral("strip = 9\n"
                                                      "working_hours = weekdays 08:00-18:00\n"
                                                      "holidays = 2026-12-09\n"
                                                      "[Все]\nprefixes =\nminute = 1\n"),
                                       QStringLiteral("t"));
  const AlertCheck check = station.Check(BuiltInAlertRules(), kDecember1, kDecember31, tariffs);
  EXPECT_EQ(check.callsChecked, qint64(std::size(rows)));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    QStringList found;
    for (const AlertFinding& finding : check.findings) {
      const ExportRow& call = finding.calls.front();
      if (call.day == row.day && call.hour == row.hour && call.minute == row.minute) {
        found << finding.rule;
        EXPECT_EQ(finding.level, AlertRule::Level::kAlarm);
        EXPECT_TRUE(finding.why.contains(QString::fromUtf8(row.when))) << finding.why.toStdString();
      }
    }
    EXPECT_EQ(found, row.rule.isEmpty() ? QStringList() : QStringList{row.rule});
  }
  // Without the tariff file nothing is stripped and the 9th is a working day.
  EXPECT_EQ(station.Check(BuiltInAlertRules(), kDecember1, kDecember31).findings.size(), 1u);
}

TEST(Alerts, EveryConditionOfARuleMustHold) {
  Station station;
  const QDate monday(2026, 12, 7);
  station.Store({Call(monday, 10, 0, 40, 3, "2345678", 8), Call(monday, 10, 5, 40, 3, "1234567", 2),
                 Call(monday, 10, 10, 21, 3, "2345678", 8), Call(monday, 10, 15, 22, 30, "2345678"),
                 // 10,00 exactly is not above 10,00.
                 Call(monday, 10, 20, 23, 20, "2345678")});
  const AlertRules rules = Rules(
      "[Молчащий абонент на линии 8]\nsubscribers = 40, 41\nlines = 8\n"
      "[Дорого]\nlevel = тревога\ncost_above = 10\n");
  const Tariffs tariffs =
      ParseTariffs(QStringLiteral("[Город]\nprefixes = 2\nminute = 0.5\n"), QStringLiteral("t"));
  const AlertCheck check = station.Check(rules, monday, monday, tariffs);
  ASSERT_EQ(check.findings.size(), 2u);
  EXPECT_EQ(check.findings[0].why,
            QStringLiteral("абонент 40 в списке правила, ГЛ 8 в списке правила"));
  EXPECT_EQ(check.findings[1].why, QStringLiteral("15,00 > 10,00 руб."));
  EXPECT_EQ(check.findings[1].level, AlertRule::Level::kAlarm);
  EXPECT_FALSE(check.HasAlarm() && check.findings[0].level == AlertRule::Level::kAlarm);
  // A cost rule without the tariff file finds nothing and says why.
  const AlertCheck unrated = station.Check(rules, monday, monday);
  EXPECT_EQ(unrated.findings.size(), 1u);
  EXPECT_EQ(unrated.notes.size(), 1);
  EXPECT_FALSE(unrated.HasAlarm());  // a warning alone is no alarm
  EXPECT_TRUE(check.HasAlarm());
}

TEST(Alerts, ASubscribersUsualNeedsFourKnownWeeks) {
  // Subscriber 43, the last, talks 10 minutes every Tuesday night; on Tuesday the 29th of
  // December, 31.
  const AlertRules rules =
      Rules("[Ночью больше обычного]\nusual = minutes\ntimes = 3\npart = night\n");
  const QDate tuesday(2026, 12, 29);
  const auto history = [&](int weeks) {
    std::vector<CallRecord> records;
    for (int week = weeks; week >= 1; --week) {
      records.push_back(Call(tuesday.addDays(-7 * week), 22, 0, 43, 10, "2345678"));
    }
    return records;
  };
  {
    Station station;  // three weeks known: no usual yet
    std::vector<CallRecord> records = history(3);
    records.push_back(Call(tuesday, 22, 0, 43, 31, "2345678"));
    station.Store(records);
    EXPECT_TRUE(station.Check(rules, tuesday, tuesday).findings.empty());
  }
  {
    Station station;  // four weeks: 31 > 3 × 10
    std::vector<CallRecord> records = history(4);
    records.push_back(Call(tuesday, 22, 0, 43, 31, "2345678"));
    records.push_back(Call(tuesday, 12, 0, 43, 100, "2345678"));  // the day part: not this rule's
    station.Store(records);
    const AlertCheck check = station.Check(rules, tuesday, tuesday);
    ASSERT_EQ(check.findings.size(), 1u);
    EXPECT_EQ(check.findings[0].why,
              QStringLiteral("ночь, вт 29.12.2026: 31 мин, обычно 10 мин (медиана 4 нед. по "
                             "вторникам), порог ×3"));
    EXPECT_EQ(check.findings[0].callCount, 1);
    EXPECT_EQ(check.findings[0].calls[0].duration, 31);
  }
  {
    Station station;  // exactly three times the usual is not above it
    std::vector<CallRecord> records = history(8);
    records.push_back(Call(tuesday, 22, 0, 43, 30, "2345678"));
    station.Store(records);
    EXPECT_TRUE(station.Check(rules, tuesday, tuesday).findings.empty());
  }
}

// The keys that narrow a rule, its own hours and the silent extension, each at its edges:
// every row names the first call (subscriber and time) of each finding.
TEST(Alerts, ExceptionsWindowsOwnHoursAndSilence) {
  const QDate thursday(2026, 12, 10);
  const QDate saturday(2026, 12, 12);
  const auto days = [&](int back, int hour, int minute, int subscriber, const char* number) {
    return Call(thursday.addDays(-back), hour, minute, subscriber, 5, QString::fromLatin1(number));
  };
  const QDate tuesday(2026, 12, 29);
  const auto usual = [&](int subscriber, int calls) {
    std::vector<CallRecord> records;
    for (int week = 4; week >= 1; --week)
      records.push_back(Call(tuesday.addDays(-7 * week), 10, 0, subscriber, 1, "2345678"));
    for (int i = 0; i < calls; ++i)
      records.push_back(Call(tuesday, 11, i, subscriber, 1, "2345678"));
    return records;
  };
  const auto joined = [](std::initializer_list<std::vector<CallRecord>> parts) {
    std::vector<CallRecord> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    std::stable_sort(all.begin(), all.end(), [](const CallRecord& a, const CallRecord& b) {
      return a.StartTime < b.StartTime;
    });
    return all;
  };
  const struct {
    const char* name;
    const char* rules;
    std::vector<CallRecord> calls;
    QDate from, to;
    QStringList found;
  } rows[] = {
      {"a subscriber left out",
       "[А]\nlonger_than = 4\nexcept_subscribers = 21",
       {days(0, 10, 0, 20, "2345678"), days(0, 10, 1, 21, "2345678")},
       thursday,
       thursday,
       {"20 10:00"}},
      {"a number left out by its prefix",
       "[А]\nprefixes = 810\nexcept_numbers = 81037",
       {days(0, 10, 0, 20, "81037512345"), days(0, 10, 1, 21, "81044207946")},
       thursday,
       thursday,
       {"21 10:01"}},
      {"hours across midnight",
       "[А]\nlonger_than = 0\nhours = 22:00-07:00",
       {days(1, 21, 59, 20, "1"), days(1, 22, 0, 20, "1"), days(0, 6, 59, 20, "1"),
        days(0, 7, 0, 20, "1")},
       thursday.addDays(-1),
       thursday,
       {"20 22:00", "20 06:59"}},
      {"hours from midnight",
       "[А]\nlonger_than = 0\nhours = 00:00-06:00",
       {days(1, 23, 59, 20, "1"), days(0, 0, 0, 20, "1"), days(0, 6, 0, 20, "1")},
       thursday.addDays(-1),
       thursday,
       {"20 00:00"}},
      {"hours within a day",
       "[А]\nlonger_than = 0\nhours = 12:00-13:00",
       {days(0, 11, 59, 20, "1"), days(0, 12, 0, 20, "1"), days(0, 12, 59, 20, "1"),
        days(0, 13, 0, 20, "1")},
       thursday,
       thursday,
       {"20 12:00", "20 12:59"}},
      // 20 called at 07:00 on three working days before, 21 on two: 20's calls half an hour
      // either side are its own, a minute further and its Saturday are not.
      {"own hours",
       "[А]\nprefixes = 810\nwhen = outside_hours\nown_hours = yes",
       {days(3, 7, 0, 20, "1"), days(2, 7, 0, 20, "1"), days(2, 7, 0, 21, "1"),
        days(1, 7, 0, 20, "1"), days(1, 7, 0, 21, "1"), days(0, 6, 29, 20, "81044"),
        days(0, 6, 30, 20, "81044"), days(0, 7, 0, 21, "81044"), days(0, 7, 30, 20, "81044"),
        days(0, 7, 31, 20, "81044"), Call(saturday, 7, 0, 20, 5, "81044")},
       thursday,
       saturday,
       {"20 06:29", "21 07:00", "20 07:31", "20 07:00"}},
      // 20 was last heard 29 days before, 21 28 days before, 22 never; 23's call 40 days
      // before shows the records reach back.
      {"silent days",
       "[А]\nsilent_days = 28",
       {days(40, 9, 0, 23, "1"), days(29, 9, 0, 20, "1"), days(28, 9, 0, 21, "1"),
        days(0, 9, 0, 20, "1"), days(0, 9, 1, 21, "1"), days(0, 9, 2, 22, "1"),
        days(0, 9, 3, 22, "1")},
       thursday,
       thursday,
       {"20 09:00", "22 09:02 x2"}},
      {"records too short to know a silence",
       "[А]\nsilent_days = 28",
       {days(28, 9, 0, 23, "1"), days(0, 9, 2, 22, "1")},
       thursday,
       thursday,
       {}},
      // Once a Tuesday each: above three times that, 20's 9 calls are under the least, 21's
      // 10 are not.
      {"a least value",
       "[А]\nusual = calls\ntimes = 3\nat_least = 10",
       joined({usual(20, 9), usual(21, 10)}),
       tuesday,
       tuesday,
       {"21 11:00 x10"}},
      // The usual of 1 taken as 5: 15 calls are not above three times that, 16 are.
      {"a floor under the usual",
       "[А]\nusual = calls\ntimes = 3\nusual_floor = 5",
       joined({usual(21, 15), usual(22, 16)}),
       tuesday,
       tuesday,
       {"22 11:00 x16"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Station station;
    station.Store(row.calls);
    QStringList found;
    for (const AlertFinding& finding : station.Check(Rules(row.rules), row.from, row.to).findings) {
      const ExportRow& call = finding.calls.front();
      found << QStringLiteral("%1 %2:%3%4")
                   .arg(call.subscriber)
                   .arg(call.hour, 2, 10, QLatin1Char('0'))
                   .arg(call.minute, 2, 10, QLatin1Char('0'))
                   .arg(finding.callCount > 1 ? QStringLiteral(" x%1").arg(finding.callCount)
                                              : QString());
    }
    EXPECT_EQ(found, row.found) << found.join(u'|').toStdString();
  }
  EXPECT_THROW(Rules("[А]\nprefixes = 810\nown_hours = yes"), ConvertError);  // needs when
  EXPECT_THROW(Rules("[А]\nlonger_than = 0\nhours = 07:00-07:00"), ConvertError);
  EXPECT_THROW(Rules("[А]\nlonger_than = 0\nhours = 24:00-07:00"), ConvertError);
  EXPECT_THROW(Rules("[А]\nsilent_days = 57"), ConvertError);
  EXPECT_EQ(Rules("[А]\nlonger_than = 0\nhours = 00:00-24:00").rules[0].hoursTo, 24 * 60);
}

TEST(Alerts, AnAutoDiallerIsOneFindingPerBurst) {
  const QDate monday(2026, 12, 7);
  std::vector<CallRecord> records;
  // Nine calls in four minutes: below the rule.
  for (int i = 0; i < 9; ++i) records.push_back(Call(monday, 9, i / 2, 31, 0, "2345678", 3));
  // Then twelve in three minutes from subscriber 33, on lines 4 and 5.
  for (int i = 0; i < 12; ++i) {
    records.push_back(Call(monday, 11, i / 4, 33, 0, "2345678", 4 + i % 2));
  }
  Station station;
  station.Store(records);
  const AlertCheck bySubscriber =
      station.Check(Rules("[Автодозвон]\nburst = 10 calls in 5 minutes\n"), monday, monday);
  ASSERT_EQ(bySubscriber.findings.size(), 1u);
  EXPECT_EQ(bySubscriber.findings[0].callCount, 12);
  EXPECT_EQ(
      bySubscriber.findings[0].why,
      QStringLiteral("абонент 33: 12 выз. с 2026-12-07 11:00 по 11:02 (порог: 10 выз. за 5 мин)"));
  // By line: line 3 has the nine, lines 4 and 5 six each; each run is one finding.
  EXPECT_EQ(
      station.Check(Rules("[Линия]\nburst = 7 calls in 5 minutes\nby = line\n"), monday, monday)
          .findings.size(),
      1u);
  const AlertCheck byLine =
      station.Check(Rules("[Линия]\nburst = 6 calls in 3 minutes\nby = line\n"), monday, monday);
  ASSERT_EQ(byLine.findings.size(), 3u);
  EXPECT_EQ(byLine.findings[0].callCount, 9);
}

// "10 calls in 5 minutes": ten calls within minutes 0 to 4 are a burst; spread over minutes 0 to
// 5 they are not.
TEST(Alerts, ABurstsWindowEndsAtItsLastMinute) {
  const QDate monday(2026, 12, 7);
  const AlertRules rules = Rules("[Автодозвон]\nburst = 10 calls in 5 minutes\n");
  const struct {
    const char* name;
    int hour;
    int minutes[10];  // past the hour; 60 and more in the next hour
    size_t findings;
  } rows[] = {
      {"within minutes 0 to 4", 11, {0, 0, 1, 1, 2, 2, 3, 3, 4, 4}, 1},
      {"over minutes 0 to 5", 11, {0, 1, 1, 2, 2, 3, 3, 4, 4, 5}, 0},
      {"within five minutes across the hour", 10, {56, 56, 57, 57, 58, 58, 59, 59, 60, 60}, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<CallRecord> records;
    for (const int minute : row.minutes) {
      records.push_back(Call(monday, row.hour + minute / 60, minute % 60, 33, 0, "1"));
    }
    Station station;
    station.Store(records);
    EXPECT_EQ(station.Check(rules, monday, monday).findings.size(), row.findings);
  }
}

// A usual of nothing counts as one unit: for costs one rouble, so 2.50 rub. where nothing is
// usual stays under "3 times the usual" and 3.50 rub. goes over it.
TEST(Alerts, AUsualCostOfNothingIsOneRouble) {
  const Tariffs tariffs =
      ParseTariffs(QStringLiteral("[Город]\nprefixes = 2\nminute = 0.01\n"), QStringLiteral("t"));
  const AlertRules rules = Rules("[Дороже обычного]\nusual = cost\ntimes = 3\n");
  const QDate tuesday(2026, 12, 29);
  // 3,00 is not above three roubles, 3,01 is.
  for (const auto& [minutes, findings] : {std::pair{300, 0u}, {301, 1u}}) {
    SCOPED_TRACE(minutes);
    Station station;
    // Eight weeks known by another subscriber's calls; subscriber 43 never called.
    std::vector<CallRecord> records;
    for (int week = 8; week >= 1; --week) {
      records.push_back(Call(tuesday.addDays(-7 * week), 10, 0, 20, 1, "2345678"));
    }
    records.push_back(Call(tuesday, 10, 0, 43, minutes, "2345678"));
    station.Store(records);
    EXPECT_EQ(station.Check(rules, tuesday, tuesday, tariffs).findings.size(), findings);
  }
}

// The usual is the median of the known weeks (of an even count, the mean of the middle two),
// of the rule's part of the day only, for every subscriber from 20 on; a usual of nothing is
// one call.
TEST(Alerts, TheUsualIsTheMedianOfTheRulesPart) {
  const QDate tuesday(2026, 12, 29);
  const struct {
    const char* name;
    const char* rules;
    int subscriber;
    int history[4];  // minutes on the four Tuesdays before, at 10:00
    int hour;        // of the day's calls
    int calls;       // of one minute each, unless `minutes`
    int minutes;
    size_t findings;
  } rows[] = {
      {"under three times the median 16", "usual = minutes", 20, {30, 10, 20, 12}, 10, 1, 47, 0},
      {"over three times the median 16", "usual = minutes", 20, {30, 10, 20, 12}, 10, 1, 49, 1},
      {"a night call is not the day's",
       "usual = minutes\npart = day",
       30,
       {5, 5, 5, 5},
       23,
       1,
       90,
       0},
      {"three calls where none is usual", "usual = calls", 30, {0, 0, 0, 0}, 10, 3, 1, 0},
      {"four calls where none is usual", "usual = calls", 30, {0, 0, 0, 0}, 10, 4, 1, 1},
      {"at 2,5 times the median 16",
       "usual = minutes\ntimes = 2,5",
       20,
       {30, 10, 20, 12},
       10,
       1,
       40,
       0},
      {"over 2.5 times the median 16",
       "usual = minutes\ntimes = 2.5",
       20,
       {30, 10, 20, 12},
       10,
       1,
       41,
       1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<CallRecord> records;
    for (int week = 1; week <= 4; ++week) {
      // Another subscriber makes the weeks known; this one talks its history's minutes.
      records.push_back(Call(tuesday.addDays(-7 * week), 9, 0, 21, 1, "2345678"));
      if (row.history[week - 1] > 0) {
        records.push_back(
            Call(tuesday.addDays(-7 * week), 10, 0, row.subscriber, row.history[week - 1], "2"));
      }
    }
    for (int i = 0; i < row.calls; ++i) {
      records.push_back(Call(tuesday, row.hour, i, row.subscriber, row.minutes, "2345678"));
    }
    Station station;
    station.Store(records);
    const AlertRules rules =
        Rules((QByteArray("[Больше обычного]\n") +
               (QByteArray(row.rules).contains("times") ? "" : "times = 3\n") + row.rules + '\n')
                  .constData());
    EXPECT_EQ(station.Check(rules, tuesday, tuesday).findings.size(), row.findings);
  }
}

// The seen list keeps what it was told for 400 days, and forgets the day before.
TEST(Alerts, TheSeenListKeepsFourHundredDays) {
  QTemporaryDir dir;
  const QDate today(2026, 12, 8);
  {
    AlertSeenList seen(dir.path());
    seen.Add(today.addDays(-400).toString(Qt::ISODate) + QStringLiteral("|kept"));
    seen.Add(today.addDays(-401).toString(Qt::ISODate) + QStringLiteral("|dropped"));
    QString reason;
    ASSERT_TRUE(seen.Save(today, &reason)) << reason.toStdString();
  }
  const AlertSeenList again(dir.path());
  EXPECT_TRUE(again.Seen(QStringLiteral("2025-11-03|kept")));
  EXPECT_FALSE(again.Seen(QStringLiteral("2025-11-02|dropped")));
}

TEST(Alerts, AMistakeInTheRulesFileIsNamedWithItsLine) {
  const struct {
    const char* text;
    const char* error;
  } rows[] = {
      {"[А]\nlevel = очень\n", "строка 2: «level»: нужно «предупреждение» или «тревога»"},
      {"[А]\nlevel = тревога\n", "строка 1: правило «А»: нет условия"},
      {"[А]\nprefixes = 8l0\n", "строка 2: «prefixes»: «8l0» - не цифры"},
      {"[А]\nburst = 10 calls per minute\n", "строка 2: «burst»: нужно «N calls in M minutes»"},
      {"[А]\nusual = minutes\n", "строка 1: правило «А»: нет «times»"},
      {"[А]\nusual = minutes\ntimes = 1\n", "строка 3: «times»: нужно число больше 1"},
      {"[А]\nusual = minutes\ntimes = 2.5.1\n", "строка 3: «times»: нужно число больше 1"},
      {"[А]\nusual = minutes\ntimes = 1000.5\n", "строка 3: «times»: нужно число больше 1"},
      {"[А]\nusual = minutes\ntimes = 3\nprefixes = 8\n",
       "строка 4: «prefixes» не подходит к правилу с «usual»"},
      {"[А]\nlonger_than = 60\n[А]\n", "строка 3: правило «А» уже есть (строка 1)"},
      {"mail = -oQ/tmp@x\n", "строка 1: «mail»: «-oQ/tmp@x» - не адрес"},
      {"mail = -oQ/tmp\n", "строка 1: «mail»: «-oQ/tmp» - не адрес"},
      {"mail = root x\n", "строка 1: «mail»: «root x» - не адрес"},
      {"[А]\nlines = 9\n", "строка 2: «lines»: нужно число от 1 до 8"},
      {"[А]\nwhen = night\nlonger_than = 1\n", "строка 2: «when»: нужно одно из"},
      // No call lasts more than a day, and no burst is counted over more than one.
      {"[А]\nlonger_than = 1441\n", "строка 2: «longer_than»"},
      {"[А]\nburst = 5 calls in 1441 minutes\n", "строка 2: «burst»"},
      // Emptied, or holding settings alone: nothing would be checked, and all said clear.
      {"", "нет ни одного правила"},
      {"# все правила убраны\nmail = it@example.com\n", "нет ни одного правила"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    try {
      Rules(row.text);
      ADD_FAILURE() << "accepted";
    } catch (const ConvertError& error) {
      EXPECT_TRUE(error.Message().startsWith(QStringLiteral("Файл NorvelAlerts.txt")) &&
                  error.Message().contains(QString::fromUtf8(row.error)))
          << error.Message().toStdString();
    }
  }
}

// A part of a kopeck in a cost threshold counts up: 1.0001 is 1.01.
// root, the default, may be written as it stands, and so may any user of this machine.
TEST(Alerts, AUserOfThisMachineIsAnAddress) {
  EXPECT_EQ(Rules("mail = root, it.admin\n[А]\nlonger_than = 60\n").mail,
            QStringList({"root", "it.admin"}));
}

TEST(Alerts, ACostThresholdRoundsUpToTheKopeck) {
  EXPECT_EQ(Rules("[А]\ncost_above = 1.0001\n").rules.at(0).costAbove, 101);
  EXPECT_EQ(Rules("[А]\ncost_above = 1.01\n").rules.at(0).costAbove, 101);
}

// The rules file is read up to a mebibyte: a bigger one is no rules file.
TEST(Alerts, ARulesFileOfMoreThanAMebibyteIsRefused) {
  QTemporaryDir dir;
  QFile file(dir.filePath(QString::fromLatin1(kAlertRulesFileName)));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  const QByteArray rule = "[А]\nlonger_than = 60\n";
  file.write(rule + QByteArray((1 << 20) - rule.size(), '\n'));
  file.close();
  EXPECT_EQ(LoadAlertRules(dir.path()).rules.size(), 1u);
  ASSERT_TRUE(file.open(QIODevice::Append));
  file.write("\n");
  file.close();
  EXPECT_THROW(LoadAlertRules(dir.path()), IoError);
}

TEST(Alerts, TheShownRulesReadBackAsTheSame) {
  AlertRules every = Rules(
      "station = Офис\nmail = a@example.com, b@example.com\ncommand = /bin/true\n"
      "command_format = json\n"
      "[Звонки]\nlevel = тревога\nprefixes = 810\nlonger_than = 5\ncost_above = 12.5\n"
      "subscribers = 20\nlines = 1, 2\nwhen = days_off\n"
      "[Обычное]\nusual = cost\ntimes = 4\npart = day\n"
      "[Залп]\nburst = 5 calls in 2 minutes\nby = line\nwhen = outside_hours\n"
      // Every call, and calls of a whole day: the edges of "longer_than" are conditions too.
      "[Любой]\nlonger_than = 0\n[Сутки]\nlonger_than = 1440\n"
      "[Сутки подряд]\nburst = 2 calls in 1440 minutes\n"
      "[Ночь]\nprefixes = 810\nexcept_subscribers = 20, 21\nexcept_numbers = 81037\n"
      "hours = 22:00-07:00\nwhen = outside_hours\nown_hours = yes\n"
      "[Много]\nusual = calls\ntimes = 3\nat_least = 10\nusual_floor = 5\n"
      "[Молчал]\nsilent_days = 28\nexcept_subscribers = 43\n");
  for (AlertRules rules : {BuiltInAlertRules(), every}) {
    AlertRules back = ParseAlertRules(AlertRulesText(rules), QStringLiteral("x"));
    for (AlertRule& rule : rules.rules) rule.line = 0;
    for (AlertRule& rule : back.rules) rule.line = 0;
    back.builtIn = rules.builtIn;
    EXPECT_EQ(back, rules);
  }
}

TEST(Alerts, TheMailNamesTheStationTheLevelAndTheCount) {
  AlertFinding a;
  a.rule = QStringLiteral("Правило");
  a.level = AlertRule::Level::kWarning;
  a.why = QStringLiteral("почему");
  ExportRow row;
  row.year = 2026, row.month = 12, row.day = 5, row.hour = 3, row.minute = 15;
  row.subscriber = 31, row.duration = 12, row.cityLine = 2, row.callType = 1;
  row.number = "81044207946000";
  a.calls = {row};
  a.callCount = 1;
  AlertFinding b = a;
  b.rule = QStringLiteral("Тревожное");
  b.level = AlertRule::Level::kAlarm;
  b.callCount = 30;
  const AlertMessage message = ComposeAlert(QStringLiteral("Офис"), {&a, &b, &a});
  EXPECT_EQ(message.subject, QStringLiteral("Norvel Офис: тревога, 3 подозрительных случая"));
  // A line per rule, and the alarm ahead of the warnings found before it.
  EXPECT_TRUE(message.body.startsWith(
      QStringLiteral("Станция Офис: 3 подозрительных случая.\n"
                     "  тревога: Тревожное - 1 подозрительный случай, 30 выз.\n"
                     "  предупреждение: Правило - 2 подозрительных случая, 2 выз.\n\n")))
      << message.body.toStdString();
  EXPECT_LT(message.body.indexOf(QStringLiteral("тревога: Тревожное: почему")),
            message.body.indexOf(QStringLiteral("предупреждение: Правило: почему")));
  EXPECT_TRUE(
      message.body.contains(QStringLiteral("\n  05.12.2026 3:15\t31\t12\t2\t1\t81044207946000\n")));
  const QByteArray mail = AlertMail(message, {QStringLiteral("a@example.com")});
  EXPECT_TRUE(mail.startsWith("To: a@example.com\nSubject: =?UTF-8?B?"));
  // Every header line within 78 characters, the subject's words included.
  for (const QByteArray& line : mail.left(mail.indexOf("\n\n")).split('\n'))
    EXPECT_LE(line.size(), 78);
}

// A finding names its subscriber once, with the name and department where they are known; a
// burst's reason, which names the subscriber itself, gets the name there.
TEST(Alerts, AFindingNamesItsSubscriberOnce) {
  const struct {
    const char* why;
    const char* name;
    const char* department;
    const char* line;
  } rows[] = {
      {"почему", "", "", "предупреждение: П: абонент 31: почему"},
      {"почему", "Петров", "Склад", "предупреждение: П: абонент 31 Петров (Склад): почему"},
      {"абонент 31: 12 выз.", "Петров", "", "предупреждение: П: абонент 31 Петров: 12 выз."},
  };
  for (const auto& row : rows) {
    AlertFinding finding;
    finding.rule = QStringLiteral("П");
    finding.subscriber = 31;
    finding.why = QString::fromUtf8(row.why);
    finding.name = QString::fromUtf8(row.name);
    finding.department = QString::fromUtf8(row.department);
    EXPECT_EQ(AlertFindingLines(finding).first(), QString::fromUtf8(row.line));
  }
}

// A factor just above 1 and the largest one are taken as written.
TEST(Alerts, TimesTakesAnyFactorAboveOneUpToAThousand) {
  for (const auto& [text, factor] :
       {std::pair{"1,5", 1.5}, std::pair{"1000", 1000.0}, std::pair{"2.5", 2.5}}) {
    const AlertRules rules =
        Rules((QByteArray("[А]\nusual = minutes\ntimes = ") + text + '\n').constData());
    ASSERT_EQ(rules.rules.size(), 1u);
    EXPECT_EQ(rules.rules[0].times, factor) << text;
  }
}

// Every key the parser takes is in the README's table and the manual page, and no other.
TEST(Alerts, TheReadmeAndTheManualPageListTheKeysTheParserTakes) {
  const auto read = [](const char* path) {
    QFile file(QString::fromUtf8(path));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
  };
  const QString readme = read(NORVEL_SOURCE_DIR "/README.md");
  const QString man = read(NORVEL_SOURCE_DIR "/packaging/norvel.1");
  const qsizetype start = readme.indexOf(QStringLiteral("| key | where | values | default |"));
  ASSERT_GE(start, 0);
  const QString table = readme.mid(start, readme.indexOf(QStringLiteral("\n\n"), start) - start);
  QStringList documented;
  for (const QString& row : table.split(u'\n').mid(2))
    documented << row.section(u'|', 1, 1).trimmed().remove(u'`');
  QStringList keys = QString::fromLatin1(kAlertGlobalKeys).split(u' ') +
                     QString::fromLatin1(kAlertRuleKeys).split(u' ');
  const QString alerts =
      man.section(QStringLiteral(".B alerts\n"), 1).section(QStringLiteral(".TP"), 0, 0);
  for (const QString& key : keys) {
    EXPECT_TRUE(alerts.contains(key)) << "manual page: " << key.toStdString();
    // Taken before the first rule or in a rule: any mistake but an unknown key.
    QString said;
    for (const QString& text : {key + QStringLiteral(" = ?\n[А]\nlonger_than = 1\n"),
                                QStringLiteral("[А]\n") + key + QStringLiteral(" = ?\n")}) {
      try {
        ParseAlertRules(text, QStringLiteral("x"));
      } catch (const ConvertError& error) {
        said += error.Message();
      }
    }
    EXPECT_LT(said.count(QStringLiteral("неизвестный ключ")), 2) << key.toStdString();
  }
  EXPECT_THROW(Rules("[А]\nnever_heard = 1\n"), ConvertError);
  documented.sort();
  keys.sort();
  EXPECT_EQ(documented, keys);
}
