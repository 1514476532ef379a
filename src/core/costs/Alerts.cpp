#include "core/costs/Alerts.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <algorithm>
#include <array>
#include <bitset>
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

  bool DayOff(const ExportRow& row) { return DayOff(DateOf(row)); }
  bool DayOff(const QDate& day) {
    if (day != lastDay) {
      lastDay = day;
      lastDayOff = tariffs.DayOff(day.year(), day.month(), day.day());
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

// The minutes of a day in which a subscriber began a call, for learning its own hours.
using DaySteps = std::bitset<kMinutesPerDay>;
using SubscribersSteps = std::array<DaySteps, kMaxSubscribers>;
// A saved check is kept as the bytes of these, for this program only.
static_assert(std::is_trivially_copyable_v<DaySums> &&
              std::is_trivially_copyable_v<SubscribersSteps>);
constexpr quint32 kStateVersion = 1;
// Own hours: a time of day the subscriber called in, within half an hour, on this many days.
constexpr int kOwnHoursDays = 3;
constexpr int kOwnHoursReach = 30;

// Whether the time of day of `row` is inside the rule's `hours`, which may run across midnight.
bool InHours(const AlertRule& rule, const ExportRow& row) {
  if (rule.hoursFrom < 0) return true;
  const int minute = row.hour * 60 + row.minute;
  return rule.hoursFrom < rule.hoursTo ? minute >= rule.hoursFrom && minute < rule.hoursTo
                                       : minute >= rule.hoursFrom || minute < rule.hoursTo;
}

bool Excepted(const AlertRule& rule, int subscriber) {
  return std::find(rule.exceptSubscribers.begin(), rule.exceptSubscribers.end(), subscriber) !=
         rule.exceptSubscribers.end();
}

struct Silence {
  QDate day;
  int open = -1;  // the finding the day's further calls add to
};

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
        bursts_(rules.rules.size()),
        silences_(rules.rules.size()) {
    int historyDays = 0;
    for (const AlertRule& rule : rules_.rules) {
      usual_ = usual_ || rule.kind == AlertRule::Kind::kUsual;
      ownHours_ = ownHours_ || rule.ownHours;
      needCost_ =
          needCost_ || rule.costAbove >= 0 ||
          (rule.kind == AlertRule::Kind::kUsual && rule.measure == AlertRule::Measure::kCost);
      if (rule.kind == AlertRule::Kind::kUsual || rule.ownHours) {
        historyDays = std::max(historyDays, 7 * kUsualWeeks);
      }
      if (rule.kind == AlertRule::Kind::kSilence) {
        historyDays = std::max(historyDays, rule.silentDays + 1);
      }
      identities_.push_back(rule.Identity());
    }
    historyFrom_ = from_.addDays(-historyDays);
  }

  QDate HistoryFrom() const { return historyFrom_; }

  QByteArray Save(const QDate& since) const {
    // A burst whose calls may go on past midnight would have to be found again as a whole: one
    // whose latest call is within the rule's minutes of it (an open burst's latest call is in
    // its window too).
    const qint64 midnight = since.toJulianDay() * kMinutesPerDay;
    for (size_t r = 0; r < rules_.rules.size(); ++r) {
      const qint64 reach = midnight - rules_.rules[r].burstMinutes;
      for (const auto& [owner, burst] : bursts_[r]) {
        if (!burst.window.empty() && burst.window.back().first > reach) return {};
      }
    }
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << kStateVersion << quint32(sizeof(DaySums)) << quint32(sizeof(SubscribersSteps))
        << earliest_;
    for (const QDate& day : lastCall_) out << day;
    // The days the rules look back to from `since`: the usual's weeks and the own hours' days.
    const QDate keep = since.addDays(-7 * kUsualWeeks - 1);
    const auto days = [&](const auto& map) {
      auto it = map.lower_bound(keep);
      out << quint32(std::distance(it, map.end()));
      for (; it != map.end(); ++it) {
        out << it->first;
        out.writeRawData(reinterpret_cast<const char*>(&it->second), sizeof it->second);
      }
    };
    days(sums_);
    days(steps_);
    return bytes;
  }

  bool Resume(const QByteArray& saved, const QDate& since) {
    QDataStream in(saved);
    quint32 version = 0;
    quint32 sumsSize = 0;
    quint32 stepsSize = 0;
    in >> version >> sumsSize >> stepsSize >> earliest_;
    if (version != kStateVersion || sumsSize != sizeof(DaySums) ||
        stepsSize != sizeof(SubscribersSteps)) {
      return false;
    }
    for (QDate& day : lastCall_) in >> day;
    const auto days = [&](auto& map) {
      quint32 count = 0;
      in >> count;
      map.clear();
      for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QDate day;
        in >> day;
        typename std::decay_t<decltype(map)>::mapped_type value;
        if (in.readRawData(reinterpret_cast<char*>(&value), sizeof value) != sizeof value) {
          in.setStatus(QDataStream::ReadPastEnd);
        }
        map.emplace(day, value);
      }
    };
    days(sums_);
    days(steps_);
    if (in.status() != QDataStream::Ok || !in.atEnd()) return false;
    findFrom_ = since;
    return true;
  }

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
    const int subscriber = row.subscriber - kFirstSubscriber;
    const bool known = subscriber >= 0 && subscriber < kMaxSubscribers;
    QDate lastCall;
    if (known) {
      lastCall = lastCall_[size_t(subscriber)];
      lastCall_[size_t(subscriber)] = day;
    }
    if (day >= from_) {
      ++check_.callsChecked;
      for (size_t r = 0; r < rules_.rules.size(); ++r) {
        const AlertRule& rule = rules_.rules[r];
        if (Excepted(rule, row.subscriber)) continue;
        if (rule.kind == AlertRule::Kind::kCall) {
          CallRule(rule, identities_[r], row, cost);
        } else if (rule.kind == AlertRule::Kind::kBurst) {
          BurstRule(rule, identities_[r], bursts_[r], row);
        } else if (rule.kind == AlertRule::Kind::kSilence && known) {
          SilenceRule(rule, identities_[r], row, lastCall, silences_[r][size_t(subscriber)]);
        }
      }
    }
    // Learnt after the rules looked at the call: a day teaches the days after it.
    if (ownHours_ && known) {
      steps_[day][size_t(subscriber)].set(size_t(row.hour * 60 + row.minute));
    }
  }

  // After the first pass: the days and nights above their usual. Their calls are gathered by a
  // second pass over the same days.
  bool UsualFindings() {
    for (size_t r = 0; r < rules_.rules.size(); ++r) {
      const AlertRule& rule = rules_.rules[r];
      if (rule.kind != AlertRule::Kind::kUsual) continue;
      // A usual of nothing is taken as one unit: one call, one minute, one rouble.
      const qint64 unit = rule.measure == AlertRule::Measure::kCost ? 100 : 1;
      for (auto it = sums_.lower_bound(std::max(from_, findFrom_)); it != sums_.end(); ++it) {
        const QDate day = it->first;
        for (int subscriber = 0; subscriber < kMaxSubscribers; ++subscriber) {
          if (Excepted(rule, subscriber + kFirstSubscriber)) continue;
          for (const int part : {0, 1}) {
            if (rule.part == AlertRule::Part::kDay && part == 1) continue;
            if (rule.part == AlertRule::Part::kNight && part == 0) continue;
            const qint64 value = it->second[size_t(subscriber)][size_t(part)].Of(rule.measure);
            if (value == 0 || value < rule.atLeast * unit) continue;
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
            const double threshold =
                rule.times * std::max({median, double(unit), double(rule.usualFloor * unit)});
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
                              .arg(day.toString(Qt::ISODate), identities_[r])
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

  // Whether the subscriber called at this time of day, within half an hour, on enough days of
  // the same kind (working days, days off) before the call's day.
  bool InOwnHours(const ExportRow& row) {
    const QDate day = DateOf(row);
    const bool dayOff = calendar_.DayOff(day);
    const int step = row.hour * 60 + row.minute;
    const size_t subscriber = size_t(row.subscriber - kFirstSubscriber);
    int days = 0;
    for (auto it = steps_.lower_bound(day.addDays(-7 * kUsualWeeks));
         it != steps_.end() && it->first < day; ++it) {
      const DaySteps& steps = it->second[subscriber];
      bool called = false;
      for (int near = std::max(step - kOwnHoursReach, 0);
           near <= std::min(step + kOwnHoursReach, int(steps.size()) - 1) && !called; ++near) {
        called = steps.test(size_t(near));
      }
      if (called && calendar_.DayOff(it->first) == dayOff && ++days >= kOwnHoursDays) return true;
    }
    return false;
  }

  bool ExceptedNumber(const AlertRule& rule, const ExportRow& row) const {
    if (rule.exceptNumbers.isEmpty()) return false;
    const QString number = tariffs_.Dialled(QString::fromLatin1(row.number));
    return std::any_of(rule.exceptNumbers.begin(), rule.exceptNumbers.end(),
                       [&](const QString& prefix) { return number.startsWith(prefix); });
  }

  void CallRule(const AlertRule& rule, const QString& identity, const ExportRow& row, Money cost) {
    if (!InHours(rule, row) || ExceptedNumber(rule, row)) return;
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
    const bool known = row.subscriber >= kFirstSubscriber && row.subscriber <= kLastSubscriber;
    if (rule.ownHours && known && InOwnHours(row)) return;
    if (rule.when != AlertRule::When::kAlways) why << calendar_.WhenText(rule.when, row);
    if (rule.ownHours && known) why << QStringLiteral("не в свои часы");
    AlertFinding finding;
    finding.rule = rule.name;
    finding.level = rule.level;
    finding.kind = rule.kind;
    finding.why = why.join(QStringLiteral(", "));
    finding.subscriber = row.subscriber;
    finding.cityLine = row.cityLine;
    finding.key = QStringLiteral("%1|%2|%3|%4|%5|%6")
                      .arg(StartText(row), identity)
                      .arg(row.subscriber)
                      .arg(row.cityLine)
                      .arg(QString::fromLatin1(row.number).trimmed())
                      .arg(row.duration);
    AddCall(finding, row);
    check_.findings.push_back(std::move(finding));
  }

  void BurstRule(const AlertRule& rule, const QString& identity, std::map<int, Burst>& bursts,
                 const ExportRow& row) {
    if (!calendar_.Holds(rule.when, row) || !InHours(rule, row) || ExceptedNumber(rule, row)) {
      return;
    }
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
                      .arg(StartText(burst.window.front().second), identity,
                           rule.byLine ? QStringLiteral("ГЛ ") : QString())
                      .arg(owner);
    burst.open = static_cast<int>(check_.findings.size());
    check_.findings.push_back(std::move(finding));
  }

  // A subscriber's first call after the rule's days without one, and its further calls of the
  // same day, as one finding; only where the records reach back over those days.
  void SilenceRule(const AlertRule& rule, const QString& identity, const ExportRow& row,
                   const QDate& lastCall, Silence& silence) {
    const QDate day = DateOf(row);
    if (silence.open >= 0 && silence.day == day) {
      AddCall(check_.findings[size_t(silence.open)], row);
      return;
    }
    silence.open = -1;
    if (!earliest_.isValid() || earliest_.daysTo(day) <= rule.silentDays) return;
    if (lastCall.isValid() && lastCall.daysTo(day) <= rule.silentDays) return;
    AlertFinding finding;
    finding.rule = rule.name;
    finding.level = rule.level;
    finding.kind = rule.kind;
    finding.subscriber = row.subscriber;
    finding.why = lastCall.isValid()
                      ? QStringLiteral("первый вызов после %1 дн. без вызовов (последний %2)")
                            .arg(lastCall.daysTo(day) - 1)
                            .arg(lastCall.toString(QStringLiteral("dd.MM.yyyy")))
                      : QStringLiteral("первый вызов: с %1 не звонил ни разу")
                            .arg(earliest_.toString(QStringLiteral("dd.MM.yyyy")));
    finding.key = QStringLiteral("%1|%2|%3").arg(StartText(row), identity).arg(row.subscriber);
    AddCall(finding, row);
    silence.day = day;
    silence.open = static_cast<int>(check_.findings.size());
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
  QDate findFrom_;  // the first day whose usual is checked, after a Resume
  QDate earliest_;
  bool usual_ = false;
  bool ownHours_ = false;
  bool needCost_ = false;
  std::vector<QString> identities_;
  std::array<QDate, kMaxSubscribers> lastCall_;
  std::map<QDate, SubscribersSteps> steps_;
  std::map<QDate, DaySums> sums_;
  std::vector<std::map<int, Burst>> bursts_;
  std::vector<std::array<Silence, kMaxSubscribers>> silences_;
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

struct AlertCheckState::Impl {
  Checker checker;
};

AlertCheckState::AlertCheckState(const AlertRules& rules, const std::optional<Tariffs>& tariffs,
                                 const QDate& from, const QDate& to)
    : impl_(new Impl{Checker(rules, tariffs, from, to)}) {}
AlertCheckState::~AlertCheckState() = default;
QDate AlertCheckState::HistoryFrom() const {
  return impl_->checker.HistoryFrom();
}
void AlertCheckState::Row(const ExportRow& row) {
  impl_->checker.Row(row);
}
QByteArray AlertCheckState::Save(const QDate& since) const {
  return impl_->checker.Save(since);
}
bool AlertCheckState::Resume(const QByteArray& saved, const QDate& since) {
  return impl_->checker.Resume(saved, since);
}
bool AlertCheckState::UsualFindings() {
  return impl_->checker.UsualFindings();
}
void AlertCheckState::UsualCalls(const ExportRow& row) {
  impl_->checker.UsualCalls(row);
}
AlertCheck AlertCheckState::Finish() {
  return impl_->checker.Finish();
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

QJsonObject AlertFindingJson(const AlertFinding& finding) {
  QJsonArray calls;
  for (const ExportRow& row : finding.calls) {
    calls.append(
        QJsonObject{{QStringLiteral("start"), QStringLiteral("%1-%2-%3T%4:%5")
                                                  .arg(row.year, 4, 10, QLatin1Char('0'))
                                                  .arg(row.month, 2, 10, QLatin1Char('0'))
                                                  .arg(row.day, 2, 10, QLatin1Char('0'))
                                                  .arg(row.hour, 2, 10, QLatin1Char('0'))
                                                  .arg(row.minute, 2, 10, QLatin1Char('0'))},
                    {QStringLiteral("subscriber"), row.subscriber},
                    {QStringLiteral("minutes"), row.duration},
                    {QStringLiteral("city_line"), row.cityLine},
                    {QStringLiteral("call_type"), row.callType},
                    {QStringLiteral("number"), QString::fromLatin1(row.number).trimmed()}});
  }
  return {{QStringLiteral("rule"), finding.rule},
          {QStringLiteral("level"), finding.level == AlertRule::Level::kAlarm
                                        ? QStringLiteral("alarm")
                                        : QStringLiteral("warning")},
          {QStringLiteral("why"), finding.why},
          {QStringLiteral("subscriber"), finding.subscriber},
          {QStringLiteral("name"), finding.name},
          {QStringLiteral("department"), finding.department},
          {QStringLiteral("calls"), calls},
          {QStringLiteral("call_count"), finding.callCount}};
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

AlertSnoozes::AlertSnoozes(const QString& dir) : dir_(dir) {
  QFile file(QDir(dir).filePath(QLatin1String(kFileName)));
  if (!file.exists()) return;
  QString problem;
  if (!OpenRegularFile(file, &problem)) {
    throw IoError(QStringLiteral("Не удается прочитать файл %1: %2").arg(kFileName, problem));
  }
  for (const QByteArray& line : file.readAll().split('\n')) {
    const QStringList fields = QString::fromUtf8(line.trimmed()).split(u'|');
    const QDate until = fields.size() == 3 ? QDate::fromString(fields[1], Qt::ISODate) : QDate();
    if (until.isValid()) silences_.insert(fields[0], {until, fields[2]});
  }
}

bool AlertSnoozes::Silenced(const QString& key) const {
  const auto silence = silences_.constFind(key.section(u'|', 1, 1));
  return silence != silences_.constEnd() &&
         QDate::fromString(key.left(10), Qt::ISODate) <= silence->until;
}

void AlertSnoozes::Set(const AlertRule& rule, const QDate& until, const QDate& today) {
  if (until < today) {
    silences_.remove(rule.Identity());
  } else {
    silences_.insert(rule.Identity(), {until, rule.name});
  }
}

bool AlertSnoozes::Save(const QDate& today, QString* reason) const {
  QStringList lines;
  for (auto it = silences_.constBegin(); it != silences_.constEnd(); ++it) {
    if (it->until < today) continue;
    lines << QStringLiteral("%1|%2|%3\n").arg(it.key(), it->until.toString(Qt::ISODate), it->name);
  }
  lines.sort();
  return ReplaceFileDurably(QDir(dir_).filePath(QLatin1String(kFileName)),
                            lines.join(QString()).toUtf8(), reason);
}

bool AlertSeenList::Adopt(const AlertRules& rules) {
  QHash<QString, QString> identities;
  for (const AlertRule& rule : rules.rules) identities.insert(rule.name, rule.Identity());
  QSet<QString> keys;
  bool adopted = false;
  for (const QString& key : std::as_const(keys_)) {
    QStringList fields = key.split(u'|');
    if (fields.size() > 2 && identities.contains(fields[1])) {
      fields[1] = identities.value(fields[1]);
      keys.insert(fields.join(u'|'));
      adopted = true;
    } else {
      keys.insert(key);
    }
  }
  keys_ = std::move(keys);
  return adopted;
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
