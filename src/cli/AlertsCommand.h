#pragma once

#include <QDate>
#include <QJsonObject>
#include <QString>
#include <functional>

class ConsoleUi;
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
// with `all`) is handed to `each` first, when there is one.
AlertRun RunAlertCheck(const QString& dir, const QDate& from, const QDate& to, const QDate& today,
                       bool deliver, bool all, ConsoleUi& ui,
                       const std::function<void(const AlertFinding&)>& each = {});

// The default days: from the first of the month before to today, so that the last night of a
// month is still looked at after the turn of the month.
QDate DefaultAlertsFrom(const QDate& today);
