#include "core/sync/MonthState.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <limits>
#include <memory>

#include "core/base/Errors.h"
#include "core/files/DataFiles.h"
#include "core/files/RegularFile.h"
#include "core/sync/Sha256.h"

namespace {

constexpr quint32 kStateVersion = 1;
constexpr qint64 kReadBlock = 1 << 20;

QDate DayOf(const ExportRow& row) {
  return QDate(row.year, row.month, row.day);
}

// Calls `each(line, number, offset)` for the whole lines of the month file from `from` (the
// start of a line; 0: the heading, which is left out) up to `end` bytes, the line end left out;
// `number` counts from the heading when reading from it, and is 0 otherwise.
template <class Each>
void ForEachLine(const QString& dir, int month, qint64 from, qint64 end, Each each) {
  const QString name = DataFileName(month);
  QFile file(QDir(dir).filePath(name));
  QString problem;
  const auto fail = [&] {
    throw IoError(QStringLiteral("Не удается прочитать файл %1: %2")
                      .arg(name, problem.isEmpty() ? file.errorString() : problem));
  };
  if (!OpenRegularFile(file, &problem) || !file.seek(from)) fail();
  QByteArray pending;
  qint64 at = from;  // the offset of pending's first byte
  int number = from == 0 ? 0 : -1;
  while (at + pending.size() < end) {
    const QByteArray block = file.read(std::min(kReadBlock, end - at - pending.size()));
    if (file.error() != QFileDevice::NoError) fail();
    if (block.isEmpty()) break;
    pending += block;
    qsizetype start = 0;
    for (;;) {
      const qsizetype stop = pending.indexOf('\n', start);
      if (stop < 0) break;
      qsizetype length = stop - start;
      if (length > 0 && pending[stop - 1] == '\r') --length;
      if (number >= 0) ++number;
      if (number != 1) {
        each(QByteArrayView(pending.constData() + start, length), std::max(number, 0), at + start);
      }
      start = stop + 1;
    }
    pending.remove(0, start);
    at += start;
  }
}

// The calls of the chosen year in file order: where the run of calls of one day at the end
// begins, and whether every call before it is of an earlier day. The alert check is saved
// where such a run begins, to go on from when calls of that day or later are added.
struct Runs {
  QDate latest;
  QDate day;
  qint64 start = -1;
  bool latestRun = false;

  // True when the call at `offset` begins a run of a day later than every call before it.
  bool Next(const QDate& callDay, qint64 offset) {
    if (callDay == day) return false;
    day = callDay;
    start = offset;
    latestRun = !latest.isValid() || callDay > latest;
    if (latestRun) latest = callDay;
    return latestRun;
  }
  void To(MonthState& state) const {
    state.latestDay = latest;
    state.runDay = day;
    state.runStart = start;
    state.runLatest = latestRun;
  }
};

QDate MonthEnd(int year, int month) {
  return QDate(year, month, 1).addMonths(1).addDays(-1);
}

}  // namespace

QByteArray MonthState::Save() const {
  QByteArray saved;
  QDataStream out(&saved, QIODevice::WriteOnly);
  out << kStateVersion << bytes << inputs << hash << tailHash << lastMinute;
  out << quint32(atLastMinute.size());
  for (auto it = atLastMinute.constBegin(); it != atLastMinute.constEnd(); ++it) {
    out << it.key() << qint32(it.value());
  }
  out << qint32(year) << tally << latestDay << runDay << runStart << runLatest << alerts;
  return saved;
}

std::optional<MonthState> MonthState::Load(const QByteArray& saved) {
  QDataStream in(saved);
  quint32 version = 0;
  in >> version;
  if (version != kStateVersion) return std::nullopt;
  MonthState state;
  quint32 records = 0;
  in >> state.bytes >> state.inputs >> state.hash >> state.tailHash >> state.lastMinute >> records;
  for (quint32 i = 0; i < records && in.status() == QDataStream::Ok; ++i) {
    QByteArray record;
    qint32 count = 0;
    in >> record >> count;
    state.atLastMinute.insert(record, count);
  }
  qint32 year = 0;
  in >> year >> state.tally >> state.latestDay >> state.runDay >> state.runStart >>
      state.runLatest >> state.alerts;
  state.year = year;
  if (in.status() != QDataStream::Ok || !in.atEnd()) return std::nullopt;
  return state;
}

QByteArray MonthInputs(const QString& dir, int month, const AlertRules* rules) {
  Sha256 hash;
  const QDir where(dir);
  for (const char* name : {kTariffFileName, kSubscriberFileName, kAlertRulesFileName}) {
    QFile file(where.filePath(QLatin1String(name)));
    hash.Add(name);
    if (file.open(QIODevice::ReadOnly)) hash.Add(file.readAll());
  }
  if (rules) {
    for (const AlertRule& rule : rules->rules) hash.Add(rule.Identity().toUtf8());
  }
  bool known = false;
  const int lines = StationCityLines(dir, &known);
  QByteArray facts = QByteArray::number(lines) + (known ? "k" : "a");
  // The other month files as they stood: a call added to one changes the weeks looked back on.
  for (int other = 1; other <= 12; ++other) {
    if (other == month) continue;
    const QFileInfo info(where.filePath(DataFileName(other)));
    if (!info.exists()) continue;
    facts += ' ' + QByteArray::number(other) + ':' + QByteArray::number(info.size()) + ':' +
             QByteArray::number(info.lastModified().toMSecsSinceEpoch());
  }
  hash.Add(facts);
  return hash.Hex();
}

