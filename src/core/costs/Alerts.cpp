#include "core/costs/Alerts.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <set>

#include "core/base/Errors.h"
#include "core/files/CallRecords.h"
#include "core/files/RegularFile.h"
#include "core/image/ImageLayout.h"
#include "core/platform/DurableFile.h"

namespace {

constexpr int kUsualWeeks = 8;
constexpr int kLeastKnownWeeks = 4;

const char* const kWeekdays[] = {"пн", "вт", "ср", "чт", "пт", "сб", "вс"};
const char* const kWeekdaysPlural[] = {"понедельникам", "вторникам", "средам",      "четвергам",
                                       "пятницам",      "субботам",  "воскресеньям"};

QDate DateOf(const ExportRow& row) {
  return QDate(row.year, row.month, row.day);
}

QString StartText(const ExportRow& row) {
  return QStringLiteral("%1-%2-%3 %4:%5")
      .arg(row.year, 4, 10, QLatin1Char('0'))
      .arg(row.month, 2, 10, QLatin1Char('0'))
      .arg(row.day, 2, 10, QLatin1Char('0'))
      .arg(row.hour, 2, 10, QLatin1Char('0'))
      .arg(row.minute, 2, 10, QLatin1Char('0'));
}

qint64 MinuteIndex(const ExportRow& row) {
  return DateOf(row).toJulianDay() * kMinutesPerDay + row.hour * 60 + row.minute;
}

// The working hours and days off of the tariff file, or the report's defaults without one.
struct Calendar {
  explicit Calendar(const Tariffs& days) : tariffs(days) {}
  const Tariffs& tariffs;
  QDate lastDay;
  bool lastDayOff = false;

  bool DayOff(const ExportRow& row) {
    const QDate day = DateOf(row);
    if (day != lastDay) {
      lastDay = day;
      lastDayOff = tariffs.DayOff(row.year, row.month, row.day);
    }
    return lastDayOff;
  }
  bool OutsideHours(const ExportRow& row) {
    const int minute = row.hour * 60 + row.minute;
    return DayOff(row) || minute < tariffs.workFromMinute || minute >= tariffs.workToMinute;
  }
  bool Holds(AlertRule::When when, const ExportRow& row) {
    switch (when) {
      case AlertRule::When::kAlways:
        return true;
      case AlertRule::When::kOutsideHours:
        return OutsideHours(row);
      case AlertRule::When::kDaysOff:
        return DayOff(row);
    }
    return false;
  }
  QString WhenText(AlertRule::When when, const ExportRow& row) {
    const QString weekday =
        QString::fromUtf8(kWeekdays[DayOfWeek(row.year, row.month, row.day) - 1]);
    if (when == AlertRule::When::kAlways) return {};
    const bool holiday = DayOff(row) && DayOfWeek(row.year, row.month, row.day) < 6;
    if (DayOff(row)) {
      return holiday ? QStringLiteral("праздник (%1)").arg(weekday)
                     : QStringLiteral("выходной (%1)").arg(weekday);
    }
    return QStringLiteral("вне рабочего времени (%1 %2)").arg(weekday, StartText(row).mid(11));
  }
};

struct Sums {
  qint64 calls = 0;
  qint64 minutes = 0;
  Money cost = 0;
  qint64 Of(AlertRule::Measure measure) const {
    switch (measure) {
      case AlertRule::Measure::kCalls:
        return calls;
      case AlertRule::Measure::kMinutes:
        return minutes;
      case AlertRule::Measure::kCost:
        return cost;
    }
    return 0;
  }
};
// Each subscriber's day (0) and night (1) of a date.
using DaySums = std::array<std::array<Sums, 2>, 24>;

struct Burst {
  std::deque<std::pair<qint64, ExportRow>> window;
  int open = -1;  // the finding the calls now add to
  qint64 lastMinute = 0;
  ExportRow last;  // its last call
};

QString MeasureText(AlertRule::Measure measure, qint64 value, const Tariffs& tariffs) {
  switch (measure) {
    case AlertRule::Measure::kCalls:
      return QStringLiteral("%1 выз.").arg(value);
    case AlertRule::Measure::kMinutes:
      return QStringLiteral("%1 мин").arg(value);
    case AlertRule::Measure::kCost:
      return RussianMoney(value) + u' ' + tariffs.currency;
  }
  return {};
}

QString MedianText(AlertRule::Measure measure, double value, const Tariffs& tariffs) {
  if (measure == AlertRule::Measure::kCost) return MeasureText(measure, qRound64(value), tariffs);
  return (value == qRound64(value) ? QString::number(qRound64(value))
                                   : QString::number(value, 'f', 1).replace(u'.', u',')) +
         (measure == AlertRule::Measure::kCalls ? QStringLiteral(" выз.") : QStringLiteral(" мин"));
}

class Checker {
 public:
  Checker(const AlertRules& rules, const std::optional<Tariffs>& tariffs, QDate from, QDate to)
      : rules_(rules),
        tariffs_(tariffs ? *tariffs : Tariffs()),
        rated_(tariffs.has_value()),
        calendar_(tariffs_),
        from_(from),
        to_(to),
        bursts_(rules.rules.size()) {
    for (const AlertRule& rule : rules_.rules) {
      usual_ = usual_ || rule.kind == AlertRule::Kind::kUsual;
      needCost_ =
          needCost_ || rule.costAbove >= 0 ||
          (rule.kind == AlertRule::Kind::kUsual && rule.measure == AlertRule::Measure::kCost);
    }
    historyFrom_ = usual_ ? from_.addDays(-7 * kUsualWeeks) : from_;
  }

