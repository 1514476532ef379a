#pragma once

#include <QDate>
#include <QHash>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

#include "core/costs/AlertRules.h"
#include "core/files/CallExport.h"

// What a rule found: one call, a subscriber's day or night above its usual, or a burst of
// calls, with the numbers that were compared.
struct AlertFinding {
  QString rule;
  AlertRule::Level level = AlertRule::Level::kWarning;
  AlertRule::Kind kind = AlertRule::Kind::kCall;
  QString why;
  std::vector<ExportRow> calls;  // the first kListedCalls of them, in file order
  qint64 callCount = 0;
  int subscriber = 0;  // 0 when the finding is a city line's
  int cityLine = 0;
  // Who the subscriber is, from NorvelSubscribers.txt, where the check was given it.
  QString name;
  QString department;
  // The same finding has the same key in every check: the seen list remembers keys. It begins
  // with the finding's day, "yyyy-MM-dd".
  QString key;
  // The keys of the further calls an incident gathered (see AlertIncidents).
  QStringList alsoKeys;

  static constexpr size_t kListedCalls = 50;
};

// Calls of one subscriber that one call rule flags within an hour of the one before are one
// incident: one finding with their count, first and last time, and every call's key. A burst
// of 30 calls abroad is one alarm, not 30. The findings keep their order.
std::vector<AlertFinding> AlertIncidents(const std::vector<const AlertFinding*>& findings);

struct AlertCheck {
  std::vector<AlertFinding> findings;  // by their first call's start
  qint64 callsChecked = 0;
  // What the rules could not look at, for the operator ("…: нет файла тарифов").
  QStringList notes;

  bool HasAlarm() const;
};

// Checks the calls of the days from..to (inclusive) of the working directory's month files
// against the rules; the usual of a subscriber is taken from the 8 weeks before each day. The
// month files are streamed, so the memory does not grow with their size. Throws as
// ForEachExportRow does.
AlertCheck FindAlerts(const QString& dir, const AlertRules& rules,
                      const std::optional<Tariffs>& tariffs, const QDate& from, const QDate& to);

// The alert check of a month as a sync keeps it between two syncs of the month file, so that
// calls added at the file's end are checked without reading the month and its weeks before
// again. It is fed what FindAlerts reads, in the same order: the calls from HistoryFrom on,
// month file after month file, each in file order.
class AlertCheckState {
 public:
  AlertCheckState(const AlertRules& rules, const std::optional<Tariffs>& tariffs, const QDate& from,
                  const QDate& to);
  ~AlertCheckState();
  AlertCheckState(const AlertCheckState&) = delete;
  AlertCheckState& operator=(const AlertCheckState&) = delete;

  QDate HistoryFrom() const;
  void Row(const ExportRow& row);
  // What the calls so far leave for the calls of `since` and later days: the days' sums and
  // hours the rules compare with, and who called when. Empty when a check resumed from it
  // would not find what a whole check finds: a run of calls going on at that midnight.
  QByteArray Save(const QDate& since) const;
  // Back to a saved state; false for one this program cannot read. The findings given then
  // are those of the calls fed after it, and of the days from its `since` on.
  bool Resume(const QByteArray& saved, const QDate& since);
  // As FindAlerts does after its first pass: true when the days above their usual want their
  // calls, given to UsualCalls once more (the days from `since` on, after a Resume).
  bool UsualFindings();
  void UsualCalls(const ExportRow& row);
  AlertCheck Finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A finding as `norvel alerts --json` and a JSON command hook give it.
QJsonObject AlertFindingJson(const AlertFinding& finding);

// A call as the record viewer shows it.
QString AlertCallLine(const ExportRow& row);
// "тревога: Правило: why" and the calls under it, as a mail or a terminal shows a finding.
QStringList AlertFindingLines(const AlertFinding& finding);

// The findings already told: NorvelAlerts.seen in the working directory, one key a line. Keys
// older than 400 days are dropped when it is saved.
class AlertSeenList {
 public:
  static constexpr char kFileName[] = "NorvelAlerts.seen";
  // Throws IoError when the file is there but cannot be read.
  explicit AlertSeenList(const QString& dir);
  bool Seen(const QString& key) const { return keys_.contains(key); }
  void Add(const QString& key) { keys_.insert(key); }
  // Findings are remembered by their rule's conditions, not its name, so that a renamed rule
  // tells nothing again. Keys a list kept under a rule's name are read as that rule's; true
  // when there were any, so that the list is saved with its new keys before a rename.
  bool Adopt(const AlertRules& rules);
  // Replaces the file whole; false with the system's reason.
  bool Save(const QDate& today, QString* reason) const;

 private:
  QString dir_;
  QSet<QString> keys_;
};

// Rules silenced until a day: NorvelAlerts.snooze beside the seen list, a line a rule,
// "IDENTITY|YYYY-MM-DD|name". A rule is known by its conditions, as its findings are, so a
// renamed rule stays silent.
class AlertSnoozes {
 public:
  static constexpr char kFileName[] = "NorvelAlerts.snooze";
  // Throws IoError when the file is there but cannot be read.
  explicit AlertSnoozes(const QString& dir);
  // Whether a finding of this key (see AlertFinding::key) falls in its rule's silence.
  bool Silenced(const QString& key) const;
  // Silences the rule to the day, inclusive; a day before `today` lifts its silence.
  void Set(const AlertRule& rule, const QDate& until, const QDate& today);
  // Replaces the file whole, silences that have ended left out; false with the system's reason.
  bool Save(const QDate& today, QString* reason) const;

 private:
  QString dir_;
  struct Silence {
    QDate until;
    QString name;
  };
  QHash<QString, Silence> silences_;
};
