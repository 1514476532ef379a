#pragma once

class DatabaseConnection;

inline constexpr int kSyncSchemaVersion = 1;

// Creates the tables when asked, and checks the schema's version. Throws DatabaseError when
// there are no tables or they are of a newer version.
void CheckSchema(DatabaseConnection& c, bool init);
