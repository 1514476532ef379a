#pragma once

#include <QIODevice>
#include <QTemporaryDir>
#include <functional>
#include <map>
#include <memory>

#include "core/costs/CostReport.h"
#include "core/costs/SubscriberDirectory.h"

// The month's bills: every subscriber's calls with what each costs, and the totals per zone.
// One pass over the month file sorts the calls into one scratch file per subscriber, so the
// bills of a month of any size take the same memory; the calls are then read back subscriber
// by subscriber, in file order within each.
class BillBook {
 public:
  // Throws as ForEachExportRow does, and IoError when the scratch files cannot be written. The
  // subscriber directory of the working directory, when there is one, names the subscribers.
  BillBook(const QString& dir, const ReportChoice& choice, const Tariffs& tariffs);
  ~BillBook();
  BillBook(const BillBook&) = delete;
  BillBook& operator=(const BillBook&) = delete;

  const Tariffs& TariffTable() const { return tariffs_; }
  int Year() const { return year_; }
  qint64 OtherYearsLeftOut() const { return leftOut_; }
  qint64 OutOfRange() const { return outOfRange_; }
  int UnfinishedLine() const { return unfinishedLine_; }
  // Subscribers in order, with their totals.
  const std::map<int, SubscriberReport>& Subscribers() const { return subscribers_; }
  const SubscriberReport& All() const { return all_; }
  // Calls `each` for the subscriber's calls, in file order.
  void ForEachCall(int subscriber, const std::function<void(const ReportCall&)>& each) const;

  // What a call's zone column says: the zone's name, or why the call has no cost.
  QString ZoneText(const Rated& rated) const;

  // The subscriber directory; null when the working directory has none.
  const SubscriberDirectory* Directory() const { return directory_ ? &*directory_ : nullptr; }
  // The subscribers in the order of their bills: by number, or by department and then number.
  std::vector<int> Order(bool byDepartment) const;
  // Each department's totals (the subscribers of none in "без отдела"), by name.
  std::map<QString, SubscriberReport> Departments() const;

 private:
  struct Scratch;
  Tariffs tariffs_;
  std::optional<SubscriberDirectory> directory_;
  int year_ = 0;
  qint64 leftOut_ = 0;
  qint64 outOfRange_ = 0;
  int unfinishedLine_ = 0;
  std::map<int, SubscriberReport> subscribers_;
  SubscriberReport all_;
  QTemporaryDir dir_;
};

// What every page of the printed bills names: whose calls, of which month, rated by which file.
struct BillHeading {
  QString station;  // the station's name (NorvelStation.txt) or the working directory's
  QString period;   // "декабрь 2026"
  QString tariffs;  // "NorvelTariffs.txt от 01.12.2026"
  // Bills in departments' order, with each department's total in the summary.
  bool byDepartment = false;
  // Told now and then while the bills are drawn: the calls drawn so far, and all of them.
  std::function<void(qint64 done, qint64 total)> progress;
};

// Adds the zone and cost columns of the tariff table to an export's call rows.
void AddCostColumns(ExportOptions& options, const Tariffs& tariffs);
// Adds the name, department and cost centre of each call's subscriber after any columns added
// before.
void AddSubscriberColumns(ExportOptions& options, const SubscriberDirectory& directory);

// What a call's zone column says: the zone's name, or why the call has no cost.
QString ZoneText(const Tariffs& tariffs, const Rated& rated);

// The bills as CSV (UTF-8 with a byte order mark): one row per call (subscriber, date, time,
// number, zone, charged minutes, cost), each subscriber's totals per zone and in all after its
// calls, then the summary of every subscriber and the grand total. The totals count charged
// minutes, so that a zone's minimum shows in them.
// With a subscriber directory every row of a subscriber ends with its name and department; by
// department, the bills follow the departments and the summary gives each one's total.
void WriteBillsCsv(const BillBook& book, QIODevice& out, bool byDepartment = false);
