// The web view's pages made in-process over an SQLite archive that the sync filled: the
// stations, a month with the same totals as the report, the search and its pages, the escaping
// of what a visitor typed, the sign-in and the request limit. Then the real program through a
// real headless Chromium from Debian.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>

#include "Chromium.h"
#include "FakeClock.h"
#include "ThrowAwayPostgres.h"
#include "core/base/Errors.h"
#include "core/costs/CostReport.h"
#include "core/files/CallRecords.h"
#include "core/files/DataFiles.h"
#include "core/files/TextFiles.h"
#include "core/sync/CallSync.h"
#include "web/RateLimit.h"
#include "web/Sessions.h"
#include "web/SignIns.h"
#include "web/WebPage.h"
#include "web/WebView.h"

namespace {

QByteArray Month(const QList<CallRecord>& calls) {
  QString text = kDataFileHeader + QStringLiteral("\r\n");
  for (const CallRecord& call : calls) text += CallRecordToText(call) + QStringLiteral("\r\n");
  return EncodeCp1251(text);
}

CallRecord Call(int day, int hour, int subscriber, int minutes, const QString& number) {
  CallRecord r;
  r.StartTime = MakeDateTime(QDate(2026, 12, day), QTime(hour, day % 60));
  r.Subscriber = static_cast<quint8>(subscriber);
  r.Duration = minutes;
  r.CityLine = static_cast<quint8>(1 + day % 4);
  r.CallType = 1;
  r.DialledNumber = number;
  return r;
}

// Over an SQLite file and over the test command's throw-away PostgreSQL server.
struct WebViewTest : ::testing::TestWithParam<DatabaseTarget::Kind> {
  QTemporaryDir root;
  FakeClock clock{MakeDateTime(QDate(2026, 12, 20), QTime(12, 0))};
  DatabaseTarget target;
  std::unique_ptr<ThrowAwayDatabase> server;

