#pragma once

class DatabaseConnection;

// 4: the suspicious calls the alert rules find, per station and month (table alerts);
// 3: each station's time zone, on PostgreSQL a call's start as a moment (timestamptz), and the
// subscriber's name and department;
// 2: calls keyed by what they are (station, start, record, occurrence), an archive; 1 kept them
// by month file and position. --init upgrades 1, 2 and 3 to 4 in one transaction.
inline constexpr int kSyncSchemaVersion = 4;

// Creates the tables when asked (upgrading an older version), and checks the schema's version.
// Throws DatabaseError when there are no tables, they are of another version, or a `calls`
// table of someone else's is there.
void CheckSchema(DatabaseConnection& c, bool init);

// Makes the table of the month files' kept states where it is missing (tables made before it
// came); false when the database does not let this role make it.
bool MonthStatesTable(DatabaseConnection& c);
