#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "core/costs/Alerts.h"

// An alert as it reaches a person: a mail through the system's sendmail interface to the rules
// file's addresses (root, the machine's administrator, when it names none), or the rules file's
// command for a chat hook, which gets the same text on its standard input and the subject, the
// level and the count in NORVEL_ALERT_SUBJECT, NORVEL_ALERT_LEVEL and NORVEL_ALERT_COUNT. With
// `command_format = json` the command gets one JSON object instead: station, subject, level,
// count and the findings as `norvel alerts --json` gives them.
struct AlertMessage {
  QString subject;  // "Norvel office1: тревога, 3 подозрительных случая"
  QString level;    // the highest level among the findings
  int count = 0;
  QString body;     // the findings and their calls as the record viewer shows them
  QByteArray json;  // the same for a command that asks for JSON
};

// The JSON object of a message and its findings.
QByteArray AlertJson(const QString& station, const AlertMessage& message,
                     const std::vector<const AlertFinding*>& findings);

AlertMessage ComposeAlert(const QString& station, const std::vector<const AlertFinding*>& findings);

// The mail as sendmail takes it: headers (the subject in RFC 2047 words) and the UTF-8 body.
QByteArray AlertMail(const AlertMessage& message, const QStringList& to);

// Hands the message to sendmail or the command and waits for it (at most a minute); false with
// the reason when it could not be run or did not end with 0. A `sendmail` of the form
// smtp://HOST[:PORT] hands the mail over SMTP instead: a sandboxed service cannot run a
// set-user-ID sendmail, and the machine's mail server listens on localhost:25.
bool DeliverAlert(const AlertRules& rules, const AlertMessage& message, QString* reason);

// "smtp://HOST[:PORT]" (an IPv6 address in brackets), port 25 when none is given; false when
// it is no such address.
bool ParseSmtpAddress(const QString& address, QString* host, quint16* port);

// One SMTP conversation: the mail from `from` to every address of `to` (an address without a
// domain is the server's own local user, user@localhost). Each step waits at most a minute;
// false with the server's words (or the system's) when any of them fails.
bool SendMailOverSmtp(const QString& address, const QString& from, const QStringList& to,
                      const QByteArray& mail, QString* reason);
