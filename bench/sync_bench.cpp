// Syncing a month of a million calls into a new SQLite file and into a local PostgreSQL server
// (a throw-away one from Debian's package, with its default durability), then syncing again
// with nothing new, and once more after a thousand new calls.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "BenchSupport.h"
#include "core/sync/CallSync.h"

namespace {

void Run(const char* what, const QString& dir, const QString& url, int calls) {
  SyncOptions options;
  options.dir = dir;
  options.station = NewStationIdentity(QStringLiteral("bench"));
  options.init = true;
  QString error;
  if (!ParseDatabaseTarget(url, options.target, &error)) std::abort();
  SyncResult result;
  const double first = Seconds([&] { SyncCalls(options, result); });
  const double again = Seconds([&] { SyncCalls(options, result); });
  {
    // A thousand new calls at the end of the month file.
    QFile month(QDir(dir).filePath(DataFileName(12)));
    QFile more(QDir(dir).filePath(QStringLiteral("more.txt")));
    WriteBenchMonth(more.fileName(), 1000);
    if (!month.open(QIODevice::Append) || !more.open(QIODevice::ReadOnly)) std::abort();
    QByteArray bytes = more.readAll();
    month.write(bytes.mid(bytes.indexOf('\n') + 1));
  }
  qint64 added = 0;
  const double grown = Seconds([&] {
    SyncCalls(options, result);
    added = result.added;
  });
  std::printf(
      "%s: %d calls in %.2f s (goal %s); again with nothing new %.2f s; "
      "%lld new calls %.2f s\n",
      what, calls, first, url.startsWith(QLatin1String("sqlite")) ? "< 5 s" : "< 15 s", again,
      static_cast<long long>(added), grown);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  constexpr int kCalls = 1'000'000;
  {
    QTemporaryDir dir;
    WriteBenchMonth(dir.filePath(DataFileName(12)), kCalls);
    Run("SQLite", dir.path(), QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("calls.db")),
        kCalls);
  }
  if (argc > 1 && qstrcmp(argv[1], "sqlite") == 0) return 0;  // SQLite alone, for profiling
  QTemporaryDir dir;
  WriteBenchMonth(dir.filePath(DataFileName(12)), kCalls);
  const QString script = QStringLiteral(NORVEL_SOURCE_DIR "/tests/support/postgres.sh");
  const QString urlFile = dir.filePath(QStringLiteral("postgres.url"));
  if (QProcess::execute(script, {QStringLiteral("start"), urlFile, QStringLiteral("--durable")}) !=
      0) {
    std::printf("PostgreSQL: no server could be started here\n");
    return 0;
  }
  QFile url(urlFile);
  if (!url.open(QIODevice::ReadOnly)) std::abort();
  Run("PostgreSQL", dir.path(), QString::fromUtf8(url.readAll()).trimmed(), kCalls);
  QProcess::execute(script, {QStringLiteral("stop"), urlFile});
  return 0;
}
