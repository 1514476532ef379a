#pragma once

#include <QDate>
#include <QJsonObject>
#include <QString>
#include <functional>

#include "cli/ConsoleUi.h"

struct AlertFinding;

// A check for suspicious calls over some days of a working directory: the findings not told
// before, printed by `norvel alerts` and delivered by `--deliver` or `norvel receive --alerts`.
struct AlertRun {
  int found = 0;    // new findings
  int alarms = 0;   // of them alarms
  int snoozed = 0;  // new findings of silenced rules, remembered and not told
  bool delivered = false;
  bool failed = false;  // the rules, the tariffs, a month file or the seen list could not be read
  QString problem;
  // "alerts": {"found", "alarms", "delivered"} for a JSON summary.
  QJsonObject Json() const;
};

struct AlertCheckOptions {
  bool deliver = false;
  bool all = false;  // the findings told before too
  // Delivers a message when nothing is new too ("Подозрительных вызовов нет"), once a day, so
  // that a silent setup is told from a quiet station.
  bool digest = false;
  // A summary of the days, findings told before included, delivered as one message; the seen
  // list is neither read nor changed.
  bool summary = false;
  QString sendmail;  // takes the place of the rules file's (the unit hands mail over SMTP)
};

// Checks from..to, delivers the new findings when asked, and remembers them as seen once
// they are delivered (or at once, when they are only printed). Each new finding (every one
// with `all`) is handed to `each` first, when there is one. Findings of a silenced rule are
// remembered and not told.
AlertRun RunAlertCheck(const QString& dir, const QDate& from, const QDate& to, const QDate& today,
                       const AlertCheckOptions& options, ConsoleUi& ui,
                       const std::function<void(const AlertFinding&)>& each = {});

// The default days: from the first of the month before to today, so that the last night of a
// month is still looked at after the turn of the month.
QDate DefaultAlertsFrom(const QDate& today);

// How a finding is filed in the journal: an alarm as critical, a warning as a warning.
ConsoleUi::Priority AlertPriority(const AlertFinding& finding);

// Keeps how the check ended in NorvelLastAlerts.json for norvel status (a delivery that failed
// is a problem there until one succeeds); says it when even that cannot be written.
void RecordAlertRun(const QString& dir, const AlertRun& run, const QString& moment, ConsoleUi& ui);

class CommandLine;
// The --sendmail option of the commands that deliver; false (after saying why) when its value
// is neither a full path nor smtp://HOST[:PORT].
void AddSendmailOption(CommandLine& line);
bool SendmailOptionValid(CommandLine& line);
