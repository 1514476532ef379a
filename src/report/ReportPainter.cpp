#include "report/ReportPainter.h"

#include "core/base/Counts.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <cmath>

#include "core/costs/Bills.h"
#include "core/costs/Erlang.h"
#include "core/costs/SubscriberDirectory.h"

namespace {

// Every page is drawn on a logical A4 sheet 1000 units wide.
constexpr int kWidth = 1000;
constexpr int kHeight = 1414;
constexpr int kMargin = 60;
constexpr int kInner = kWidth - 2 * kMargin;
constexpr int kLineHeight = 22;
constexpr int kBillRowsPerPage = 52;

const QColor kInk(0x20, 0x20, 0x20);
const QColor kGrey(0x70, 0x70, 0x70);
const QColor kRule(0xC8, 0xC8, 0xC8);
const QColor kMinutesColour(0x3A, 0x6E, 0xA5);
const QColor kCostColour(0xE0, 0x8A, 0x1E);
const QColor kBusyColour(0xC0, 0x39, 0x2B);

// Maps the logical sheet onto the device, keeping its proportions.
void BeginPage(QPainter& painter) {
  const QRect device = painter.viewport();
  const double scale = std::min(static_cast<double>(device.width()) / kWidth,
                                static_cast<double>(device.height()) / kHeight);
  painter.setViewport(device.x(), device.y(), static_cast<int>(kWidth * scale),
                      static_cast<int>(kHeight * scale));
  painter.setWindow(0, 0, kWidth, kHeight);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
}

QFont Font(int pixels, bool bold = false) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

// Draws text in a box; gives the bottom of what was drawn.
int Text(QPainter& painter, int x, int y, int width, const QString& text, int size = 14,
         bool bold = false, const QColor& colour = kInk, int flags = Qt::AlignLeft) {
  painter.setFont(Font(size, bold));
  painter.setPen(colour);
  const QRect bounds =
      painter.boundingRect(QRect(x, y, width, 2000), flags | Qt::TextWordWrap | Qt::AlignTop, text);
  painter.drawText(QRect(x, y, width, bounds.height()), flags | Qt::TextWordWrap | Qt::AlignTop,
                   text);
  return y + bounds.height();
}

int Heading(QPainter& painter, int y, const QString& text) {
  y = Text(painter, kMargin, y, kInner, text, 20, true);
  painter.setPen(QPen(kRule, 1));
  painter.drawLine(kMargin, y + 4, kWidth - kMargin, y + 4);
  return y + 14;
}

// A table with a bold header; numbers right-aligned where `right` says so.
int Table(QPainter& painter, int y, const std::vector<int>& widths, const QStringList& header,
          const std::vector<QStringList>& rows, const std::vector<bool>& right) {
  // The fonts and their metrics are made once per table, and a cell is shaped only to draw it:
  // the elide, which shapes it again, is only for text that may not fit. Most cells are dates,
  // times and amounts, whose width is bounded by their length at the widest of their characters.
  const QFont fonts[2] = {Font(13, false), Font(13, true)};
  const QFontMetrics metrics[2] = {QFontMetrics(fonts[0], painter.device()),
                                   QFontMetrics(fonts[1], painter.device())};
  static const QString kPlain = QStringLiteral("0123456789.:-+?* ");
  int plainWidth[2] = {0, 0};
  for (int bold = 0; bold < 2; ++bold) {
    for (const QChar c : kPlain) {
      plainWidth[bold] = std::max(plainWidth[bold], metrics[bold].horizontalAdvance(c));
    }
  }
  const auto fits = [&](const QString& text, bool bold, int room) {
    if (text.size() * plainWidth[bold] > room) return false;
    for (const QChar c : text) {
      if (!kPlain.contains(c)) return false;
    }
    return true;
  };
  const auto row = [&](const QStringList& cells, bool bold) {
    painter.setFont(fonts[bold]);
    painter.setPen(bold ? kGrey : kInk);
    int x = kMargin;
    for (size_t c = 0; c < widths.size() && static_cast<qsizetype>(c) < cells.size(); ++c) {
      const QString& text = cells[static_cast<qsizetype>(c)];
      const int room = widths[c] - 8;
      const int flags = (right[c] ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
      painter.drawText(
          QRect(x + 4, y, room, kLineHeight), flags,
          fits(text, bold, room) ? text : metrics[bold].elidedText(text, Qt::ElideRight, room));
      x += widths[c];
    }
    y += kLineHeight;
  };
  row(header, true);
  painter.setPen(QPen(kRule, 1));
  painter.drawLine(kMargin, y, kMargin + std::accumulate(widths.begin(), widths.end(), 0), y);
  for (const QStringList& cells : rows) row(cells, false);
  return y + 10;
}

QString Time(int hour, int minute) {
  return QStringLiteral("%1:%2")
      .arg(hour, 2, 10, QLatin1Char('0'))
      .arg(minute, 2, 10, QLatin1Char('0'));
}

QString Date(const ExportRow& row) {
  return QStringLiteral("%1.%2.%3")
      .arg(row.day, 2, 10, QLatin1Char('0'))
      .arg(row.month, 2, 10, QLatin1Char('0'))
      .arg(row.year);
}

QString Erlangs(double value) {
  return QString::number(value, 'f', 2);
}

// Horizontal bars, one row per label, with the value written at the bar's end.
int BarsAcross(QPainter& painter, int y, const QString& title, const QStringList& labels,
               const std::vector<double>& values, const QStringList& texts, const QColor& colour) {
  y = Text(painter, kMargin, y, kInner, title, 15, true) + 6;
  const double most = values.empty() ? 0 : *std::max_element(values.begin(), values.end());
  const int labelWidth = 60;
  const int barSpace = kInner - labelWidth - 110;
  const int rowHeight = std::clamp(300 / std::max<int>(1, static_cast<int>(labels.size())), 9, 18);
  for (qsizetype i = 0; i < labels.size(); ++i) {
    painter.setFont(Font(std::min(12, rowHeight - 1)));
    painter.setPen(kInk);
    painter.drawText(QRect(kMargin, y, labelWidth - 6, rowHeight),
                     Qt::AlignRight | Qt::AlignVCenter, labels[i]);
    const int length =
        most > 0 ? static_cast<int>(barSpace * values[static_cast<size_t>(i)] / most) : 0;
    painter.fillRect(QRect(kMargin + labelWidth, y + 2, std::max(length, 1), rowHeight - 4),
                     colour);
    painter.setPen(kGrey);
    painter.drawText(QRect(kMargin + labelWidth + length + 6, y, 110, rowHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, texts[i]);
    y += rowHeight;
  }
  return y + 12;
}

// The top of a chart's scale: the least of 1, 2, 2.5 and 5 times a power of ten that holds
// `most`, so that its marks fall on round values.
double ScaleTop(double most) {
  if (most <= 0) return 1;
  const double power = std::pow(10.0, std::floor(std::log10(most)));
  for (const double step : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    if (step * power >= most * (1 - 1e-9)) return step * power;
  }
  return 10 * power;
}

// "0.5", "2", "2.5": a scale mark without needless zeros.
QString ScaleText(double value) {
  QString text = QString::number(value, 'f', 2);
  while (text.endsWith(u'0')) text.chop(1);
  if (text.endsWith(u'.')) text.chop(1);
  return text;
}

// Vertical bars over numbered positions, one of them picked out in another colour, on a scale
// of values marked at its left in `unit`; `above` is written over the bars.
int BarsUp(QPainter& painter, int y, int height, const QString& title, const QStringList& labels,
           const std::vector<double>& values, const QColor& colour, const QString& unit,
           int pickedOut = -1, const QStringList& above = {}) {
  y = Text(painter, kMargin, y, kInner, title, 15, true) + 24;
  const double top = ScaleTop(values.empty() ? 0 : *std::max_element(values.begin(), values.end()));
  const double most = top;
  const int scaleWidth = 60;
  const int chartLeft = kMargin + scaleWidth;
  const int chartWidth = kInner - scaleWidth;
  const double step = static_cast<double>(chartWidth) / std::max<qsizetype>(1, labels.size());
  // The scale: four marks from 0 to the top, with faint lines across the chart.
  painter.setFont(Font(10));
  for (int mark = 0; mark <= 4; ++mark) {
    const int at = y + height - height * mark / 4;
    painter.setPen(QPen(mark == 0 ? kRule : QColor(0xEE, 0xEE, 0xEE), 1));
    painter.drawLine(chartLeft, at, kMargin + kInner, at);
    painter.setPen(kGrey);
    painter.drawText(QRect(kMargin, at - 8, scaleWidth - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                     ScaleText(top * mark / 4));
  }
  painter.drawText(QRect(kMargin, y - 22, scaleWidth - 6, 14), Qt::AlignRight | Qt::AlignVCenter,
                   unit);
  for (qsizetype i = 0; i < labels.size(); ++i) {
    const int left = chartLeft + static_cast<int>(i * step);
    const int bar = most > 0 ? static_cast<int>(height * values[static_cast<size_t>(i)] / most) : 0;
    painter.fillRect(QRect(left + 2, y + height - bar, static_cast<int>(step) - 4, bar),
                     i == pickedOut ? kBusyColour : colour);
    painter.setFont(Font(11));
    painter.setPen(kGrey);
    painter.drawText(QRect(left, y + height + 2, static_cast<int>(step), 16), Qt::AlignCenter,
                     labels[i]);
    if (i < above.size() && !above[i].isEmpty()) {
      painter.drawText(QRect(left - 4, y + height - bar - 16, static_cast<int>(step) + 8, 14),
                       Qt::AlignCenter, above[i]);
    }
  }
  return y + height + 30;
}

// A grid of days by hours, each cell shaded by its count.
int HeatMap(QPainter& painter, int y, const QString& title,
            const std::array<std::array<qint64, 24>, 32>& counts, int days) {
  y = Text(painter, kMargin, y, kInner, title, 15, true) + 8;
  qint64 most = 0;
  for (int day = 1; day <= days; ++day) {
    for (const qint64 count : counts[static_cast<size_t>(day)]) most = std::max(most, count);
  }
  const int labelWidth = 30;
  const double cellWidth = static_cast<double>(kInner - labelWidth) / 24;
  const int cellHeight = std::clamp(360 / std::max(days, 1), 8, 24);
  painter.setFont(Font(10));
  for (int hour = 0; hour < 24; ++hour) {
    painter.setPen(kGrey);
    painter.drawText(QRect(kMargin + labelWidth + static_cast<int>(hour * cellWidth), y,
                           static_cast<int>(cellWidth), 14),
                     Qt::AlignCenter, QString::number(hour));
  }
  y += 16;
  for (int day = 1; day <= days; ++day) {
    painter.setPen(kGrey);
    painter.drawText(QRect(kMargin, y, labelWidth - 4, cellHeight),
                     Qt::AlignRight | Qt::AlignVCenter, QString::number(day));
    for (int hour = 0; hour < 24; ++hour) {
      const qint64 count = counts[static_cast<size_t>(day)][static_cast<size_t>(hour)];
      const double share = most > 0 ? static_cast<double>(count) / static_cast<double>(most) : 0;
      const QColor shade = QColor::fromRgbF(1 - 0.8 * share, 1 - 0.55 * share, 1 - 0.25 * share);
      const QRect cell(kMargin + labelWidth + static_cast<int>(hour * cellWidth), y,
                       static_cast<int>(std::ceil(cellWidth)), cellHeight);
      painter.fillRect(cell, count > 0 ? shade : QColor(0xF7, 0xF7, 0xF7));
    }
    y += cellHeight;
  }
  // The legend: the shades from one call to the most in one hour of one day.
  y += 8;
  painter.setFont(Font(11));
  painter.setPen(kGrey);
  const int legendLeft = kMargin + labelWidth;
  painter.drawText(QRect(legendLeft, y, 200, 16), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("разговоров за час:  нет"));
  painter.fillRect(QRect(legendLeft + 200, y + 2, 24, 12), QColor(0xF7, 0xF7, 0xF7));
  const int stripLeft = legendLeft + 240;
  painter.drawText(QRect(stripLeft, y, 30, 16), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("1"));
  for (int part = 0; part < 10; ++part) {
    const double share = (part + 1) / 10.0;
    painter.fillRect(QRect(stripLeft + 36 + part * 24, y + 2, 24, 12),
                     QColor::fromRgbF(1 - 0.8 * share, 1 - 0.55 * share, 1 - 0.25 * share));
  }
  painter.drawText(QRect(stripLeft + 36 + 10 * 24 + 6, y, 200, 16),
                   Qt::AlignLeft | Qt::AlignVCenter, QString::number(most));
  return y + 30;
}

QString ChoiceText(const ReportData& data) {
  QString text = MonthName(data.choice.month) + u' ' + QString::number(data.year);
  if (data.choice.day != 0) text += QStringLiteral(", %1 число").arg(data.choice.day);
  if (data.choice.subscriber != 0)
    text += QStringLiteral(", абонент %1").arg(data.choice.subscriber);
  return text;
}

QString CostText(const ReportData& data, Money money) {
  return data.tariffs ? RussianMoney(money) + u' ' + data.tariffs->currency : QStringLiteral("—");
}

QString ZoneName(const ReportData& data, const Rated& rated) {
  return data.tariffs ? ZoneText(*data.tariffs, rated) : QString();
}

std::vector<QStringList> CallRows(const ReportData& data, const std::vector<ReportCall>& calls) {
  std::vector<QStringList> rows;
  for (const ReportCall& call : calls) {
    const ExportRow& r = call.row;
    rows.push_back(
        {Date(r), Time(r.hour, r.minute), QString::number(r.subscriber),
         QString::fromUtf8(r.number).trimmed(), ZoneName(data, call.rated),
         r.duration >= 0 ? QString::number(r.duration) : QStringLiteral("?"),
         call.rated.kind == Rated::Kind::kCharged ? RussianMoney(call.rated.cost) : QString()});
  }
  return rows;
}

const std::vector<int> kCallWidths = {110, 70, 80, 190, 190, 100, 140};
const std::vector<bool> kCallRight = {false, false, true, false, false, true, true};
const QStringList kCallHeader = {QStringLiteral("Дата"),     QStringLiteral("Время"),
                                 QStringLiteral("Абонент"),  QStringLiteral("Номер"),
                                 QStringLiteral("Зона"),     QStringLiteral("Минут"),
                                 QStringLiteral("Стоимость")};

// "В том числе НДС 20 %: 28,92 руб." under a total, where the tariff file names the tax.
int VatLine(QPainter& painter, int y, const Tariffs& tariffs, Money total) {
  if (tariffs.vatHundredths == 0) return y;
  return Text(painter, kMargin, y + 2, kInner,
              QStringLiteral("В том числе %1: %2 %3")
                  .arg(tariffs.VatName(), RussianMoney(tariffs.VatIn(total)), tariffs.currency),
              12, false) +
         8;
}

void Footer(QPainter& painter, const QString& text, int page) {
  Text(painter, kMargin, kHeight - 50, kInner, text, 11, false, kGrey);
  Text(painter, kMargin, kHeight - 50, kInner, QString::number(page), 11, false, kGrey,
       Qt::AlignRight);
}

}  // namespace

namespace {

// Lines of a page of suspicious calls under its heading, and the calls listed of a finding.
constexpr int kAlertRows = (kHeight - 90 - 110) / kLineHeight - 1;
constexpr size_t kAlertCallsShown = 5;

// A finding's lines: its rule, why, up to five calls, and "и еще N" for the rest.
int AlertLines(const AlertFinding& finding) {
  const size_t shown = std::min(finding.calls.size(), kAlertCallsShown);
  return 2 + static_cast<int>(shown) + (finding.callCount > qint64(shown) ? 1 : 0);
}

}  // namespace

ReportPainter::ReportPainter(const ReportData& data) : data_(data) {
  for (const auto& entry : data_.subscribers) subscribers_.push_back(entry.first);
  if (data_.byDepartment && data_.directory) {
    std::stable_sort(subscribers_.begin(), subscribers_.end(), [&](int a, int b) {
      return data_.directory->DepartmentOf(a) < data_.directory->DepartmentOf(b);
    });
  }
  // The suspicious calls' pages after the lists: each finding whole on a page, the first page
  // under the count by rule.
  alertPages_.emplace_back();
  std::map<QString, int> rules;
  for (const AlertFinding& finding : data_.alerts) rules[finding.rule] += 1;
  int room = kAlertRows - 4 - static_cast<int>(rules.size());
  for (size_t f = 0; f < data_.alerts.size(); ++f) {
    const int lines = AlertLines(data_.alerts[f]);
    if (lines > room && !alertPages_.back().empty()) {
      alertPages_.emplace_back();
      room = kAlertRows;
    }
    alertPages_.back().push_back(f);
    room -= lines;
  }
  // With a subscriber directory, a page of departments comes before the subscribers' pages.
  const int afterAlerts = 3 + static_cast<int>(alertPages_.size());
  departmentsPage_ = data_.directory ? afterAlerts : -1;
  firstSubscriberPage_ = afterAlerts + (data_.directory ? 1 : 0);
}

// Rows of calls on a page of the appendix, under its heading.
constexpr int kAppendixRows = (kHeight - 90 - 110) / kLineHeight - 1;

int ReportPainter::AppendixPages() const {
  const qint64 rest = static_cast<qint64>(data_.outside.size()) - OutsideOnListPage();
  return rest > 0 ? static_cast<int>((rest + kAppendixRows - 1) / kAppendixRows) : 0;
}

int ReportPainter::PageCount() const {
  return firstSubscriberPage_ + static_cast<int>(subscribers_.size()) + AppendixPages();
}

void ReportPainter::PaintPage(QPainter& painter, int index) const {
  BeginPage(painter);
  painter.fillRect(QRect(0, 0, kWidth, kHeight), Qt::white);
  if (index == 0) {
    Summary(painter);
  } else if (index == 1) {
    LineLoad(painter);
  } else if (index == 2) {
    Lists(painter);
  } else if (index < 3 + static_cast<int>(alertPages_.size())) {
    AlertsPage(painter, index - 3);
  } else if (index == departmentsPage_) {
    Departments(painter);
  } else if (index < firstSubscriberPage_ + static_cast<int>(subscribers_.size())) {
    const int subscriber = subscribers_[static_cast<size_t>(index - firstSubscriberPage_)];
    SubscriberPage(painter, subscriber, data_.subscribers.at(subscriber));
  } else {
    AppendixPage(painter, index - firstSubscriberPage_ - static_cast<int>(subscribers_.size()));
  }
  Footer(painter, QStringLiteral("NorvelWin · отчет о разговорах · ") + ChoiceText(data_),
         index + 1);
}

void ReportPainter::Summary(QPainter& painter) const {
  int y = Text(painter, kMargin, 50, kInner, QStringLiteral("Отчет о разговорах"), 28, true);
  y = Text(painter, kMargin, y + 2, kInner, ChoiceText(data_), 18, false, kGrey) + 18;
  std::vector<QStringList> figures = {
      {QStringLiteral("Разговоров"), QString::number(data_.calls)},
      {QStringLiteral("Минут"), QString::number(data_.minutes)},
      {QStringLiteral("Стоимость"), CostText(data_, data_.cost)},
      {QStringLiteral("Длительность неизвестна"), QString::number(data_.unknownDuration)},
  };
  if (data_.tariffs && data_.tariffs->vatHundredths > 0) {
    figures.insert(figures.begin() + 3, {QStringLiteral("в том числе ") + data_.tariffs->VatName(),
                                         CostText(data_, data_.tariffs->VatIn(data_.cost))});
  }
  if (data_.tariffs) {
    figures.push_back(
        {QStringLiteral("Не оплачиваются (тип вызова)"), QString::number(data_.notCharged)});
    figures.push_back(
        {QStringLiteral("Номер не входит ни в одну зону"), QString::number(data_.noZone)});
  }
  if (data_.previous) {
    // The month before beside this one: its figures and the change.
    const ReportData::Previous& before = *data_.previous;
    const auto change = [](double now, double then) {
      if (then <= 0) return QString();
      const double percent = 100.0 * (now - then) / then;
      return (percent > 0 ? QStringLiteral("+") : QString()) +
             QString::number(percent, 'f', 1).replace(u'.', u',') + QStringLiteral(" %");
    };
    std::vector<QStringList> compared = {
        {QStringLiteral("Разговоров"), QString::number(data_.calls), QString::number(before.calls),
         change(data_.calls, before.calls)},
        {QStringLiteral("Минут"), QString::number(data_.minutes), QString::number(before.minutes),
         change(data_.minutes, before.minutes)},
        {QStringLiteral("Нагрузка в час наибольшей нагрузки, Эрл"), Erlangs(data_.busyHourTraffic),
         Erlangs(before.busyHourTraffic), change(data_.busyHourTraffic, before.busyHourTraffic)},
    };
    if (data_.tariffs) {
      compared.insert(
          compared.begin() + 2,
          {QStringLiteral("Стоимость"), CostText(data_, data_.cost), CostText(data_, before.cost),
           change(static_cast<double>(data_.cost), static_cast<double>(before.cost))});
    }
    y = Table(painter, y, {330, 170, 170, 110},
              {QStringLiteral("Итоги"), ChoiceText(data_),
               MonthName(before.month) + u' ' + QString::number(before.year),
               QStringLiteral("Изменение")},
              compared, {false, true, true, true});
    y += 4;
    figures.erase(figures.begin(), figures.begin() + 3);  // shown above with the month before
    if (!figures.empty()) {
      y = Table(painter, y, {360, 220}, {QString(), QString()}, figures, {false, true});
    }
  } else {
    y = Table(painter, y, {360, 220}, {QStringLiteral("Итоги"), QString()}, figures, {false, true});
  }
  if (!data_.tariffs) {
    y = Text(painter, kMargin, y, kInner,
             QStringLiteral("Стоимость не рассчитана: в рабочей папке нет файла тарифов %1.")
                 .arg(QLatin1String(kTariffFileName)),
             13, false, kGrey) +
        8;
  }
  if (data_.otherYearsLeftOut > 0) {
    y = Text(painter, kMargin, y, kInner,
             QStringLiteral("Разговоры других лет (%1) в этот отчет не вошли.")
                 .arg(data_.otherYearsLeftOut),
             13, false, kGrey) +
        8;
  }
  QStringList labels;
  std::vector<double> minutes;
  std::vector<double> costs;
  QStringList minuteTexts;
  QStringList costTexts;
  for (const auto& [subscriber, report] : data_.subscribers) {
    labels << QString::number(subscriber);
    minutes.push_back(static_cast<double>(report.minutes));
    costs.push_back(static_cast<double>(report.cost));
    minuteTexts << QStringLiteral("%1 мин").arg(report.minutes);
    costTexts << CostText(data_, report.cost);
  }
  y = BarsAcross(painter, y + 8, QStringLiteral("Минуты по абонентам"), labels, minutes,
                 minuteTexts, kMinutesColour);
  if (data_.tariffs) {
    y = BarsAcross(painter, y, QStringLiteral("Стоимость по абонентам"), labels, costs, costTexts,
                   kCostColour);
  }
  QStringList days;
  std::vector<double> perDay;
  const int dayCount = data_.choice.day != 0 ? 0 : std::max(data_.periodDays, 28);
  for (int day = 1; day <= dayCount; ++day) {
    days << QString::number(day);
    perDay.push_back(static_cast<double>(data_.callsPerDay[static_cast<size_t>(day)]));
  }
  if (!days.isEmpty() && y < kHeight - 260) {
    BarsUp(painter, y, 140, QStringLiteral("Разговоры по дням месяца"), days, perDay,
           kMinutesColour, QStringLiteral("разг."));
  }
}

void ReportPainter::LineLoad(QPainter& painter) const {
  int y = Heading(painter, 50, QStringLiteral("Нагрузка городских линий"));
  y = Text(painter, kMargin, y, kInner,
           QStringLiteral("Станция записывает только тарифицируемые разговоры, поэтому "
                          "показанная нагрузка — нижняя оценка: настоящая не меньше. Линия "
                          "занята с минуты начала разговора столько минут, сколько он длился "
                          "(не меньше одной)."),
           13, false, kGrey) +
      12;
  QStringList hours;
  std::vector<double> traffic;
  QStringList peaks;
  for (int hour = 0; hour < 24; ++hour) {
    hours << QString::number(hour);
    traffic.push_back(data_.erlangs[static_cast<size_t>(hour)]);
    peaks << (data_.peakBusy[static_cast<size_t>(hour)] > 0
                  ? QStringLiteral("%1 л.").arg(data_.peakBusy[static_cast<size_t>(hour)])
                  : QString());
  }
  y = BarsUp(painter, y, 220,
             QStringLiteral("Нагрузка по часам суток, Эрл (над столбцом — пик: наибольшее число "
                            "линий, занятых одновременно)"),
             hours, traffic, kMinutesColour, QStringLiteral("Эрл"), data_.busyHour, peaks);
  const double busyTraffic = data_.busyHourTraffic;
  const QString busyHourHow =
      data_.choice.day != 0
          ? QStringLiteral("Час наибольшей нагрузки")
          : QStringLiteral(
                "Час наибольшей нагрузки (рабочие дни, среднее %1 самых нагруженных "
                "из %2)")
                .arg(data_.busyDays)
                .arg(data_.workingDays);
  std::vector<QStringList> facts = {
      {busyHourHow,
       QStringLiteral("%1–%2").arg(Time(data_.busyHour, 0), Time(data_.busyHour + 1, 0))},
      {QStringLiteral("Нагрузка в этот час, не менее"),
       Erlangs(busyTraffic) + QStringLiteral(" Эрл")},
      {QStringLiteral("Наибольшее число занятых линий"), QString::number(data_.peakBusyOverall)},
      {data_.cityLinesFromCalls ? QStringLiteral("Городских линий (по номерам ГЛ в разговорах)")
       : data_.cityLinesAssumed ? QStringLiteral("Городских линий (принято: число плат неизвестно)")
                                : QStringLiteral("Городских линий в станции"),
       QString::number(data_.cityLines)},
      {QStringLiteral("Все линии заняты в этот час, мин"), QString::number(data_.allBusyMinutes)},
      {QStringLiteral("Потери вызовов в этот час (Эрланг B), не менее"),
       QString::number(100 * data_.blockingAtBusyHour, 'f', 2) + QStringLiteral(" %")},
      {QStringLiteral("Линий для потерь не более 1 %, не менее"),
       QString::number(data_.linesForOnePercent)},
      {QStringLiteral("Нагрузка, которую линии станции несут при 1 %"),
       Erlangs(TrafficFor(data_.cityLines, 0.01)) + QStringLiteral(" Эрл")},
  };
  y = Table(painter, y, {560, 200}, {QStringLiteral("Оценка"), QString()}, facts, {false, true});
  // The recorded calls give a lower bound of the load: the verdict says only what that allows.
  const QString verdict =
      LineVerdict(data_.calls, data_.linesCannotBeEstimated, data_.allBusyMinutes,
                  data_.linesForOnePercent, data_.cityLines);
  y = Text(painter, kMargin, y, kInner, verdict, 15, true) + 16;
  if (data_.choice.day == 0 && data_.periodDays > 0) {
    HeatMap(painter, y, QStringLiteral("Разговоры по дням и часам"), data_.callsByDayAndHour,
            data_.periodDays);
  }
}

void ReportPainter::Lists(QPainter& painter) const {
  int y = Heading(painter, 50, QStringLiteral("Самые длинные разговоры"));
  y = Table(painter, y, kCallWidths, kCallHeader, CallRows(data_, data_.longest), kCallRight);
  if (data_.tariffs) {
    y = Heading(painter, y + 10, QStringLiteral("Самые дорогие разговоры"));
    y = Table(painter, y, kCallWidths, kCallHeader, CallRows(data_, data_.costliest), kCallRight);
  }
  const int from = data_.tariffs ? data_.tariffs->workFromMinute : 8 * 60;
  const int to = data_.tariffs ? data_.tariffs->workToMinute : 18 * 60;
  y = Heading(painter, y + 10,
              QStringLiteral("Вне рабочего времени (пн–пт %1–%2): %3")
                  .arg(Time(from / 60, from % 60), Time(to / 60, to % 60))
                  .arg(data_.outsideWorkingHours));
  const auto first = data_.outside.begin();
  const std::vector<ReportCall> shown(first, first + OutsideOnListPage());
  y = Table(painter, y, kCallWidths, kCallHeader, CallRows(data_, shown), kCallRight);
  if (AppendixPages() > 0) {
    Text(painter, kMargin, y, kInner,
         QStringLiteral("и еще %1 — в приложении (с. %2)")
             .arg(static_cast<qint64>(data_.outside.size()) - static_cast<qint64>(shown.size()))
             .arg(PageCount() - AppendixPages() + 1),
         13, false, kGrey);
  }
}

qint64 ReportPainter::OutsideOnListPage() const {
  // As many as always fit under the two lists of ten; the rest go to the appendix.
  constexpr qint64 kOnListPage = 20;
  return std::min<qint64>(kOnListPage, static_cast<qint64>(data_.outside.size()));
}

void ReportPainter::AppendixPage(QPainter& painter, int page) const {
  const int workFrom = data_.tariffs ? data_.tariffs->workFromMinute : 8 * 60;
  const int workTo = data_.tariffs ? data_.tariffs->workToMinute : 18 * 60;
  int y = Heading(painter, 50,
                  QStringLiteral("Приложение: все разговоры вне рабочего времени (пн–пт %1–%2)")
                      .arg(Time(workFrom / 60, workFrom % 60), Time(workTo / 60, workTo % 60)));
  const qint64 start = OutsideOnListPage() + static_cast<qint64>(page) * kAppendixRows;
  const qint64 end =
      std::min<qint64>(start + kAppendixRows, static_cast<qint64>(data_.outside.size()));
  const std::vector<ReportCall> shown(data_.outside.begin() + start, data_.outside.begin() + end);
  Table(painter, y, kCallWidths, kCallHeader, CallRows(data_, shown), kCallRight);
}

void ReportPainter::AlertsPage(QPainter& painter, int page) const {
  const std::vector<size_t>& findings = alertPages_[size_t(page)];
  int y = 50;
  if (page == 0) {
    y = Heading(painter, y,
                data_.alerts.empty()
                    ? QStringLiteral("Подозрительные вызовы: нет")
                    : QStringLiteral("Подозрительные вызовы: %1").arg(data_.alerts.size()));
    const QString rules =
        !data_.alertsProblem.isEmpty()
            ? QStringLiteral("Правила не проверены: ") + data_.alertsProblem
        : data_.alertsBuiltIn
            ? QStringLiteral(
                  "Правила встроенные (файла %1 нет): звонки за рубеж (810, 00) и "
                  "дольше 60 мин вне рабочего времени.")
                  .arg(QLatin1String(kAlertRulesFileName))
            : QStringLiteral("Правила из файла %1.").arg(QLatin1String(kAlertRulesFileName));
    y = Text(painter, kMargin, y, kInner, rules, 13, false,
             data_.alertsProblem.isEmpty() ? kGrey : kBusyColour);
    if (!data_.alerts.empty()) {
      std::map<QString, std::pair<AlertRule::Level, int>> byRule;
      for (const AlertFinding& finding : data_.alerts) {
        auto& entry = byRule.try_emplace(finding.rule, finding.level, 0).first->second;
        ++entry.second;
      }
      std::vector<QStringList> rows;
      for (const auto& [rule, entry] : byRule) {
        rows.push_back({rule, AlertLevelName(entry.first), QString::number(entry.second)});
      }
      y = Table(painter, y + 6, {520, 200, 160},
                {QStringLiteral("Правило"), QStringLiteral("Уровень"), QStringLiteral("Находок")},
                rows, {false, false, true});
    }
  } else {
    y = Heading(painter, y, QStringLiteral("Подозрительные вызовы (продолжение)"));
  }
  for (const size_t f : findings) {
    const AlertFinding& finding = data_.alerts[f];
    const QColor colour = finding.level == AlertRule::Level::kAlarm ? kBusyColour : kCostColour;
    painter.setFont(Font(13, true));
    painter.setPen(colour);
    painter.drawText(QRect(kMargin, y, kInner, kLineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     AlertLevelName(finding.level) + QStringLiteral(" · ") + finding.rule);
    y += kLineHeight;
    painter.setFont(Font(12, false));
    painter.setPen(kGrey);
    painter.drawText(QRect(kMargin + 16, y, kInner - 16, kLineHeight),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetrics(painter.font(), painter.device())
                         .elidedText(finding.why, Qt::ElideRight, kInner - 16));
    y += kLineHeight;
    painter.setFont(Font(13, false));
    painter.setPen(kInk);
    const size_t shown = std::min(finding.calls.size(), kAlertCallsShown);
    for (size_t c = 0; c < shown; ++c) {
      painter.drawText(QRect(kMargin + 16, y, kInner - 16, kLineHeight),
                       Qt::AlignLeft | Qt::AlignVCenter,
                       AlertCallLine(finding.calls[c]).replace(u'\t', QStringLiteral("   ")));
      y += kLineHeight;
    }
    if (finding.callCount > qint64(shown)) {
      painter.setPen(kGrey);
      painter.drawText(QRect(kMargin + 16, y, kInner - 16, kLineHeight),
                       Qt::AlignLeft | Qt::AlignVCenter,
                       QStringLiteral("и еще %1").arg(finding.callCount - qint64(shown)));
      y += kLineHeight;
    }
  }
}

void ReportPainter::Departments(QPainter& painter) const {
  int y = Heading(painter, 50, QStringLiteral("По отделам"));
  std::vector<QStringList> rows;
  const auto departments = DepartmentTotals(data_.subscribers, &*data_.directory);
  // With the month before, each department's cost then beside its cost now.
  std::map<QString, SubscriberReport> before;
  if (data_.previous) before = DepartmentTotals(data_.previous->subscribers, &*data_.directory);
  const auto then = [&](const QString& department) {
    const auto found = before.find(department);
    return found == before.end() ? QStringLiteral("—") : CostText(data_, found->second.cost);
  };
  for (const auto& [department, report] : departments) {
    rows.push_back({department, QString::number(report.calls), QString::number(report.minutes),
                    CostText(data_, report.cost)});
    if (data_.previous) rows.back() << then(department);
  }
  rows.push_back({QStringLiteral("Итого"), QString::number(data_.calls),
                  QString::number(data_.minutes), CostText(data_, data_.cost)});
  if (data_.previous) rows.back() << CostText(data_, data_.previous->cost);
  QStringList header = {QStringLiteral("Отдел"), QStringLiteral("Разговоров"),
                        QStringLiteral("Минут"), QStringLiteral("Стоимость")};
  if (data_.previous) {
    header
        << QStringLiteral("%1 %2").arg(MonthName(data_.previous->month)).arg(data_.previous->year);
    y = Table(painter, y, {240, 120, 120, 200, 200}, header, rows, {false, true, true, true, true});
  } else {
    y = Table(painter, y, {330, 140, 140, 250}, header, rows, {false, true, true, true});
  }
  y = Heading(painter, y + 10, QStringLiteral("Абоненты по отделам"));
  std::vector<int> order;
  for (const auto& entry : data_.subscribers) order.push_back(entry.first);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return data_.directory->DepartmentOf(a) < data_.directory->DepartmentOf(b);
  });
  rows.clear();
  for (const int subscriber : order) {
    const SubscriberEntry* entry = data_.directory->Of(subscriber);
    const SubscriberReport& report = data_.subscribers.at(subscriber);
    rows.push_back({data_.directory->DepartmentOf(subscriber),
                    QStringLiteral("%1 %2").arg(subscriber).arg(entry ? entry->name : QString()),
                    QString::number(report.calls), CostText(data_, report.cost)});
  }
  Table(painter, y, {250, 330, 120, 160},
        {QStringLiteral("Отдел"), QStringLiteral("Абонент"), QStringLiteral("Разговоров"),
         QStringLiteral("Стоимость")},
        rows, {false, false, true, true});
}

void ReportPainter::SubscriberPage(QPainter& painter, int subscriber,
                                   const SubscriberReport& report) const {
  const SubscriberEntry* entry = data_.directory ? data_.directory->Of(subscriber) : nullptr;
  QString title = QStringLiteral("Абонент %1").arg(subscriber);
  if (entry) {
    title += QStringLiteral(" — ") + entry->name;
    if (!entry->department.isEmpty()) title += QStringLiteral(" (%1)").arg(entry->department);
  }
  int y = Heading(painter, 50, title);
  y = Table(painter, y, {360, 220}, {QStringLiteral("Итоги"), QString()},
            {{QStringLiteral("Разговоров"), QString::number(report.calls)},
             {QStringLiteral("Минут"), QString::number(report.minutes)},
             {QStringLiteral("Длительность неизвестна"), QString::number(report.unknownDuration)},
             {QStringLiteral("Стоимость"), CostText(data_, report.cost)}},
            {false, true});
  if (data_.tariffs && !report.zones.empty()) {
    std::vector<QStringList> zones;
    for (const auto& [zone, totals] : report.zones) {
      zones.push_back({data_.tariffs->zones[static_cast<size_t>(zone)].name,
                       QString::number(totals.calls), QString::number(totals.minutes),
                       RussianMoney(totals.cost)});
    }
    y = Table(painter, y, {300, 120, 120, 160},
              {QStringLiteral("Зона"), QStringLiteral("Разговоров"), QStringLiteral("Минут"),
               QStringLiteral("Стоимость")},
              zones, {false, true, true, true});
  }
  std::vector<ReportCall> shown = report.firstCalls;
  const int room = (kHeight - 90 - y) / kLineHeight - 2;
  qint64 notShown = report.callsNotListed;
  if (static_cast<int>(shown.size()) > room) {
    notShown += static_cast<qint64>(shown.size()) - room;
    shown.resize(static_cast<size_t>(std::max(room, 0)));
  }
  y = Table(painter, y, kCallWidths, kCallHeader, CallRows(data_, shown), kCallRight);
  if (notShown > 0) {
    Text(painter, kMargin, y, kInner,
         QStringLiteral("и еще %1 (все разговоры абонента — в его счете)")
             .arg(RussianCount(notShown, "разговор", "разговора", "разговоров")),
         13, false, kGrey);
  }
}

void PrintReport(const ReportData& data, QPagedPaintDevice& device) {
  const ReportPainter report(data);
  QPainter painter(&device);
  for (int page = 0; page < report.PageCount(); ++page) {
    if (page > 0) device.newPage();
    painter.save();
    report.PaintPage(painter, page);
    painter.restore();
    if (data.progress) data.progress(page + 1, report.PageCount());
  }
}

bool WriteReportPdf(const ReportData& data, const QString& path, QString* error) {
  QPdfWriter writer(path);
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setResolution(150);
  writer.setTitle(QStringLiteral("Отчет о разговорах: ") + ChoiceText(data));
  writer.setCreator(QStringLiteral("NorvelWin"));
  PrintReport(data, writer);
  if (!QFileInfo(path).exists() || QFileInfo(path).size() == 0) {
    *error = QStringLiteral("Не удается записать файл %1").arg(path);
    return false;
  }
  return true;
}

bool WriteReportPngs(const ReportData& data, const QString& path, QStringList* written,
                     QString* error) {
  const ReportPainter report(data);
  const QFileInfo info(path);
  for (int page = 0; page < report.PageCount(); ++page) {
    QImage image(1240, 1754, QImage::Format_RGB32);  // A4 at 150 dots per inch
    image.fill(Qt::white);
    {
      QPainter painter(&image);
      report.PaintPage(painter, page);
    }
    const QString name = page == 0 ? path
                                   : info.dir().filePath(QStringLiteral("%1-%2.%3")
                                                             .arg(info.completeBaseName())
                                                             .arg(page + 1)
                                                             .arg(info.suffix()));
    if (!image.save(name, "PNG")) {
      *error = QStringLiteral("Не удается записать файл %1").arg(name);
      return false;
    }
    *written << name;
    if (data.progress) data.progress(page + 1, report.PageCount());
  }
  return true;
}

bool WriteBillsPdf(const BillBook& book, const BillHeading& heading, const QString& path,
                   QString* error) {
  QPdfWriter writer(path);
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setResolution(150);
  writer.setTitle(QStringLiteral("Счета абонентов: ") + heading.period);
  writer.setCreator(QStringLiteral("NorvelWin"));
  QPainter painter(&writer);
  const QString currency = book.TariffTable().currency;
  const QString footer = QStringLiteral("NorvelWin · счета абонентов · %1 · %2 · тарифы: %3")
                             .arg(heading.station, heading.period, heading.tariffs);
  int page = 0;
  bool first = true;
  const auto newPage = [&](const QString& title) {
    if (!first) writer.newPage();
    first = false;
    ++page;
    painter.resetTransform();
    painter.setViewport(QRect(0, 0, writer.width(), writer.height()));
    BeginPage(painter);
    Footer(painter, footer, page);
    return Heading(painter, 50, title);
  };
  // The bills count what they charge: calls charged, charged minutes (a zone's minimum
  // included) and their cost; the rows of a table add up to its "Итого".
  struct Totals {
    qint64 calls = 0;
    qint64 minutes = 0;
    Money cost = 0;
  };
  const auto money = [&](Money amount) { return RussianMoney(amount) + u' ' + currency; };
  const std::vector<int> callWidths = {100, 60, 70, 170, 170, 80, 90, 140};
  const std::vector<bool> callRight = {false, false, true, false, false, true, true, true};
  const QStringList callHeader = {QStringLiteral("Дата"),          QStringLiteral("Время"),
                                  QStringLiteral("Абонент"),       QStringLiteral("Номер"),
                                  QStringLiteral("Зона"),          QStringLiteral("Длит., мин"),
                                  QStringLiteral("К оплате, мин"), QStringLiteral("Стоимость")};
  std::vector<std::pair<int, Totals>> charged;  // in the bills' order
  qint64 drawn = 0;
  const SubscriberDirectory* directory = book.Directory();
  // "Иванов Иван · Бухгалтерия · центр затрат 100-01"; empty for a subscriber not named.
  const auto whoIs = [&](int subscriber) {
    const SubscriberEntry* entry = directory ? directory->Of(subscriber) : nullptr;
    if (!entry) return QString();
    QStringList parts = {entry->name};
    if (!entry->department.isEmpty()) parts << entry->department;
    if (!entry->costCentre.isEmpty()) parts << QStringLiteral("центр затрат ") + entry->costCentre;
    return parts.join(QStringLiteral(" · "));
  };
  for (const int subscriber : book.Order(heading.byDepartment)) {
    const SubscriberReport& report = book.Subscribers().at(subscriber);
    const QString title =
        QStringLiteral("Счет абонента %1 за %2").arg(subscriber).arg(heading.period);
    int y = newPage(title);
    if (const QString who = whoIs(subscriber); !who.isEmpty()) {
      y = Text(painter, kMargin, y - 4, kInner, who, 14, false) + 10;
    }
    std::vector<QStringList> zones;
    charged.push_back({subscriber, {}});
    Totals& sum = charged.back().second;
    for (const auto& [zone, totals] : report.zones) {
      zones.push_back({book.TariffTable().zones[static_cast<size_t>(zone)].name,
                       QString::number(totals.calls), QString::number(totals.minutes),
                       money(totals.cost)});
      sum.calls += totals.calls;
      sum.minutes += totals.minutes;
      sum.cost += totals.cost;
    }
    zones.push_back({QStringLiteral("Итого"), QString::number(sum.calls),
                     QString::number(sum.minutes), money(sum.cost)});
    y = Table(painter, y, {300, 120, 160, 200},
              {QStringLiteral("Зона"), QStringLiteral("Разговоров"),
               QStringLiteral("К оплате, мин"), QStringLiteral("Стоимость")},
              zones, {false, true, true, true});
    y = VatLine(painter, y, book.TariffTable(), sum.cost);
    if (report.calls > sum.calls) {
      y = Text(painter, kMargin, y + 4, kInner,
               QStringLiteral("Без оплаты: %1 (тип вызова без оплаты, номер вне зон "
                              "или длительность неизвестна)")
                   .arg(RussianCount(report.calls - sum.calls, "разговор", "разговора",
                                     "разговоров")),
               12, false, kGrey) +
          8;
    }
    std::vector<QStringList> rows;
    const auto flush = [&] {
      y = Table(painter, y, callWidths, callHeader, rows, callRight);
      rows.clear();
    };
    book.ForEachCall(subscriber, [&](const ReportCall& call) {
      if (heading.progress && ++drawn % 4096 == 0) heading.progress(drawn, book.All().calls);
      const ExportRow& r = call.row;
      const bool paid = call.rated.kind == Rated::Kind::kCharged;
      rows.push_back({Date(r), Time(r.hour, r.minute), QString::number(r.subscriber),
                      QString::fromUtf8(r.number).trimmed(), book.ZoneText(call.rated),
                      r.duration >= 0 ? QString::number(r.duration) : QStringLiteral("?"),
                      paid ? QString::number(call.rated.minutes) : QString(),
                      paid ? RussianMoney(call.rated.cost) : QString()});
      if (y + static_cast<int>(rows.size() + 2) * kLineHeight > kHeight - 90) {
        flush();
        y = newPage(title + QStringLiteral(" (продолжение)"));
      }
    });
    flush();
  }
  if (heading.progress) heading.progress(drawn, book.All().calls);
  // The summary: every subscriber's total, and the grand total as their sum.
  const QString summaryTitle = QStringLiteral("Сводка по абонентам за %1").arg(heading.period);
  int y = newPage(summaryTitle);
  std::vector<QStringList> rows;
  Totals grand;
  const auto flushSummary = [&] {
    y = Table(painter, y, {200, 160, 200, 240},
              {QStringLiteral("Абонент"), QStringLiteral("Разговоров"),
               QStringLiteral("К оплате, мин"), QStringLiteral("Стоимость")},
              rows, {false, true, true, true});
    rows.clear();
  };
  for (const auto& [subscriber, sum] : charged) {
    const SubscriberEntry* entry = directory ? directory->Of(subscriber) : nullptr;
    rows.push_back({entry ? QStringLiteral("%1 %2").arg(subscriber).arg(entry->name)
                          : QString::number(subscriber),
                    QString::number(sum.calls), QString::number(sum.minutes), money(sum.cost)});
    grand.calls += sum.calls;
    grand.minutes += sum.minutes;
    grand.cost += sum.cost;
    if (y + static_cast<int>(rows.size() + 3) * kLineHeight > kHeight - 90) {
      flushSummary();
      y = newPage(summaryTitle + QStringLiteral(" (продолжение)"));
    }
  }
  rows.push_back({QStringLiteral("Итого"), QString::number(grand.calls),
                  QString::number(grand.minutes), money(grand.cost)});
  flushSummary();
  y = VatLine(painter, y, book.TariffTable(), grand.cost);
  if (heading.byDepartment) {
    // Each department's total; together they are the grand total again.
    for (const auto& [department, report] : book.Departments()) {
      qint64 minutes = 0;
      for (const auto& entry : report.zones) minutes += entry.second.minutes;
      qint64 calls = 0;
      for (const auto& entry : report.zones) calls += entry.second.calls;
      rows.push_back(
          {department, QString::number(calls), QString::number(minutes), money(report.cost)});
    }
    rows.push_back({QStringLiteral("Итого"), QString::number(grand.calls),
                    QString::number(grand.minutes), money(grand.cost)});
    if (y + static_cast<int>(rows.size() + 4) * kLineHeight > kHeight - 90) {
      y = newPage(summaryTitle + QStringLiteral(" (продолжение)"));
    }
    y = Heading(painter, y + 10, QStringLiteral("По отделам"));
    y = Table(painter, y, {200, 160, 200, 240},
              {QStringLiteral("Отдел"), QStringLiteral("Разговоров"),
               QStringLiteral("К оплате, мин"), QStringLiteral("Стоимость")},
              rows, {false, true, true, true});
  }
  painter.end();
  if (!QFileInfo(path).exists() || QFileInfo(path).size() == 0) {
    *error = QStringLiteral("Не удается записать файл %1").arg(path);
    return false;
  }
  return true;
}
