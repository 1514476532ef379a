#pragma once

#include <QDate>
#include <QString>
#include <functional>
#include <vector>

#include "core/base/Errors.h"
#include "core/sync/DatabaseTarget.h"
#include "core/sync/Schema.h"
#include "core/sync/StationIdentity.h"

// Copies the calls of a working directory's month files into a database table `calls`, where
// the calls of many stations and years can be queried together: an SQLite file (no server) or
// a PostgreSQL server, both through Qt SQL. The table is an archive: a call is keyed by what it
// is (station, start, record, and an occurrence number for exact repeats), so a month file that
// is rotated, deleted or started afresh never takes rows away; only a prune does.
//
// For each month file the database keeps how far it was synced and a hash of that part. A
// file that only grew gets its new calls; a file whose synced part changed (edited, cut back
// after a crash) is read again whole and adds what the table lacks. Each month file's change is
// one transaction: a sync that fails midway leaves the month as it was before.

struct SyncOptions {
  QString dir;
  StationIdentity station;
  DatabaseTarget target;
  bool init = false;  // create the tables (and their index) when they are missing
  // The identity is new: its file is written once the database has taken the name, so that a
  // first sync that fails leaves the name still to be chosen.
  bool newStation = false;
  bool nameChosen = false;  // the name was given on the command line
  // The zone of the station's clock (an IANA name such as "Europe/Moscow"), for a station new
  // to the database; empty: this machine's. A station keeps the zone it was registered with.
  QString timezone;
  // Delete the station's calls that started before this day, and record it (retention); the
  // sync never adds them back.
  QDate pruneBefore;
  // Give the station's stored calls (of one month file, 1..12; 0: all) the zone, charged
  // minutes and cost of the working directory's tariff file as it is now.
  bool rerate = false;
  int rerateMonth = 0;
  // The station's last reception, recorded with the run: its moment and result (empty: none
  // known), so that a view of the archive shows how the collection itself stands.
  QString receptionAt;
  QString receptionResult;
  // Called after every 10000 rows of a month file and once when its rows are all written, with
  // the rows so far; tests use it to cut the connection in the middle of a sync.
  std::function<void(const QString& file, qint64 rows)> afterBatch;
};

struct SyncedFile {
  QString file;        // "Data12.txt"
  qint64 added = 0;    // rows inserted
  qint64 removed = 0;  // rows deleted before a whole re-sync
  bool resynced = false;
  // The file only grew and its figures and findings went on from what the sync before kept,
  // reading what is new (and the latest day's calls, for the rules).
  bool resumed = false;
};

struct SyncResult {
  QString station;   // the name the calls were stored under
  QString timezone;  // the zone its starts were read in
  qint64 added = 0;
  qint64 removed = 0;
  qint64 pruned = 0;               // calls deleted by --prune-before
  qint64 rerated = 0;              // stored calls given the tariff file's costs again
  int unchanged = 0;               // month files with nothing new
  std::vector<SyncedFile> files;   // the month files that changed something
  QStringList notes;               // last lines without their line end, left for the next sync
  qint64 statements = 0;           // the statements sent (a round trip each to a server)
  bool costs = false;              // a tariff file gave zones and costs
  bool stationRegistered = false;  // the station's name was new to the database
  qint64 alerts = 0;               // findings of the alert rules kept for the changed months
  QString alertsProblem;           // the rules file's mistake: no findings were kept
  // Months whose findings the database refused, each with its reason; their calls and figures
  // were stored all the same.
  QStringList alertsNotStored;
};

// Syncs every month file of the directory, month after month; `result` holds the months
// committed so far also when one fails. Throws DatabaseError for the database's faults,
// ConvertError for a month file line that is no call (that month is left as it was), IoError
// for a file that cannot be read, and ConvertError for a bad tariff file, or none to re-rate
// with (nothing synced).
void SyncCalls(const SyncOptions& options, SyncResult& result);
