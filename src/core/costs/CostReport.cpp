#include "core/costs/CostReport.h"

#include <QDataStream>
#include <QDate>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <functional>

#include "core/base/Errors.h"
#include "core/costs/Erlang.h"
#include "core/files/CallRecords.h"
#include "core/files/RegularFile.h"
#include "core/files/SettingsFile.h"
#include "core/files/TextFiles.h"
#include "core/image/ImageLayout.h"

namespace {

// Keeps the `limit` greatest calls by `key`, greatest first.
template <class Key>
void KeepTop(std::vector<ReportCall>& top, const ReportCall& call, Key key, size_t limit) {
  if (top.size() == limit && key(call) <= key(top.back())) return;
  const auto at =
      std::upper_bound(top.begin(), top.end(), call,
                       [&](const ReportCall& a, const ReportCall& b) { return key(a) > key(b); });
  top.insert(at, call);
  if (top.size() > limit) top.pop_back();
}

}  // namespace

int StationCityLines(const QString& dir, bool* known) {
  if (known) *known = false;
  QFile file(QDir(dir).filePath(QLatin1String(kSettingsFileName)));
  QString problem;
  if (!OpenRegularFile(file, &problem)) return 4;
  const QStringList lines = SplitLines(DecodeCp1251(file.read(4096)));
  bool ok = false;
  const int boards = lines.value(2).section(u';', 0, 0).trimmed().toInt(&ok);
  if (known) *known = ok && boards >= 1 && boards <= 4;
  return ok && boards >= 1 && boards <= 4 ? 2 * boards : 4;
}

QString MonthName(int month) {
  static const char* const kNames[] = {"январь",   "февраль", "март",   "апрель",
                                       "май",      "июнь",    "июль",   "август",
                                       "сентябрь", "октябрь", "ноябрь", "декабрь"};
  return month >= 1 && month <= 12 ? QString::fromUtf8(kNames[month - 1]) : QString();
}

namespace {

ReportData BuildMonth(const QString& dir, const ReportChoice& choice, int cityLines,
                      bool listOutside);

}  // namespace

std::map<QString, SubscriberReport> DepartmentTotals(
    const std::map<int, SubscriberReport>& subscribers, const SubscriberDirectory* directory) {
  std::map<QString, SubscriberReport> departments;
  for (const auto& [subscriber, report] : subscribers) {
    SubscriberReport& sum = departments[directory ? directory->DepartmentOf(subscriber)
                                                  : SubscriberDirectory::kNoDepartment];
    sum.calls += report.calls;
    sum.minutes += report.minutes;
    sum.unknownDuration += report.unknownDuration;
    sum.cost += report.cost;
    for (const auto& [zone, totals] : report.zones) {
      ZoneTotals& into = sum.zones[zone];
      into.calls += totals.calls;
      into.minutes += totals.minutes;
      into.cost += totals.cost;
    }
  }
  return departments;
}

QString LineVerdict(qint64 calls, bool cannotEstimate, int allBusyMinutes, int linesNeeded,
                    int cityLines) {
  if (calls == 0) return QStringLiteral("Разговоров нет.");
  // The decision first; that the record understates the load comes under it, never instead.
  if (linesNeeded > cityLines) {
    QString text = QStringLiteral(
                       "Линий не хватает: нужно не менее %1 (сейчас %2). В час наибольшей "
                       "нагрузки теряется больше 1 % вызовов.")
                       .arg(linesNeeded)
                       .arg(cityLines);
    if (cannotEstimate) {
      text += QStringLiteral(
                  "\nЛинии заняты все одновременно %1 мин: вызовы, не нашедшие свободной линии, "
                  "не записаны, так что на деле линий нужно больше.")
                  .arg(allBusyMinutes);
    }
    return text;
  }
  if (cannotEstimate) {
    return QStringLiteral(
               "Линий, вероятно, не хватает: все %1 заняты одновременно %2 мин в час наибольшей "
               "нагрузки.\nВызовы, не нашедшие свободной линии, не записаны: сколько линий "
               "нужно, по записанным разговорам оценить нельзя.")
        .arg(cityLines)
        .arg(allBusyMinutes);
  }
  if (linesNeeded + 2 <= cityLines) {
    return QStringLiteral(
               "Линий с запасом по записанным разговорам: для потерь не более 1 % хватило бы %1.")
        .arg(linesNeeded);
  }
  return QStringLiteral("Линий достаточно по записанным разговорам.");
}

