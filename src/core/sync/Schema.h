#pragma once

class DatabaseConnection;

// 2: calls keyed by what they are (station, start, record, occurrence), an archive; 1 kept them
// by month file and position. --init upgrades 1 to 2 in one transaction.
inline constexpr int kSyncSchemaVersion = 2;

// Creates the tables when asked (upgrading an older version), and checks the schema's version.
// Throws DatabaseError when there are no tables, they are of another version, or a `calls`
// table of someone else's is there.
void CheckSchema(DatabaseConnection& c, bool init);