  QDate HistoryFrom() const { return historyFrom_; }

  void Row(const ExportRow& row) {
    const QDate day = DateOf(row);
    if (day < historyFrom_ || day > to_) return;
    if (!earliest_.isValid() || day < earliest_) earliest_ = day;
    const Money cost = needCost_ && rated_ ? Cost(row) : -1;
    if (usual_) {
      const int subscriber = row.subscriber - kFirstSubscriber;
      if (subscriber >= 0 && subscriber < kMaxSubscribers) {
        Sums& sums = sums_[day][static_cast<size_t>(subscriber)][calendar_.OutsideHours(row)];
        ++sums.calls;
        sums.minutes += std::max(row.duration, 0);
        sums.cost += std::max<Money>(cost, 0);
      }
    }
    if (day < from_) return;
    ++check_.callsChecked;
    for (size_t r = 0; r < rules_.rules.size(); ++r) {
      const AlertRule& rule = rules_.rules[r];
      if (rule.kind == AlertRule::Kind::kCall) {
        CallRule(rule, row, cost);
      } else if (rule.kind == AlertRule::Kind::kBurst) {
        BurstRule(rule, bursts_[r], row);
      }
    }
  }

  // After the first pass: the days and nights above their usual. Their calls are gathered by a
  // second pass over the same days.
  bool UsualFindings() {
    for (const AlertRule& rule : rules_.rules) {
      if (rule.kind != AlertRule::Kind::kUsual) continue;
      for (auto it = sums_.lower_bound(from_); it != sums_.end(); ++it) {
        const QDate day = it->first;
        for (int subscriber = 0; subscriber < kMaxSubscribers; ++subscriber) {
          for (const int part : {0, 1}) {
            if (rule.part == AlertRule::Part::kDay && part == 1) continue;
            if (rule.part == AlertRule::Part::kNight && part == 0) continue;
            const qint64 value = it->second[size_t(subscriber)][size_t(part)].Of(rule.measure);
            if (value == 0) continue;
            std::vector<qint64> before;
            for (int week = 1; week <= kUsualWeeks; ++week) {
              const QDate earlier = day.addDays(-7 * week);
              if (earlier < earliest_) break;
              const auto known = sums_.find(earlier);
              before.push_back(
                  known == sums_.end()
                      ? 0
                      : known->second[size_t(subscriber)][size_t(part)].Of(rule.measure));
            }
            if (static_cast<int>(before.size()) < kLeastKnownWeeks) continue;
            std::sort(before.begin(), before.end());
            const size_t n = before.size();
            const double median = n % 2 ? double(before[n / 2])
                                        : (double(before[n / 2 - 1]) + double(before[n / 2])) / 2;
            // A usual of nothing is taken as one unit: one call, one minute, one rouble.
            const qint64 unit = rule.measure == AlertRule::Measure::kCost ? 100 : 1;
            const double threshold = rule.times * std::max(median, double(unit));
            if (double(value) <= threshold) continue;
            AlertFinding finding;
            finding.rule = rule.name;
            finding.level = rule.level;
            finding.kind = rule.kind;
            finding.subscriber = subscriber + kFirstSubscriber;
            const QString partName = part ? QStringLiteral("ночь") : QStringLiteral("день");
            finding.why = QStringLiteral(
                              "%1, %2 %3: %4, обычно %5 (медиана %6 нед. по %7), "
                              "порог ×%8")
                              .arg(partName)
                              .arg(QString::fromUtf8(kWeekdays[day.dayOfWeek() - 1]))
                              .arg(day.toString(QStringLiteral("dd.MM.yyyy")))
                              .arg(MeasureText(rule.measure, value, tariffs_))
                              .arg(MedianText(rule.measure, median, tariffs_))
                              .arg(n)
                              .arg(QString::fromUtf8(kWeekdaysPlural[day.dayOfWeek() - 1]))
                              .arg(QString::number(rule.times).replace(u'.', u','));
            finding.key = QStringLiteral("%1|%2|%3|%4")
                              .arg(day.toString(Qt::ISODate), rule.name)
                              .arg(subscriber + kFirstSubscriber)
                              .arg(part ? QStringLiteral("night") : QStringLiteral("day"));
            usualWanted_[{day, subscriber + kFirstSubscriber, part}] = check_.findings.size();
            check_.findings.push_back(std::move(finding));
          }
        }
      }
    }
    return !usualWanted_.empty();
  }

