// norvel-web: the read-only web view of the central archive, started by `norvel serve`.
#include <sys/resource.h>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

#include "core/base/Clock.h"
#include "core/base/Errors.h"
#include "core/base/ExitCodes.h"
#include "web/HttpServer.h"
#include "web/WebView.h"

namespace {

int Fail(const QString& text, int code) {
  std::fprintf(stderr, "norvel serve: %s\n", text.toUtf8().constData());
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCommandLineParser line;
  line.setApplicationDescription(QStringLiteral(
      "A read-only web view of the database that norvel sync fills: the stations, a month of "
      "one station or of all, a call search with CSV."));
  line.addHelpOption();
  line.addOption({QStringLiteral("db"),
                  QStringLiteral("The database: sqlite:PATH or postgresql://..."),
                  QStringLiteral("URL")});
  line.addOption({QStringLiteral("listen"),
                  QStringLiteral("Address and port (default 127.0.0.1:8080)."),
                  QStringLiteral("ADDRESS:PORT"), QStringLiteral("127.0.0.1:8080")});
  line.addOption(
      {QStringLiteral("passwords"),
       QStringLiteral("Ask for a user and password of FILE (needed beyond this machine)."),
       QStringLiteral("FILE")});
  line.addOption({QStringLiteral("add-user"),
                  QStringLiteral("Add NAME to the password file (the password from standard input) "
                                 "and end."),
                  QStringLiteral("NAME")});
  line.addOption({QStringLiteral("proxy"),
                  QStringLiteral("A reverse proxy in front of the view, whose X-Forwarded-For and "
                                 "X-Forwarded-Proto are believed (may be given more than once)."),
                  QStringLiteral("ADDRESS")});
  line.addOption({QStringLiteral("certificate"),
                  QStringLiteral("Serve HTTPS with this PEM certificate (chain); with --key."),
                  QStringLiteral("FILE")});
  line.addOption({QStringLiteral("key"), QStringLiteral("The certificate's PEM key."),
                  QStringLiteral("FILE")});
  line.addOption({QStringLiteral("requests-per-second"),
                  QStringLiteral("From one address at most (default 20)."), QStringLiteral("N"),
                  QStringLiteral("20")});
  line.process(app);

  if (line.isSet(QStringLiteral("add-user"))) {
    if (!line.isSet(QStringLiteral("passwords"))) {
      return Fail(QStringLiteral("--add-user needs --passwords FILE"), exitcode::kUsage);
    }
    const QString user = line.value(QStringLiteral("add-user"));
    if (user.isEmpty() || user.contains(u':'))
      return Fail(QStringLiteral("no ':' in a name"), exitcode::kUsage);
    QTextStream in(stdin);
    const QString password = in.readLine();
    if (password.isEmpty())
      return Fail(QStringLiteral("no password on standard input"), exitcode::kUsage);
    QFile file(line.value(QStringLiteral("passwords")));
    if (!file.open(QIODevice::Append) || file.write(Passwords::LineFor(user, password)) < 0 ||
        !file.flush()) {
      return Fail(file.errorString(), exitcode::kFilesFailed);
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return exitcode::kOk;
  }

  WebView::Options options;
  QString problem;
  if (!ParseDatabaseTarget(line.value(QStringLiteral("db")), options.target, &problem)) {
    return Fail(problem, exitcode::kUsage);
  }
  const QString listen = line.value(QStringLiteral("listen"));
  const qsizetype colon = listen.lastIndexOf(u':');
  bool portOk = false;
  const int port = listen.mid(colon + 1).toInt(&portOk);
  QHostAddress address(listen.left(colon).remove(u'[').remove(u']'));
  if (colon <= 0 || !portOk || port < 0 || port > 65535 || address.isNull()) {
    return Fail(QStringLiteral("--listen takes ADDRESS:PORT, as 127.0.0.1:8080"), exitcode::kUsage);
  }
  options.requestsPerSecond = line.value(QStringLiteral("requests-per-second")).toInt();
  for (const QString& proxy : line.values(QStringLiteral("proxy"))) {
    const QHostAddress from(proxy);
    if (from.isNull()) {
      return Fail(QStringLiteral("--proxy %1 is no address").arg(proxy), exitcode::kUsage);
    }
    options.proxies.push_back(from);
  }
  if (line.isSet(QStringLiteral("certificate")) != line.isSet(QStringLiteral("key"))) {
    return Fail(QStringLiteral("--certificate and --key go together"), exitcode::kUsage);
  }
  // Refused sign-ins go to the journal of the unit (standard error), where an attack shows.
  options.log = [](const QString& text) {
    std::fprintf(stderr, "norvel serve: %s\n", text.toUtf8().constData());
    std::fflush(stderr);
  };
  try {
    if (line.isSet(QStringLiteral("passwords"))) {
      options.passwords = Passwords::Load(line.value(QStringLiteral("passwords")));
    }
  } catch (const NorvelError& error) {
    return Fail(error.Message(), exitcode::kFilesFailed);
  }
  // Without passwords only this machine may look: the figures are not for everyone.
  if (!options.passwords && !address.isLoopback()) {
    return Fail(QStringLiteral("beyond this machine (%1) the view needs --passwords FILE")
                    .arg(address.toString()),
                exitcode::kUsage);
  }
  SystemClock clock;
  WebView view(std::move(options), clock);
  // Connections stay below the open-file limit, with room for the database and the log: at
  // the limit the oldest idle one is closed, instead of accepting failing for everyone.
  HttpLimits limits;
  if (rlimit files{}; getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY) {
    limits.connections =
        static_cast<int>(std::clamp<rlim_t>(files.rlim_cur, 96, limits.connections + 64) - 64);
  }
  HttpServer server([&view](const WebRequest& request) { return view.Handle(request); }, limits,
                    [&view] { view.ThreadEnds(); });
  const bool tls = line.isSet(QStringLiteral("certificate"));
  if (tls && !server.UseTls(line.value(QStringLiteral("certificate")),
                            line.value(QStringLiteral("key")), &problem)) {
    return Fail(problem, exitcode::kFilesFailed);
  }
  const quint16 bound = server.Listen(address, static_cast<quint16>(port));
  if (bound == 0) {
    return Fail(QStringLiteral("cannot listen on %1").arg(listen), exitcode::kNoAnswer);
  }
  std::fprintf(stderr, "norvel serve: %s://%s:%u/\n", tls ? "https" : "http",
               address.protocol() == QAbstractSocket::IPv6Protocol
                   ? ("[" + address.toString() + "]").toUtf8().constData()
                   : address.toString().toUtf8().constData(),
               bound);
  std::fflush(stderr);
  return app.exec();
}
