#include "core/sync/CallSync.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QVariant>
#include <memory>
#include <optional>

#include "core/base/Errors.h"
#include "core/costs/Tariffs.h"
#include "core/files/CallExport.h"
#include "core/files/DataFiles.h"
#include "core/files/RegularFile.h"
#include "core/sync/DatabaseConnection.h"
#include "core/sync/RowWriter.h"
#include "core/sync/Schema.h"

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

// Syncs one month file; nothing when it holds nothing new.
std::optional<SyncedFile> SyncMonth(DatabaseConnection& c, const SyncOptions& options, int month,
                                    const std::optional<Tariffs>& tariffs) {
  const QString name = DataFileName(month);
  QFile file(QDir(options.dir).filePath(name));
  if (!file.exists()) return std::nullopt;
  QString problem;
  if (!OpenRegularFile(file, &problem)) {
    throw IoError(QStringLiteral("Не удается прочитать файл %1: %2").arg(name, problem));
  }
  const auto readFailed = [&] {
    throw IoError(QStringLiteral("Не удается прочитать файл %1: %2").arg(name, file.errorString()));
  };

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

  // The part synced before must be as it was: the same bytes, by their hash.
  QCryptographicHash hash(QCryptographicHash::Sha256);
  bool whole = true;
  if (state && file.size() >= state->bytes) {
    QCryptographicHash check(QCryptographicHash::Sha256);
    qint64 left = state->bytes;
    while (left > 0) {
      const QByteArray block = file.read(std::min(left, kReadBlock));
      if (block.isEmpty()) readFailed();
      check.addData(block);
      hash.addData(block);
      left -= block.size();
    }
    whole = check.result().toHex() != state->sha256;
  }
  qint64 offset = whole ? 0 : state->bytes;
  qint64 position = whole ? 0 : state->calls;
  if (whole) {
    hash.reset();
    if (!file.seek(0)) readFailed();
  }
  int lineNumber = whole ? 0 : static_cast<int>(state->calls) + 1;

  // Only whole lines are taken: a line still being written is left for the next sync.
  SyncedFile synced;
  synced.file = name;
  synced.resynced = whole && state.has_value();
  bool begun = false;
  std::unique_ptr<RowWriter> rows;
  const auto begin = [&] {
    if (begun) return;
    begun = true;
    if (whole) {
      QSqlQuery remove =
          c.Prepare(QStringLiteral("DELETE FROM calls WHERE station = ? AND month_file = ?"));
      remove.addBindValue(options.station.name);
      remove.addBindValue(month);
      c.Run(remove);
      synced.removed = std::max(0, remove.numRowsAffected());
    }
    rows = MakeRowWriter(c, options.station.name, month, tariffs);
  };
  if (whole && state) begin();  // the old rows go even when the file has no calls left

  QByteArray pending;
  try {
    for (;;) {
      const QByteArray block = file.read(kReadBlock);
      if (file.error() != QFileDevice::NoError) readFailed();
      if (block.isEmpty()) break;
      pending += block;
      qsizetype start = 0;
      for (;;) {
        const qsizetype end = pending.indexOf('\n', start);
        if (end < 0) break;
        ++lineNumber;
        if (lineNumber > 1) {
          qsizetype stop = end;
          if (stop > start && pending[stop - 1] == '\r') --stop;
          const ExportRow row = ParseMonthLine(
              QByteArrayView(pending.constData() + start, stop - start), name, lineNumber);
          begin();
          rows->Add(++position, row);
          if (options.afterBatch && rows->Added() % kHookEvery == 0) {
            options.afterBatch(name, rows->Added());
          }
        }
        start = end + 1;
      }
      hash.addData(QByteArrayView(pending.constData(), start));
      offset += start;
      pending.remove(0, start);
    }
    if (!begun) {
      c.Rollback();
      return std::nullopt;
    }
    rows->Finish();
    if (options.afterBatch) options.afterBatch(name, rows->Added());
    QSqlQuery forget =
        c.Prepare(QStringLiteral("DELETE FROM synced_files WHERE station = ? AND month_file = ?"));
    forget.addBindValue(options.station.name);
    forget.addBindValue(month);
    c.Run(forget);
    QSqlQuery remember = c.Prepare(QStringLiteral(
        "INSERT INTO synced_files (station, month_file, bytes, calls, sha256, synced_at) "
        "VALUES (?, ?, ?, ?, ?, ?)"));
    remember.addBindValue(options.station.name);
    remember.addBindValue(month);
    remember.addBindValue(offset);
    remember.addBindValue(position);
    remember.addBindValue(QString::fromLatin1(hash.result().toHex()));
    remember.addBindValue(NowText());
    c.Run(remember);
    c.Commit();
  } catch (...) {
    rows.reset();  // ends a COPY, so that the connection takes the rollback
    c.Rollback();
    throw;
  }
  synced.added = rows->Added();
  return synced;
}

}  // namespace

void SyncCalls(const SyncOptions& given, SyncResult& result) {
  result = SyncResult();
  SyncOptions options = given;
  // A tariff file with a mistake stops the sync before anything is stored.
  const std::optional<Tariffs> tariffs = LoadTariffs(options.dir);
  result.costs = tariffs.has_value();
  DatabaseConnection c(options.target);
  CheckSchema(c, options.init);
  result.stationRegistered =
      RegisterStation(c, options.station, options.dir, options.newStation, options.nameChosen);
  result.station = options.station.name;
  // A month file that cannot be read, or holds a line that is no call, costs only its own
  // month: the others are synced, and the failure is told at the end.
  QStringList failed;
  for (int month = 1; month <= 12; ++month) {
    std::optional<SyncedFile> synced;
    try {
      synced = SyncMonth(c, options, month, tariffs);
    } catch (const DatabaseError&) {
      throw;
    } catch (const NorvelError& error) {
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
  }
  if (!failed.isEmpty()) {
    throw ConvertError(QStringLiteral("%1 (файлов месяцев не записано: %2; остальные записаны)")
                           .arg(failed.join(QStringLiteral("; ")))
                           .arg(failed.size()));
  }
}
