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
