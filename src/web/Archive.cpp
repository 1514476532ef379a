#include "web/Archive.h"

#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <map>
#include <tuple>

#include "core/sync/DatabaseConnection.h"

namespace {

// "2026-12-01 00:00:00": a bound a start is compared with.
QString Moment(const QDate& day) {
  return day.toString(QStringLiteral("yyyy-MM-dd 00:00:00"));
}

}  // namespace

Archive::Archive(const DatabaseTarget& target)
    : c_(std::make_unique<DatabaseConnection>(target, /*readOnly=*/true)) {}

Archive::~Archive() = default;

std::vector<QString> Archive::StationNames() {
  QSqlQuery query = c_->Exec(QStringLiteral("SELECT name FROM stations ORDER BY name"));
  std::vector<QString> names;
  while (query.next()) names.push_back(query.value(0).toString());
  return names;
}

std::vector<Archive::Station> Archive::Stations(const QDate& month) {
  std::vector<Station> stations;
  QSqlQuery list = c_->Exec(QStringLiteral(
      "SELECT s.name, s.timezone, r.finished_at, r.result "
      "FROM stations s LEFT JOIN sync_runs r "
      "ON r.station = s.name AND r.finished_at = (SELECT MAX(finished_at) FROM sync_runs WHERE "
      "station = s.name) ORDER BY s.name"));
  while (list.next()) {
    Station station;
    station.name = list.value(0).toString();
    station.timezone = list.value(1).toString();
    station.lastSeen =
        list.value(2).toDateTime().isValid()
            ? list.value(2).toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
            : list.value(2).toString();
    station.lastResult = list.value(3).toString();
    if (!stations.empty() && stations.back().name == station.name) {
      // Two syncs that ended in the same second: a failed one is not hidden by the other.
      if (station.lastResult != QLatin1String("synced"))
        stations.back().lastResult = station.lastResult;
      continue;
    }
    stations.push_back(station);
  }
  // The last reception is the newest by the reception's own time, not by the sync that saw it:
  // two directories' syncs may end in any order.
  QSqlQuery receptions = c_->Exec(QStringLiteral(
      "SELECT r.station, r.reception_at, r.reception_result FROM sync_runs r WHERE "
      "r.reception_at = (SELECT MAX(reception_at) FROM sync_runs WHERE station = r.station)"));
  while (receptions.next()) {
    for (Station& station : stations) {
      if (station.name != receptions.value(0).toString()) continue;
      station.receptionAt = receptions.value(1).toString().replace(u'T', u' ');
      station.receptionResult = receptions.value(2).toString();
    }
  }
  // This month's calls and cost, and last month's cost, as each station's month figures have
  // them.
  const QDate before = month.addMonths(-1);
  QSqlQuery sums = c_->Prepare(
      QStringLiteral("SELECT station, year, month, calls, cost_hundredths FROM month_reports "
                     "WHERE (year = ? AND month = ?) OR (year = ? AND month = ?)"));
  sums.addBindValue(month.year());
  sums.addBindValue(month.month());
  sums.addBindValue(before.year());
  sums.addBindValue(before.month());
  c_->Run(sums);
  while (sums.next()) {
    const bool now =
        sums.value(1).toInt() == month.year() && sums.value(2).toInt() == month.month();
    for (Station& station : stations) {
      if (station.name != sums.value(0).toString()) continue;
      if (now) {
        station.calls = sums.value(3).toLongLong();
        station.cost = sums.value(4).toLongLong();
      } else {
        station.lastMonthCost = sums.value(4).toLongLong();
      }
    }
  }
  QSqlQuery alerts = c_->Prepare(
      QStringLiteral("SELECT station, level, COUNT(*) FROM alerts WHERE year = ? AND month = ? "
                     "GROUP BY station, level"));
  alerts.addBindValue(month.year());
  alerts.addBindValue(month.month());
  c_->Run(alerts);
  while (alerts.next()) {
    for (Station& station : stations) {
      if (station.name != alerts.value(0).toString()) continue;
      (alerts.value(1).toString() == QLatin1String("alarm") ? station.alarms : station.warnings) =
          alerts.value(2).toInt();
    }
  }
  return stations;
}

