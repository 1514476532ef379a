#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>

// What the last `norvel receive` in a working directory did, kept in a file of its own beside
// the month files ("NorvelLastReception.json": the command's JSON summary and its moment), for
// `norvel status` and whatever monitors the collection.
inline constexpr char kLastReceptionName[] = "NorvelLastReception.json";
// The moment in the PC's local time, as the month files and the settings file keep theirs.
inline constexpr char kLastReceptionTimeFormat[] = "yyyy-MM-ddTHH:mm:ss";

// Replaces the file whole; false when it cannot be written (the reception itself stands).
bool WriteLastReception(const QString& dir, QJsonObject summary, const QString& moment);
// The summary with its "time", none when there is no file or it is no JSON object.
std::optional<QJsonObject> ReadLastReception(const QString& dir);

// What the last `norvel sync` into each database did, in "NorvelLastSync.json" beside the month
// files: one object whose keys are the databases as `DatabaseTarget::Describe` names them (no
// password) and whose values are the sync's JSON summary with its "time".
inline constexpr char kLastSyncName[] = "NorvelLastSync.json";

// Replaces this database's entry and keeps the others; false when the file cannot be written.
bool WriteLastSync(const QString& dir, const QString& database, QJsonObject summary,
                   const QString& moment);
// Every database's last sync; empty when there is no file or it is no JSON object.
QJsonObject ReadLastSyncs(const QString& dir);