MonthFigures ComputeMonthFigures(const QString& dir, int month, const AlertRules* rules) {
  MonthFigures figures;
  figures.lines = StationCityLines(dir, &figures.known);
  figures.state.inputs = MonthInputs(dir, month, rules);
  // The year the report takes: the latest the file holds.
  const int year = LatestYear(dir, month);
  const std::optional<Tariffs> tariffs = LoadTariffs(dir);
  MonthTally tally({month, 0, 0, 0}, figures.lines, tariffs, /*listOutside=*/false);
  ExportSelection selection;
  selection.year = year;
  std::unique_ptr<AlertCheckState> check;
  const QString name = DataFileName(month);
  if (rules && year != 0) {
    const QDate first(year, month, 1);
    check = std::make_unique<AlertCheckState>(*rules, tariffs, first, MonthEnd(year, month));
    // The weeks before the month, month file after month file.
    const QDate from = check->HistoryFrom();
    for (QDate other(from.year(), from.month(), 1); other < first; other = other.addMonths(1)) {
      ExportOptions options;
      options.month = other.month();
      options.year = other.year();
      ForEachExportRow(dir, options, [&](const ExportRow& row) { check->Row(row); });
    }
  }
  Runs runs;
  if (QFile::exists(QDir(dir).filePath(name))) {
    ForEachLine(dir, month, 0, std::numeric_limits<qint64>::max(),
                [&](QByteArrayView line, int number, qint64 offset) {
                  // Only the figures are stored: the calls of other years and those out of a
                  // station's range are not counted here.
                  const ExportRow row = ParseMonthLine(line, name, number);
                  if (row.year != year) return;
                  tally.Add(row);
                  if (!check) return;
                  if (runs.Next(DayOf(row), offset)) figures.state.alerts = check->Save(runs.day);
                  check->Row(row);
                });
  }
  if (check) {
    if (check->UsualFindings()) {
      ExportOptions options;
      options.month = month;
      options.year = year;
      ForEachExportRow(dir, options, [&](const ExportRow& row) { check->UsualCalls(row); });
    }
    figures.check = check->Finish();
    if (!runs.latestRun) figures.state.alerts.clear();
  }
  figures.data = tally.Finish(selection);
  figures.data.directory = LoadSubscriberDirectory(dir);
  figures.state.year = year;
  figures.state.tally = tally.Save();
  runs.To(figures.state);
  return figures;
}

std::optional<MonthFigures> ResumeMonthFigures(const QString& dir, int month,
                                               const AlertRules* rules, const MonthState& state,
                                               qint64 end) {
  if (state.year == 0 || state.inputs != MonthInputs(dir, month, rules)) return std::nullopt;
  MonthFigures figures;
  figures.lines = StationCityLines(dir, &figures.known);
  figures.state = state;
  const std::optional<Tariffs> tariffs = LoadTariffs(dir);
  MonthTally tally({month, 0, 0, 0}, figures.lines, tariffs, /*listOutside=*/false);
  if (!tally.Resume(state.tally)) return std::nullopt;
  const int year = state.year;
  std::unique_ptr<AlertCheckState> check;
  if (rules) {
    if (state.alerts.isEmpty() || !state.runLatest) return std::nullopt;
    check = std::make_unique<AlertCheckState>(*rules, tariffs, QDate(year, month, 1),
                                              MonthEnd(year, month));
    if (!check->Resume(state.alerts, state.runDay)) return std::nullopt;
    figures.since = state.runDay;
  }
  Runs runs{state.latestDay, state.runDay, state.runStart, state.runLatest};
  // The check goes on from where the calls of its day begin; the sums from the synced end.
  const qint64 from = check ? state.runStart : state.bytes;
  bool resumable = true;
  ForEachLine(dir, month, from, end, [&](QByteArrayView line, int, qint64 offset) {
    if (!resumable) return;
    const ExportRow row = ParseMonthLine(line, DataFileName(month), 0);
    if (row.year != year) {
      // A call of a later year makes the month another one.
      resumable = row.year < year;
      return;
    }
    const bool added = offset >= state.bytes;
    if (added) tally.Add(row);
    if (!check) return;
    if (added) {
      if (DayOf(row) < state.runDay) {
        resumable = false;  // the check saved before that day's calls cannot take it
        return;
      }
      if (runs.Next(DayOf(row), offset)) figures.state.alerts = check->Save(runs.day);
    }
    check->Row(row);
  });
  if (!resumable) return std::nullopt;
  if (check) {
    if (check->UsualFindings()) {
      ForEachLine(dir, month, from, end, [&](QByteArrayView line, int, qint64) {
        const ExportRow row = ParseMonthLine(line, DataFileName(month), 0);
        if (row.year == year) check->UsualCalls(row);
      });
    }
    figures.check = check->Finish();
    if (!runs.latestRun) figures.state.alerts.clear();
  }
  ExportSelection selection;
  selection.year = year;
  figures.data = tally.Finish(selection);
  figures.data.directory = LoadSubscriberDirectory(dir);
  figures.state.tally = tally.Save();
  runs.To(figures.state);
  return figures;
}