Archive::Month Archive::MonthOf(const QString& station, const QDate& month) {
  // The month's figures as the sync kept them from the station's report: a few rows per
  // subscriber, however many calls the month had.
  Month result;
  const QString which = QStringLiteral(" WHERE year = ? AND month = ?") +
                        (station.isEmpty() ? QString() : QStringLiteral(" AND station = ?"));
  const auto run = [&](const QString& sql) {
    QSqlQuery query = c_->Prepare(sql + which);
    query.addBindValue(month.year());
    query.addBindValue(month.month());
    if (!station.isEmpty()) query.addBindValue(station);
    c_->Run(query);
    return query;
  };
  QSqlQuery people = run(QStringLiteral(
      "SELECT subscriber, subscriber_name, department, calls, minutes, cost_hundredths, station "
      "FROM month_subscribers"));
  // Extension 20 of one station is not extension 20 of another: over all stations a subscriber
  // is its station and extension.
  std::map<std::pair<QString, int>, Totals> subscribers;
  std::map<QString, Totals> departments;
  while (people.next()) {
    const auto add = [&](Totals& into) {
      into.calls += people.value(3).toLongLong();
      into.minutes += people.value(4).toLongLong();
      into.cost += people.value(5).toLongLong();
    };
    add(result.all);
    const int subscriber = people.value(0).toInt();
    const QString where = station.isEmpty() ? people.value(6).toString() : QString();
    Totals& person = subscribers[{where, subscriber}];
    person.what = (where.isEmpty() ? QString() : where + u' ') + QString::number(subscriber);
    if (person.name.isEmpty() && !people.value(1).toString().isEmpty()) {
      person.name = people.value(1).toString();
      if (!people.value(2).toString().isEmpty()) {
        person.name += QStringLiteral(" (") + people.value(2).toString() + u')';
      }
    }
    add(person);
    QString department = people.value(2).toString();
    if (department.isEmpty()) department = QStringLiteral("без отдела");
    departments[department].what = department;
    add(departments[department]);
  }
  QSqlQuery zoneRows =
      run(QStringLiteral("SELECT zone, calls, charged_min, cost_hundredths FROM month_zones"));
  std::map<QString, Totals> zones;
  while (zoneRows.next()) {
    Totals& zone = zones[zoneRows.value(0).toString()];
    zone.what = zoneRows.value(0).toString();
    zone.calls += zoneRows.value(1).toLongLong();
    zone.minutes += zoneRows.value(2).toLongLong();
    zone.cost += zoneRows.value(3).toLongLong();
  }
  for (const auto& entry : subscribers) result.subscribers.push_back(entry.second);
  for (const auto& entry : departments) result.departments.push_back(entry.second);
  for (const auto& entry : zones) result.zones.push_back(entry.second);
  QSqlQuery loads = c_->Prepare(
      QStringLiteral("SELECT station, city_lines, lines_assumed, busy_hour, busy_traffic, "
                     "working_days, busy_days, all_busy_minutes, cannot_estimate, blocking, "
                     "lines_needed FROM month_reports WHERE year = ? AND month = ?") +
      (station.isEmpty() ? QString() : QStringLiteral(" AND station = ?")) +
      QStringLiteral(" ORDER BY station"));
  loads.addBindValue(month.year());
  loads.addBindValue(month.month());
  if (!station.isEmpty()) loads.addBindValue(station);
  c_->Run(loads);
  while (loads.next()) {
    Month::Load load;
    load.station = loads.value(0).toString();
    load.cityLines = loads.value(1).toInt();
    load.linesAssumed = loads.value(2).toInt() != 0;
    load.busyHour = loads.value(3).toInt();
    load.traffic = loads.value(4).toDouble();
    load.workingDays = loads.value(5).toInt();
    load.busyDays = loads.value(6).toInt();
    load.allBusyMinutes = loads.value(7).toInt();
    load.cannotEstimate = loads.value(8).toInt() != 0;
    load.blocking = loads.value(9).toDouble();
    load.linesNeeded = loads.value(10).toInt();
    result.loads.push_back(load);
  }
  QSqlQuery alerts = run(QStringLiteral(
      "SELECT station, first_call, rule, level, why, calls, calls_text FROM alerts"));
  while (alerts.next()) {
    result.alerts.push_back(
        {alerts.value(0).toString(), alerts.value(1).toString(), alerts.value(2).toString(),
         alerts.value(3).toString() == QLatin1String("alarm"), alerts.value(4).toString(),
         alerts.value(5).toInt(), alerts.value(6).toString()});
  }
  std::sort(result.alerts.begin(), result.alerts.end(),
            [](const Month::Alert& a, const Month::Alert& b) {
              return std::tie(a.firstCall, a.station) < std::tie(b.firstCall, b.station);
            });
  return result;
}

std::vector<Archive::Call> Archive::Search(const Filter& filter, int offset, int count) {
  QString sql =
      QStringLiteral(
          "SELECT station, %1, subscriber, subscriber_name, duration_min, city_line, number, zone, "
          "cost_hundredths FROM calls WHERE 1 = 1")
          .arg(c_->Dialect().ClockText(QStringLiteral("start"), false));
  QVariantList values;
  if (!filter.station.isEmpty()) {
    sql += QStringLiteral(" AND station = ?");
    values << filter.station;
  }
  if (filter.subscriber != 0) {
    sql += QStringLiteral(" AND subscriber = ?");
    values << filter.subscriber;
  }
  if (!filter.prefix.isEmpty()) {
    // The prefix is a value, its own % and _ taken as they are.
    QString prefix = filter.prefix;
    prefix.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'%', QStringLiteral("\\%"))
        .replace(u'_', QStringLiteral("\\_"));
    sql += QStringLiteral(" AND number LIKE ? ESCAPE '\\'");
    values << prefix + u'%';
  }
  if (filter.from.isValid()) {
    sql += QStringLiteral(" AND start >= ?");
    values << Moment(filter.from);
  }
  if (filter.to.isValid()) {
    sql += QStringLiteral(" AND start < ?");
    values << Moment(filter.to.addDays(1));
  }
  if (filter.minMinutes > 0) {
    sql += QStringLiteral(" AND duration_min >= ?");
    values << filter.minMinutes;
  }
  sql += QStringLiteral(" ORDER BY start, station, record, occurrence LIMIT ? OFFSET ?");
  values << count + 1 << offset;
  QSqlQuery query = c_->Prepare(sql);
  for (const QVariant& value : values) query.addBindValue(value);
  c_->Run(query);
  std::vector<Call> calls;
  while (query.next()) {
    Call call;
    call.station = query.value(0).toString();
    call.start = query.value(1).toString();
    call.subscriber = query.value(2).toInt();
    call.name = query.value(3).toString();
    call.minutes = query.isNull(4) ? -1 : query.value(4).toInt();
    call.cityLine = query.value(5).toInt();
    call.number = query.value(6).toString();
    call.zone = query.value(7).toString();
    if (!query.isNull(8)) call.cost = query.value(8).toLongLong();
    calls.push_back(call);
  }
  return calls;
}
