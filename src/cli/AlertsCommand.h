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
  int found = 0;   // new findings
  int alarms = 0;  // of them alarms
  bool delivered = false;
  bool failed = false;  // the rules, the tariffs, a month file or the seen list could not be read
  QString problem;
  // "alerts": {"found", "alarms", "delivered"} for a JSON summary.
  QJsonObject Json() const;
};

// Checks from..to, delivers the new findings when `deliver`, and remembers them as seen once
// they are delivered (or at once, when they are only printed). Each new finding (every one
// with `all`) is handed to `each` first, when there is one. `sendmail`, when given, takes the
// place of the rules file's (--sendmail: the unit hands its mail over SMTP).
AlertRun RunAlertCheck(const QString& dir, const QDate& from, const QDate& to, const QDate& today,
                       bool deliver, bool all, const QString& sendmail, ConsoleUi& ui,
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
