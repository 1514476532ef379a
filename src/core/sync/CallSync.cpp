#include "core/sync/CallSync.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QVariant>
#include <cstdio>
#include <functional>
#include <future>
#include <limits>
#include <memory>
#include <optional>
#include <unordered_set>

#include "core/base/Errors.h"
#include "core/costs/CostReport.h"
#include "core/costs/Tariffs.h"
#include "core/files/CallExport.h"
#include "core/files/DataFiles.h"
#include "core/files/DecimalText.h"
#include "core/files/RegularFile.h"
#include "core/sync/DatabaseConnection.h"
#include "core/sync/MonthState.h"
#include "core/sync/RowWriter.h"
#include "core/sync/Schema.h"
#include "core/sync/Sha256.h"

namespace {

constexpr qint64 kReadBlock = 1 << 20;
constexpr qint64 kHookEvery = 10000;  // rows between two calls of the test hook

QString NowText() {
  return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

struct FileState {
  qint64 bytes = 0;
  qint64 calls = 0;
  QByteArray sha256;
};

// The start of a row as the table keeps it, "YYYY-MM-DD HH:MM:00", for comparing with a prune.
QByteArray RowStart(const ExportRow& row) {
  char text[24];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:00", row.year, row.month, row.day,
                row.hour, row.minute);
  return QByteArray(text);
}

// Counts the calls of a month file by their key (start and record), so that a call repeated
// exactly gets the next occurrence number, and a call synced before gets its own again.
// The counts of the records at the latest start are kept between syncs: a file that only grew
// with calls starting then or later numbers them from these alone.
//
// While the calls come in time order, as a station writes them, only the records of the latest
// start are counted: a million calls cost no map of a million keys. A call that goes back in
// time needs the counts of every key before it, and the caller gives them then (CountEveryKey).
class Occurrences {
 public:
  explicit Occurrences(bool everyKey = false) : everyKey_(everyKey) {}

  // The call's occurrence number; 0 when it starts before the latest start so far and only the
  // latest start's records are counted.
  int Next(const ExportRow& row, const QByteArray& record) {
    const qint64 minute = Minute(row);
    if (!everyKey_ && minute < last_) return 0;
    if (minute > last_) {
      last_ = minute;
      atLast_.clear();
    }
    int latest = 0;
    if (minute == last_) latest = ++atLast_[record];
    return everyKey_ ? ++counts_[Key(record, minute)] : latest;
  }
  // From now on every key is counted: `count` gives each call before this one to Count.
  template <class Calls>
  void CountEveryKey(Calls calls) {
    everyKey_ = true;
    counts_.clear();
    calls([&](const ExportRow& row, const QByteArray& record) {
      ++counts_[Key(record, Minute(row))];
    });
  }
  // The latest start and its records' counts, found apart from the counting.
  void SetTail(qint64 last, const QHash<QByteArray, int>& atLast) {
    last_ = last;
    atLast_ = atLast;
  }
  void To(MonthState& state) const {
    state.lastMinute = last_;
    state.atLastMinute = atLast_;
  }

 private:
  // As LineStartMinute gives it.
  static qint64 Minute(const ExportRow& row) {
    return ((row.year * 100LL + row.month) * 100 + row.day) * 10000 + row.hour * 100 + row.minute;
  }
  static QByteArray Key(const QByteArray& record, qint64 minute) {
    QByteArray key = record;
    key += '@';
    AppendDecimal(key, minute);
    return key;
  }

