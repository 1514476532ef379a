#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "core/costs/Alerts.h"

// An alert as it reaches a person: a mail through the system's sendmail interface to the rules
// file's addresses (root, the machine's administrator, when it names none), or the rules file's
// command for a chat hook, which gets the same text on its standard input and the subject, the
// level and the count in NORVEL_ALERT_SUBJECT, NORVEL_ALERT_LEVEL and NORVEL_ALERT_COUNT.
struct AlertMessage {
  QString subject;  // "Norvel office1: тревога, 3 подозрительных случая"
  QString level;    // the highest level among the findings
  int count = 0;
  QString body;  // the findings and their calls as the record viewer shows them
};

AlertMessage ComposeAlert(const QString& station, const std::vector<const AlertFinding*>& findings);

// The mail as sendmail takes it: headers (the subject in RFC 2047 words) and the UTF-8 body.
QByteArray AlertMail(const AlertMessage& message, const QStringList& to);

// Hands the message to sendmail or the command and waits for it (at most a minute); false with
// the reason when it could not be run or did not end with 0.
bool DeliverAlert(const AlertRules& rules, const AlertMessage& message, QString* reason);
