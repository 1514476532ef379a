#pragma once

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QString>
#include <optional>

#include "core/costs/CostReport.h"

// What the sync keeps of a month file between two syncs, beside its rows, so that a file that
// only grew costs what is new: the hash of the synced bytes as it stood, the counts of the
// records at the latest start (for the new calls' occurrence numbers), the month's figures as
// sums, and the alert check as it stood before the latest day's calls.
struct MonthState {
  qint64 bytes = 0;     // the synced bytes it describes
  QByteArray inputs;    // what the figures and findings were read with (MonthInputs)
  QByteArray hash;      // Sha256::State after those bytes; empty: none
  QByteArray tailHash;  // the hash of their last 4 KiB, checked before going on from them
  // The latest start among the file's calls (LineStartMinute) and the count of each record
  // (CallRecordKey) starting then.
  qint64 lastMinute = -1;
  QHash<QByteArray, int> atLastMinute;
  // The year the figures are of, and their sums (MonthTally); year 0: none.
  int year = 0;
  QByteArray tally;
  // The calls of the year in file order: the latest day so far, the day of the calls at the
  // file's end and where they begin, and whether every call before them is of an earlier day.
  QDate latestDay;
  QDate runDay;
  qint64 runStart = -1;
  bool runLatest = false;
  // The alert check saved where that run of calls begins (AlertCheckState::Save); empty: none.
  QByteArray alerts;

  QByteArray Save() const;
  // Nothing for bytes this program did not write.
  static std::optional<MonthState> Load(const QByteArray& saved);
};

// The month's figures and findings as the sync stores them.
struct MonthFigures {
  int lines = 0;
  bool known = false;  // the line count came from NorvelWin.ini
  ReportData data;
  std::optional<AlertCheck> check;  // with readable rules
  // The findings are those of this day on, to replace the stored ones of the same days; none:
  // the whole month's.
  QDate since;
  MonthState state;  // its figures' and findings' part
};

// What a month's figures and findings depend on besides its own file: the tariff file, the
// subscriber directory, the rules, the line count and the other month files (the weeks the
// rules look back on), as a hash.
QByteArray MonthInputs(const QString& dir, int month, const AlertRules* rules);

// Reads the month file (and the weeks before it, for the rules) for its figures and findings:
// no database, so that it may run on a thread of its own while the rows are written.
MonthFigures ComputeMonthFigures(const QString& dir, int month, const AlertRules* rules);

// The same from a state kept by the sync before and the file's calls after it, up to `end`
// bytes; nothing when the state cannot be gone on from (other inputs, a call of a later year or
// of a day before the latest, a run of calls over midnight), and the month is then read whole.
std::optional<MonthFigures> ResumeMonthFigures(const QString& dir, int month,
                                               const AlertRules* rules, const MonthState& state,
                                               qint64 end);