  // The second pass: the calls of the days and nights above their usual.
  void UsualCalls(const ExportRow& row) {
    const QDate day = DateOf(row);
    if (day < from_ || day > to_) return;
    const auto wanted = usualWanted_.find({day, row.subscriber, calendar_.OutsideHours(row)});
    if (wanted == usualWanted_.end()) return;
    AddCall(check_.findings[wanted->second], row);
  }

  AlertCheck Finish() {
    for (const AlertRule& rule : rules_.rules) {
      if (!rated_ && (rule.costAbove >= 0 || (rule.kind == AlertRule::Kind::kUsual &&
                                              rule.measure == AlertRule::Measure::kCost))) {
        check_.notes << QStringLiteral("правило «%1» не проверено: нет файла тарифов %2")
                            .arg(rule.name, QLatin1String(kTariffFileName));
      }
    }
    std::stable_sort(check_.findings.begin(), check_.findings.end(),
                     [](const AlertFinding& a, const AlertFinding& b) {
                       return a.calls.empty() || b.calls.empty()
                                  ? a.key < b.key
                                  : MinuteIndex(a.calls.front()) < MinuteIndex(b.calls.front());
                     });
    return std::move(check_);
  }

 private:
  Money Cost(const ExportRow& row) const {
    const Rated rated = RateCall(tariffs_, row);
    return rated.kind == Rated::Kind::kCharged ? rated.cost : -1;
  }

  static void AddCall(AlertFinding& finding, const ExportRow& row) {
    ++finding.callCount;
    if (finding.calls.size() < AlertFinding::kListedCalls) finding.calls.push_back(row);
  }

  void CallRule(const AlertRule& rule, const ExportRow& row, Money cost) {
    QStringList why;
    if (!rule.subscribers.empty()) {
      if (std::find(rule.subscribers.begin(), rule.subscribers.end(), row.subscriber) ==
          rule.subscribers.end())
        return;
      why << QStringLiteral("абонент %1 в списке правила").arg(row.subscriber);
    }
    if (!rule.cityLines.empty()) {
      if (std::find(rule.cityLines.begin(), rule.cityLines.end(), row.cityLine) ==
          rule.cityLines.end())
        return;
      why << QStringLiteral("ГЛ %1 в списке правила").arg(row.cityLine);
    }
    if (rule.longerThan >= 0) {
      if (row.duration <= rule.longerThan) return;
      why << QStringLiteral("%1 мин > %2 мин").arg(row.duration).arg(rule.longerThan);
    }
    if (rule.costAbove >= 0) {
      if (cost <= rule.costAbove) return;
      why << QStringLiteral("%1 > %2 %3")
                 .arg(RussianMoney(cost), RussianMoney(rule.costAbove), tariffs_.currency);
    }
    if (!rule.prefixes.isEmpty()) {
      const QString number = tariffs_.Dialled(QString::fromLatin1(row.number));
      const QString* matched = nullptr;
      for (const QString& prefix : rule.prefixes) {
        if (number.startsWith(prefix)) matched = &prefix;
      }
      if (!matched) return;
      why << QStringLiteral("номер %1 начинается с %2").arg(number, *matched);
    }
    if (!calendar_.Holds(rule.when, row)) return;
    if (rule.when != AlertRule::When::kAlways) why << calendar_.WhenText(rule.when, row);
    AlertFinding finding;
    finding.rule = rule.name;
    finding.level = rule.level;
    finding.kind = rule.kind;
    finding.why = why.join(QStringLiteral(", "));
    finding.subscriber = row.subscriber;
    finding.cityLine = row.cityLine;
    finding.key = QStringLiteral("%1|%2|%3|%4|%5|%6")
                      .arg(StartText(row), rule.name)
                      .arg(row.subscriber)
                      .arg(row.cityLine)
                      .arg(QString::fromLatin1(row.number).trimmed())
                      .arg(row.duration);
    AddCall(finding, row);
    check_.findings.push_back(std::move(finding));
  }

