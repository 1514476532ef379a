#pragma once

#include <QHostAddress>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/sync/DatabaseTarget.h"
#include "web/Archive.h"
#include "web/Passwords.h"
#include "web/RateLimit.h"
#include "web/Sessions.h"
#include "web/SignIns.h"
#include "web/WebPage.h"

class Clock;

// The read-only web view of the central archive: the stations, a month of one station or of
// all, and a call search with CSV of what it shows. Russian pages with the words of the
// windows, made on the server, no script.
class WebView {
 public:
  struct Options {
    DatabaseTarget target;
    std::optional<Passwords> passwords;       // none: no sign-in (bound to this machine only)
    int requestsPerSecond = 20;               // from one address
    std::function<void(const QString&)> log;  // refused sign-ins, for the server's log
    // Reverse proxies in front of the view: from these alone X-Forwarded-For names the client
    // and X-Forwarded-Proto says whether the browser's connection is TLS.
    std::vector<QHostAddress> proxies;
  };
  WebView(Options options, Clock& clock);
  ~WebView();

  // Makes the answer to a request; several threads may ask at once.
  WebResponse Handle(const WebRequest& request);
  // Closes the calling thread's connection to the archive, as a worker thread ends.
  void ThreadEnds();

  static constexpr int kPageSize = 50;
  static constexpr int kMostDownloaded = 1'000'000;  // calls in one download
  static constexpr const char* kCookie = "norvel_session";

 private:
  // The stations with their state (0 failed, 1 stale, 2 in order), the worst first, and the
  // month their figures are of.
  struct StationRow {
    int rank = 2;
    QString css;   // "failed", "stale", "ok"
    QString text;  // the state in words
    Archive::Station station;
  };
  std::vector<StationRow> StationRows(QDate* month);
  // A month page's question read, its figures with it when it could be read.
  struct MonthAsk {
    QString station;  // empty: all
    QDate month;
    QStringList problems;
    std::vector<QString> known;
    Archive::Month figures;
  };
  MonthAsk ReadMonth(const WebRequest& request);
  // A search read, with its page of calls when it could be read.
  struct SearchAsk {
    Archive::Filter filter;
    int page = 0;
    QStringList problems;
    std::vector<Archive::Call> calls;
    bool more = false;
  };
  SearchAsk ReadSearch(const WebRequest& request);
  WebResponse Api(const WebRequest& request);
  QHostAddress ClientOf(const WebRequest& request) const;
  bool BehindTls(const WebRequest& request) const;
  WebResponse SignIn(const WebRequest& request, const QHostAddress& client);
  WebResponse SignOut(const WebRequest& request);
  WebResponse Refused(const SignIns::Verdict& verdict, const QHostAddress& client);
  WebResponse Pages(const WebRequest& request);
  WebResponse StationsPage();
  WebResponse MonthPage(const WebRequest& request);
  WebResponse SearchPage(const WebRequest& request, bool csv);
  Archive& Db();

  Options options_;
  Clock& clock_;
  RateLimit limit_;
  SignIns signIns_;
  Sessions sessions_;
  std::mutex archivesMutex_;
  // One connection to the archive per thread that makes pages: a database connection belongs
  // to the thread that opened it.
  std::map<std::thread::id, std::unique_ptr<Archive>> archives_;
};
