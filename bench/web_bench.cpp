// The web view over three stations of a million calls each in a local PostgreSQL server (a
// throw-away one from Debian's package): how long the stations page, a month of one station,
// the month of all and a search page take to make, the best of five, as the view makes them for
// a request (the HTTP server adds its own microseconds).
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>

#include "BenchSupport.h"
#include "core/base/Clock.h"
#include "core/sync/CallSync.h"
#include "web/WebView.h"

namespace {

double BestMs(WebView& view, const QString& url) {
  WebRequest request;
  const QUrl parsed(QStringLiteral("http://localhost") + url);
  request.path = parsed.path();
  request.query = QUrlQuery(parsed);
  request.remote = QHostAddress::LocalHost;
  double best = 1e9;
  for (int run = 0; run < 5; ++run) {
    int status = 0;
    best = std::min(best, 1000 * Seconds([&] { status = view.Handle(request).status; }));
    if (status != 200) std::abort();
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  constexpr int kStations = 3;
  constexpr int kCalls = 1'000'000;
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
  DatabaseTarget target;
  QString error;
  if (!ParseDatabaseTarget(QString::fromUtf8(url.readAll()).trimmed(), target, &error)) {
    std::abort();
  }
  for (int i = 0; i < kStations; ++i) {
    QTemporaryDir dir;
    WriteBenchMonth(dir.filePath(DataFileName(12)), kCalls);
    SyncOptions options;
    options.dir = dir.path();
    options.station = NewStationIdentity(QStringLiteral("office%1").arg(i + 1));
    options.target = target;
    options.init = true;
    SyncResult result;
    SyncCalls(options, result);
  }
  SystemClock clock;
  WebView::Options options;
  options.target = target;
  options.requestsPerSecond = 0;
  WebView view(std::move(options), clock);
  // The month the bench's calls are in.
  const QString month = QStringLiteral("2026-12");
  std::printf("web view, %d stations x %d calls in PostgreSQL:\n", kStations, kCalls);
  std::printf("  stations page %.1f ms (goal < 100 ms)\n", BestMs(view, QStringLiteral("/")));
  std::printf("  month of one station %.1f ms (goal < 300 ms)\n",
              BestMs(view, QStringLiteral("/month?station=office1&month=") + month));
  std::printf("  month of all stations %.1f ms\n",
              BestMs(view, QStringLiteral("/month?month=") + month));
  std::printf("  search, page 100 of one subscriber %.1f ms\n",
              BestMs(view, QStringLiteral("/search?station=office2&subscriber=25&page=100")));
  QProcess::execute(script, {QStringLiteral("stop"), urlFile});
  return 0;
}
