#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "core/sync/DatabaseTarget.h"
#include "web/Archive.h"
#include "web/Passwords.h"
#include "web/RateLimit.h"
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
  };
  WebView(Options options, Clock& clock);
  ~WebView();

  WebResponse Handle(const WebRequest& request);

  static constexpr int kPageSize = 50;

 private:
  WebResponse StationsPage();
  WebResponse MonthPage(const WebRequest& request);
  WebResponse SearchPage(const WebRequest& request, bool csv);
  Archive& Db();

  Options options_;
  Clock& clock_;
  RateLimit limit_;
  SignIns signIns_;
  std::unique_ptr<Archive> archive_;
};
