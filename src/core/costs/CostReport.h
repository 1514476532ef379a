#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "core/costs/Alerts.h"
#include "core/costs/SubscriberDirectory.h"
#include "core/costs/Tariffs.h"
#include "core/files/CallExport.h"

// Which calls a report or a bill covers: a month of one year (the latest in the month file by
// default), optionally one day and one subscriber.
struct ReportChoice {
  int month = 0;
  int year = 0;        // 0: the latest in the file
  int day = 0;         // 0: all days
  int subscriber = 0;  // 0: all subscribers
};

// A call as the report lists it.
struct ReportCall {
  ExportRow row;
  Rated rated;
};

struct ZoneTotals {
  qint64 calls = 0;
  qint64 minutes = 0;  // charged minutes
  Money cost = 0;
};

struct SubscriberReport {
  qint64 calls = 0;
  qint64 minutes = 0;          // as recorded, calls of unknown length left out
  qint64 unknownDuration = 0;  // calls the station gave no valid length
  Money cost = 0;
  std::map<int, ZoneTotals> zones;     // by zone index
  std::vector<ReportCall> firstCalls;  // the first calls of the month, in file order
  qint64 callsNotListed = 0;
};

// The month in figures: what the summary, the line load, the lists and the subscribers' pages
// show. Built in one pass over the month file.
struct ReportData {
  ReportChoice choice;
  int year = 0;
  qint64 otherYearsLeftOut = 0;
  qint64 outOfRange = 0;   // calls with values no station gives, read as they stand
  int unfinishedLine = 0;  // a last line without its line end, left out
  int cityLines = 0;       // the station's, 2 per board
  std::optional<Tariffs> tariffs;
  std::optional<SubscriberDirectory> directory;  // names and departments, when there is a file
  bool byDepartment = false;                     // subscriber pages in departments' order

  qint64 calls = 0;
  qint64 minutes = 0;
  qint64 unknownDuration = 0;
  qint64 notCharged = 0;
  qint64 noZone = 0;
  Money cost = 0;
  std::map<int, ZoneTotals> zones;
  std::map<int, SubscriberReport> subscribers;
  std::array<qint64, 32> callsPerDay{};                        // index: day of the month
  std::array<std::array<qint64, 24>, 32> callsByDayAndHour{};  // day of the month, hour

  // City-line load by hour of the day: the traffic in erlangs (busy line-minutes over the
  // minutes of that hour in the period) and the most lines busy at once in that hour.
  int periodDays = 0;
  std::array<double, 24> erlangs{};
  std::array<int, 24> peakBusy{};
  // The busy hour. For a month, as traffic engineering takes it (after ITU-T E.500): the working
  // days only (Monday to Friday), the hours within the working hours, and for each hour the
  // mean of its traffic over the busiest `busyDays` of those days (the ten busiest, or all when
  // fewer); the hour with the highest mean, the same hour every day. For one day, its busiest
  // hour.
  int busyHour = 0;
  double busyHourTraffic = 0;  // erlangs, as above
  int workingDays = 0;         // the working days of the period
  int busyDays = 0;            // those the busy hour's traffic is the mean of
  // Minutes of the busy hour on those days when every line of the station was busy at once: the
  // calls that found no line were not recorded, so the recorded load is then too low to tell.
  int allBusyMinutes = 0;
  bool linesCannotBeEstimated = false;
  bool cityLinesAssumed = false;  // the station's line count is not known: 4 assumed
  // The calls name a line beyond the count given: the count is the highest line they name.
  bool cityLinesFromCalls = false;
  int peakBusyOverall = 0;
  double blockingAtBusyHour = 0;  // Erlang B with the station's lines
  int linesForOnePercent = 0;     // at least: the recorded traffic is a lower bound
  static constexpr int kBusyDays = 10;
  // All lines busy for more than this share of the busy hour: no estimate.
  static constexpr double kAllBusyShare = 0.05;

  std::vector<ReportCall> longest;    // the ten longest, longest first
  std::vector<ReportCall> costliest;  // the ten costliest, costliest first
  qint64 outsideWorkingHours = 0;
  // Every one of them, in file order, for the report's appendix: the only part of the report
  // that grows with the month (by the calls outside working hours alone).
  std::vector<ReportCall> outside;

  // The month before, for comparison: its figures when its month file holds calls of it (a
  // report of a whole month only).
  struct Previous {
    int year = 0;
    int month = 0;
    qint64 calls = 0;
    qint64 minutes = 0;
    Money cost = 0;
    double busyHourTraffic = 0;
    std::map<int, SubscriberReport> subscribers;  // for the departments' comparison
  };
  std::optional<Previous> previous;

  // The suspicious calls of the period as norvel alerts finds them, every one whether told
  // before or not (of the chosen subscriber only, when there is one), and the rules file's
  // mistake when it could not be read.
  std::vector<AlertFinding> alerts;
  bool alertsBuiltIn = true;  // the built-in rules: there is no rules file
  QString alertsProblem;

  // Told after each page drawn, with the pages so far and all of them (a long appendix).
  std::function<void(qint64 done, qint64 total)> progress;

  static constexpr int kListed = 10;
  static constexpr int kSubscriberListed = 40;
};

// Each department's totals (the subscribers of none, or all without a directory, in "без
// отдела"), by its name.
std::map<QString, SubscriberReport> DepartmentTotals(
    const std::map<int, SubscriberReport>& subscribers, const SubscriberDirectory* directory);

// The report's figures summed call by call over a month file's chosen calls. A sync keeps the
// sums between two syncs of the file, so that calls added at its end are summed without reading
// the month again; a tally resumed so gives the figures, not the lists of calls.
class MonthTally {
 public:
  MonthTally(const ReportChoice& choice, int cityLines, std::optional<Tariffs> tariffs,
             bool listOutside);
  void Add(const ExportRow& row);
  // The figures of the calls added, with the line load worked out from them.
  ReportData Finish(const ExportSelection& selection) const;
  QByteArray Save() const;
  // Back to saved sums; false for ones this program cannot read.
  bool Resume(const QByteArray& saved);

 private:
  ReportData data_;
  // Each city line's calls as a difference array over the minutes of the period and the day
  // after it (see Add).
  std::array<std::vector<int>, kMaxCityLines + 1> lineChange_;
  int highestLine_ = 0;
  bool listOutside_;
};

// Builds the report's figures from the working directory's month file, tariff file (none: no
// costs) and subscriber directory. Throws as ForEachExportRow and LoadTariffs do.
// `figuresOnly`: the figures a summary keeps (the sync's month figures), without the month
// before and without the list of calls outside working hours, which only pages show.
ReportData BuildReport(const QString& dir, const ReportChoice& choice, int cityLines,
                       bool figuresOnly = false);

// The station's city lines as the working directory's settings file says (two per board), read
// without a word to the operator: 4 lines when the file is missing or its count is no station's.
int StationCityLines(const QString& dir, bool* known = nullptr);

// What the recorded calls say of the station's lines, in the report's words: the recorded load
// is a lower bound, so "не менее"; with every line busy at once too long, no estimate at all.
QString LineVerdict(qint64 calls, bool cannotEstimate, int allBusyMinutes, int linesNeeded,
                    int cityLines);

// The Russian name of a month, 1..12 ("декабрь").
QString MonthName(int month);
