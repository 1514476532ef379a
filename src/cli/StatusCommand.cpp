// norvel status: the state of a working directory at a glance, for a person or for monitoring:
// the last reception, a journal still pending, a reception running now, the month files.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/CommandLine.h"
#include "cli/ConsoleUi.h"
#include "core/base/ExitCodes.h"
#include "cli/LastReception.h"
#include "cli/NorvelCommand.h"
#include "core/base/Clock.h"
#include "core/files/DataFiles.h"
#include "core/files/RegularFile.h"
#include "core/platform/Processes.h"
#include "core/station/ReceptionJournal.h"
#include "core/station/ReceptionLock.h"

namespace {

constexpr qint64 kReadBlock = 1 << 20;

// A month file's calls (its lines after the heading) and the start of its last call.
QJsonObject MonthSummary(const QString& path, const QString& name) {
  QFile file(path);
  qint64 lines = 0;
  QByteArray last;
  QByteArray tail;
  QString problem;
  if (OpenRegularFile(file, &problem)) {
    for (;;) {
      const QByteArray block = file.read(kReadBlock);
      if (block.isEmpty()) break;
      lines += block.count('\n');
      tail = (tail + block).right(512);
    }
  }
  const QList<QByteArray> ends = tail.trimmed().split('\n');
  if (lines > 1 && !ends.isEmpty()) last = ends.last().split('\t').value(0).trimmed();
  return {{QStringLiteral("file"), name},
          {QStringLiteral("calls"), std::max<qint64>(lines - 1, 0)},
          {QStringLiteral("last_call"), QString::fromLatin1(last)}};
}

}  // namespace

