#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <optional>

// What the last `norvel receive` in a working directory did, kept in a file of its own beside
// the month files ("NorvelLastReception.json": the command's JSON summary and its moment), for
// `norvel status` and whatever monitors the collection.
inline constexpr char kLastReceptionName[] = "NorvelLastReception.json";
// The moment in the PC's local time, as the month files and the settings file keep theirs.
inline constexpr char kLastReceptionTimeFormat[] = "yyyy-MM-ddTHH:mm:ss";

// Replaces the file whole; false with the system's reason when it cannot be written (the
// reception itself stands).
bool WriteLastReception(const QString& dir, QJsonObject summary, const QString& moment,
                        QString* reason = nullptr);
// The summary with its "time", none when there is no file or it is no JSON object.
// `damage` says what is wrong with a record file that is there but cannot be read.
std::optional<QJsonObject> ReadLastReception(const QString& dir, QString* damage = nullptr);

// What the last `norvel sync` into each database did, in "NorvelLastSync.json" beside the month
// files: one object whose keys are the databases as `DatabaseTarget::Describe` names them (no
// password) and whose values are the sync's JSON summary with its "time".
inline constexpr char kLastSyncName[] = "NorvelLastSync.json";

// Replaces this database's entry and keeps the others; false when the file cannot be written.
bool WriteLastSync(const QString& dir, const QString& database, QJsonObject summary,
                   const QString& moment, QString* reason = nullptr);
// Every database's last sync; empty when there is no file or it is no JSON object.
QJsonObject ReadLastSyncs(const QString& dir);

// How the last check for suspicious calls ended ("NorvelLastAlerts.json": found, alarms,
// delivered, failed, problem and its moment), so that an alert that was never delivered is
// seen by `norvel status`.
inline constexpr char kLastAlertsName[] = "NorvelLastAlerts.json";
bool WriteLastAlerts(const QString& dir, QJsonObject run, const QString& moment,
                     QString* reason = nullptr);
std::optional<QJsonObject> ReadLastAlerts(const QString& dir);

// A run that has begun and has not yet recorded how it ended. Recording happens at the very
// end, and may fail (a full disk) or never come (the process killed); so at the start the last
// record is renamed to "<name>.unfinished", which needs no free space, and a lock is held on
// it while the run goes on. The record written at the end takes its place again; a marker left
// behind with no run holding it tells `norvel status` that the last run did not say how it
// ended. Until then the marker keeps the record before, which the readers above fall back to.
class UnfinishedRun {
 public:
  UnfinishedRun(const QString& dir, const char* name);
  ~UnfinishedRun();
  UnfinishedRun(const UnfinishedRun&) = delete;
  UnfinishedRun& operator=(const UnfinishedRun&) = delete;

  // The record was written: the marker goes.
  void Recorded();

  // When a run of `name` began that neither recorded its end nor is still going; none when
  // there is no such run.
  static std::optional<QDateTime> Left(const QString& dir, const char* name);

 private:
  QString marker_;
  int lock_ = -1;
};
