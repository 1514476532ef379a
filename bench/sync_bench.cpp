// Three stations' months of a million calls each (or the number given), synced one after the
// other into a new SQLite file and into a local PostgreSQL server (a throw-away one from
// Debian's package, with its default durability), beside the database's own bulk load of the
// same rows; then one station again with nothing new, beside `sha256sum` of its month file, and
// five times more after a day's hundred new calls; and the memory `norvel sync` holds for such
// a day.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <vector>

#include "BenchSupport.h"
#include "core/sync/CallSync.h"

namespace {

constexpr int kStations = 3;

// `firstDay`: the first of the five days whose calls are added after the first syncs.
void Run(const char* what, const QTemporaryDir (&dirs)[kStations], const QString& url, int calls,
         int firstDay) {
  SyncOptions options[kStations];
  SyncResult result;
  QString error;
  double first[kStations];
  qint64 firstStatements = 0;
  for (int i = 0; i < kStations; ++i) {
    options[i].dir = dirs[i].path();
    options[i].station = NewStationIdentity(QStringLiteral("bench%1").arg(i + 1));
    options[i].init = true;
    if (!ParseDatabaseTarget(url, options[i].target, &error)) std::abort();
    first[i] = Seconds([&] { SyncCalls(options[i], result); });
    if (i == 0) firstStatements = result.statements;
  }
  // The same rows as the first station's by psql's \copy, into an empty table with the same
  // keys and indexes: what the database itself needs for them.
  double copied = 0;
  if (url.startsWith(QLatin1String("postgresql"))) {
    const QString rows = dirs[0].filePath(QStringLiteral("rows.copy"));
    const auto psql = [&](const QString& command) {
      if (QProcess::execute(QStringLiteral("psql"),
                            {QStringLiteral("-qX"), url, QStringLiteral("-c"), command}) != 0) {
        std::abort();
      }
    };
    psql(QStringLiteral("\\copy (SELECT * FROM calls WHERE station = 'bench1') TO '%1'").arg(rows));
    psql(QStringLiteral("CREATE TABLE calls_copy (LIKE calls INCLUDING ALL)"));
    copied = Seconds([&] { psql(QStringLiteral("\\copy calls_copy FROM '%1'").arg(rows)); });
    psql(QStringLiteral("DROP TABLE calls_copy"));
  }
  if (url.startsWith(QLatin1String("sqlite:"))) {
    // The same for SQLite: its own shell's .import of the rows as CSV, in one transaction.
    const QString file = url.mid(7);
    const QString rows = dirs[0].filePath(QStringLiteral("rows.csv"));
    const auto sqlite = [&](const QString& commands) {
      QProcess shell;
      shell.start(QStringLiteral("sqlite3"), {file});
      shell.write(commands.toUtf8());
      shell.closeWriteChannel();
      if (!shell.waitForFinished(-1) || shell.exitCode() != 0) std::abort();
      return QString::fromUtf8(shell.readAllStandardOutput());
    };
    sqlite(QStringLiteral(".mode csv\n.once %1\nSELECT * FROM calls WHERE station = 'bench1';\n")
               .arg(rows));
    QString schema = sqlite(QStringLiteral(".schema calls\n"));
    schema.replace(QLatin1String("calls"), QLatin1String("calls_copy"));
    sqlite(schema);
    copied = Seconds([&] {
      sqlite(QStringLiteral("BEGIN;\n.import --csv %1 calls_copy\nCOMMIT;\n").arg(rows));
    });
    sqlite(QStringLiteral("DROP TABLE calls_copy;\n"));
  }
  const double again = Seconds([&] { SyncCalls(options[0], result); });
  const QString month = QDir(dirs[0].path()).filePath(DataFileName(12));
  const double hashed = Seconds([&] {
    QProcess sum;
    sum.setStandardOutputFile(QProcess::nullDevice());
    sum.start(QStringLiteral("sha256sum"), {month});
    if (!sum.waitForFinished(-1) || sum.exitCode() != 0) std::abort();
  });
  // A day's hundred new calls at the end of the month file, five days one after the other:
  // the median.
  std::vector<double> days;
  qint64 added = 0;
  qint64 dayStatements = 0;
  int resumed = 0;
  for (int day = 0; day < 5; ++day) {
    QFile file(month);
    QFile more(QDir(dirs[0].path()).filePath(QStringLiteral("more.txt")));
    WriteBenchMonth(more.fileName(), 100, true, 1, firstDay + day);
    if (!file.open(QIODevice::Append) || !more.open(QIODevice::ReadOnly)) std::abort();
    QByteArray bytes = more.readAll();
    file.write(bytes.mid(bytes.indexOf('\n') + 1));
    file.close();
    days.push_back(Seconds([&] {
      SyncCalls(options[0], result);
      added = result.added;
    }));
    dayStatements = std::max(dayStatements, result.statements);
    if (!result.files.empty() && result.files[0].resumed) ++resumed;
  }
  std::sort(days.begin(), days.end());
  std::printf(
      "%s: %d stations x %d calls in %.2f s, %.2f s, %.2f s (goal %s each); again with "
      "nothing new %.2f s, sha256sum of the month file %.2f s (%.2f x); %lld new calls "
      "%.3f s (median of 5, goal %s, %d of 5 went on from the kept state); statements: %lld "
      "for the first station's first sync, at most %lld for a day's\n",
      what, kStations, calls, first[0], first[1], first[2],
      url.startsWith(QLatin1String("sqlite")) ? "< 5 s" : "< 15 s", again, hashed, again / hashed,
      static_cast<long long>(added), days[2],
      url.startsWith(QLatin1String("sqlite")) ? "<= 0.2 s" : "<= 0.3 s", resumed,
      static_cast<long long>(firstStatements), static_cast<long long>(dayStatements));
  if (copied > 0) {
    const bool sqlite = url.startsWith(QLatin1String("sqlite:"));
    std::printf("  %s of the first station's rows %.2f s; first sync / it = %.2f (goal <= %s)\n",
                sqlite ? "sqlite3 .import" : "psql \\copy", copied, first[0] / copied,
                sqlite ? "1.0" : "1.2");
  }
}

// The most memory `norvel sync` holds while it syncs a day's hundred new calls into the month
// synced before, in megabytes, as /usr/bin/time gives it; the month file is a copy of `month`.
double DailySyncPeak(const QString& month, const QString& url, int day) {
  QTemporaryDir dir;
  const QString file = dir.filePath(DataFileName(12));
  if (!QFile::copy(month, file)) std::abort();
  const QString norvel = QCoreApplication::applicationDirPath() + QStringLiteral("/norvel");
  const QStringList sync = {QStringLiteral("sync"), QStringLiteral("--db"), url,
                            QStringLiteral("--dir"), dir.path()};
  QProcess first;
  first.setStandardOutputFile(QProcess::nullDevice());
  first.setStandardErrorFile(QProcess::nullDevice());
  first.start(norvel, sync + QStringList{QStringLiteral("--init"), QStringLiteral("--station"),
                                         QStringLiteral("memory")});
  if (!first.waitForFinished(-1) || first.exitCode() != 0) std::abort();
  QFile more(dir.filePath(QStringLiteral("more.txt")));
  WriteBenchMonth(more.fileName(), 100, true, 1, day);
  QFile target(file);
  if (!more.open(QIODevice::ReadOnly) || !target.open(QIODevice::Append)) std::abort();
  const QByteArray bytes = more.readAll();
  target.write(bytes.mid(bytes.indexOf('\n') + 1));
  target.close();
  QProcess time;
  time.setStandardOutputFile(QProcess::nullDevice());
  time.start(
      QStringLiteral("/usr/bin/time"),
      QStringList{QStringLiteral("-f"), QStringLiteral("peak %M")} + QStringList{norvel} + sync);
  if (!time.waitForFinished(-1) || time.exitCode() != 0) std::abort();
  const QByteArray said = time.readAllStandardError();
  return said.mid(said.lastIndexOf("peak ") + 5).trimmed().toDouble() / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  // The calls of each month: a million, or as the first number argument says (3000000).
  int kCalls = 1'000'000;
  for (int i = 1; i < argc; ++i) {
    if (QByteArray(argv[i]).toInt() > 0) kCalls = QByteArray(argv[i]).toInt();
  }
  // Twenty days of calls, the month's last days still to come: five for each database.
  QTemporaryDir dirs[kStations];
  for (const QTemporaryDir& dir : dirs)
    WriteBenchMonth(dir.filePath(DataFileName(12)), kCalls, true, 20);
  {
    QTemporaryDir db;
    Run("SQLite", dirs, QStringLiteral("sqlite:") + db.filePath(QStringLiteral("calls.db")), kCalls,
        21);
  }
  {
    QTemporaryDir db;
    std::printf(
        "  norvel sync of a day's 100 new calls into the synced month: peak memory %.1f MB "
        "(goal < 50 MB)\n",
        DailySyncPeak(dirs[2].filePath(DataFileName(12)),
                      QStringLiteral("sqlite:") + db.filePath(QStringLiteral("calls.db")), 21));
  }
  if (argc > 1 && qstrcmp(argv[1], "sqlite") == 0) return 0;  // SQLite alone, for profiling
  // Syncs again from scratch into the server: the month files' state is the database's.
  QTemporaryDir server;
  const QString script = QStringLiteral(NORVEL_SOURCE_DIR "/tests/support/postgres.sh");
  const QString urlFile = server.filePath(QStringLiteral("postgres.url"));
  if (QProcess::execute(script, {QStringLiteral("start"), urlFile, QStringLiteral("--durable")}) !=
      0) {
    std::printf("PostgreSQL: no server could be started here\n");
    return 0;
  }
  QFile url(urlFile);
  if (!url.open(QIODevice::ReadOnly)) std::abort();
  Run("PostgreSQL", dirs, QString::fromUtf8(url.readAll()).trimmed(), kCalls, 26);
  QProcess::execute(script, {QStringLiteral("stop"), urlFile});
  return 0;
}