ReportData BuildReport(const QString& dir, const ReportChoice& choice, int cityLines,
                       bool figuresOnly) {
  ReportData data = BuildMonth(dir, choice, cityLines, !figuresOnly);
  data.directory = LoadSubscriberDirectory(dir);
  if (data.year == 0 || figuresOnly) return data;
  // The rules' findings, for the report's page of suspicious calls. A rules file with a mistake
  // costs that page only; it says so.
  try {
    const AlertRules rules = LoadAlertRules(dir);
    data.alertsBuiltIn = rules.builtIn;
    const QDate first(data.year, choice.month, choice.day != 0 ? choice.day : 1);
    const QDate last = choice.day != 0 ? first : first.addMonths(1).addDays(-1);
    for (AlertFinding& finding : FindAlerts(dir, rules, data.tariffs, first, last).findings) {
      if (choice.subscriber != 0 &&
          std::none_of(finding.calls.begin(), finding.calls.end(),
                       [&](const ExportRow& row) { return row.subscriber == choice.subscriber; })) {
        continue;
      }
      data.alerts.push_back(std::move(finding));
    }
  } catch (const NorvelError& error) {
    data.alertsProblem = error.Message();
  }
  if (choice.day != 0) return data;
  // The month before: December of the year before for a January. A month file that cannot be
  // read costs the comparison only, not the report.
  ReportChoice before = choice;
  before.month = choice.month == 1 ? 12 : choice.month - 1;
  before.year = choice.month == 1 ? data.year - 1 : data.year;
  try {
    ReportData previous = BuildMonth(dir, before, cityLines, false);
    if (previous.calls > 0) {
      data.previous = ReportData::Previous{before.year,
                                           before.month,
                                           previous.calls,
                                           previous.minutes,
                                           previous.cost,
                                           previous.busyHourTraffic,
                                           std::move(previous.subscribers)};
    }
  } catch (const NorvelError&) {
  }
  return data;
}

namespace {

ReportData BuildMonth(const QString& dir, const ReportChoice& choice, int cityLines,
                      bool listOutside) {
  ExportOptions options;
  options.month = choice.month;
  options.year = choice.year;
  options.day = choice.day;
  options.subscriber = choice.subscriber;
  MonthTally tally(choice, cityLines, LoadTariffs(dir), listOutside);
  const ExportSelection selection =
      ForEachExportRow(dir, options, [&](const ExportRow& row) { tally.Add(row); });
  return tally.Finish(selection);
}

}  // namespace

MonthTally::MonthTally(const ReportChoice& choice, int cityLines, std::optional<Tariffs> tariffs,
                       bool listOutside)
    : listOutside_(listOutside) {
  data_.choice = choice;
  data_.cityLines = cityLines;
  data_.tariffs = std::move(tariffs);
}

