#pragma once

#include <QString>
#include <memory>
#include <optional>

class DatabaseConnection;
class RowWriter;
class SubscriberDirectory;
struct Tariffs;

// What differs between the databases the archive may live in, asked of the database in hand:
// the schema, the sync and the web view never ask which database it is. One dialect per
// database, beside its row writer (SqliteRows.cpp, PostgresRows.cpp).
class SqlDialect {
 public:
  virtual ~SqlDialect() = default;

  // An expression giving a stored start (`expression`, a column or an aggregate of one) as the
  // station's clock shows it: "YYYY-MM-DD HH:MM", or with `seconds` "YYYY-MM-DD HH:MM:SS".
  virtual QString ClockText(const QString& expression, bool seconds) const = 0;
  // A statement of the schema in this database's words (its types), and for the table of calls
  // its way of storing the rows.
  virtual QString Schema(const QString& statement, bool callsTable) const = 0;
  // Whether the calls' starts get an index of their own beside the table's key.
  virtual bool IndexesStarts() const = 0;
  // A query counting the tables of one name (bound), from the catalogue; it never fails, so it
  // may run inside a transaction.
  virtual QString TableCountQuery() const = 0;
  // Has the session read and write starts in the zone: for the rest of the session, or with
  // `transactionOnly` for the transaction. Nothing where starts are kept as clock text.
  virtual void UseZone(DatabaseConnection& c, const QString& zone, bool transactionOnly) const = 0;
  // The upgrade from starts without a zone (schema version 2): their columns become moments,
  // read in the session's zone. Nothing where starts are kept as clock text.
  virtual void StartsBecomeMoments(DatabaseConnection& c) const = 0;
  // The writer of a month file's rows through this database's bulk path (see RowWriter).
  virtual std::unique_ptr<RowWriter> Rows(DatabaseConnection& c, const QString& station, int month,
                                          const std::optional<Tariffs>& tariffs,
                                          const SubscriberDirectory* directory, bool rerate,
                                          bool fresh) const = 0;
};

std::unique_ptr<SqlDialect> MakeSqliteDialect();
std::unique_ptr<SqlDialect> MakePostgresDialect();
