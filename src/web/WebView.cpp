#include "web/WebView.h"

#include <QDateTime>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>
#include <tuple>

#include "core/base/Clock.h"
#include "core/base/Errors.h"
#include "core/costs/CostReport.h"
#include "core/costs/Erlang.h"
#include "core/files/CallRecords.h"
#include "core/image/ImageLayout.h"

namespace {

QString Rub(Money amount) {
  return RussianMoney(amount) + QStringLiteral(" руб.");
}

// What a reception's result says, in the words of the windows where they have them.
QString ReceptionText(const QString& reason) {
  static const QHash<QString, QString> kWords = {
      {QStringLiteral("stored"), QStringLiteral("данные приняты")},
      {QStringLiteral("nothing"), QStringLiteral("нет новых данных")},
      {QStringLiteral("no_answer"), QStringLiteral("станция не отвечает")},
      {QStringLiteral("already_running"), QStringLiteral("прием уже идет")},
      {QStringLiteral("inconsistent"), QStringLiteral("заголовок данных неверен")},
      {QStringLiteral("files_failed"), QStringLiteral("ошибка файлов")},
      {QStringLiteral("journal_damaged"), QStringLiteral("журнал приема поврежден")},
      {QStringLiteral("lock_failed"), QStringLiteral("файл блокировки не открывается")},
      {QStringLiteral("interrupted"), QStringLiteral("прием прерван")},
      {QStringLiteral("settings_not_written"),
       QStringLiteral("данные приняты, файл настроек не записан")},
      {QStringLiteral("device_missing"), QStringLiteral("порт станции не найден")},
      {QStringLiteral("permission_denied"), QStringLiteral("нет прав на порт станции")},
      {QStringLiteral("unknown_host"), QStringLiteral("сервер портов не найден по имени")},
  };
  return kWords.value(reason, QStringLiteral("неизвестный итог"));
}

// A moment written as "2026-12-20 06:00:05" on a clock of `zone` (an IANA name; empty or unknown:
// this machine's), as a moment of the world.
QDateTime MomentOf(const QString& text, const QString& zone) {
  QDateTime moment = QDateTime::fromString(text.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  if (!moment.isValid()) return {};
  const QTimeZone where(zone.toUtf8());
  if (where.isValid())
    moment.setTimeZone(where);
  else
    moment.setTimeSpec(Qt::LocalTime);
  return moment.toUTC();
}

// How a station stands for a manager: failed (its last reception or sync did not end well),
// stale (no reception for more than a day) or in order; the worst first.
struct StationState {
  int rank = 2;  // 0 failed, 1 stale, 2 in order
  QString css;
  QString text;
};
StationState StateOf(const Archive::Station& station, const QDateTime& now) {
  static const QStringList kGood = {QStringLiteral("stored"), QStringLiteral("nothing")};
  if (!station.receptionResult.isEmpty() && !kGood.contains(station.receptionResult)) {
    return {0, QStringLiteral("failed"),
            QStringLiteral("сбой приема: ") + ReceptionText(station.receptionResult)};
  }
  if (!station.lastResult.isEmpty() && station.lastResult != QLatin1String("synced")) {
    return {0, QStringLiteral("failed"), QStringLiteral("сбой синхронизации: ошибка файлов")};
  }
  if (station.lastSeen.isEmpty()) {
    return {1, QStringLiteral("stale"), QStringLiteral("не синхронизировалась")};
  }
  const bool received = !station.receptionAt.isEmpty();
  const QDateTime last = received ? MomentOf(station.receptionAt, station.timezone)
                                  : MomentOf(station.lastSeen, QString());
  const qint64 hours = last.isValid() ? last.secsTo(now) / 3600 : 0;
  if (hours >= 24) {
    return {1, QStringLiteral("stale"),
            (received ? QStringLiteral("нет приема %1 дн.")
                      : QStringLiteral("нет синхронизации %1 дн."))
                .arg(hours / 24)};
  }
  return {2, QStringLiteral("ok"), QStringLiteral("в порядке")};
}

// The value of cookie `name` in a Cookie header; empty for none.
QByteArray CookieValue(const QByteArray& header, const char* name) {
  const QByteArray prefix = QByteArray(name) + '=';
  for (const QByteArray& part : header.split(';')) {
    const QByteArray pair = part.trimmed();
    if (pair.startsWith(prefix)) return pair.mid(prefix.size());
  }
  return {};
}

// Where a sign-in goes on to: a page of this view, never another site ("//host", "/\host").
QString SafeNext(const QString& next) {
  if (!next.startsWith(u'/') || next.startsWith(QStringLiteral("//")) || next.contains(u'\\') ||
      next.startsWith(QStringLiteral("/sign"))) {
    return QStringLiteral("/");
  }
  return next;
}

QByteArray SignInPage(const QString& next, const QString& problem) {
  QString body;
  if (!problem.isEmpty()) body += QStringLiteral("<p class=\"error\">%1</p>").arg(Html(problem));
  body += QStringLiteral(
              "<form method=\"post\" action=\"/signin\" class=\"signin\">"
              "<input type=\"hidden\" name=\"next\" value=\"%1\">"
              "<p><label>Имя <input name=\"user\" autocomplete=\"username\" required "
              "autofocus></label></p>"
              "<p><label>Пароль <input name=\"password\" type=\"password\" "
              "autocomplete=\"current-password\" required></label></p>"
              "<p><button>Войти</button></p></form>")
              .arg(Html(SafeNext(next)));
  return Page(QStringLiteral("Вход"), body);
}

QByteArray SignOutButton() {
  return QStringLiteral(
             "<form method=\"post\" action=\"/signout\" class=\"signout\"><button>Выйти</button>"
             "</form>")
      .toUtf8();
}

QString Cell(const QString& text, bool number = false) {
  return (number ? QStringLiteral("<td class=\"n\">") : QStringLiteral("<td>")) + Html(text) +
         QStringLiteral("</td>");
}

QString Row(const QStringList& cells, int numbersFrom) {
  QString row = QStringLiteral("<tr>");
  for (qsizetype i = 0; i < cells.size(); ++i) row += Cell(cells[i], i >= numbersFrom);
  return row + QStringLiteral("</tr>");
}

QString Head(const QStringList& names, int numbersFrom) {
  QString row = QStringLiteral("<tr>");
  for (qsizetype i = 0; i < names.size(); ++i) {
    row += (i >= numbersFrom ? QStringLiteral("<th class=\"n\">") : QStringLiteral("<th>")) +
           Html(names[i]) + QStringLiteral("</th>");
  }
  return row + QStringLiteral("</tr>");
}

// "2026-12" as the first day of the month; none for anything else.
QDate MonthOf(const QString& text) {
  return QDate::fromString(text + QStringLiteral("-01"), QStringLiteral("yyyy-MM-dd"));
}

// Bars of a value per row, as an SVG picture with its scale's top written at the right.
QString Bars(const std::vector<Archive::Totals>& rows, bool cost) {
  double most = 0;
  for (const auto& row : rows)
    most = std::max(most, static_cast<double>(cost ? row.cost : row.minutes));
  if (rows.empty() || most <= 0) return {};
  const int height = 18 * static_cast<int>(rows.size()) + 24;
  // Room for the longest label ("office1 20" over all stations) left of the bars.
  qsizetype longest = 0;
  for (const auto& row : rows) longest = std::max(longest, row.what.size());
  const int shift = std::max(0, static_cast<int>(longest) * 7 - 36);
  QString svg = QStringLiteral(
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%3\" height=\"%1\" "
                    "role=\"img\" aria-label=\"%2\"><g transform=\"translate(%4,0)\">")
                    .arg(height)
                    .arg(cost ? QStringLiteral("Стоимость по абонентам")
                              : QStringLiteral("Минуты по абонентам"))
                    .arg(720 + shift)
                    .arg(shift);
  int y = 0;
  for (const auto& row : rows) {
    const double value = static_cast<double>(cost ? row.cost : row.minutes);
    const int width = static_cast<int>(std::lround(500 * value / most));
    svg += QStringLiteral(
               "<text x=\"40\" y=\"%1\" text-anchor=\"end\" font-size=\"12\">%2</text>"
               "<rect x=\"48\" y=\"%3\" width=\"%4\" height=\"12\" fill=\"%5\"/>"
               "<text x=\"%6\" y=\"%1\" font-size=\"11\" fill=\"#666\">%7</text>")
               .arg(y + 12)
               .arg(Html(row.what))
               .arg(y + 2)
               .arg(std::max(width, 1))
               .arg(cost ? QStringLiteral("#e08a1e") : QStringLiteral("#3b6ea5"))
               .arg(54 + width)
               .arg(Html(cost ? Rub(row.cost) : QStringLiteral("%1 мин").arg(row.minutes)));
    y += 18;
  }
  svg +=
      QStringLiteral(
          "<line x1=\"48\" y1=\"%1\" x2=\"548\" y2=\"%1\" stroke=\"#bbb\"/>"
          "<text x=\"48\" y=\"%2\" font-size=\"10\" fill=\"#666\">0</text>"
          "<text x=\"548\" y=\"%2\" font-size=\"10\" fill=\"#666\" text-anchor=\"end\">%3</text>")
          .arg(y + 4)
          .arg(y + 16)
          .arg(Html(cost ? Rub(static_cast<qint64>(most))
                         : QStringLiteral("%1 мин").arg(static_cast<qint64>(most))));
  return svg + QStringLiteral("</g></svg>");
}

}  // namespace

WebView::WebView(Options options, Clock& clock)
    : options_(std::move(options)),
      clock_(clock),
      limit_(clock, options_.requestsPerSecond),
      signIns_(clock,
               [this](const QByteArray& authorization) {
                 return options_.passwords && options_.passwords->Allows(authorization);
               }),
      sessions_(clock) {}

WebView::~WebView() = default;

Archive& WebView::Db() {
  std::lock_guard lock(archivesMutex_);
  std::unique_ptr<Archive>& archive = archives_[std::this_thread::get_id()];
  if (!archive) archive = std::make_unique<Archive>(options_.target);
  return *archive;
}

void WebView::ThreadEnds() {
  std::unique_ptr<Archive> ended;
  std::lock_guard lock(archivesMutex_);
  const auto found = archives_.find(std::this_thread::get_id());
  if (found == archives_.end()) return;
  ended = std::move(found->second);
  archives_.erase(found);
}

QHostAddress WebView::ClientOf(const WebRequest& request) const {
  const auto& proxies = options_.proxies;
  if (request.forwardedFor.isEmpty() ||
      std::find(proxies.begin(), proxies.end(), request.remote) == proxies.end()) {
    return request.remote;
  }
  // The proxy adds the address it was reached from at the end; what comes before it was sent
  // by the client and proves nothing.
  const QHostAddress client(
      QString::fromLatin1(request.forwardedFor.split(',').constLast().trimmed()));
  return client.isNull() ? request.remote : client;
}

bool WebView::BehindTls(const WebRequest& request) const {
  if (request.tls) return true;
  const auto& proxies = options_.proxies;
  return std::find(proxies.begin(), proxies.end(), request.remote) != proxies.end() &&
         request.forwardedProto.trimmed().toLower() == "https";
}

WebResponse WebView::Handle(const WebRequest& request) {
  const QHostAddress client = ClientOf(request);
  if (!limit_.Allow(client)) {
    return {429,
            "text/plain; charset=utf-8",
            QStringLiteral("Слишком много запросов; повторите через секунду.").toUtf8(),
            {{"Retry-After", "1"}}};
  }
  const bool post = request.method == "POST";
  const bool signIn = request.path == QLatin1String("/signin");
  const bool signOut = request.path == QLatin1String("/signout");
  if (post ? !(signIn || signOut) || !options_.passwords : signOut) {
    // The view changes nothing: a form is taken only to sign in or out.
    return {405,
            "text/plain; charset=utf-8",
            QStringLiteral("Только чтение.").toUtf8(),
            {{"Allow", post ? "GET, HEAD" : "POST"}}};
  }
  if (post) return signIn ? SignIn(request, client) : SignOut(request);
  if (signIn) {
    const QString next =
        SafeNext(request.query.queryItemValue(QStringLiteral("next"), QUrl::FullyDecoded));
    if (!options_.passwords) return {303, "text/plain; charset=utf-8", {}, {{"Location", "/"}}};
    return {200, "text/html; charset=utf-8", SignInPage(next, {}), {}};
  }
  bool session = false;
  if (options_.passwords) {
    session = sessions_.UserOf(CookieValue(request.cookie, kCookie)).has_value();
    if (!session && request.authorization.isEmpty() && request.path.startsWith(u"/api/")) {
      // A script is asked for its user and password, not shown a form.
      return {401,
              "application/json",
              R"({"error":"нужны имя и пароль"})",
              {{"WWW-Authenticate", "Basic realm=\"NorvelWin\", charset=\"UTF-8\""}}};
    }
    if (!session && request.authorization.isEmpty()) {
      // A browser that has not signed in gets the form, going on to the page it asked for.
      QString asked = request.path;
      if (!request.query.isEmpty()) asked += u'?' + request.query.toString(QUrl::FullyEncoded);
      return {401, "text/html; charset=utf-8", SignInPage(asked, {}), {}};
    }
    if (!session) {
      // A script's user and password in each request (HTTP basic authentication).
      const SignIns::Verdict verdict = signIns_.Check(request.authorization, client);
      if (verdict.kind != SignIns::Verdict::Kind::kAllowed) return Refused(verdict, client);
    }
  }
  WebResponse response = Pages(request);
  if (session && response.contentType.startsWith("text/html")) {
    response.body.replace("</nav>", SignOutButton() + "</nav>");
  }
  return response;
}

WebResponse WebView::Pages(const WebRequest& request) {
  try {
    if (request.path == QLatin1String("/")) return StationsPage();
    if (request.path == QLatin1String("/month")) return MonthPage(request);
    if (request.path == QLatin1String("/search")) return SearchPage(request, false);
    if (request.path == QLatin1String("/search.csv")) return SearchPage(request, true);
    if (request.path.startsWith(u"/api/")) return Api(request);
    return {404,
            "text/html; charset=utf-8",
            Page(QStringLiteral("Нет такой страницы"),
                 QStringLiteral("<p><a href=\"/\">К станциям</a></p>")),
            {}};
  } catch (const NorvelError& error) {
    // The connection is made again on the next request: the server may be back by then.
    {
      std::lock_guard lock(archivesMutex_);
      archives_.erase(std::this_thread::get_id());
    }
    return {503,
            "text/html; charset=utf-8",
            Page(QStringLiteral("База недоступна"),
                 QStringLiteral("<p>%1</p>").arg(Html(error.Message()))),
            {}};
  }
}

WebResponse WebView::Api(const WebRequest& request) {
  const auto answer = [](int status, const QJsonValue& value) {
    const QJsonDocument document =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return WebResponse{status, "application/json", document.toJson(QJsonDocument::Compact), {}};
  };
  const auto refused = [&](const QStringList& problems) {
    return answer(400, QJsonObject{{QStringLiteral("error"), problems.join(QStringLiteral("; "))}});
  };
  // Money as the exports write it: roubles with two decimals, as text, never a float.
  const auto money = [](Money amount) { return QJsonValue(MoneyText(amount)); };
  const auto totals = [&](const Archive::Totals& row) {
    return QJsonObject{{QStringLiteral("calls"), row.calls},
                       {QStringLiteral("minutes"), row.minutes},
                       {QStringLiteral("cost"), money(row.cost)}};
  };
  if (request.path == QLatin1String("/api/stations")) {
    QDate month;
    QJsonArray list;
    for (const StationRow& row : StationRows(&month)) {
      const Archive::Station& s = row.station;
      list.append(QJsonObject{{QStringLiteral("name"), s.name},
                              {QStringLiteral("state"), row.css},
                              {QStringLiteral("state_text"), row.text},
                              {QStringLiteral("timezone"), s.timezone},
                              {QStringLiteral("reception_at"), s.receptionAt},
                              {QStringLiteral("reception_result"), s.receptionResult},
                              {QStringLiteral("last_sync_at"), s.lastSeen},
                              {QStringLiteral("last_sync_result"), s.lastResult},
                              {QStringLiteral("month"), month.toString(QStringLiteral("yyyy-MM"))},
                              {QStringLiteral("calls"), s.calls},
                              {QStringLiteral("cost"), money(s.cost)},
                              {QStringLiteral("last_month_cost"), money(s.lastMonthCost)},
                              {QStringLiteral("alarms"), s.alarms},
                              {QStringLiteral("warnings"), s.warnings}});
    }
    return answer(200, list);
  }
  if (request.path == QLatin1String("/api/month")) {
    const MonthAsk ask = ReadMonth(request);
    if (!ask.problems.isEmpty()) return refused(ask.problems);
    const auto rows = [&](const std::vector<Archive::Totals>& from, const QString& key) {
      QJsonArray list;
      for (const Archive::Totals& row : from) {
        QJsonObject item = totals(row);
        item.insert(key, row.what);
        if (!row.name.isEmpty()) item.insert(QStringLiteral("name"), row.name);
        list.append(item);
      }
      return list;
    };
    QJsonObject month = totals(ask.figures.all);
    month.insert(QStringLiteral("station"), ask.station);
    month.insert(QStringLiteral("month"), ask.month.toString(QStringLiteral("yyyy-MM")));
    month.insert(QStringLiteral("subscribers"),
                 rows(ask.figures.subscribers, QStringLiteral("subscriber")));
    month.insert(QStringLiteral("departments"),
                 rows(ask.figures.departments, QStringLiteral("department")));
    month.insert(QStringLiteral("zones"), rows(ask.figures.zones, QStringLiteral("zone")));
    QJsonArray alerts;
    for (const Archive::Month::Alert& alert : ask.figures.alerts) {
      alerts.append(QJsonObject{{QStringLiteral("station"), alert.station},
                                {QStringLiteral("first_call"), alert.firstCall},
                                {QStringLiteral("rule"), alert.rule},
                                {QStringLiteral("level"), alert.alarm ? "alarm" : "warning"},
                                {QStringLiteral("why"), alert.why},
                                {QStringLiteral("calls"), alert.calls}});
    }
    month.insert(QStringLiteral("alerts"), alerts);
    return answer(200, month);
  }
  if (request.path == QLatin1String("/api/calls")) {
    const SearchAsk ask = ReadSearch(request);
    if (!ask.problems.isEmpty()) return refused(ask.problems);
    QJsonArray calls;
    for (const Archive::Call& call : ask.calls) {
      calls.append(QJsonObject{
          {QStringLiteral("station"), call.station},
          {QStringLiteral("start"), call.start},
          {QStringLiteral("subscriber"), call.subscriber},
          {QStringLiteral("name"), call.name},
          {QStringLiteral("minutes"), call.minutes >= 0 ? QJsonValue(call.minutes) : QJsonValue()},
          {QStringLiteral("city_line"), call.cityLine},
          {QStringLiteral("number"), call.number},
          {QStringLiteral("zone"), call.zone},
          {QStringLiteral("cost"), call.cost ? money(*call.cost) : QJsonValue()}});
    }
    return answer(200, QJsonObject{{QStringLiteral("page"), ask.page},
                                   {QStringLiteral("more"), ask.more},
                                   {QStringLiteral("calls"), calls}});
  }
  return answer(404, QJsonObject{{QStringLiteral("error"), QStringLiteral("нет такого адреса")}});
}

WebResponse WebView::Refused(const SignIns::Verdict& verdict, const QHostAddress& client) {
  if (verdict.kind == SignIns::Verdict::Kind::kWait) {
    if (options_.log) {
      options_.log(QStringLiteral("sign-in of '%1' from %2 held back %3 s after wrong passwords")
                       .arg(verdict.user, client.toString())
                       .arg(verdict.waitSeconds));
    }
    return {429,
            "text/plain; charset=utf-8",
            QStringLiteral("Слишком много неверных паролей; повторите через %1 с.")
                .arg(verdict.waitSeconds)
                .toUtf8(),
            {{"Retry-After", QByteArray::number(verdict.waitSeconds)}}};
  }
  if (options_.log && verdict.wrongInARow > 0) {
    options_.log(QStringLiteral("wrong password for '%1' from %2 (%3 in a row)")
                     .arg(verdict.user, client.toString())
                     .arg(verdict.wrongInARow));
  }
  return {401,
          "text/plain; charset=utf-8",
          QStringLiteral("Нужны имя и пароль.").toUtf8(),
          {{"WWW-Authenticate", "Basic realm=\"NorvelWin\", charset=\"UTF-8\""}}};
}

WebResponse WebView::SignIn(const WebRequest& request, const QHostAddress& client) {
  // A form's body: name=value pairs, '+' for a space.
  const QUrlQuery form(QString::fromUtf8(QByteArray(request.body).replace('+', "%20")));
  const auto field = [&](const char* name) {
    return form.queryItemValue(QLatin1String(name), QUrl::FullyDecoded);
  };
  const QString user = field("user");
  const QString next = SafeNext(field("next"));
  const auto again = [&](int status, const QString& problem, const QByteArray& retry) {
    WebResponse response{status, "text/html; charset=utf-8", SignInPage(next, problem), {}};
    if (!retry.isEmpty()) response.headers.emplace_back("Retry-After", retry);
    return response;
  };
  if (user.isEmpty() || user.contains(u':')) {
    return again(401, QStringLiteral("Неверное имя или пароль."), {});
  }
  const SignIns::Verdict verdict =
      signIns_.Check("Basic " + (user + u':' + field("password")).toUtf8().toBase64(), client);
  if (verdict.kind != SignIns::Verdict::Kind::kAllowed) {
    const WebResponse refused = Refused(verdict, client);
    return verdict.kind == SignIns::Verdict::Kind::kWait
               ? again(429,
                       QStringLiteral("Слишком много неверных паролей; повторите через %1 с.")
                           .arg(verdict.waitSeconds),
                       QByteArray::number(verdict.waitSeconds))
               : again(refused.status, QStringLiteral("Неверное имя или пароль."), {});
  }
  if (options_.log) {
    options_.log(QStringLiteral("'%1' signed in from %2").arg(user, client.toString()));
  }
  QByteArray cookie =
      QByteArray(kCookie) + '=' + sessions_.Open(user) +
      "; Path=/; HttpOnly; SameSite=Strict; Max-Age=" + QByteArray::number(Sessions::kIdle / 1000);
  if (BehindTls(request)) cookie += "; Secure";
  return {
      303, "text/plain; charset=utf-8", {}, {{"Location", next.toUtf8()}, {"Set-Cookie", cookie}}};
}

WebResponse WebView::SignOut(const WebRequest& request) {
  sessions_.Close(CookieValue(request.cookie, kCookie));
  QByteArray cookie = QByteArray(kCookie) + "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0";
  if (BehindTls(request)) cookie += "; Secure";
  return {303, "text/plain; charset=utf-8", {}, {{"Location", "/signin"}, {"Set-Cookie", cookie}}};
}

std::vector<WebView::StationRow> WebView::StationRows(QDate* month) {
  const QDateTime wall = clock_.Now();
  const QDateTime now = QDateTime(wall.date(), wall.time(), Qt::LocalTime).toUTC();
  *month = QDate(wall.date().year(), wall.date().month(), 1);
  std::vector<StationRow> rows;
  for (const Archive::Station& station : Db().Stations(*month)) {
    const StationState state = StateOf(station, now);
    rows.push_back({state.rank, state.css, state.text, station});
  }
  // The stations that need a look come first.
  std::stable_sort(rows.begin(), rows.end(),
                   [](const StationRow& a, const StationRow& b) { return a.rank < b.rank; });
  return rows;
}

WebResponse WebView::StationsPage() {
  QDate month;
  const std::vector<StationRow> rows = StationRows(&month);
  const int failed = static_cast<int>(
      std::count_if(rows.begin(), rows.end(), [](const StationRow& r) { return r.rank == 0; }));
  const int stale = static_cast<int>(
      std::count_if(rows.begin(), rows.end(), [](const StationRow& r) { return r.rank == 1; }));
  QString body = QStringLiteral(
                     "<p class=\"muted\">Станций %1: со сбоем %2, без приема больше суток %3. "
                     "Разговоры и стоимость — за %4 %5.</p><table class=\"stations\">")
                     .arg(rows.size())
                     .arg(failed)
                     .arg(stale)
                     .arg(MonthName(month.month()))
                     .arg(month.year());
  body += Head(
      {QStringLiteral("Состояние"), QStringLiteral("Станция"), QStringLiteral("Подозрительные"),
       QStringLiteral("Последний прием"), QStringLiteral("Синхронизация"),
       QStringLiteral("Разговоров"), QStringLiteral("Стоимость"), QStringLiteral("Прошлый месяц")},
      5);
  for (const StationRow& row : rows) {
    const Archive::Station& station = row.station;
    body +=
        QStringLiteral("<tr class=\"%1\"><td class=\"state\">%2</td>").arg(row.css, Html(row.text));
    body += QStringLiteral("<td><a href=\"/month?station=%1&amp;month=%2\">%3</a></td>")
                .arg(QString::fromUtf8(QUrl::toPercentEncoding(station.name)),
                     month.toString(QStringLiteral("yyyy-MM")), Html(station.name));
    const QString zone = station.timezone.isEmpty() ? QString() : u' ' + station.timezone;
    body +=
        Cell(station.alarms + station.warnings == 0 ? QStringLiteral("нет")
                                                    : QStringLiteral("тревог %1, предупреждений %2")
                                                          .arg(station.alarms)
                                                          .arg(station.warnings)) +
        Cell(station.receptionAt.isEmpty() ? QStringLiteral("неизвестен")
                                           : station.receptionAt + zone + QStringLiteral(", ") +
                                                 ReceptionText(station.receptionResult)) +
        Cell(station.lastSeen.isEmpty() ? QStringLiteral("никогда")
                                        : station.lastSeen + QStringLiteral(", ") +
                                              (station.lastResult == QLatin1String("synced")
                                                   ? QStringLiteral("записано")
                                                   : QStringLiteral("ошибка файлов"))) +
        Cell(QString::number(station.calls), true) + Cell(Rub(station.cost), true) +
        Cell(Rub(station.lastMonthCost), true) + QStringLiteral("</tr>");
  }
  body += QStringLiteral("</table>");
  return {200, "text/html; charset=utf-8", Page(QStringLiteral("Станции"), body), {}};
}

WebView::MonthAsk WebView::ReadMonth(const WebRequest& request) {
  MonthAsk ask;
  ask.station =
      request.query.queryItemValue(QStringLiteral("station"), QUrl::FullyDecoded).trimmed();
  const QString asked =
      request.query.queryItemValue(QStringLiteral("month"), QUrl::FullyDecoded).trimmed();
  ask.month = MonthOf(asked);
  // A month or station that cannot be read is said, never replaced by this month or by all.
  if (asked.isEmpty()) {
    const QDate today = clock_.Now().date();
    ask.month = QDate(today.year(), today.month(), 1);
  } else if (!ask.month.isValid()) {
    ask.problems << QStringLiteral("Месяц: «%1» — нужен месяц ГГГГ-ММ").arg(asked);
  }
  ask.known = Db().StationNames();
  if (!ask.station.isEmpty() &&
      std::find(ask.known.begin(), ask.known.end(), ask.station) == ask.known.end()) {
    ask.problems << QStringLiteral("станции «%1» в архиве нет").arg(ask.station);
  }
  if (ask.problems.isEmpty()) {
    ask.figures = Db().MonthOf(ask.station, ask.month);
    // Who costs most comes first, as a manager reads the list; then who talked longest.
    std::stable_sort(ask.figures.subscribers.begin(), ask.figures.subscribers.end(),
                     [](const Archive::Totals& a, const Archive::Totals& b) {
                       return std::tie(b.cost, b.minutes, b.calls) <
                              std::tie(a.cost, a.minutes, a.calls);
                     });
  }
  return ask;
}

WebResponse WebView::MonthPage(const WebRequest& request) {
  const MonthAsk ask = ReadMonth(request);
  const QString& station = ask.station;
  const QDate& month = ask.month;
  const QStringList& problems = ask.problems;
  const std::vector<QString>& known = ask.known;
  if (!problems.isEmpty()) {
    return {400,
            "text/html; charset=utf-8",
            Page(QStringLiteral("Месяц"),
                 QStringLiteral("<p class=\"error\">Не показано: ") +
                     Html(problems.join(QStringLiteral("; "))) +
                     QStringLiteral("</p><p><a href=\"/month\">Этот месяц всех станций</a></p>")),
            {}};
  }
  const Archive::Month& figures = ask.figures;
  const QString what = station.isEmpty() ? QStringLiteral("все станции") : station;
  QString body = QStringLiteral(
      "<form method=\"get\" action=\"/month\"><label>Станция <select "
      "name=\"station\"><option value=\"\">все</option>");
  for (const QString& name : known) {
    body += QStringLiteral("<option value=\"%1\"%2>%1</option>")
                .arg(Html(name), name == station ? QStringLiteral(" selected") : QString());
  }
  body += QStringLiteral(
              "</select></label><label>Месяц <input name=\"month\" value=\"%1\" "
              "size=\"7\"></label><button>Показать</button></form>")
              .arg(month.toString(QStringLiteral("yyyy-MM")));
  QUrlQuery download;
  if (!station.isEmpty()) download.addQueryItem(QStringLiteral("station"), station);
  download.addQueryItem(QStringLiteral("from"), month.toString(Qt::ISODate));
  download.addQueryItem(QStringLiteral("to"), month.addMonths(1).addDays(-1).toString(Qt::ISODate));
  download.addQueryItem(QStringLiteral("all"), QStringLiteral("1"));
  body += QStringLiteral("<p><a href=\"%1\">Все разговоры месяца (CSV)</a></p>")
              .arg(Html(QStringLiteral("/search.csv?") + download.toString(QUrl::FullyEncoded)));
  body += QStringLiteral("<h2>Итоги: %1, %2 %3</h2><table>")
              .arg(Html(what), MonthName(month.month()))
              .arg(month.year());
  body += Row({QStringLiteral("Разговоров"), QString::number(figures.all.calls)}, 1) +
          Row({QStringLiteral("Минут"), QString::number(figures.all.minutes)}, 1) +
          Row({QStringLiteral("Стоимость"), Rub(figures.all.cost)}, 1) + QStringLiteral("</table>");
  body += QStringLiteral("<h2>По отделам</h2><table>") +
          Head({QStringLiteral("Отдел"), QStringLiteral("Разговоров"), QStringLiteral("Минут"),
                QStringLiteral("Стоимость")},
               1);
  for (const auto& row : figures.departments) {
    body +=
        Row({row.what, QString::number(row.calls), QString::number(row.minutes), Rub(row.cost)}, 1);
  }
  body += QStringLiteral("</table><h2>По зонам</h2><table>") +
          Head({QStringLiteral("Зона"), QStringLiteral("Разговоров"),
                QStringLiteral("К оплате, мин"), QStringLiteral("Стоимость")},
               1);
  for (const auto& row : figures.zones) {
    body +=
        Row({row.what, QString::number(row.calls), QString::number(row.minutes), Rub(row.cost)}, 1);
  }
  body += QStringLiteral("</table><h2>Нагрузка городских линий</h2>");
  if (figures.loads.empty()) {
    body += QStringLiteral("<p class=\"muted\">Нет данных о нагрузке за этот месяц.</p>");
  }
  for (const auto& load : figures.loads) {
    // The same words and figures as the report's line-load page (a month kept has calls).
    const QString verdict =
        LineVerdict(1, load.cannotEstimate, load.allBusyMinutes, load.linesNeeded, load.cityLines);
    body += QStringLiteral("<h3>%1</h3><table>").arg(Html(load.station));
    body += Row({QStringLiteral("Час наибольшей нагрузки (рабочие дни, среднее %1 самых "
                                "нагруженных из %2)")
                     .arg(load.busyDays)
                     .arg(load.workingDays),
                 QStringLiteral("%1:00–%2:00")
                     .arg(load.busyHour, 2, 10, QLatin1Char('0'))
                     .arg(load.busyHour + 1, 2, 10, QLatin1Char('0'))},
                1) +
            Row({QStringLiteral("Нагрузка в этот час, не менее"),
                 QString::number(load.traffic, 'f', 2) + QStringLiteral(" Эрл")},
                1) +
            Row({load.linesAssumed ? QStringLiteral("Городских линий (принято: число плат "
                                                    "неизвестно)")
                                   : QStringLiteral("Городских линий в станции"),
                 QString::number(load.cityLines)},
                1) +
            Row({QStringLiteral("Потери вызовов в этот час (Эрланг B), не менее"),
                 QString::number(100 * load.blocking, 'f', 2) + QStringLiteral(" %")},
                1) +
            QStringLiteral("</table><p class=\"verdict\">%1</p>").arg(Html(verdict));
  }
  body += QStringLiteral("<h2>По абонентам, дороже всех — первые</h2><table>") +
          Head({QStringLiteral("Абонент"), QStringLiteral("Имя"), QStringLiteral("Разговоров"),
                QStringLiteral("Минут"), QStringLiteral("Стоимость")},
               2);
  for (const auto& row : figures.subscribers) {
    body += Row({row.what, row.name, QString::number(row.calls), QString::number(row.minutes),
                 Rub(row.cost)},
                2);
  }
  body += QStringLiteral("</table>") + Bars(figures.subscribers, true);
  body += QStringLiteral("<h2>Подозрительные вызовы: %1</h2>").arg(figures.alerts.size());
  if (!figures.alerts.empty()) {
    body += QStringLiteral("<table>") +
            Head({QStringLiteral("Станция"), QStringLiteral("Первый разговор"),
                  QStringLiteral("Правило"), QStringLiteral("Уровень"), QStringLiteral("Почему"),
                  QStringLiteral("Разговоры")},
                 6);
    for (const Archive::Month::Alert& alert : figures.alerts) {
      QString calls;
      for (const QString& line : alert.callsText.split(u'\n', Qt::SkipEmptyParts)) {
        calls += (calls.isEmpty() ? QString() : QStringLiteral("<br>")) +
                 Html(QString(line).replace(u'\t', u' '));
      }
      if (alert.calls > alert.callsText.count(u'\n') + 1) {
        calls += QStringLiteral("<br>и еще %1").arg(alert.calls - alert.callsText.count(u'\n') - 1);
      }
      body += QStringLiteral("<tr>") + Cell(alert.station) + Cell(alert.firstCall) +
              Cell(alert.rule) +
              Cell(alert.alarm ? QStringLiteral("тревога") : QStringLiteral("предупреждение")) +
              Cell(alert.why) + QStringLiteral("<td>") + calls + QStringLiteral("</td></tr>");
    }
    body += QStringLiteral("</table>");
  }
  return {200, "text/html; charset=utf-8", Page(QStringLiteral("Месяц: ") + what, body), {}};
}

WebView::SearchAsk WebView::ReadSearch(const WebRequest& request) {
  SearchAsk ask;
  const auto value = [&](const char* key) {
    return request.query.queryItemValue(QLatin1String(key), QUrl::FullyDecoded).trimmed();
  };
  // What was typed is taken as it stands or refused with its field named: a value read as none
  // would show every call as the answer to a question nobody asked.
  QStringList& problems = ask.problems;
  const auto number = [&](const char* key, const QString& field, int low, int high) {
    const QString text = value(key);
    if (text.isEmpty()) return 0;
    bool ok = false;
    const int n = text.toInt(&ok);
    if (ok && n >= low && n <= high) return n;
    problems
        << QStringLiteral("%1: «%2» — нужно число от %3 до %4").arg(field, text).arg(low).arg(high);
    return 0;
  };
  const auto day = [&](const char* key, const QString& field) {
    const QString text = value(key);
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!text.isEmpty() && !date.isValid()) {
      problems << QStringLiteral("%1: «%2» — нужна дата ГГГГ-ММ-ДД").arg(field, text);
    }
    return date;
  };
  Archive::Filter& filter = ask.filter;
  filter.station = value("station");
  filter.subscriber =
      number("subscriber", QStringLiteral("Абонент"), kFirstSubscriber, kLastSubscriber);
  filter.prefix = value("prefix");
  filter.from = day("from", QStringLiteral("С"));
  filter.to = day("to", QStringLiteral("По"));
  filter.minMinutes = number("min", QStringLiteral("Не короче"), 0, kMinutesPerDay);
  // Pages beyond any archive are clamped, so the offset stays a number the database takes.
  ask.page = std::min(
      number("page", QStringLiteral("Страница"), 0, std::numeric_limits<int>::max()), 1'000'000);
  if (filter.from.isValid() && filter.to.isValid() && filter.to < filter.from) {
    problems << QStringLiteral("«По» (%1) раньше «С» (%2)")
                    .arg(filter.to.toString(Qt::ISODate), filter.from.toString(Qt::ISODate));
  }
  if (!filter.station.isEmpty()) {
    const std::vector<QString> known = Db().StationNames();
    if (std::find(known.begin(), known.end(), filter.station) == known.end()) {
      problems << QStringLiteral("станции «%1» в архиве нет").arg(filter.station);
    }
  }
  if (problems.isEmpty()) ask.calls = Db().Search(filter, ask.page * kPageSize, kPageSize);
  ask.more = static_cast<int>(ask.calls.size()) > kPageSize;
  if (ask.more) ask.calls.pop_back();
  return ask;
}