void MonthTally::Add(const ExportRow& row) {
  ReportData& data = data_;
  const ReportChoice& choice = data.choice;
  const Tariffs* tariffs = data.tariffs ? &*data.tariffs : nullptr;
  // Each city line's calls minute by minute over the period and the day after it, for calls
  // that run past its end: one difference array per line, summed once at the end. A line counts
  // once in a minute however many records cover it.
  const int firstDay = choice.day == 0 ? 1 : choice.day;
  if (row.cityLine <= kMaxCityLines) highestLine_ = std::max(highestLine_, row.cityLine);
  if (data.periodDays == 0) {
    data.periodDays = choice.day != 0 ? 1 : QDate(row.year, row.month, 1).daysInMonth();
  }
  ReportCall call{row, tariffs ? RateCall(*tariffs, row) : Rated{}};
  if (!tariffs) call.rated.minutes = std::max(row.duration, 0);
  ++data.calls;
  ++data.callsPerDay[static_cast<size_t>(row.day)];
  ++data.callsByDayAndHour[static_cast<size_t>(row.day)][static_cast<size_t>(row.hour)];
  SubscriberReport& subscriber = data.subscribers[row.subscriber];
  ++subscriber.calls;
  if (row.duration < 0) {
    ++data.unknownDuration;
    ++subscriber.unknownDuration;
  } else {
    data.minutes += row.duration;
    subscriber.minutes += row.duration;
  }
  switch (call.rated.kind) {
    case Rated::Kind::kCharged: {
      data.cost += call.rated.cost;
      subscriber.cost += call.rated.cost;
      for (ZoneTotals* totals :
           {&data.zones[call.rated.zone], &subscriber.zones[call.rated.zone]}) {
        ++totals->calls;
        totals->minutes += call.rated.minutes;
        totals->cost += call.rated.cost;
      }
      break;
    }
    case Rated::Kind::kNotCharged:
      if (tariffs) ++data.notCharged;
      break;
    case Rated::Kind::kNoZone:
      ++data.noZone;
      break;
    case Rated::Kind::kUnknownDuration:
      break;
  }
  if (subscriber.firstCalls.size() < static_cast<size_t>(ReportData::kSubscriberListed)) {
    subscriber.firstCalls.push_back(call);
  } else {
    ++subscriber.callsNotListed;
  }
  if (row.duration >= 0) {
    KeepTop(
        data.longest, call, [](const ReportCall& c) { return c.row.duration; },
        ReportData::kListed);
  }
  if (call.rated.cost > 0) {
    KeepTop(
        data.costliest, call, [](const ReportCall& c) { return c.rated.cost; },
        ReportData::kListed);
  }
  const int minuteOfDay = row.hour * 60 + row.minute;
  const int workFrom = tariffs ? tariffs->workFromMinute : 8 * 60;
  const int workTo = tariffs ? tariffs->workToMinute : 18 * 60;
  const bool dayOff = tariffs ? tariffs->DayOff(row.year, row.month, row.day)
                              : DayOfWeek(row.year, row.month, row.day) >= 6;
  if (dayOff || minuteOfDay < workFrom || minuteOfDay >= workTo) {
    ++data.outsideWorkingHours;
    if (listOutside_) data.outside.push_back(call);
  }
  // A call on a city line holds it from its start for its minutes (at least the minute it
  // started in); a call of unknown length is left out of the load.
  if (row.cityLine >= 1 && row.cityLine <= kMaxCityLines && row.duration >= 0) {
    std::vector<int>& change = lineChange_[static_cast<size_t>(row.cityLine)];
    if (change.empty()) {
      change.assign(static_cast<size_t>(data.periodDays + 1) * kMinutesPerDay + 1, 0);
    }
    const int start = (row.day - firstDay) * kMinutesPerDay + minuteOfDay;
    const int end =
        std::min<int>(start + std::max(row.duration, 1), static_cast<int>(change.size()) - 1);
    if (start >= 0 && start < end) {
      ++change[static_cast<size_t>(start)];
      --change[static_cast<size_t>(end)];
    }
  }
}