  void BurstRule(const AlertRule& rule, std::map<int, Burst>& bursts, const ExportRow& row) {
    if (!calendar_.Holds(rule.when, row)) return;
    const int owner = rule.byLine ? row.cityLine : row.subscriber;
    Burst& burst = bursts[owner];
    const qint64 minute = MinuteIndex(row);
    // Calls come in time order; one out of it takes its place in the window.
    auto place = burst.window.end();
    while (place != burst.window.begin() && std::prev(place)->first > minute) --place;
    burst.window.insert(place, {minute, row});
    while (burst.window.back().first - burst.window.front().first >= rule.burstMinutes) {
      burst.window.pop_front();
    }
    // A burst goes on while its calls keep coming within the rule's minutes of each other: one
    // dialler's run is one finding, however long.
    if (burst.open >= 0 && minute - burst.lastMinute < rule.burstMinutes) {
      AlertFinding& finding = check_.findings[size_t(burst.open)];
      AddCall(finding, row);
      finding.why = BurstWhy(rule, finding, owner, burst.last);
      burst.lastMinute = minute;
      burst.last = row;
      return;
    }
    burst.open = -1;
    if (static_cast<int>(burst.window.size()) < rule.burstCalls) return;
    AlertFinding finding;
    finding.rule = rule.name;
    finding.level = rule.level;
    finding.kind = rule.kind;
    (rule.byLine ? finding.cityLine : finding.subscriber) = owner;
    for (const auto& [at, call] : burst.window) AddCall(finding, call);
    burst.lastMinute = minute;
    burst.last = row;
    finding.why = BurstWhy(rule, finding, owner, burst.last);
    finding.key = QStringLiteral("%1|%2|%3%4")
                      .arg(StartText(burst.window.front().second), rule.name,
                           rule.byLine ? QStringLiteral("ГЛ ") : QString())
                      .arg(owner);
    burst.open = static_cast<int>(check_.findings.size());
    check_.findings.push_back(std::move(finding));
  }

  static QString BurstWhy(const AlertRule& rule, const AlertFinding& finding, int owner,
                          const ExportRow& last) {
    const ExportRow& first = finding.calls.front();
    return QStringLiteral("%1: %2 выз. с %3 по %4 (порог: %5 выз. за %6 мин)")
        .arg(rule.byLine ? QStringLiteral("ГЛ %1").arg(owner)
                         : QStringLiteral("абонент %1").arg(owner))
        .arg(finding.callCount)
        .arg(StartText(first), StartText(last).mid(DateOf(first) == DateOf(last) ? 11 : 0))
        .arg(rule.burstCalls)
        .arg(rule.burstMinutes);
  }

  const AlertRules& rules_;
  Tariffs tariffs_;
  bool rated_;
  Calendar calendar_;
  QDate from_;
  QDate to_;
  QDate historyFrom_;
  QDate earliest_;
  bool usual_ = false;
  bool needCost_ = false;
  std::map<QDate, DaySums> sums_;
  std::vector<std::map<int, Burst>> bursts_;
  std::map<std::tuple<QDate, int, int>, size_t> usualWanted_;
  AlertCheck check_;
};

// Each (year, month) from the first day's to the last's.
void ForEachMonth(const QDate& from, const QDate& to, const std::function<void(int, int)>& each) {
  for (QDate month(from.year(), from.month(), 1); month <= to; month = month.addMonths(1)) {
    each(month.year(), month.month());
  }
}

}  // namespace

bool AlertCheck::HasAlarm() const {
  return std::any_of(findings.begin(), findings.end(), [](const AlertFinding& finding) {
    return finding.level == AlertRule::Level::kAlarm;
  });
}

AlertCheck FindAlerts(const QString& dir, const AlertRules& rules,
                      const std::optional<Tariffs>& tariffs, const QDate& from, const QDate& to) {
  Checker checker(rules, tariffs, from, to);
  const auto pass = [&](const QDate& first, const std::function<void(const ExportRow&)>& each) {
    ForEachMonth(first, to, [&](int year, int month) {
      ExportOptions options;
      options.month = month;
      options.year = year;
      ForEachExportRow(dir, options, each);
    });
  };
  pass(checker.HistoryFrom(), [&](const ExportRow& row) { checker.Row(row); });
  if (checker.UsualFindings()) pass(from, [&](const ExportRow& row) { checker.UsualCalls(row); });
  return checker.Finish();
}

