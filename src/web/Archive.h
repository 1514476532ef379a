#pragma once

#include <QDate>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "core/costs/Tariffs.h"
#include "core/sync/DatabaseTarget.h"

class DatabaseConnection;

// What the web view reads from the central archive that `norvel sync` fills, read only: every
// query bound, never pasted together from what a visitor typed.
class Archive {
 public:
  // Opens a read-only connection; throws DatabaseError.
  explicit Archive(const DatabaseTarget& target);
  ~Archive();

  struct Station {
    QString name;
    QString timezone;
    QString lastSeen;         // the end of its last sync, "2026-12-07 06:00:12"; empty: never
    QString lastResult;       // "synced", "files_failed"
    QString receptionAt;      // the station's last reception as that sync found it; empty: unknown
    QString receptionResult;  // receive's reason: "stored", "nothing", "no_answer", ...
    qint64 calls = 0;         // this month
    Money cost = 0;
    Money lastMonthCost = 0;
    int alarms = 0;  // this month's suspicious calls, by level
    int warnings = 0;
  };
  // Every station with its last sync and reception, and the figures of `month` and the month
  // before.
  std::vector<Station> Stations(const QDate& month);

  struct Totals {
    QString what;  // a subscriber, a zone or a department
    QString name;
    qint64 calls = 0;
    qint64 minutes = 0;
    Money cost = 0;
  };
  struct Month {
    Totals all;
    std::vector<Totals> subscribers;  // what = the extension, name and department
    std::vector<Totals> zones;
    std::vector<Totals> departments;
    struct Load {
      QString station;
      int cityLines = 0;
      bool linesAssumed = false;
      int busyHour = 0;
      double traffic = 0;
      int workingDays = 0;
      int busyDays = 0;
      int allBusyMinutes = 0;
      bool cannotEstimate = false;
      double blocking = 0;
      int linesNeeded = 0;
    };
    std::vector<Load> loads;  // each station's, as its report gives it
    struct Alert {
      QString station;
      QString firstCall;
      QString rule;
      bool alarm = false;
      QString why;
      int calls = 0;
      QString callsText;  // the calls listed, as the record viewer shows them, a line each
    };
    std::vector<Alert> alerts;  // the suspicious calls the rules found, by their first call
  };
  // A month of one station, or of all (empty `station`).
  Month MonthOf(const QString& station, const QDate& month);

  struct Filter {
    QString station;  // empty: all
    int subscriber = 0;
    QString prefix;  // of the number
    QDate from;
    QDate to;  // the last day included
    int minMinutes = 0;
  };
  struct Call {
    QString station;
    QString start;  // "2026-12-07 09:05"
    int subscriber = 0;
    QString name;
    int minutes = -1;
    int cityLine = 0;
    QString number;
    QString zone;
    std::optional<Money> cost;
  };
  // A page of the calls the filter chooses, by start; one more than `count` is asked for, so
  // that the caller knows whether another page follows.
  std::vector<Call> Search(const Filter& filter, int offset, int count);
  std::vector<QString> StationNames();

 private:
  std::unique_ptr<DatabaseConnection> c_;
};