ReportData MonthTally::Finish(const ExportSelection& selection) const {
  ReportData data = data_;
  const ReportChoice& choice = data.choice;
  const Tariffs* tariffs = data.tariffs ? &*data.tariffs : nullptr;
  const int firstDay = choice.day == 0 ? 1 : choice.day;
  const auto& lineChange = lineChange_;
  int cityLines = data.cityLines;
  data.year = selection.year;
  data.otherYearsLeftOut = selection.leftOut;
  data.outOfRange = selection.outOfRange;
  data.unfinishedLine = selection.unfinishedLine;
  // A station has at least the lines its calls name: the settings may be missing or old.
  if (highestLine_ > cityLines) {
    cityLines = highestLine_;
    data.cityLines = highestLine_;
    data.cityLinesFromCalls = true;
  }

  std::array<qint64, 24> busyMinutes{};
  const size_t minutes = static_cast<size_t>(data.periodDays + 1) * kMinutesPerDay;
  std::array<int, 9> covering{};
  // Each day's busy line-minutes and all-lines-busy minutes by hour.
  std::vector<std::array<int, 24>> dayBusy(static_cast<size_t>(data.periodDays + 1));
  std::vector<std::array<int, 24>> dayAllBusy(static_cast<size_t>(data.periodDays + 1));
  for (size_t minute = 0; minute < minutes; ++minute) {
    int busy = 0;
    for (size_t line = 1; line <= static_cast<size_t>(kMaxCityLines); ++line) {
      if (lineChange[line].empty()) continue;
      covering[line] += lineChange[line][minute];
      if (covering[line] > 0) ++busy;
    }
    const size_t hour = (minute % kMinutesPerDay) / 60;
    busyMinutes[hour] += busy;
    dayBusy[minute / kMinutesPerDay][hour] += busy;
    if (busy > 0 && busy >= cityLines) ++dayAllBusy[minute / kMinutesPerDay][hour];
    data.peakBusy[hour] = std::max(data.peakBusy[hour], busy);
    data.peakBusyOverall = std::max(data.peakBusyOverall, busy);
  }
  for (int hour = 0; hour < 24; ++hour) {
    data.erlangs[static_cast<size_t>(hour)] =
        data.periodDays > 0
            ? static_cast<double>(busyMinutes[static_cast<size_t>(hour)]) / (60.0 * data.periodDays)
            : 0;
    if (data.erlangs[static_cast<size_t>(hour)] >
        data.erlangs[static_cast<size_t>(data.busyHour)]) {
      data.busyHour = hour;
    }
  }
  data.busyHourTraffic = data.erlangs[static_cast<size_t>(data.busyHour)];
  if (choice.day == 0 && data.periodDays > 0) {
    // The working days of the month; a month without any (no calls on them) is taken whole.
    std::vector<size_t> days;
    for (int d = 0; d < data.periodDays; ++d) {
      const int day = firstDay + d;
      const bool dayOff = tariffs ? tariffs->DayOff(data.year, choice.month, day)
                                  : DayOfWeek(data.year, choice.month, day) >= 6;
      if (!dayOff) days.push_back(size_t(d));
    }
    if (days.empty()) {
      for (int d = 0; d < data.periodDays; ++d) days.push_back(size_t(d));
    }
    data.workingDays = static_cast<int>(days.size());
    data.busyDays = std::min<int>(ReportData::kBusyDays, data.workingDays);
    const int workFrom = tariffs ? tariffs->workFromMinute : 8 * 60;
    const int workTo = tariffs ? tariffs->workToMinute : 18 * 60;
    double best = -1;
    for (int hour = (workFrom + 59) / 60; hour * 60 + 60 <= workTo; ++hour) {
      std::vector<std::pair<int, int>> daily;  // busy line-minutes, all-busy minutes
      for (size_t d : days) {
        daily.push_back(
            {dayBusy[d][static_cast<size_t>(hour)], dayAllBusy[d][static_cast<size_t>(hour)]});
      }
      std::sort(daily.begin(), daily.end(), std::greater<>());
      qint64 sum = 0;
      int allBusy = 0;
      for (int i = 0; i < data.busyDays; ++i) {
        sum += daily[static_cast<size_t>(i)].first;
        allBusy += daily[static_cast<size_t>(i)].second;
      }
      const double mean = static_cast<double>(sum) / (60.0 * data.busyDays);
      if (mean > best) {
        best = mean;
        data.busyHour = hour;
        data.busyHourTraffic = mean;
        data.allBusyMinutes = allBusy;
      }
    }
  } else if (data.periodDays > 0) {
    data.busyDays = 1;
    data.allBusyMinutes = dayAllBusy[0][static_cast<size_t>(data.busyHour)];
  }
  data.linesCannotBeEstimated =
      data.busyDays > 0 && data.allBusyMinutes > ReportData::kAllBusyShare * 60.0 * data.busyDays;
  data.blockingAtBusyHour = ErlangB(data.busyHourTraffic, cityLines);
  data.linesForOnePercent = LinesFor(data.busyHourTraffic, 0.01);
  return data;
}