  bool everyKey_;
  QHash<QByteArray, int> counts_;  // by record and start, when every key is counted
  qint64 last_ = -1;
  QHash<QByteArray, int> atLast_;  // the records of the latest start
};

// Calls `each(line, number)` for every whole line of the file from where it stands, up to
// `limit` bytes, the line end left out; gives the bytes of the whole lines, hashed into `hash`.
// `at`, when given, is the offset in the file of the line `each` is called for.
template <class Each>
qint64 ReadLines(QFile& file, qint64 limit, Sha256& hash, int& lineNumber, const QString& name,
                 Each each, qint64* at = nullptr) {
  const qint64 from = file.pos();
  qint64 taken = 0;
  QByteArray pending;
  for (;;) {
    const QByteArray block = file.read(std::min(kReadBlock, limit - taken - pending.size()));
    if (file.error() != QFileDevice::NoError) {
      throw IoError(
          QStringLiteral("Не удается прочитать файл %1: %2").arg(name, file.errorString()));
    }
    if (block.isEmpty()) break;
    pending += block;
    qsizetype start = 0;
    for (;;) {
      const qsizetype end = pending.indexOf('\n', start);
      if (end < 0) break;
      ++lineNumber;
      qsizetype stop = end;
      if (stop > start && pending[stop - 1] == '\r') --stop;
      if (at) *at = from + taken + start;
      if (lineNumber > 1) each(QByteArrayView(pending.constData() + start, stop - start));
      start = end + 1;
    }
    hash.Add(QByteArrayView(pending.constData(), start));
    taken += start;
    pending.remove(0, start);
    if (taken + pending.size() >= limit) break;
  }
  return taken;
}

// The start minutes of the calls after the file's first `bytes`; leaves the file at its start.
// Only a call of the part synced before that starts in one of these minutes can share its key
// with a new call, so only those need reading for the new calls' occurrence numbers.
std::unordered_set<qint64> StartsAfter(QFile& file, qint64 bytes, const QString& name) {
  std::unordered_set<qint64> starts;
  const auto fail = [&] {
    throw IoError(QStringLiteral("Не удается прочитать файл %1: %2").arg(name, file.errorString()));
  };
  if (!file.seek(bytes)) fail();
  Sha256 unused;
  int lineNumber = 1;  // past the heading: every line here is a call
  ReadLines(file, std::numeric_limits<qint64>::max(), unused, lineNumber, name,
            [&](QByteArrayView line) { starts.insert(LineStartMinute(line)); });
  if (!file.seek(0)) fail();
  return starts;
}

// Whether the file's first `bytes` hash to `sha256`; leaves the file at its start.
bool Unchanged(QFile& file, qint64 bytes, const QByteArray& sha256, const QString& name) {
  Sha256 hash;
  QByteArray block(kReadBlock, Qt::Uninitialized);
  qint64 taken = 0;
  while (taken < bytes) {
    const qint64 got = file.read(block.data(), std::min<qint64>(kReadBlock, bytes - taken));
    if (got < 0) {
      throw IoError(
          QStringLiteral("Не удается прочитать файл %1: %2").arg(name, file.errorString()));
    }
    if (got == 0) break;
    hash.Add(QByteArrayView(block.constData(), got));
    taken += got;
  }
  if (!file.seek(0)) {
    throw IoError(QStringLiteral("Не удается прочитать файл %1: %2").arg(name, file.errorString()));
  }
  return taken == bytes && hash.Hex() == sha256;
}

// The hash of the last 4 KiB of the file's first `bytes`; leaves the file there.
QByteArray TailHash(QFile& file, qint64 bytes, const QString& name) {
  const qint64 from = std::max<qint64>(0, bytes - 4096);
  QByteArray tail;
  if (file.seek(from)) tail = file.read(bytes - from);
  if (tail.size() != bytes - from || !file.seek(bytes)) {
    throw IoError(QStringLiteral("Не удается прочитать файл %1: %2").arg(name, file.errorString()));
  }
  Sha256 hash;
  hash.Add(tail);
  return hash.Hex();
}

// What the sync of a month file read it with, and leaves for the next one.
struct MonthProgress {
  std::optional<MonthState> kept;  // the state kept before, describing the synced bytes
  bool appended = false;           // only the bytes after them were read, going on from it
  MonthState next;                 // the hash and occurrences part of the next state
};

// The month file's kept state; nothing when there is none or the table cannot be read.
std::optional<MonthState> KeptState(DatabaseConnection& c, const QString& station, int month) {
  QSqlQuery find = c.Prepare(
      QStringLiteral("SELECT state FROM month_states WHERE station = ? AND month_file = ?"));
  find.addBindValue(station);
  find.addBindValue(month);
  c.Run(find);
  if (!find.next()) return std::nullopt;
  return MonthState::Load(find.value(0).toByteArray());
}

// Syncs one month file; nothing when it holds nothing new. The rows are an archive's: a call is
// added when the table does not hold it yet, and nothing is ever removed here.
std::optional<SyncedFile> SyncMonth(DatabaseConnection& c, const SyncOptions& options, int month,
                                    const std::optional<Tariffs>& tariffs,
                                    const SubscriberDirectory* names,
                                    const QByteArray& prunedBefore, QStringList& notes,
                                    const std::function<void()>& changed, bool keepStates,
                                    MonthProgress& progress, bool mayWriteStraight = true) {
  const QString name = DataFileName(month);
  QFile file(QDir(options.dir).filePath(name));
  if (!file.exists()) return std::nullopt;
  QString problem;
  if (!OpenRegularFile(file, &problem)) {
    throw IoError(QStringLiteral("Не удается прочитать файл %1: %2").arg(name, problem));
  }

  // Two syncs of one station at once must not both read the same state and both add the same
  // rows: the month's transaction is taken, exclusively, before the state is read. The second
  // sync then finds the first one's rows and adds nothing.
  c.BeginExclusive(QStringLiteral("calls:") + options.station.name);
  std::optional<FileState> state;
  {
    QSqlQuery find = c.Prepare(QStringLiteral(
        "SELECT bytes, calls, sha256 FROM synced_files WHERE station = ? AND month_file = ?"));
    find.addBindValue(options.station.name);
    find.addBindValue(month);
    c.Run(find);
    if (find.next()) {
      state = FileState{find.value(0).toLongLong(), find.value(1).toLongLong(),
                        find.value(2).toString().toLatin1()};
    }
  }
  progress = MonthProgress();
  if (state && keepStates) {
    progress.kept = KeptState(c, options.station.name, month);
    if (progress.kept && progress.kept->bytes != state->bytes) progress.kept.reset();
  }
  const qint64 size = file.size();
  SyncedFile synced;
  synced.file = name;
  Occurrences occurrences;
  Sha256 hash;
  int lineNumber = 0;
  qint64 lines = 0;
  qint64 offset = 0;
  // A file of the size synced before whose bytes hash the same holds nothing new: the commonest
  // case, one pass of the hash over the file and nothing else.
  if (state && size == state->bytes && Unchanged(file, state->bytes, state->sha256, name)) {
    c.Rollback();
    return std::nullopt;
  }
  const bool more = state && size > state->bytes;
  const std::unordered_set<qint64> newStarts =
      more ? StartsAfter(file, state->bytes, name) : std::unordered_set<qint64>();
  // A file that only grew, with calls that start no earlier than the latest synced one: the
  // kept state goes on from the synced end, and only the new bytes are read. Its last 4 KiB are
  // checked, for a file cut back and written again.
  if (more && progress.kept && hash.Restore(progress.kept->hash) &&
      std::all_of(newStarts.begin(), newStarts.end(),
                  [&](qint64 start) { return start >= progress.kept->lastMinute; }) &&
      TailHash(file, state->bytes, name) == progress.kept->tailHash) {
    progress.appended = true;
    occurrences.SetTail(progress.kept->lastMinute, progress.kept->atLastMinute);
    offset = state->bytes;
    lines = state->calls;
    lineNumber = static_cast<int>(state->calls) + 1;  // the heading and the synced calls
  } else {
    hash.Reset();
    if (!file.seek(0)) {
      throw IoError(
          QStringLiteral("Не удается прочитать файл %1: %2").arg(name, file.errorString()));
    }
    // Something is new, as a rule: the month's figures can be worked out beside the rows.
    changed();
  }
  // The part synced before: unchanged (by its hash) when the file is at least as long. Its calls
  // are counted only when something follows them, and only those that start when a new call
  // does or later than all before, for the occurrences of what follows: the rest is hashed.
  if (state && size >= state->bytes && !progress.appended) {
    // Only the keys of the new calls' starts are counted, each of them.
    occurrences = Occurrences(/*everyKey=*/true);
    // The lines at the latest start, by where they are, read again at the end for the
    // occurrences kept for the next sync.
    qint64 latest = -1;
    std::vector<std::pair<qint64, qsizetype>> atLatest;
    qint64 at = 0;
    offset = ReadLines(
        file, state->bytes, hash, lineNumber, name,
        [&](QByteArrayView line) {
          ++lines;
          if (!more) return;
          const qint64 start = LineStartMinute(line);
          if (start > latest) {
            latest = start;
            atLatest.clear();
          }
          if (start == latest) atLatest.emplace_back(at, line.size());
          if (newStarts.contains(start)) {
            const ExportRow row = ParseMonthLine(line, name, lineNumber);
            occurrences.Next(row, CallRecordKey(row));
          }
        },
        &at);
    if (more) {
      QHash<QByteArray, int> counts;
      const qint64 end = file.pos();
      for (const auto& [where, length] : atLatest) {
        if (!file.seek(where)) break;
        const QByteArray line = file.read(length);
        ++counts[CallRecordKey(ParseMonthLine(line, name, 0))];
      }
      if (!file.seek(end)) {
        throw IoError(
            QStringLiteral("Не удается прочитать файл %1: %2").arg(name, file.errorString()));
      }
      occurrences.SetTail(latest, counts);
    }
    if (hash.Hex() == state->sha256 && offset == state->bytes) {
      if (!more) {
        c.Rollback();
        return std::nullopt;
      }
    } else {
      // Edited, or cut back and written again: read whole; what the table holds stays.
      synced.resynced = true;
      hash.Reset();
      occurrences = Occurrences();
      lineNumber = 0;
      lines = 0;
      offset = 0;
      if (!file.seek(0)) {
        throw IoError(
            QStringLiteral("Не удается прочитать файл %1: %2").arg(name, file.errorString()));
      }
    }
  } else if (state && !progress.appended) {
    synced.resynced = true;
  }

  // Only whole lines are taken: a line still being written is left for the next sync. A file
  // never synced before holds no call of the table, as a rule: its rows may go straight in.
  const bool fresh = !state && mayWriteStraight;
  const qsizetype notesBefore = notes.size();
  std::unique_ptr<RowWriter> rows =
      MakeRowWriter(c, options.station.name, month, tariffs, names, false, fresh);
  // A call going back in time: the calls before it are read once more, for every key's count.
  qint64 at = 0;
  const auto countEveryKey = [&] {
    occurrences.CountEveryKey([&](const auto& count) {
      QFile again(file.fileName());
      QString problem;
      if (!OpenRegularFile(again, &problem)) {
        throw IoError(QStringLiteral("Не удается прочитать файл %1: %2").arg(name, problem));
      }
      Sha256 unused;
      int number = 0;
      ReadLines(again, at, unused, number, name, [&](QByteArrayView line) {
        const ExportRow row = ParseMonthLine(line, name, number);
        count(row, CallRecordKey(row));
      });
    });
  };
  try {
    offset += ReadLines(
        file, std::numeric_limits<qint64>::max(), hash, lineNumber, name,
        [&](QByteArrayView line) {
          ++lines;
          const ExportRow row = ParseMonthLine(line, name, lineNumber);
          const QByteArray record = CallRecordKey(row);
          int occurrence = occurrences.Next(row, record);
          if (occurrence == 0) {
            countEveryKey();
            occurrence = occurrences.Next(row, record);
          }
          // Calls before a prune stay pruned.
          if (!prunedBefore.isEmpty() &&
              QByteArrayView(RowStart(row)) < QByteArrayView(prunedBefore)) {
            return;
          }
          rows->Add(row, record, occurrence);
          if (options.afterBatch && rows->Given() % kHookEvery == 0) {
            options.afterBatch(name, rows->Given());
          }
        },
        &at);
    if (offset < size) notes << UnfinishedLineNote(month, lineNumber + 1);
    if (rows->Given() == 0 && !synced.resynced) {
      rows.reset();
      c.Rollback();
      return std::nullopt;
    }
    rows->Finish();
    if (options.afterBatch) options.afterBatch(name, rows->Given());
    QSqlQuery forget =
        c.Prepare(QStringLiteral("DELETE FROM synced_files WHERE station = ? AND month_file = ?"));
    forget.addBindValue(options.station.name);
    forget.addBindValue(month);
    c.Run(forget);
    progress.next.bytes = offset;
    progress.next.hash = hash.State();
    progress.next.tailHash = TailHash(file, offset, name);
    occurrences.To(progress.next);
    QSqlQuery remember = c.Prepare(QStringLiteral(
        "INSERT INTO synced_files (station, month_file, bytes, calls, sha256, synced_at) "
        "VALUES (?, ?, ?, ?, ?, ?)"));
    remember.addBindValue(options.station.name);
    remember.addBindValue(month);
    remember.addBindValue(offset);
    remember.addBindValue(lines);
    remember.addBindValue(QString::fromLatin1(hash.Hex()));
    remember.addBindValue(NowText());
    c.Run(remember);
    c.Commit();
  } catch (const DatabaseError& error) {
    rows.reset();  // ends a COPY, so that the connection takes the rollback
    c.Rollback();
    // The table held a call of the fresh file after all (synced under a state since lost):
    // the month again, the careful way, which leaves out what the table holds.
    if (fresh && error.Reachable()) {
      notes.resize(notesBefore);
      return SyncMonth(c, options, month, tariffs, names, prunedBefore, notes, changed, keepStates,
                       progress, false);
    }
    throw;
  } catch (...) {
    rows.reset();
    c.Rollback();
    throw;
  }
  synced.added = rows->Added();
  return synced;
}

// Deletes the station's calls before the day and records it; the sync then never adds them back.
qint64 Prune(DatabaseConnection& c, const SyncOptions& options) {
  const QString before = options.pruneBefore.toString(QStringLiteral("yyyy-MM-dd 00:00:00"));
  c.BeginExclusive(QStringLiteral("calls:") + options.station.name);
  QSqlQuery remove = c.Prepare(QStringLiteral("DELETE FROM calls WHERE station = ? AND start < ?"));
  remove.addBindValue(options.station.name);
  remove.addBindValue(before);
  c.Run(remove);
  const qint64 removed = std::max(0, remove.numRowsAffected());
  QSqlQuery record = c.Prepare(QStringLiteral(
      "INSERT INTO prunes (station, before_start, removed, pruned_at) VALUES (?, ?, ?, ?)"));
  record.addBindValue(options.station.name);
  record.addBindValue(before);
  record.addBindValue(removed);
  record.addBindValue(NowText());
  c.Run(record);
  c.Commit();
  return removed;
}

// Gives the station's stored calls of the month file (all months: 0) the zone, charged minutes
// and cost of the tariff file as it is now, in one transaction; the calls themselves stay as
// they are. Gives the number of calls re-rated.
qint64 Rerate(DatabaseConnection& c, const SyncOptions& options,
              const std::optional<Tariffs>& tariffs, const SubscriberDirectory* names) {
  struct Stored {
    ExportRow row;
    QByteArray record;
    int occurrence = 0;
  };
  c.BeginExclusive(QStringLiteral("calls:") + options.station.name);
  qint64 rerated = 0;
  try {
    for (int month = 1; month <= 12; ++month) {
      if (options.rerateMonth != 0 && month != options.rerateMonth) continue;
      // The start in the station's clock time, as the month file gave it.
      QSqlQuery read = c.Prepare(
          QStringLiteral("SELECT %1, record, occurrence, subscriber, duration_min, city_line, "
                         "call_type, number FROM calls WHERE station = ? AND month_file = ?")
              .arg(c.Dialect().ClockText(QStringLiteral("start"), false)));
      read.addBindValue(options.station.name);
      read.addBindValue(month);
      c.Run(read);
      std::vector<Stored> stored;
      while (read.next()) {
        Stored call;
        const QString start = read.value(0).toString();
        call.row.year = start.mid(0, 4).toInt();
        call.row.month = start.mid(5, 2).toInt();
        call.row.day = start.mid(8, 2).toInt();
        call.row.hour = start.mid(11, 2).toInt();
        call.row.minute = start.mid(14, 2).toInt();
        call.record = read.value(1).toByteArray();
        call.occurrence = read.value(2).toInt();
        call.row.subscriber = read.value(3).toInt();
        call.row.duration = read.isNull(4) ? -1 : read.value(4).toInt();
        call.row.cityLine = read.value(5).toInt();
        call.row.callType = read.value(6).toInt();
        call.row.number = read.value(7).toByteArray();
        stored.push_back(std::move(call));
      }
      read.finish();
      if (stored.empty()) continue;
      std::unique_ptr<RowWriter> rows =
          MakeRowWriter(c, options.station.name, month, tariffs, names, /*rerate=*/true);
      for (const Stored& call : stored) rows->Add(call.row, call.record, call.occurrence);
      rows->Finish();
      rerated += rows->Given();
    }
    c.Commit();
  } catch (...) {
    c.Rollback();
    throw;
  }
  return rerated;
}

// Keeps the month's line load as `norvel report` gives it (its latest year), so that a view of
// the archive shows the same busy hour and verdict without reading a million rows; and the
// month file's state beside it (`next`: its hash and occurrences part; none: none is kept).
void StoreMonthReport(DatabaseConnection& c, const SyncOptions& options, int month,
                      const MonthFigures& figures, const MonthState* next, bool keepStates,
                      SyncResult& result) {
  const ReportData& data = figures.data;
  const int lines = figures.lines;
  const bool known = figures.known;
  if (data.year == 0) return;
  c.BeginExclusive(QStringLiteral("calls:") + options.station.name);
  const auto insert = [&](const QString& sql, const QVariantList& values) {
    QSqlQuery query = c.Prepare(sql);
    for (const QVariant& value : values) query.addBindValue(value);
    c.Run(query);
  };
  const QVariantList which = {options.station.name, data.year, month};
  for (const char* table : {"month_reports", "month_subscribers", "month_zones"}) {
    insert(QStringLiteral("DELETE FROM %1 WHERE station = ? AND year = ? AND month = ?")
               .arg(QLatin1String(table)),
           which);
  }
  insert(
      QStringLiteral("INSERT INTO month_reports (station, year, month, city_lines, lines_assumed, "
                     "busy_hour, busy_traffic, working_days, busy_days, all_busy_minutes, "
                     "cannot_estimate, blocking, lines_needed, calls, minutes, cost_hundredths, "
                     "computed_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
      which + QVariantList{lines, known ? 0 : 1, data.busyHour, data.busyHourTraffic,
                           data.workingDays, data.busyDays, data.allBusyMinutes,
                           data.linesCannotBeEstimated ? 1 : 0, data.blockingAtBusyHour,
                           data.linesForOnePercent, data.calls, data.minutes, data.cost,
                           NowText()});
  RowBatch subscribers(c,
                       QStringLiteral("INSERT INTO month_subscribers (station, year, month, "
                                      "subscriber, subscriber_name, department, calls, minutes, "
                                      "cost_hundredths)"),
                       9);
  RowBatch zones(c,
                 QStringLiteral("INSERT INTO month_zones (station, year, month, subscriber, zone, "
                                "calls, charged_min, cost_hundredths)"),
                 8);
  for (const auto& [subscriber, report] : data.subscribers) {
    const SubscriberEntry* entry = data.directory ? data.directory->Of(subscriber) : nullptr;
    const QVariant none(QMetaType::fromType<QString>());
    subscribers.Add(which + QVariantList{subscriber, entry ? QVariant(entry->name) : none,
                                         entry && !entry->department.isEmpty()
                                             ? QVariant(entry->department)
                                             : none,
                                         report.calls, report.minutes, report.cost});
    for (const auto& [zone, totals] : report.zones) {
      zones.Add(which + QVariantList{subscriber,
                                     data.tariffs->zones[static_cast<size_t>(zone)].name,
                                     totals.calls, totals.minutes, totals.cost});
    }
  }
  subscribers.Flush();
  zones.Flush();
  if (keepStates) {
    insert(QStringLiteral("DELETE FROM month_states WHERE station = ? AND month_file = ?"),
           {options.station.name, month});
  }
  if (next) {
    MonthState state = figures.state;
    state.bytes = next->bytes;
    state.hash = next->hash;
    state.tailHash = next->tailHash;
    state.lastMinute = next->lastMinute;
    state.atLastMinute = next->atLastMinute;
    insert(QStringLiteral("INSERT INTO month_states (station, month_file, state) VALUES (?, ?, ?)"),
           {options.station.name, month, state.Save()});
  }
  c.Commit();
  // The month's suspicious calls, all of them, after its figures: a central database sees every
  // station's alerts. Without readable rules the rows kept before stay. Findings the database
  // refuses cost only themselves: the calls and figures are stored, and the refusal is told.
  if (!figures.check) return;
  const AlertCheck& check = *figures.check;
  c.BeginExclusive(QStringLiteral("calls:") + options.station.name);
  try {
    // The findings of the days checked again replace those kept of the same days.
    if (figures.since.isValid()) {
      insert(QStringLiteral("DELETE FROM alerts WHERE station = ? AND year = ? AND month = ? AND "
                            "first_call >= ?"),
             which + QVariantList{figures.since.toString(Qt::ISODate)});
    } else {
      insert(QStringLiteral("DELETE FROM alerts WHERE station = ? AND year = ? AND month = ?"),
             which);
    }
    const QVariant none(QMetaType::fromType<int>());
    // Two identical calls (kept as two rows, as the station sent them) raise two identical
    // findings: the second is told apart by its occurrence, as its call is, or the month's
    // key would clash and every later sync of the month fail.
    QHash<QString, int> occurrences;
    qint64 stored = 0;
    RowBatch alerts(c,
                    QStringLiteral("INSERT INTO alerts (station, finding, year, month, first_call, "
                                   "rule, level, subscriber, city_line, calls, why, calls_text)"),
                    12);
    for (const AlertFinding& finding : check.findings) {
      const int occurrence = ++occurrences[finding.key];
      const QString key =
          occurrence == 1 ? finding.key : QStringLiteral("%1|%2").arg(finding.key).arg(occurrence);
      QStringList calls;
      for (const ExportRow& row : finding.calls) calls << AlertCallLine(row);
      alerts.Add(QVariantList{options.station.name, key, data.year, month, finding.key.left(16),
                              finding.rule,
                              finding.level == AlertRule::Level::kAlarm ? QStringLiteral("alarm")
                                                                        : QStringLiteral("warning"),
                              finding.subscriber ? QVariant(finding.subscriber) : none,
                              finding.cityLine ? QVariant(finding.cityLine) : none,
                              finding.callCount, finding.why, calls.join(u'\n')});
      ++stored;
    }
    alerts.Flush();
    c.Commit();
    result.alerts += stored;
  } catch (const DatabaseError& error) {
    if (!error.Reachable()) throw;
    c.Rollback();
    result.alertsNotStored << QStringLiteral("%1: %2").arg(DataFileName(month), error.Message());
    // The month's state is forgotten, so that the next sync reads the file again (adding
    // nothing) and writes its findings once more, though nothing new came.
    c.BeginExclusive(QStringLiteral("calls:") + options.station.name);
    insert(QStringLiteral("DELETE FROM synced_files WHERE station = ? AND month_file = ?"),
           {options.station.name, month});
    c.Commit();
  } catch (...) {
    c.Rollback();
    throw;
  }
}

// The latest prune of the station, "YYYY-MM-DD HH:MM:SS"; empty for none.
QByteArray PrunedBefore(DatabaseConnection& c, const QString& station) {
  // In the station's clock time, as the month files give a call's start.
  QSqlQuery latest =
      c.Prepare(QStringLiteral("SELECT %1 FROM prunes WHERE station = ?")
                    .arg(c.Dialect().ClockText(QStringLiteral("MAX(before_start)"), true)));
  latest.addBindValue(station);
  c.Run(latest);
  if (!latest.next() || latest.isNull(0)) return {};
  return latest.value(0).toString().left(19).toLatin1();
}

}  // namespace

void SyncCalls(const SyncOptions& given, SyncResult& result) {
  result = SyncResult();
  const QString started = NowText();
  SyncOptions options = given;
  // A tariff file with a mistake stops the sync before anything is stored.
  const std::optional<Tariffs> tariffs = LoadTariffs(options.dir);
  result.costs = tariffs.has_value();
  // So does a subscriber directory with a mistake; without one the names stay empty.
  const std::optional<SubscriberDirectory> directory = LoadSubscriberDirectory(options.dir);
  const SubscriberDirectory* names = directory ? &*directory : nullptr;
  // The alert rules' mistake costs only the findings, never the calls.
  std::optional<AlertRules> rules;
  try {
    rules = LoadAlertRules(options.dir);
  } catch (const NorvelError& error) {
    result.alertsProblem = error.Message();
  }
  const AlertRules* alertRules = rules ? &*rules : nullptr;
  if (options.rerate && !tariffs) {
    throw ConvertError(
        QStringLiteral("Пересчитать стоимость нельзя: в рабочем каталоге нет файла тарифов %1")
            .arg(QLatin1String(kTariffFileName)));
  }
  DatabaseConnection c(options.target, false, options.init);
  CheckSchema(c, options.init);
  result.timezone = options.timezone;
  result.stationRegistered = RegisterStation(c, options.station, options.dir, options.newStation,
                                             options.nameChosen, result.timezone);
  result.station = options.station.name;
  // Starts are written and compared as the station's clock gives them, in its zone.
  c.Dialect().UseZone(c, result.timezone, false);
  if (options.pruneBefore.isValid()) result.pruned = Prune(c, options);
  const QByteArray prunedBefore = PrunedBefore(c, options.station.name);
  // The month files' kept states need their table, which tables made by an older program lack:
  // it is made here, and without it every changed month is read whole.
  const bool keepStates = MonthStatesTable(c);
  // A month file that cannot be read, or holds a line that is no call, costs only its own
  // month: the others are synced, and the failure is told at the end.
  QStringList failed;
  for (int month = 1; month <= 12; ++month) {
    std::optional<SyncedFile> synced;
    // The month's figures and findings are worked out on a thread of their own while the rows
    // go in, once the month is known to have changed: a second processor does them for free.
    std::future<MonthFigures> figures;
    const auto startFigures = [&] {
      if (figures.valid()) return;
      figures = std::async(std::launch::async, ComputeMonthFigures, options.dir, month, alertRules);
    };
    MonthProgress progress;
    try {
      synced = SyncMonth(c, options, month, tariffs, names, prunedBefore, result.notes,
                         startFigures, keepStates, progress);
    } catch (const DatabaseError&) {
      if (figures.valid()) figures.wait();
      throw;
    } catch (const NorvelError& error) {
      if (figures.valid()) figures.wait();
      failed << error.Message();
      continue;
    }
    if (!synced) {
      if (QFile::exists(QDir(options.dir).filePath(DataFileName(month)))) ++result.unchanged;
      continue;
    }
    result.added += synced->added;
    result.removed += synced->removed;
    result.files.push_back(*synced);
    try {
      // A file that only grew goes on from its kept state, reading what is new (and the latest
      // day's calls for the rules); the month is read whole when the state cannot be gone on
      // from.
      std::optional<MonthFigures> resumed;
      if (progress.appended) {
        resumed =
            ResumeMonthFigures(options.dir, month, alertRules, *progress.kept, progress.next.bytes);
        result.files.back().resumed = resumed.has_value();
      }
      if (!resumed) {
        startFigures();
        resumed = figures.get();
      }
      StoreMonthReport(c, options, month, *resumed, keepStates ? &progress.next : nullptr,
                       keepStates, result);
    } catch (const DatabaseError&) {
      throw;
    } catch (const NorvelError& error) {
      failed << error.Message();
    }
  }
  // After the month files, so that the calls they added are re-rated too (at no cost: they were
  // just rated by the same file).
  if (options.rerate) {
    result.rerated = Rerate(c, options, tariffs, names);
    // The months' figures follow the new costs, for the months whose files are here.
    for (int month = 1; month <= 12; ++month) {
      if (options.rerateMonth != 0 && month != options.rerateMonth) continue;
      if (!QFile::exists(QDir(options.dir).filePath(DataFileName(month)))) continue;
      try {
        // The costs changed: the month's kept sums go, and the next sync reads it whole.
        StoreMonthReport(c, options, month, ComputeMonthFigures(options.dir, month, alertRules),
                         nullptr, keepStates, result);
      } catch (const DatabaseError&) {
        throw;
      } catch (const NorvelError& error) {
        failed << error.Message();
      }
    }
  }
  // The run itself is recorded, a run with nothing new too: a station that stopped sending is
  // told from a quiet one by one query.
  c.BeginExclusive(QStringLiteral("runs:") + options.station.name);
  QSqlQuery run = c.Prepare(QStringLiteral(
      "INSERT INTO sync_runs (station, started_at, finished_at, result, added, months_changed, "
      "months_failed, reception_at, reception_result) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
  run.addBindValue(options.station.name);
  run.addBindValue(started);
  run.addBindValue(NowText());
  run.addBindValue(failed.isEmpty() ? QStringLiteral("synced") : QStringLiteral("files_failed"));
  run.addBindValue(result.added);
  run.addBindValue(static_cast<int>(result.files.size()));
  run.addBindValue(static_cast<int>(failed.size()));
  const QVariant none(QMetaType::fromType<QString>());
  run.addBindValue(options.receptionAt.isEmpty() ? none : QVariant(options.receptionAt));
  run.addBindValue(options.receptionResult.isEmpty() ? none : QVariant(options.receptionResult));
  c.Run(run);
  c.Commit();
  result.statements = c.Statements();
  if (!failed.isEmpty()) {
    throw ConvertError(QStringLiteral("%1 (файлов месяцев не записано: %2; остальные записаны)")
                           .arg(failed.join(QStringLiteral("; ")))
                           .arg(failed.size()));
  }
}