WebResponse WebView::SearchPage(const WebRequest& request, bool csv) {
  const auto value = [&](const char* key) {
    return request.query.queryItemValue(QLatin1String(key), QUrl::FullyDecoded).trimmed();
  };
  const bool all = csv && value("all") == QLatin1String("1");
  SearchAsk ask = ReadSearch(request);
  const Archive::Filter& filter = ask.filter;
  const int page = ask.page;
  QStringList& problems = ask.problems;
  // A download may take every call found, up to a bound a spreadsheet still opens.
  std::vector<Archive::Call>& calls = ask.calls;
  bool more = ask.more;
  if (all && problems.isEmpty()) {
    calls = Db().Search(filter, 0, kMostDownloaded);
    more = static_cast<int>(calls.size()) > kMostDownloaded;
    if (more) calls.pop_back();
  }
  if (all && more) {
    problems << QStringLiteral("найдено больше %1 разговоров; сузьте поиск").arg(kMostDownloaded);
  }

  if (csv && !problems.isEmpty()) {
    return {400, "text/plain; charset=utf-8", (problems.join(u'\n') + u'\n').toUtf8(), {}};
  }
  if (csv) {
    // What the page shows, or all that was found, for a spreadsheet (UTF-8 with its mark,
    // fields quoted). A text a spreadsheet would take for a formula (=, +, -, @ first) gets a
    // quote mark before it, so that opening the file runs nothing.
    const auto field = [](QString text) {
      if (!text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text[0])) text.prepend(u'\'');
      return u'"' + text.replace(u'"', QStringLiteral("\"\"")) + u'"';
    };
    QByteArray out =
        "\xEF\xBB\xBFstation,start,subscriber,name,minutes,city_line,number,zone,cost\r\n";
    for (const Archive::Call& call : calls) {
      out += QStringList{field(call.station),
                         call.start,
                         QString::number(call.subscriber),
                         field(call.name),
                         call.minutes >= 0 ? QString::number(call.minutes) : QString(),
                         QString::number(call.cityLine),
                         field(call.number),
                         field(call.zone),
                         call.cost ? MoneyText(*call.cost) : QString()}
                 .join(u',')
                 .toUtf8() +
             "\r\n";
    }
    return {200,
            "text/csv; charset=utf-8",
            out,
            {{"Content-Disposition", "attachment; filename=\"calls.csv\""}}};
  }

  QUrlQuery kept = request.query;
  kept.removeAllQueryItems(QStringLiteral("page"));
  const auto link = [&](const QString& path, int to) {
    QUrlQuery query = kept;
    query.addQueryItem(QStringLiteral("page"), QString::number(to));
    return Html(path + u'?' + query.toString(QUrl::FullyEncoded));
  };
  QString body = QStringLiteral("<form method=\"get\" action=\"/search\">");
  const auto input = [&](const char* name, const QString& label, int size,
                         const QString& hint = QString()) {
    body += QStringLiteral(
                "<label>%1 <input name=\"%2\" value=\"%3\" size=\"%4\" "
                "placeholder=\"%5\"></label>")
                .arg(Html(label), QLatin1String(name), Html(value(name)))
                .arg(size)
                .arg(Html(hint));
  };
  input("station", QStringLiteral("Станция"), 12);
  input("subscriber", QStringLiteral("Абонент"), 3, QStringLiteral("20..43"));
  input("prefix", QStringLiteral("Номер начинается с"), 12);
  input("from", QStringLiteral("С"), 10, QStringLiteral("ГГГГ-ММ-ДД"));
  input("to", QStringLiteral("по"), 10, QStringLiteral("ГГГГ-ММ-ДД"));
  input("min", QStringLiteral("Не короче, мин"), 4);
  body += QStringLiteral("<button>Найти</button></form>");
  if (!problems.isEmpty()) {
    body += QStringLiteral("<p class=\"error\">Не найдено: ") +
            Html(problems.join(QStringLiteral("; "))) + QStringLiteral("</p>");
    return {400, "text/html; charset=utf-8", Page(QStringLiteral("Поиск разговоров"), body), {}};
  }
  QUrlQuery everything = kept;
  everything.addQueryItem(QStringLiteral("all"), QStringLiteral("1"));
  body += QStringLiteral(
              "<p class=\"muted\">Страница %1. <a href=\"%2\">CSV этой страницы</a> · "
              "<a href=\"%3\">CSV всех найденных</a></p>")
              .arg(page + 1)
              .arg(link(QStringLiteral("/search.csv"), page),
                   Html(QStringLiteral("/search.csv?") + everything.toString(QUrl::FullyEncoded)));
  body += QStringLiteral("<table>") +
          Head({QStringLiteral("Станция"), QStringLiteral("Начало"), QStringLiteral("Абонент"),
                QStringLiteral("Имя"), QStringLiteral("Номер"), QStringLiteral("Зона"),
                QStringLiteral("Линия"), QStringLiteral("Минут"), QStringLiteral("Стоимость")},
               6);
  for (const Archive::Call& call : calls) {
    body += Row({call.station, call.start, QString::number(call.subscriber), call.name, call.number,
                 call.zone, QString::number(call.cityLine),
                 call.minutes >= 0 ? QString::number(call.minutes) : QStringLiteral("?"),
                 call.cost ? Rub(*call.cost) : QString()},
                6);
  }
  body += QStringLiteral("</table><p>");
  if (page > 0) {
    body += QStringLiteral("<a rel=\"prev\" href=\"%1\">← предыдущая</a> ")
                .arg(link(QStringLiteral("/search"), page - 1));
  }
  if (more) {
    body += QStringLiteral("<a rel=\"next\" href=\"%1\">следующая →</a>")
                .arg(link(QStringLiteral("/search"), page + 1));
  }
  body += QStringLiteral("</p>");
  return {200, "text/html; charset=utf-8", Page(QStringLiteral("Поиск разговоров"), body), {}};
}