namespace {

constexpr quint32 kTallyVersion = 1;

void SaveZones(QDataStream& out, const std::map<int, ZoneTotals>& zones) {
  out << quint32(zones.size());
  for (const auto& [zone, totals] : zones) {
    out << qint32(zone) << totals.calls << totals.minutes << totals.cost;
  }
}

void LoadZones(QDataStream& in, std::map<int, ZoneTotals>& zones) {
  quint32 count = 0;
  in >> count;
  for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
    qint32 zone = 0;
    ZoneTotals totals;
    in >> zone >> totals.calls >> totals.minutes >> totals.cost;
    zones[zone] = totals;
  }
}

}  // namespace

QByteArray MonthTally::Save() const {
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  const ReportData& data = data_;
  out << kTallyVersion << qint32(data.periodDays) << qint32(highestLine_) << data.calls
      << data.minutes << data.unknownDuration << data.notCharged << data.noZone << data.cost
      << data.outsideWorkingHours;
  SaveZones(out, data.zones);
  out << quint32(data.subscribers.size());
  for (const auto& [number, subscriber] : data.subscribers) {
    out << qint32(number) << subscriber.calls << subscriber.minutes << subscriber.unknownDuration
        << subscriber.cost;
    SaveZones(out, subscriber.zones);
  }
  out.writeRawData(reinterpret_cast<const char*>(data.callsPerDay.data()), sizeof data.callsPerDay);
  out.writeRawData(reinterpret_cast<const char*>(data.callsByDayAndHour.data()),
                   sizeof data.callsByDayAndHour);
  for (const std::vector<int>& change : lineChange_) {
    out << quint32(change.size());
    out.writeRawData(reinterpret_cast<const char*>(change.data()),
                     static_cast<int>(change.size() * sizeof(int)));
  }
  return bytes;
}

bool MonthTally::Resume(const QByteArray& saved) {
  QDataStream in(saved);
  ReportData& data = data_;
  quint32 version = 0;
  qint32 periodDays = 0;
  qint32 highestLine = 0;
  in >> version;
  if (version != kTallyVersion) return false;
  in >> periodDays >> highestLine >> data.calls >> data.minutes >> data.unknownDuration >>
      data.notCharged >> data.noZone >> data.cost >> data.outsideWorkingHours;
  data.periodDays = periodDays;
  highestLine_ = highestLine;
  LoadZones(in, data.zones);
  quint32 subscribers = 0;
  in >> subscribers;
  for (quint32 i = 0; i < subscribers && in.status() == QDataStream::Ok; ++i) {
    qint32 number = 0;
    SubscriberReport read;
    in >> number >> read.calls >> read.minutes >> read.unknownDuration >> read.cost;
    LoadZones(in, read.zones);
    data.subscribers[number] = std::move(read);
  }
  const auto raw = [&](void* to, qsizetype size) {
    if (in.readRawData(static_cast<char*>(to), static_cast<int>(size)) != size) {
      in.setStatus(QDataStream::ReadPastEnd);
    }
  };
  raw(data.callsPerDay.data(), sizeof data.callsPerDay);
  raw(data.callsByDayAndHour.data(), sizeof data.callsByDayAndHour);
  const quint32 longest = static_cast<quint32>(32 + 1) * kMinutesPerDay + 1;
  for (std::vector<int>& change : lineChange_) {
    quint32 size = 0;
    in >> size;
    if (size > longest) in.setStatus(QDataStream::ReadCorruptData);
    if (in.status() != QDataStream::Ok) break;
    change.assign(size, 0);
    raw(change.data(), static_cast<qsizetype>(size * sizeof(int)));
  }
  return in.status() == QDataStream::Ok && in.atEnd();
}
