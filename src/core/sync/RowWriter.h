#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "core/costs/SubscriberDirectory.h"
#include "core/costs/Tariffs.h"
#include "core/files/CallExport.h"

class DatabaseConnection;

// A call's fields as the table takes them: its start as "YYYY-MM-DD HH:MM:00", and its zone,
// charged minutes and cost when the tariff table charges it.
struct CallFields {
  char start[20];
  const QByteArray* zone = nullptr;  // none: NULL zone, minutes and cost
  int chargedMinutes = 0;
  Money cost = 0;
  const QByteArray* name = nullptr;        // none: NULL
  const QByteArray* department = nullptr;  // none: NULL
};

// Writes a month file's rows into the table. The rows go through the database's own bulk
// path, on the connection Qt opened and inside its transaction: a statement prepared once and
// bound value by value for SQLite, COPY for PostgreSQL. Qt's own binding costs a string and a
// lookup per value, many times the database's work over a million rows.
class RowWriter {
 public:
  RowWriter(const QString& station, int month, const std::optional<Tariffs>& tariffs,
            const SubscriberDirectory* directory, bool rerate)
      : station_(station.toUtf8()), month_(month), tariffs_(tariffs), rerate_(rerate) {
    if (tariffs_) {
      for (const TariffZone& zone : tariffs_->zones) zones_.push_back(zone.name.toUtf8());
    }
    if (directory) {
      for (const auto& [subscriber, entry] : directory->Entries()) {
        names_[static_cast<size_t>(subscriber)] = entry.name.toUtf8();
        if (!entry.department.isEmpty()) {
          departments_[static_cast<size_t>(subscriber)] = entry.department.toUtf8();
        }
      }
    }
  }
  virtual ~RowWriter() = default;
  // A call with its record (CallRecordKey) and its occurrence among the file's calls of the same
  // start and record. A call the table holds already is left as it is, or, for a writer that
  // re-rates, given the zone, charged minutes and cost of its rating now.
  virtual void Add(const ExportRow& row, const QByteArray& record, int occurrence) = 0;
  // Sends what is gathered and ends the bulk write; nothing may be added after it.
  virtual void Finish() = 0;
  // Calls given so far, and those the table did not hold yet or re-rated (known once Finish has
  // run).
  qint64 Given() const { return given_; }
  qint64 Added() const { return added_; }

 protected:
  CallFields Fields(const ExportRow& row) const;

  QByteArray station_;
  int month_;
  const std::optional<Tariffs>& tariffs_;
  bool rerate_;
  std::vector<QByteArray> zones_;
  // By extension (20..43): the directory's name and department, empty for none.
  std::array<QByteArray, 44> names_;
  std::array<QByteArray, 44> departments_;
  qint64 given_ = 0;
  qint64 added_ = 0;
};

// The record of a call as the table keys it: subscriber, minutes (-1: unknown), city line, call
// type and number, blank-separated ("20 3 1 1 2345678").
QByteArray CallRecordKey(const ExportRow& row);

// The writer keeps a reference to the caller's tariffs: a temporary made from a Tariffs would be
// gone before the first row, so that is refused at compile time.
std::unique_ptr<RowWriter> MakeRowWriter(DatabaseConnection& c, const QString& station, int month,
                                         std::optional<Tariffs>&& tariffs,
                                         const SubscriberDirectory* directory, bool rerate = false,
                                         bool fresh = false) = delete;
// The writer of the connection's database: SQLite's or PostgreSQL's, each in a file of its own.
// A `fresh` month file was never synced, so the table cannot hold its calls yet: a database
// whose bulk path must otherwise go through a table of its own first may then write straight
// into calls, and fails the whole write if a call is there after all (the caller then writes
// the month again without `fresh`).
std::unique_ptr<RowWriter> MakeRowWriter(DatabaseConnection& c, const QString& station, int month,
                                         const std::optional<Tariffs>& tariffs,
                                         const SubscriberDirectory* directory, bool rerate = false,
                                         bool fresh = false);
std::unique_ptr<RowWriter> MakeSqliteRows(DatabaseConnection& c, const QString& station, int month,
                                          const std::optional<Tariffs>& tariffs,
                                          const SubscriberDirectory* directory, bool rerate);
std::unique_ptr<RowWriter> MakePostgresRows(DatabaseConnection& c, const QString& station,
                                            int month, const std::optional<Tariffs>& tariffs,
                                            const SubscriberDirectory* directory, bool rerate,
                                            bool fresh);