int RunStatus(const QStringList& arguments, CommandIo& io) {
  CommandLine line(io, QStringLiteral("status"),
                   QStringLiteral("Says how the working directory stands: the last reception "
                                  "(when, its result and calls), a reception journal still "
                                  "pending, a reception running now, the month files with "
                                  "their calls and last call, and the last sync into each "
                                  "database, and the last check for suspicious calls. Exit 0 "
                                  "when all is well, 1 when the last reception, a database's "
                                  "last sync or the last check failed or did not record how it "
                                  "ended, no reception is known, or it is older than "
                                  "--max-age."));
  line.AddDirOption();
  line.Add({QStringLiteral("max-age"),
            QStringLiteral("Hours the last reception may be old, 1 to 8760."),
            QStringLiteral("HOURS")});
  line.Add({QStringLiteral("json"), QStringLiteral("Print one JSON object.")});
  if (const std::optional<int> code = line.Parse(arguments)) return *code;
  const std::optional<int> maxAge = line.Number(QStringLiteral("max-age"), 1, 8760, 0);
  if (!maxAge) return exitcode::kUsage;
  const std::optional<QString> workDir = line.WorkingDir();
  if (!workDir) return exitcode::kUsage;
  const QString dir = QDir(*workDir).absolutePath();

  QJsonObject status;
  QStringList text;
  QStringList problems;
  QString damage;
  const std::optional<QJsonObject> last = ReadLastReception(dir, &damage);
  if (!damage.isEmpty()) {
    status.insert(QStringLiteral("damaged_record"), damage);
    text << QStringLiteral("damaged: %1").arg(damage);
    problems << QStringLiteral("the reception record is damaged (%1)").arg(damage);
  }
  if (last) {
    status.insert(QStringLiteral("last_reception"), *last);
    QDateTime when = QDateTime::fromString(last->value(QStringLiteral("time")).toString(),
                                           QLatin1String(kLastReceptionTimeFormat));
    when.setTimeSpec(Qt::UTC);  // a wall-clock value, as the clock gives its own
    text << QStringLiteral("last reception: %1, %2, %3 calls stored, exit %4")
                .arg(last->value(QStringLiteral("time")).toString(),
                     last->value(QStringLiteral("reason")).toString())
                .arg(last->value(QStringLiteral("stored")).toInt())
                .arg(last->value(QStringLiteral("exit_code")).toInt());
    if (last->value(QStringLiteral("exit_code")).toInt() != exitcode::kOk) {
      problems << QStringLiteral("the last reception failed");
    }
    if (*maxAge > 0 && (!when.isValid() || when.secsTo(io.clock.Now()) > qint64(*maxAge) * 3600)) {
      problems << QStringLiteral("the last reception is older than %1 hours").arg(*maxAge);
    }
  } else {
    status.insert(QStringLiteral("last_reception"), QJsonValue(QJsonValue::Null));
    text << QStringLiteral("last reception: none recorded by norvel receive");
    problems << QStringLiteral("no reception is known");
  }

  // A reception that began after the one recorded and never said how it ended: the disk was
  // full when it came to record, or it was killed.
  if (const std::optional<QDateTime> begun = UnfinishedRun::Left(dir, kLastReceptionName)) {
    const QString when = begun->toString(QLatin1String(kLastReceptionTimeFormat));
    status.insert(QStringLiteral("unrecorded_reception"), when);
    text << QStringLiteral("a reception begun %1 did not record how it ended").arg(when);
    problems << QStringLiteral(
                    "a reception begun %1 did not record how it ended (a full disk, "
                    "or it was killed)")
                    .arg(when);
  }

  const JournalReading journal = ReadReceptionJournal(dir);
  const QString journalState =
      journal.state == JournalReading::State::kNone   ? QStringLiteral("none")
      : journal.state == JournalReading::State::kRead ? QStringLiteral("pending")
                                                      : QStringLiteral("damaged");
  status.insert(QStringLiteral("journal"), journalState);
  text << QStringLiteral("reception journal: %1").arg(journalState) +
              (journal.state == JournalReading::State::kDamaged
                   ? QStringLiteral(" (%1)").arg(journal.problem)
                   : QString());
  if (journal.state == JournalReading::State::kDamaged) {
    problems << QStringLiteral("the reception journal is damaged");
  }

  const QString holder = OsFileLockHolder(QDir(dir).filePath(QLatin1String(kReceptionLockName)));
  status.insert(QStringLiteral("reception_running"),
                holder.isEmpty() ? QJsonValue(false) : QJsonValue(holder));
  text << (holder.isEmpty() ? QStringLiteral("no reception running")
                            : QStringLiteral("a reception is running now (%1)").arg(holder));

  // The last sync into each database, as this directory's syncs recorded it: one that failed
  // is a problem until a later one into the same database succeeds.
  const QJsonObject syncs = ReadLastSyncs(dir);
  status.insert(QStringLiteral("last_syncs"), syncs);
  for (auto it = syncs.begin(); it != syncs.end(); ++it) {
    const QJsonObject sync = it.value().toObject();
    text << QStringLiteral("last sync to %1: %2, %3, %4 calls added, exit %5")
                .arg(it.key(), sync.value(QStringLiteral("time")).toString(),
                     sync.value(QStringLiteral("reason")).toString())
                .arg(sync.value(QStringLiteral("added")).toInteger())
                .arg(sync.value(QStringLiteral("exit_code")).toInt());
    if (sync.value(QStringLiteral("exit_code")).toInt() != exitcode::kOk) {
      problems << QStringLiteral("the last sync to %1 failed: %2")
                      .arg(it.key(), sync.value(QStringLiteral("reason")).toString());
    }
  }
  if (const std::optional<QDateTime> begun = UnfinishedRun::Left(dir, kLastSyncName)) {
    const QString when = begun->toString(QLatin1String(kLastReceptionTimeFormat));
    status.insert(QStringLiteral("unrecorded_sync"), when);
    problems << QStringLiteral("a sync begun %1 did not record how it ended").arg(when);
  }

  // The last check for suspicious calls: one whose findings were not delivered (or whose
  // rules could not be read) is a problem until a check succeeds.
  const std::optional<QJsonObject> alerts = ReadLastAlerts(dir);
  status.insert(QStringLiteral("last_alerts"),
                alerts ? QJsonValue(*alerts) : QJsonValue(QJsonValue::Null));
  if (alerts) {
    text << QStringLiteral("last check for suspicious calls: %1, %2 new, %3")
                .arg(alerts->value(QStringLiteral("time")).toString())
                .arg(alerts->value(QStringLiteral("found")).toInt())
                .arg(alerts->value(QStringLiteral("failed")).toBool()
                         ? alerts->value(QStringLiteral("problem")).toString()
                     : alerts->value(QStringLiteral("delivered")).toBool()
                         ? QStringLiteral("delivered")
                         : QStringLiteral("ok"));
    if (alerts->value(QStringLiteral("failed")).toBool()) {
      problems << QStringLiteral("the last check for suspicious calls failed: %1")
                      .arg(alerts->value(QStringLiteral("problem")).toString());
    }
  }

  QJsonArray months;
  for (int month = 1; month <= 12; ++month) {
    const QString name = DataFileName(month);
    const QString path = QDir(dir).filePath(name);
    if (!QFile::exists(path)) continue;
    const QJsonObject summary = MonthSummary(path, name);
    months.append(summary);
    text << QStringLiteral("%1: %2 calls, the last %3")
                .arg(name)
                .arg(summary.value(QStringLiteral("calls")).toInteger())
                .arg(summary.value(QStringLiteral("last_call")).toString());
  }
  status.insert(QStringLiteral("months"), months);

  const int code = problems.isEmpty() ? exitcode::kOk : exitcode::kNoAnswer;
  status.insert(QStringLiteral("exit_code"), code);
  status.insert(QStringLiteral("problems"), QJsonArray::fromStringList(problems));
  if (line.IsSet(QStringLiteral("json"))) {
    io.out.write(QJsonDocument(status).toJson(QJsonDocument::Compact) + '\n');
  } else {
    for (const QString& problem : problems) text << QStringLiteral("problem: %1").arg(problem);
    io.out.write((text.join(u'\n') + u'\n').toUtf8());
  }
  return code;
}