  void SetUp() override {
    if (GetParam() == DatabaseTarget::Kind::kPostgres) {
      server = std::make_unique<ThrowAwayDatabase>();
      if (!server->Made()) GTEST_SKIP() << "PostgreSQL cases run under ctest, with its server";
      target = server->Target();
    } else {
      target.kind = DatabaseTarget::Kind::kSqlite;
      target.path = root.filePath(QStringLiteral("calls.db"));
    }
    // Three stations: office1 with 120 calls, office2 with a call whose number holds a quote
    // and a tag, store with none this month.
    QList<CallRecord> many;
    for (int i = 0; i < 120; ++i) {
      many << Call(1 + i % 28, 9 + i % 8, 20 + i % 3, 1 + i % 7, QStringLiteral("2345%1").arg(i));
    }
    Station(QStringLiteral("office1"), {{12, Month(many)}},
            "[Город]\nprefixes = 2\nminute = 1.15\n", "20 = Иванов Иван; Бухгалтерия\n");
    Station(QStringLiteral("office2"),
            {{12, Month({Call(3, 10, 25, 4, QStringLiteral("12\"<b>x"))})}}, nullptr, nullptr);
    Station(QStringLiteral("store"), {{11, Month({[] {
                                         CallRecord r = Call(3, 10, 30, 2, QStringLiteral("777"));
                                         r.StartTime =
                                             MakeDateTime(QDate(2026, 11, 3), QTime(10, 0));
                                         return r;
                                       }()})}},
            nullptr, nullptr);
  }
  void Station(const QString& name, const QList<std::pair<int, QByteArray>>& months,
               const char* tariffs, const char* names) {
    ASSERT_TRUE(QDir(root.path()).mkpath(name));
    const QString dir = root.filePath(name);
    for (const auto& [month, bytes] : months) Write(dir, DataFileName(month), bytes);
    if (tariffs) Write(dir, QString::fromLatin1(kTariffFileName), tariffs);
    if (names) Write(dir, QString::fromLatin1(kSubscriberFileName), names);
    SyncOptions options;
    options.dir = dir;
    options.station = {name, QStringLiteral("id-") + name};
    options.target = target;
    options.init = true;
    if (name == QLatin1String("office1")) {
      options.receptionAt = QStringLiteral("2026-12-20T06:00:05");
      options.receptionResult = QStringLiteral("stored");
    }
    SyncResult result;
    SyncCalls(options, result);
  }
  static void Write(const QString& dir, const QString& name, const QByteArray& bytes) {
    QFile file(QDir(dir).filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  WebView::Options Options() {
    WebView::Options options;
    options.target = target;
    return options;
  }
  static WebRequest Get(const QString& url) {
    WebRequest request;
    const QUrl parsed(QStringLiteral("http://localhost") + url);
    request.path = parsed.path();
    request.query = QUrlQuery(parsed);
    request.remote = QHostAddress::LocalHost;
    return request;
  }
  static QString Text(const WebResponse& response) { return QString::fromUtf8(response.body); }
};

}  // namespace

// A database that cannot be reached is said as such, with its status, not as an empty archive.
TEST_P(WebViewTest, AnArchiveThatCannotBeReachedIsServiceUnavailable) {
  if (GetParam() != DatabaseTarget::Kind::kSqlite) GTEST_SKIP() << "one unreachable file will do";
  WebView::Options options = Options();
  options.target.kind = DatabaseTarget::Kind::kSqlite;
  options.target.path = root.filePath(QStringLiteral("no/such/dir/calls.db"));
  WebView view(options, clock);
  EXPECT_EQ(view.Handle(Get(QStringLiteral("/"))).status, 503);
}

// A station's suspicious calls, as its sync kept them: counted on the stations page, listed on
// its month's page with their calls, every text escaped.
TEST_P(WebViewTest, SuspiciousCallsAreCountedAndListed) {
  Station(QStringLiteral("night"),
          {{12, Month({Call(5, 3, 31, 12, QStringLiteral("81044<i>07946000")),
                       Call(6, 23, 32, 90, QStringLiteral("2345678"))})}},
          nullptr, nullptr);
  WebView view(Options(), clock);
  EXPECT_TRUE(Text(view.Handle(Get(QStringLiteral("/"))))
                  .contains(QStringLiteral("<td>тревог 2, предупреждений 0</td>")));
  const QString month =
      Text(view.Handle(Get(QStringLiteral("/month?station=night&month=2026-12"))));
  EXPECT_TRUE(month.contains(QStringLiteral("<h2>Подозрительные вызовы: 2</h2>")));
  EXPECT_TRUE(month.contains(QStringLiteral("<td>Международные вне рабочего времени</td>")));
  EXPECT_EQ(month.count(QStringLiteral("<td>тревога</td>")), 2);
  EXPECT_TRUE(
      month.contains(QStringLiteral("<td>90 мин &gt; 60 мин, выходной (вс), не в свои часы</td>")));
  EXPECT_TRUE(month.contains(QStringLiteral("05.12.2026 3:05 31 12 2 1 81044&lt;i&gt;07946000")))
      << month.toStdString();
  EXPECT_FALSE(month.contains(QStringLiteral("<i>")));
}

// Each station's state, the worst first and coloured: a reception that failed (its cause in
// words), none for more than a day on the station's own clock, or in order; then its month.
TEST_P(WebViewTest, TheStationsPagePutsTheStationsThatNeedALookFirst) {
  const auto received = [&](const QString& name, const QString& at, const QString& result) {
    SyncOptions options;
    options.dir = root.filePath(name);
    ASSERT_TRUE(QDir(root.path()).mkpath(name));
    options.station = {name, QStringLiteral("id-") + name};
    options.target = target;
    options.receptionAt = at;
    options.receptionResult = result;
    options.timezone = QStringLiteral("Asia/Vladivostok");  // UTC+10
    SyncResult result2;
    SyncCalls(options, result2);
  };
  // The fake clock stands at 2026-12-20 12:00 here (UTC).
  received(QStringLiteral("late"), QStringLiteral("2026-12-18T21:59:00"), QStringLiteral("stored"));
  received(QStringLiteral("fresh"), QStringLiteral("2026-12-19T22:01:00"),
           QStringLiteral("nothing"));
  received(QStringLiteral("broken"), QStringLiteral("2026-12-20T06:00:00"),
           QStringLiteral("device_missing"));
  WebView view(Options(), clock);
  const QString html = Text(view.Handle(Get(QStringLiteral("/"))));
  const auto row = [&](const char* name) {
    const qsizetype at = html.indexOf(QStringLiteral(">%1</a>").arg(QLatin1String(name)));
    const qsizetype start = html.lastIndexOf(QStringLiteral("<tr"), at);
    return html.mid(start, html.indexOf(QStringLiteral("</tr>"), at) - start);
  };
  EXPECT_TRUE(row("broken").startsWith(QStringLiteral(
      "<tr class=\"failed\"><td class=\"state\">сбой приема: порт станции не найден</td>")))
      << html.toStdString();
  // 21:59 on the 18th at UTC+10 is 11:59 UTC on the 18th: two days; 22:01 on the 19th is less
  // than one.
  EXPECT_TRUE(row("late").startsWith(
      QStringLiteral("<tr class=\"stale\"><td class=\"state\">нет приема 2 дн.</td>")));
  EXPECT_TRUE(row("fresh").startsWith(
      QStringLiteral("<tr class=\"ok\"><td class=\"state\">в порядке</td>")));
  EXPECT_TRUE(row("fresh").contains(
      QStringLiteral("<td>2026-12-19 22:01:00 Asia/Vladivostok, нет новых данных</td>")));
  EXPECT_TRUE(row("office1").startsWith(QStringLiteral("<tr class=\"ok\">")));
  EXPECT_LT(html.indexOf(QStringLiteral(">broken<")), html.indexOf(QStringLiteral(">late<")));
  EXPECT_LT(html.indexOf(QStringLiteral(">late<")), html.indexOf(QStringLiteral(">fresh<")));
  // office1: its calls and cost this month; store: a last sync, nothing in December and its
  // November's cost (none: no tariff file).
  EXPECT_TRUE(row("office1").contains(QStringLiteral("<td class=\"n\">120</td>")));
  EXPECT_TRUE(row("office2").contains(QStringLiteral("<td class=\"n\">1</td>")));
  EXPECT_FALSE(row("store").contains(QStringLiteral("<td class=\"n\">1")));
  EXPECT_TRUE(row("office1").contains(QStringLiteral(", записано</td>")));
  EXPECT_TRUE(row("store").contains(QStringLiteral("<td>неизвестен</td>")));
}

// Last month's cost beside this month's, from the figures each month file's sync kept.
TEST_P(WebViewTest, TheStationsPageGivesLastMonthsCost) {
  Station(QStringLiteral("priced"),
          {{11, Month({[] {
              CallRecord r = Call(3, 10, 30, 2, QStringLiteral("2345678"));
              r.StartTime = MakeDateTime(QDate(2026, 11, 3), QTime(10, 0));
              return r;
            }()})},
           {12, Month({Call(4, 10, 30, 3, QStringLiteral("2345678"))})}},
          "[Город]\nprefixes = 2\nminute = 1.15\n", nullptr);
  WebView view(Options(), clock);
  const QString html = Text(view.Handle(Get(QStringLiteral("/"))));
  const qsizetype at = html.indexOf(QStringLiteral(">priced</a>"));
  EXPECT_TRUE(
      html.mid(at, html.indexOf(QStringLiteral("</tr>"), at) - at)
          .contains(QStringLiteral("<td class=\"n\">3,45 руб.</td><td class=\"n\">2,30 руб.</td>")))
      << html.toStdString();
}

TEST_P(WebViewTest, AMonthPageHasTheReportsTotalsAndLineVerdict) {
  WebView view(Options(), clock);
  const QString html =
      Text(view.Handle(Get(QStringLiteral("/month?station=office1&month=2026-12"))));
  const ReportData report = BuildReport(root.filePath(QStringLiteral("office1")), {12, 0, 0, 0}, 4);
  EXPECT_TRUE(html.contains(
      QStringLiteral("<td>Разговоров</td><td class=\"n\">%1</td>").arg(report.calls)));
  EXPECT_TRUE(
      html.contains(QStringLiteral("<td>Минут</td><td class=\"n\">%1</td>").arg(report.minutes)));
  EXPECT_TRUE(html.contains(QStringLiteral("<td>Стоимость</td><td class=\"n\">%1 руб.</td>")
                                .arg(RussianMoney(report.cost))))
      << html.toStdString();
  EXPECT_TRUE(html.contains(QStringLiteral("%1 Эрл").arg(report.busyHourTraffic, 0, 'f', 2)));
  // The verdict in the report's words, from the lines the station is taken to have.
  const QString verdict = LineVerdict(report.calls, report.linesCannotBeEstimated,
                                      report.allBusyMinutes, report.linesForOnePercent, 4);
  EXPECT_TRUE(html.contains(QStringLiteral("<p class=\"verdict\">") + Html(verdict)))
      << verdict.toStdString();
  EXPECT_TRUE(html.contains(QStringLiteral("Городских линий (принято: число плат неизвестно)")));
  // The zone's calls, charged minutes and cost.
  EXPECT_TRUE(html.contains(QStringLiteral("<td>Город</td><td class=\"n\">%1</td><td "
                                           "class=\"n\">%2</td><td class=\"n\">%3 руб.</td>")
                                .arg(report.calls)
                                .arg(report.minutes)
                                .arg(RussianMoney(report.cost))));
  // The busy hour and the loss as the report states them.
  EXPECT_TRUE(html.contains(QStringLiteral("<td class=\"n\">%1:00–%2:00</td>")
                                .arg(report.busyHour, 2, 10, QLatin1Char('0'))
                                .arg(report.busyHour + 1, 2, 10, QLatin1Char('0'))))
      << html.toStdString();
  EXPECT_TRUE(
      html.contains(QStringLiteral("%1 %").arg(100 * report.blockingAtBusyHour, 0, 'f', 2)));
  EXPECT_TRUE(html.contains(QStringLiteral("Иванов Иван (Бухгалтерия)")));
  EXPECT_TRUE(html.contains(QStringLiteral("<td>Бухгалтерия</td><td class=\"n\">")));
  // A station without a tariff file has no costs: no chart of them, not one of empty bars.
  EXPECT_FALSE(Text(view.Handle(Get(QStringLiteral("/month?station=office2&month=2026-12"))))
                   .contains(QStringLiteral("<svg")));
  EXPECT_TRUE(html.contains(QStringLiteral("<svg")));
  // All stations: the sum of their calls in December.
  const QString all = Text(view.Handle(Get(QStringLiteral("/month?month=2026-12"))));
  EXPECT_TRUE(all.contains(QStringLiteral("<td>Разговоров</td><td class=\"n\">121</td>")));
  // There each subscriber is its station's: office1's 20 and office2's 25 apart.
  EXPECT_TRUE(all.contains(QStringLiteral("<td>office1 20</td>"))) << all.toStdString();
  EXPECT_TRUE(all.contains(QStringLiteral("<td>office2 25</td>")));
}

// Top callers: the subscribers by cost, the dearest first; a month or station that cannot be
// read is said, never shown as another.
TEST_P(WebViewTest, AMonthListsTheDearestCallersFirstAndRefusesWhatItCannotRead) {
  if (GetParam() != DatabaseTarget::Kind::kSqlite) GTEST_SKIP() << "the same on both";
  Station(QStringLiteral("priced"),
          {{12, Month({Call(4, 10, 20, 1, QStringLiteral("2345678")),
                       Call(5, 10, 21, 9, QStringLiteral("2345678")),
                       Call(6, 10, 22, 4, QStringLiteral("2345678"))})}},
          "[Город]\nprefixes = 2\nminute = 1.00\n", nullptr);
  WebView view(Options(), clock);
  const QString html =
      Text(view.Handle(Get(QStringLiteral("/month?station=priced&month=2026-12"))));
  const qsizetype first = html.indexOf(QStringLiteral("<tr><td>21</td>"));
  EXPECT_GT(first, html.indexOf(QStringLiteral("<h2>По абонентам")));
  EXPECT_LT(first, html.indexOf(QStringLiteral("<tr><td>22</td>")));
  EXPECT_LT(html.indexOf(QStringLiteral("<tr><td>22</td>")),
            html.indexOf(QStringLiteral("<tr><td>20</td>")))
      << html.toStdString();
  const struct {
    const char* query;
    int status;
    const char* said;
  } rows[] = {
      {"month=2026-13", 400, "Месяц: «2026-13» — нужен месяц ГГГГ-ММ"},
      {"month=december", 400, "Месяц: «december» — нужен месяц ГГГГ-ММ"},
      {"station=nowhere&month=2026-12", 400, "станции «nowhere» в архиве нет"},
      {"station=%3Cb%3E", 400, "станции «&lt;b&gt;» в архиве нет"},
      {"month=2026-11", 200, "<h2>Итоги: все станции, ноябрь 2026</h2>"},
      {"", 200, "<h2>Итоги: все станции, декабрь 2026</h2>"},
  };
  for (const auto& row : rows) {
    const WebResponse page =
        view.Handle(Get(QStringLiteral("/month?") + QString::fromUtf8(row.query)));
    EXPECT_EQ(page.status, row.status) << row.query;
    EXPECT_TRUE(Text(page).contains(QString::fromUtf8(row.said)))
        << row.query << Text(page).toStdString();
  }
}

// A download holds every call found, not a page of them; a name a spreadsheet would run as a
// formula is written as text.
TEST_P(WebViewTest, ADownloadHoldsEveryCallFoundAndRunsNothing) {
  if (GetParam() != DatabaseTarget::Kind::kSqlite) GTEST_SKIP() << "the same on both";
  Station(QStringLiteral("formulas"),
          {{12, Month({Call(4, 10, 20, 1, QStringLiteral("2345678")),
                       Call(5, 10, 21, 9, QStringLiteral("2345678")),
                       Call(6, 10, 22, 4, QStringLiteral("2345678"))})}},
          nullptr, "20 = =HYPERLINK(\"x\")\n21 = @SUM(A1)\n22 = -1+2\n");
  WebView view(Options(), clock);
  const QString month =
      Text(view.Handle(Get(QStringLiteral("/month?station=office1&month=2026-12"))));
  EXPECT_TRUE(month.contains(QStringLiteral(
      "<a href=\"/search.csv?station=office1&amp;from=2026-12-01&amp;to=2026-12-31&amp;all=1\">")))
      << month.toStdString();
  const QString all = Text(view.Handle(
      Get(QStringLiteral("/search.csv?station=office1&from=2026-12-01&to=2026-12-31&all=1"))));
  EXPECT_EQ(all.count(QStringLiteral("\r\n")), 1 + 120);
  EXPECT_EQ(Text(view.Handle(Get(QStringLiteral("/search.csv?station=office1")))).count(u'\n'),
            1 + WebView::kPageSize);
  const QString formulas =
      Text(view.Handle(Get(QStringLiteral("/search.csv?station=formulas&all=1"))));
  EXPECT_TRUE(formulas.contains(QStringLiteral(",\"'=HYPERLINK(\"\"x\"\")\",")))
      << formulas.toStdString();
  EXPECT_TRUE(formulas.contains(QStringLiteral(",\"'@SUM(A1)\",")));
  EXPECT_TRUE(formulas.contains(QStringLiteral(",\"'-1+2\",")));
}

// The same figures for a script: JSON of the stations, a month and a page of calls, money as
// text, what cannot be read refused with 400, and a script without a user asked for one.
TEST_P(WebViewTest, TheApiGivesThePagesFiguresAsJson) {
  WebView view(Options(), clock);
  const auto json = [&](const QString& url, int status) {
    const WebResponse response = view.Handle(Get(url));
    EXPECT_EQ(response.status, status) << url.toStdString();
    EXPECT_EQ(response.contentType, "application/json") << url.toStdString();
    return QJsonDocument::fromJson(response.body);
  };
  const QJsonArray stations = json(QStringLiteral("/api/stations"), 200).array();
  ASSERT_EQ(stations.size(), 3);
  // In order last: the others have no reception known.
  const QJsonObject office1 = stations[2].toObject();
  EXPECT_EQ(office1[QStringLiteral("name")].toString(), QStringLiteral("office1"));
  EXPECT_EQ(office1[QStringLiteral("state")].toString(), QStringLiteral("ok"));
  EXPECT_EQ(office1[QStringLiteral("calls")].toInt(), 120);
  EXPECT_EQ(office1[QStringLiteral("reception_result")].toString(), QStringLiteral("stored"));
  const QJsonObject month =
      json(QStringLiteral("/api/month?station=office1&month=2026-12"), 200).object();
  const ReportData report = BuildReport(root.filePath(QStringLiteral("office1")), {12, 0, 0, 0}, 4);
  EXPECT_EQ(month[QStringLiteral("calls")].toInt(), report.calls);
  EXPECT_EQ(month[QStringLiteral("cost")].toString(), MoneyText(report.cost));
  const QJsonArray people = month[QStringLiteral("subscribers")].toArray();
  ASSERT_EQ(people.size(), 3);
  EXPECT_GE(people[0].toObject()[QStringLiteral("cost")].toString().toDouble(),
            people[2].toObject()[QStringLiteral("cost")].toString().toDouble());
  EXPECT_EQ(json(QStringLiteral("/api/month?month=2026-13"), 400)
                .object()[QStringLiteral("error")]
                .toString(),
            QStringLiteral("Месяц: «2026-13» — нужен месяц ГГГГ-ММ"));
  const QJsonObject calls = json(QStringLiteral("/api/calls?station=office2"), 200).object();
  EXPECT_EQ(
      calls[QStringLiteral("calls")].toArray()[0].toObject()[QStringLiteral("number")].toString(),
      QStringLiteral("12\"<b>x"));
  EXPECT_FALSE(calls[QStringLiteral("more")].toBool());
  EXPECT_TRUE(json(QStringLiteral("/api/calls?station=office1&page=1"), 200)
                  .object()[QStringLiteral("more")]
                  .toBool());
  json(QStringLiteral("/api/calls?subscriber=99"), 400);
  json(QStringLiteral("/api/nothing"), 404);

  QFile file(root.filePath(QStringLiteral("passwords")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(Passwords::LineFor(QStringLiteral("boss"), QStringLiteral("s3cret")));
  file.close();
  WebView::Options options = Options();
  options.passwords = Passwords::Load(file.fileName());
  WebView closed(std::move(options), clock);
  WebRequest script = Get(QStringLiteral("/api/stations"));
  const WebResponse asked = closed.Handle(script);
  EXPECT_EQ(asked.status, 401);
  ASSERT_EQ(asked.headers.size(), 1u);
  EXPECT_EQ(asked.headers[0].first, "WWW-Authenticate");
  script.authorization = "Basic " + QByteArray("boss:s3cret").toBase64();
  EXPECT_EQ(closed.Handle(script).status, 200);
}

TEST_P(WebViewTest, TheSearchPagesAndEscapesWhatWasTyped) {
  WebView view(Options(), clock);
  const auto rows = [](const QString& html) { return html.count(QStringLiteral("<tr><td>")); };
  const QString first = Text(view.Handle(Get(QStringLiteral("/search?station=office1"))));
  EXPECT_EQ(rows(first), WebView::kPageSize);
  EXPECT_TRUE(first.contains(QStringLiteral("rel=\"next\"")));
  EXPECT_FALSE(first.contains(QStringLiteral("rel=\"prev\"")));
  const QString last = Text(view.Handle(Get(QStringLiteral("/search?station=office1&page=2"))));
  EXPECT_EQ(rows(last), 120 - 2 * WebView::kPageSize);
  EXPECT_FALSE(last.contains(QStringLiteral("rel=\"next\"")));
  // Exactly a page: all fifty on it and no next page; the "to" day counts whole, and a call of
  // exactly the least minutes is found.
  const QString exact = Text(
      view.Handle(Get(QStringLiteral("/search?station=office1&from=2026-12-03&to=2026-12-13"))));
  EXPECT_EQ(rows(exact), WebView::kPageSize);
  EXPECT_FALSE(exact.contains(QStringLiteral("rel=\"next\"")));
  EXPECT_EQ(rows(Text(view.Handle(
                Get(QStringLiteral("/search?station=office1&from=2026-12-13&to=2026-12-13"))))),
            4);
  EXPECT_EQ(rows(Text(view.Handle(Get(QStringLiteral("/search?station=office1&min=7"))))), 17);
  // Filters: subscriber, a day range and a least duration together.
  const QString some = Text(view.Handle(
      Get(QStringLiteral("/search?subscriber=21&from=2026-12-01&to=2026-12-07&min=5"))));
  EXPECT_GT(rows(some), 0);
  EXPECT_FALSE(some.contains(QStringLiteral("<td>20</td>")));
  // A quote and a tag typed into the number's field find the call, and come back as text.
  const QString odd =
      Text(view.Handle(Get(QStringLiteral("/search?prefix=") +
                           QString::fromUtf8(QUrl::toPercentEncoding(QStringLiteral("12\"<b>"))))));
  EXPECT_EQ(rows(odd), 1) << odd.toStdString();
  EXPECT_TRUE(odd.contains(QStringLiteral("<td>12&quot;&lt;b&gt;x</td>")));
  EXPECT_TRUE(odd.contains(QStringLiteral("value=\"12&quot;&lt;b&gt;\"")));
  EXPECT_FALSE(odd.contains(QStringLiteral("<b>x")));
  // A page far beyond the last is empty, not an error.
  const WebResponse far = view.Handle(Get(QStringLiteral("/search?page=50000000")));
  EXPECT_EQ(far.status, 200);
  EXPECT_EQ(rows(Text(far)), 0);
  // SQL's own wildcards typed are taken as they stand.
  EXPECT_EQ(rows(Text(view.Handle(Get(QStringLiteral("/search?prefix=%25"))))), 0);
  // CSV of what the page shows.
  const WebResponse csv = view.Handle(Get(QStringLiteral("/search.csv?station=office2")));
  EXPECT_EQ(csv.contentType, QByteArray("text/csv; charset=utf-8"));
  EXPECT_TRUE(csv.body.contains("\"office2\",2026-12-03 10:03,25,\"\",4,4,\"12\"\"<b>x\""))
      << csv.body.toStdString();
}

// What cannot be read is refused with its field named, on the page and for the CSV; nothing is
// searched for a question that was not asked.
TEST_P(WebViewTest, WhatCannotBeReadIsRefusedWithItsField) {
  WebView::Options options = Options();
  options.requestsPerSecond = 1000;
  WebView view(options, clock);
  const auto rows = [](const QString& html) { return html.count(QStringLiteral("<tr><td>")); };
  const struct {
    const char* query;
    const char* said;
  } refused[] = {
      {"page=-1", "Страница: «-1»"},
      {"from=2026-13-45", "С: «2026-13-45» — нужна дата ГГГГ-ММ-ДД"},
      {"subscriber=44", "Абонент: «44» — нужно число от 20 до 43"},
      {"min=x", "Не короче: «x»"},
      {"station=nowhere", "станции «nowhere» в архиве нет"},
      {"from=2026-12-08&to=2026-12-07", "«По» (2026-12-07) раньше «С» (2026-12-08)"},
  };
  for (const auto& row : refused) {
    const WebResponse page =
        view.Handle(Get(QStringLiteral("/search?") + QString::fromUtf8(row.query)));
    EXPECT_EQ(page.status, 400) << row.query;
    EXPECT_TRUE(Text(page).contains(Html(QString::fromUtf8(row.said)))) << Text(page).toStdString();
    EXPECT_EQ(rows(Text(page)), 0) << row.query;
    const WebResponse csv =
        view.Handle(Get(QStringLiteral("/search.csv?") + QString::fromUtf8(row.query)));
    EXPECT_EQ(csv.status, 400) << row.query;
    EXPECT_TRUE(Text(csv).contains(QString::fromUtf8(row.said))) << row.query;
  }
}

TEST_P(WebViewTest, ASignInIsAskedForAndRequestsAreLimited) {
  QFile file(root.filePath(QStringLiteral("passwords")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(Passwords::LineFor(QStringLiteral("boss"), QStringLiteral("s3cret:x")));
  file.close();
  WebView::Options options = Options();
  options.passwords = Passwords::Load(file.fileName());
  options.requestsPerSecond = 5;
  WebView view(std::move(options), clock);
  WebRequest request = Get(QStringLiteral("/"));
  EXPECT_EQ(view.Handle(request).status, 401);
  request.authorization = "Basic " + QByteArray("boss:wrong").toBase64();
  EXPECT_EQ(view.Handle(request).status, 401);
  request.authorization = "Basic " + QByteArray("boss:s3cret:x").toBase64();
  EXPECT_EQ(view.Handle(request).status, 200);
  EXPECT_FALSE(file.open(QIODevice::ReadOnly) && file.readAll().contains("s3cret"));
  // Five a second from one address, refused sign-ins counted; another address has its own;
  // a second later the first may ask again.
  EXPECT_EQ(view.Handle(request).status, 200);
  EXPECT_EQ(view.Handle(request).status, 200);
  EXPECT_EQ(view.Handle(request).status, 429);
  WebRequest other = request;
  other.remote = QHostAddress(QStringLiteral("192.0.2.7"));
  EXPECT_EQ(view.Handle(other).status, 200);
  clock.Sleep(1000);
  EXPECT_EQ(view.Handle(request).status, 200);
}

// A browser signs in with the form once and is known by its cookie until it signs out or stays
// away a working day; the page it asked for is where the sign-in goes on to, and only ever a
// page of the view.
TEST_P(WebViewTest, ASignInGivesASessionUntilSignOutOrADayAway) {
  if (GetParam() != DatabaseTarget::Kind::kSqlite) GTEST_SKIP() << "the same on both";
  QFile file(root.filePath(QStringLiteral("passwords")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(Passwords::LineFor(QStringLiteral("boss"), QStringLiteral("s3cret+&=x")));
  file.close();
  WebView::Options options = Options();
  options.passwords = Passwords::Load(file.fileName());
  options.requestsPerSecond = 0;
  options.proxies = {QHostAddress(QStringLiteral("192.0.2.1"))};
  WebView view(std::move(options), clock);
  const WebResponse asked = view.Handle(Get(QStringLiteral("/month?station=office1")));
  EXPECT_EQ(asked.status, 401);
  EXPECT_TRUE(asked.headers.empty());  // no basic challenge: the browser shows the form
  EXPECT_TRUE(
      Text(asked).contains(QStringLiteral("name=\"next\" value=\"/month?station=office1\"")));
  const auto signIn = [&](const QByteArray& form) {
    WebRequest request = Get(QStringLiteral("/signin"));
    request.method = "POST";
    request.body = form;
    return view.Handle(request);
  };
  const WebResponse wrong = signIn("user=boss&password=s3cret&next=%2F");
  EXPECT_EQ(wrong.status, 401);
  EXPECT_TRUE(Text(wrong).contains(QStringLiteral("Неверное имя или пароль.")));
  const WebResponse right = signIn("user=boss&password=s3cret%2B%26%3Dx&next=%2Fmonth%3Fa%3D1");
  ASSERT_EQ(right.status, 303);
  ASSERT_EQ(right.headers.size(), 2u);
  EXPECT_EQ(right.headers[0], (std::pair<QByteArray, QByteArray>{"Location", "/month?a=1"}));
  const QByteArray cookie = right.headers[1].second;
  EXPECT_TRUE(cookie.endsWith("; Path=/; HttpOnly; SameSite=Strict; Max-Age=28800"))
      << cookie.constData();
  const QByteArray session = cookie.left(cookie.indexOf(';'));
  WebRequest page = Get(QStringLiteral("/"));
  page.cookie = "other=1; " + session;
  const WebResponse stations = view.Handle(page);
  EXPECT_EQ(stations.status, 200);
  EXPECT_TRUE(Text(stations).contains(QStringLiteral("action=\"/signout\"")));
  // Another site's page is never where a sign-in leads.
  for (const char* elsewhere : {"%2F%2Fevil.example", "https%3A%2F%2Fevil.example", "%2F%5Cevil"}) {
    const WebResponse away =
        signIn("user=boss&password=s3cret%2B%26%3Dx&next=" + QByteArray(elsewhere));
    EXPECT_EQ(away.headers[0].second, "/") << elsewhere;
  }
  // Through TLS, told by a proxy of the settings, the cookie is for TLS only.
  WebRequest proxied = Get(QStringLiteral("/signin"));
  proxied.method = "POST";
  proxied.body = "user=boss&password=s3cret%2B%26%3Dx";
  proxied.remote = QHostAddress(QStringLiteral("192.0.2.1"));
  proxied.forwardedProto = "https";
  EXPECT_TRUE(view.Handle(proxied).headers[1].second.endsWith("; Secure"));
  proxied.remote = QHostAddress(QStringLiteral("192.0.2.2"));
  EXPECT_FALSE(view.Handle(proxied).headers[1].second.endsWith("; Secure"));
  // A day away ends the session; so does signing out.
  clock.Sleep(Sessions::kIdle - 1000);
  EXPECT_EQ(view.Handle(page).status, 200);
  clock.Sleep(Sessions::kIdle);
  EXPECT_EQ(view.Handle(page).status, 401);
  page.cookie = signIn("user=boss&password=s3cret%2B%26%3Dx").headers[1].second;
  EXPECT_EQ(view.Handle(page).status, 200);
  WebRequest out = page;
  out.path = QStringLiteral("/signout");
  out.method = "POST";
  const WebResponse left = view.Handle(out);
  EXPECT_EQ(left.status, 303);
  EXPECT_TRUE(left.headers[1].second.contains("Max-Age=0"));
  EXPECT_EQ(view.Handle(page).status, 401);
  // The view takes no other form.
  out.path = QStringLiteral("/month");
  EXPECT_EQ(view.Handle(out).status, 405);
}

// Behind a proxy of the settings each client has its own allowance; anyone else's
// X-Forwarded-For is what a client says, and counts for nothing.
TEST_P(WebViewTest, OnlyAProxyOfTheSettingsNamesTheClient) {
  if (GetParam() != DatabaseTarget::Kind::kSqlite) GTEST_SKIP() << "the same on both";
  WebView::Options options = Options();
  options.requestsPerSecond = 2;
  options.proxies = {QHostAddress(QStringLiteral("::1"))};
  WebView view(std::move(options), clock);
  WebRequest request = Get(QStringLiteral("/"));
  request.remote = QHostAddress(QStringLiteral("::1"));
  for (const char* client : {"198.51.100.1", "203.0.113.9, 198.51.100.2"}) {
    request.forwardedFor = client;
    EXPECT_EQ(view.Handle(request).status, 200) << client;
    EXPECT_EQ(view.Handle(request).status, 200) << client;
    EXPECT_EQ(view.Handle(request).status, 429) << client;
  }
  request.remote = QHostAddress::LocalHost;
  request.forwardedFor = "198.51.100.3";
  EXPECT_EQ(view.Handle(request).status, 200);
  request.forwardedFor = "198.51.100.4";
  EXPECT_EQ(view.Handle(request).status, 200);
  EXPECT_EQ(view.Handle(request).status, 429);
}

// Wrong passwords are told in the log, and after five the view makes the next try wait.
TEST_P(WebViewTest, WrongPasswordsAreLoggedAndHeldBack) {
  if (GetParam() != DatabaseTarget::Kind::kSqlite) GTEST_SKIP() << "no database is asked";
  QFile file(root.filePath(QStringLiteral("passwords")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(Passwords::LineFor(QStringLiteral("boss"), QStringLiteral("s3cret")));
  file.close();
  WebView::Options options = Options();
  options.passwords = Passwords::Load(file.fileName());
  QStringList log;
  options.log = [&](const QString& line) { log << line; };
  WebView view(std::move(options), clock);
  WebRequest request = Get(QStringLiteral("/"));
  request.authorization = "Basic " + QByteArray("boss:guess").toBase64();
  for (int i = 0; i < SignIns::kFreeTries; ++i) EXPECT_EQ(view.Handle(request).status, 401);
  const WebResponse held = view.Handle(request);
  EXPECT_EQ(held.status, 429);
  EXPECT_EQ(held.headers, (std::vector<std::pair<QByteArray, QByteArray>>{{"Retry-After", "1"}}));
  ASSERT_EQ(log.size(), SignIns::kFreeTries + 1);
  EXPECT_EQ(log[0], QStringLiteral("wrong password for 'boss' from 127.0.0.1 (1 in a row)"));
  EXPECT_EQ(log.back(),
            QStringLiteral("sign-in of 'boss' from 127.0.0.1 held back 1 s after wrong passwords"));
}

// A password file named by mistake as a pipe, an endless device or a huge file is refused at
// once with the file's name, never read for ever; a line of a wrong shape (cut, without a name,
// or of no rounds) names its line.
TEST(PasswordFile, OnlyASmallRegularFileIsRead) {
  QTemporaryDir dir;
  const QString fifo = dir.filePath(QStringLiteral("fifo"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString huge = dir.filePath(QStringLiteral("huge"));
  QFile big(huge);
  ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize((1 << 20) + 1));
  big.close();
  const QString cut = dir.filePath(QStringLiteral("cut"));
  QFile shortLine(cut);
  ASSERT_TRUE(shortLine.open(QIODevice::WriteOnly));
  shortLine.write(Passwords::LineFor(QStringLiteral("boss"), QStringLiteral("x")).chopped(3));
  shortLine.close();
  const QString nameless = dir.filePath(QStringLiteral("nameless"));
  QFile noName(nameless);
  ASSERT_TRUE(noName.open(QIODevice::WriteOnly));
  noName.write(Passwords::LineFor(QString(), QStringLiteral("x")));
  noName.close();
  const QString noRounds = dir.filePath(QStringLiteral("no-rounds"));
  QFile zero(noRounds);
  ASSERT_TRUE(zero.open(QIODevice::WriteOnly));
  zero.write(
      Passwords::LineFor(QStringLiteral("boss"), QStringLiteral("x")).replace(":100000:", ":0:"));
  zero.close();
  for (const QString& path : {fifo, QStringLiteral("/dev/zero"), huge, cut, nameless, noRounds}) {
    try {
      Passwords::Load(path);
      ADD_FAILURE() << path.toStdString();
    } catch (const NorvelError& error) {
      EXPECT_TRUE(error.Message().contains(path)) << error.Message().toStdString();
      if (path == huge) {
        EXPECT_TRUE(error.Message().contains(QStringLiteral("слишком велик")));
      }
      if (path == cut) {
        EXPECT_TRUE(error.Message().contains(QStringLiteral("строка 1:")));
      }
    }
  }
  // A megabyte exactly is still a password file.
  QByteArray full = Passwords::LineFor(QStringLiteral("boss"), QStringLiteral("x"));
  full += '#' + QByteArray((1 << 20) - full.size() - 2, ' ') + '\n';
  ASSERT_TRUE(big.open(QIODevice::WriteOnly | QIODevice::Truncate));
  big.write(full);
  big.close();
  ASSERT_EQ(big.size(), 1 << 20);
  EXPECT_TRUE(Passwords::Load(huge).Allows("Basic " + QByteArray("boss:x").toBase64()));
}

// The whole key is compared: a stored key that differs from the password's in its first or
// only in its last byte refuses the password, as a wrong password and an unknown user do.
TEST(PasswordFile, EveryByteOfTheKeyCounts) {
  QTemporaryDir dir;
  const QByteArray line = Passwords::LineFor(QStringLiteral("boss"), QStringLiteral("s3cret"));
  const qsizetype key = line.lastIndexOf(':') + 1;  // 64 hex digits, then the line end
  const auto changed = [&](qsizetype at) {
    QByteArray edited = line;
    edited[at] = edited[at] == '0' ? '1' : '0';
    return edited;
  };
  const auto sign = [](const QByteArray& pair) { return "Basic " + pair.toBase64(); };
  const struct {
    const char* name;
    QByteArray line;
    QByteArray authorization;
    bool allowed;
  } rows[] = {
      {"the right password", line, sign("boss:s3cret"), true},
      {"the key's first byte differs", changed(key), sign("boss:s3cret"), false},
      {"only the key's last byte differs", changed(key + 63), sign("boss:s3cret"), false},
      {"a wrong password", line, sign("boss:s3cret2"), false},
      {"a name of one letter", Passwords::LineFor(QStringLiteral("b"), QStringLiteral("s3cret")),
       sign("b:s3cret"), true},
      {"an unknown user", line, sign("bos:s3cret"), false},
      {"no user", line, sign(":s3cret"), false},
      {"not Basic", line, "Bearer " + QByteArray("boss:s3cret").toBase64(), false},
      // Written by an earlier version, its key from Python's hashlib.pbkdf2_hmac.
      {"a line of an earlier version",
       "boss:100000:000102030405060708090a0b0c0d0e0f:"
       "e94d845bf93a4b2ff996280e4d729e71828d5632e2339ff2e5ccf00094f5c7a1\n",
       sign("boss:s3cret"), true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    QFile file(dir.filePath(QStringLiteral("passwords")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(row.line);
    file.close();
    EXPECT_EQ(Passwords::Load(file.fileName()).Allows(row.authorization), row.allowed);
  }
}

// Five a second from one address: a burst of five, then one more for every fifth of a second
// and not a moment before; each address has its own, and new addresses take none from it.
// The password key is derived once for a right header, not on every page; wrong passwords make
// each further try wait twice as long, per user and per address, without deriving anything.
TEST(SignIns, ARightHeaderIsRememberedAndWrongOnesWaitLongerEachTime) {
  FakeClock clock{MakeDateTime(QDate(2026, 12, 20), QTime(12, 0))};
  int derived = 0;
  const QByteArray right = "Basic " + QByteArray("boss:right").toBase64();
  const QByteArray wrong = "Basic " + QByteArray("boss:guess").toBase64();
  SignIns signIns(clock, [&](const QByteArray& header) {
    ++derived;
    return header == right;
  });
  const QHostAddress office(QStringLiteral("10.0.0.2"));
  const QHostAddress guesser(QStringLiteral("10.0.0.66"));
  using Kind = SignIns::Verdict::Kind;
  const auto seconds = [&](qint64 s) { clock.AdvanceUs(s * 1'000'000); };

  EXPECT_EQ(signIns.Check(right, office).kind, Kind::kAllowed);
  EXPECT_EQ(signIns.Check(right, office).kind, Kind::kAllowed);
  EXPECT_EQ(derived, 1);
  clock.AdvanceUs(SignIns::kRemembered * 1000);  // a quarter of an hour on: asked again
  EXPECT_EQ(signIns.Check(right, office).kind, Kind::kAllowed);
  EXPECT_EQ(derived, 2);

  // A browser that has not asked yet sends no header: refused, and no try.
  for (int i = 0; i < 10; ++i) EXPECT_EQ(signIns.Check({}, guesser).kind, Kind::kRefused);
  EXPECT_EQ(derived, 2);

  // Five wrong tries are refused as they come; then one second, two, four...
  for (int i = 1; i <= SignIns::kFreeTries; ++i) {
    const SignIns::Verdict verdict = signIns.Check(wrong, guesser);
    EXPECT_EQ(verdict.kind, Kind::kRefused);
    EXPECT_EQ(verdict.wrongInARow, i);
  }
  EXPECT_EQ(derived, 7);
  SignIns::Verdict held = signIns.Check(wrong, guesser);
  EXPECT_EQ(held.kind, Kind::kWait);
  EXPECT_EQ(held.waitSeconds, 1);
  EXPECT_EQ(derived, 7);
  seconds(1);
  EXPECT_EQ(signIns.Check(wrong, guesser).kind, Kind::kRefused);
  held = signIns.Check(wrong, guesser);
  EXPECT_EQ(held.waitSeconds, 2);
  // The user is held back from every address; another user from the guesser's address too.
  EXPECT_EQ(signIns.Check(wrong, QHostAddress(QStringLiteral("10.0.0.3"))).kind, Kind::kWait);
  EXPECT_EQ(signIns.Check("Basic " + QByteArray("clerk:x").toBase64(), guesser).kind, Kind::kWait);
  // The office signed in before is let in all the same: its header is remembered.
  EXPECT_EQ(signIns.Check(right, office).kind, Kind::kAllowed);
  EXPECT_EQ(derived, 8);
  // Once the wait is over, and the header forgotten, the right password lets the user in
  // and the count starts again.
  clock.AdvanceUs(SignIns::kRemembered * 1000);
  EXPECT_EQ(signIns.Check(right, QHostAddress(QStringLiteral("10.0.0.3"))).kind, Kind::kAllowed);
  EXPECT_EQ(derived, 9);
  EXPECT_EQ(signIns.Check(wrong, QHostAddress(QStringLiteral("10.0.0.3"))).wrongInARow, 1);
  // The waits double up to a quarter of an hour, never more.
  for (int i = 0; i < 40; ++i) {
    clock.AdvanceUs(SignIns::kLongestWait * 1000);
    signIns.Check(wrong, guesser);
  }
  EXPECT_EQ(signIns.Check(wrong, guesser).waitSeconds, SignIns::kLongestWait / 1000);
}

// The sessions kept are bounded: beyond the bound the ended ones go first, then the one unused
// longest, never one in use.
TEST(Sessions, ABoundedTableDropsTheEndedFirstThenTheUnusedLongest) {
  FakeClock clock;
  Sessions sessions(clock);
  const QByteArray ended = sessions.Open(QStringLiteral("gone"));
  clock.Sleep(Sessions::kIdle);
  const QByteArray old = sessions.Open(QStringLiteral("old"));
  clock.Sleep(1000);
  for (int i = 0; i < Sessions::kMost - 2; ++i) sessions.Open(QStringLiteral("many"));
  EXPECT_EQ(sessions.Size(), Sessions::kMost);
  // Full: the next sign-in takes the ended one's place.
  const QByteArray next = sessions.Open(QStringLiteral("next"));
  EXPECT_EQ(sessions.Size(), Sessions::kMost);
  EXPECT_EQ(sessions.UserOf(ended), std::nullopt);
  EXPECT_EQ(sessions.Size(), Sessions::kMost);  // it had gone already, not only now
  // Full, none ended: the one unused longest goes ("old"), not one in use.
  clock.Sleep(1000);
  EXPECT_EQ(sessions.UserOf(next), QStringLiteral("next"));
  sessions.Open(QStringLiteral("last"));
  EXPECT_EQ(sessions.Size(), Sessions::kMost);
  EXPECT_EQ(sessions.UserOf(old), std::nullopt);
  EXPECT_EQ(sessions.UserOf(next), QStringLiteral("next"));
}

TEST(RequestLimit, RefillsEvenlyPerAddress) {
  FakeClock clock;
  RateLimit limit(clock, 5);
  const QHostAddress one(QStringLiteral("192.0.2.1"));
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(limit.Allow(one)) << i;
  EXPECT_FALSE(limit.Allow(one));
  for (int i = 2; i < 100; ++i) {
    EXPECT_TRUE(limit.Allow(QHostAddress(QStringLiteral("192.0.2.%1").arg(i))));
  }
  clock.Sleep(199);
  EXPECT_FALSE(limit.Allow(one));
  clock.Sleep(1);
  EXPECT_TRUE(limit.Allow(one));
  EXPECT_FALSE(limit.Allow(one));
  // A long pause gives back a burst of five, never more.
  clock.Sleep(60'000);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(limit.Allow(one)) << i;
  EXPECT_FALSE(limit.Allow(one));
  // One a second is a limit too; none is no limit.
  RateLimit single(clock, 1);
  EXPECT_TRUE(single.Allow(one));
  EXPECT_FALSE(single.Allow(one));
  RateLimit none(clock, 0);
  for (int i = 0; i < 100; ++i) EXPECT_TRUE(none.Allow(one)) << i;
}

namespace {

// The web program on a port of its own; stopped with the test.
class Served {
 public:
  Served(const DatabaseTarget& target, const QStringList& more) {
    process_.setReadChannel(QProcess::StandardError);
    process_.start(QStringLiteral(NORVEL_WEB),
                   QStringList{QStringLiteral("--db"), QStringLiteral("sqlite:") + target.path,
                               QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")} +
                       more);
    // It says where it listens once it does.
    static const QRegularExpression where(QStringLiteral("http://127\\.0\\.0\\.1:(\\d+)/"));
    QString said;
    while (process_.waitForReadyRead(20000)) {
      said += QString::fromUtf8(process_.readAllStandardError());
      const QRegularExpressionMatch match = where.match(said);
      if (match.hasMatch()) {
        url_ = match.captured(0);
        break;
      }
    }
  }
  ~Served() {
    process_.kill();
    process_.waitForFinished();
  }
  QString Url() const { return url_; }

 private:
  QProcess process_;
  QString url_;
};

// The page as a real headless Chromium has it after loading it.
QString Dom(const QString& url) {
  const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
  if (chromium.isEmpty()) return {};
  QTemporaryDir profile;
  QProcess browser;
  browser.start(chromium, {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                           QStringLiteral("--disable-gpu"), QStringLiteral("--no-first-run"),
                           QStringLiteral("--user-data-dir=") + profile.path(),
                           QStringLiteral("--dump-dom"), url});
  EXPECT_TRUE(browser.waitForFinished(90000)) << url.toStdString();
  return QString::fromUtf8(browser.readAllStandardOutput());
}

}  // namespace

// The real program seen by a real browser: the stations, a month, a search page by page, the
// escaping, and a password file's refusal.
TEST_P(WebViewTest, ARealBrowserSeesThePagesAndSignsInOnce) {
  if (GetParam() != DatabaseTarget::Kind::kSqlite) GTEST_SKIP() << "the pages' SQL is the same";
  if (QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty()) {
    GTEST_SKIP() << "no chromium here (Debian package chromium)";
  }
  const Served open(target, {});
  ASSERT_FALSE(open.Url().isEmpty());
  const QString stations = Dom(open.Url());
  for (const char* name : {"office1", "office2", "store"}) {
    EXPECT_TRUE(stations.contains(QLatin1String(name))) << stations.toStdString();
  }
  const QString month = Dom(open.Url() + QStringLiteral("month?station=office1&month=2026-12"));
  EXPECT_TRUE(month.contains(QStringLiteral("<td>Разговоров</td><td class=\"n\">120</td>")))
      << month.toStdString();
  const QString second = Dom(open.Url() + QStringLiteral("search?station=office1&page=1"));
  EXPECT_EQ(second.count(QStringLiteral("<tr><td>office1</td>")), WebView::kPageSize);
  const QString odd = Dom(open.Url() + QStringLiteral("search?prefix=12%22%3Cb%3E"));
  EXPECT_TRUE(odd.contains(QStringLiteral("<td>12\"&lt;b&gt;x</td>"))) << odd.toStdString();
  EXPECT_FALSE(odd.contains(QStringLiteral("<b>x")));

  QFile passwords(root.filePath(QStringLiteral("passwords")));
  ASSERT_TRUE(passwords.open(QIODevice::WriteOnly));
  passwords.write(Passwords::LineFor(QStringLiteral("boss"), QStringLiteral("secret")));
  passwords.close();
  const Served closed(target, {QStringLiteral("--passwords"), passwords.fileName()});
  // A browser not signed in gets the form; a wrong password gets it again with the reason; the
  // right one gets the page it asked for, and keeps its session from page to page until it
  // signs out.
  Chromium browser;
  ASSERT_TRUE(browser.Ready());
  browser.Go(closed.Url() + QStringLiteral("month?station=office1&month=2026-12"));
  EXPECT_TRUE(browser.Dom().contains(QStringLiteral("<h1>Вход</h1>")));
  EXPECT_FALSE(browser.Dom().contains(QStringLiteral("<td>Разговоров</td>")));
  browser.SignIn(QStringLiteral("boss"), QStringLiteral("wrong"));
  EXPECT_TRUE(browser.Dom().contains(QStringLiteral("Неверное имя или пароль.")));
  browser.SignIn(QStringLiteral("boss"), QStringLiteral("secret"));
  EXPECT_TRUE(browser.Dom().contains(QStringLiteral("<td>Разговоров</td><td class=\"n\">120</td>")))
      << browser.Dom().toStdString();
  EXPECT_EQ(browser.Eval(QStringLiteral("document.cookie")), QString());  // HttpOnly
  browser.Go(closed.Url());
  EXPECT_TRUE(browser.Dom().contains(QStringLiteral("office2")));
  browser.Submit(QStringLiteral("form.signout"));
  EXPECT_TRUE(browser.Dom().contains(QStringLiteral("<h1>Вход</h1>")));
  browser.Go(closed.Url());
  EXPECT_FALSE(browser.Dom().contains(QStringLiteral("office2")));
}

INSTANTIATE_TEST_SUITE_P(Databases, WebViewTest,
                         ::testing::Values(DatabaseTarget::Kind::kSqlite,
                                           DatabaseTarget::Kind::kPostgres),
                         [](const ::testing::TestParamInfo<DatabaseTarget::Kind>& info) {
                           return info.param == DatabaseTarget::Kind::kSqlite ? "SQLite"
                                                                              : "PostgreSQL";
                         });