std::vector<AlertFinding> AlertIncidents(const std::vector<const AlertFinding*>& findings) {
  constexpr qint64 kIncidentMinutes = 60;
  std::vector<AlertFinding> incidents;
  std::map<std::pair<QString, int>, size_t> open;  // rule and subscriber: their last incident
  for (const AlertFinding* finding : findings) {
    const bool single = finding->kind == AlertRule::Kind::kCall && finding->subscriber != 0 &&
                        finding->calls.size() == 1;
    if (single) {
      const auto last = open.find({finding->rule, finding->subscriber});
      if (last != open.end()) {
        AlertFinding& incident = incidents[last->second];
        const ExportRow& before = incident.calls.back();
        if (incident.calls.size() < AlertFinding::kListedCalls &&
            MinuteIndex(finding->calls.front()) - MinuteIndex(before) <= kIncidentMinutes) {
          incident.calls.push_back(finding->calls.front());
          incident.callCount += finding->callCount;
          incident.alsoKeys << finding->key;
          continue;
        }
      }
      open[{finding->rule, finding->subscriber}] = incidents.size();
    }
    incidents.push_back(*finding);
  }
  for (AlertFinding& incident : incidents) {
    if (incident.alsoKeys.isEmpty()) continue;
    incident.why = QStringLiteral("%1 выз. с %2 по %3; первый: %4")
                       .arg(incident.callCount)
                       .arg(StartText(incident.calls.front()))
                       .arg(StartText(incident.calls.back()).right(5))
                       .arg(incident.why);
  }
  return incidents;
}

QString AlertCallLine(const ExportRow& row) {
  CallRecord record;
  record.StartTime = QDateTime(DateOf(row), QTime(row.hour, row.minute));
  record.Subscriber = static_cast<quint8>(row.subscriber);
  record.Duration = row.duration;
  record.CityLine = static_cast<quint8>(row.cityLine);
  record.CallType = static_cast<quint8>(row.callType);
  record.DialledNumber = QString::fromLatin1(row.number);
  return CallRecordToText(record);
}

QStringList AlertFindingLines(const AlertFinding& finding) {
  QStringList lines;
  // Who: the subscriber, with the name and department where they are known. A burst's reason
  // names the subscriber already, and gets the name there.
  QString why = finding.why;
  if (finding.subscriber != 0) {
    const QString number = QStringLiteral("абонент %1").arg(finding.subscriber);
    QString who = number;
    if (!finding.name.isEmpty()) who += u' ' + finding.name;
    if (!finding.department.isEmpty()) who += QStringLiteral(" (%1)").arg(finding.department);
    why = why.startsWith(number + u':') ? who + why.mid(number.size())
                                        : who + QStringLiteral(": ") + why;
  }
  lines << QStringLiteral("%1: %2: %3").arg(AlertLevelName(finding.level), finding.rule, why);
  for (const ExportRow& row : finding.calls) lines << QStringLiteral("  ") + AlertCallLine(row);
  if (finding.callCount > qint64(finding.calls.size())) {
    lines << QStringLiteral("  и еще %1").arg(finding.callCount - qint64(finding.calls.size()));
  }
  return lines;
}

AlertSeenList::AlertSeenList(const QString& dir) : dir_(dir) {
  QFile file(QDir(dir).filePath(QLatin1String(kFileName)));
  if (!file.exists()) return;
  QString problem;
  if (!OpenRegularFile(file, &problem)) {
    throw IoError(QStringLiteral("Не удается прочитать файл %1: %2").arg(kFileName, problem));
  }
  const QByteArray bytes = file.readAll();
  for (const QByteArray& line : bytes.split('\n')) {
    if (!line.trimmed().isEmpty()) keys_.insert(QString::fromUtf8(line.trimmed()));
  }
}

bool AlertSeenList::Save(const QDate& today, QString* reason) const {
  const QString oldest = today.addDays(-400).toString(Qt::ISODate);
  QStringList keys;
  for (const QString& key : keys_) {
    if (key.left(10) >= oldest) keys << key;
  }
  keys.sort();
  return ReplaceFileDurably(
      QDir(dir_).filePath(QLatin1String(kFileName)),
      (keys.join(u'\n') + (keys.isEmpty() ? QString() : QStringLiteral("\n"))).toUtf8(), reason);
}
