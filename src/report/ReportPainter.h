#pragma once

#include <QString>
#include <QStringList>

#include "core/costs/CostReport.h"

class BillBook;
struct BillHeading;
class QPagedPaintDevice;
class QPainter;

// The monthly report drawn with QPainter, the same drawing for the printer, the print preview,
// a PDF and PNG images: the summary with its charts, the city lines' load with the lines-needed
// estimate, the longest and costliest calls and those outside working hours, one page per
// subscriber, then an appendix with every call outside working hours. The suspicious calls'
// pages follow the lists.
class ReportPainter {
 public:
  explicit ReportPainter(const ReportData& data);

  int PageCount() const;
  // Draws one page (from 0) into the painter's device, whose whole area is the page.
  void PaintPage(QPainter& painter, int index) const;

 private:
  void Summary(QPainter& painter) const;
  void LineLoad(QPainter& painter) const;
  void Lists(QPainter& painter) const;
  void SubscriberPage(QPainter& painter, int subscriber, const SubscriberReport& report) const;
  // Each department's totals and its subscribers (with a subscriber directory only).
  void Departments(QPainter& painter) const;
  // "Подозрительные вызовы": the findings counted by rule, then every finding with its calls.
  void AlertsPage(QPainter& painter, int page) const;
  // The appendix: every call outside working hours that the lists' page has no room for.
  void AppendixPage(QPainter& painter, int page) const;
  qint64 OutsideOnListPage() const;
  int AppendixPages() const;

  const ReportData& data_;
  std::vector<int> subscribers_;
  // The findings on each page of suspicious calls (at least one page, which may say "нет").
  std::vector<std::vector<size_t>> alertPages_;
  int departmentsPage_ = -1;
  int firstSubscriberPage_ = 3;
};

// All pages onto a printer or a PDF writer (a new page between pages).
void PrintReport(const ReportData& data, QPagedPaintDevice& device);
// The report as a PDF file; false with the reason when it cannot be written.
bool WriteReportPdf(const ReportData& data, const QString& path, QString* error);
// The report as PNG images: `path` for the first page, "name-2.png" and so on for the next.
bool WriteReportPngs(const ReportData& data, const QString& path, QStringList* written,
                     QString* error);
// The bills of every subscriber with all their calls, page after page, then a summary page of
// every subscriber's total and the grand total, as a PDF file. Every total is the sum of the
// rows above it: calls, charged minutes and cost of the charged calls.
bool WriteBillsPdf(const BillBook& book, const BillHeading& heading, const QString& path,
                   QString* error);
