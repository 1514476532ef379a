#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "core/costs/Tariffs.h"

// What counts as a suspicious call: the rules of the working directory's NorvelAlerts.txt, or
// the built-in ones when there is no such file, so that a station is watched from its first
// night. The file is written by hand in the tariff file's style:
//
//   station = Офис на Ленина             # the station's name in the alerts
//   mail = security@example.com          # where alerts are mailed (sendmail)
//   command = /usr/local/bin/chat-hook   # or a program that gets each alert on its input
//
//   [Международные вне рабочего времени]
//   level = тревога                      # or "предупреждение"
//   prefixes = 810, 00
//   when = outside_hours
//
// A rule on single calls takes any of prefixes, longer_than (minutes), cost_above (an amount,
// with a tariff file), subscribers and lines (lists), all of which must hold, and `when`:
// always (the default), outside_hours (outside working hours, days off included) or days_off
// (weekends and holidays). The working hours and the holidays are the tariff file's.
//
// `usual = calls|minutes|cost` with `times = K` (above 1, a decimal: 2.5) and optionally `part =
// day|night` finds a subscriber whose calls, minutes or cost in the working hours of a day (day) or
// the rest of it (night) are above K times its own usual: the median of the same weekday over the 8
// weeks before, with at least 4 of them known.
//
// `burst = N calls in M minutes` with `by = subscriber|line` finds N calls started within M
// minutes from one subscriber or on one city line, as an auto-dialler makes them.
struct AlertRule {
  enum class Level { kWarning, kAlarm };
  enum class Kind { kCall, kUsual, kBurst };
  enum class When { kAlways, kOutsideHours, kDaysOff };
  enum class Measure { kCalls, kMinutes, kCost };
  enum class Part { kBoth, kDay, kNight };

  QString name;
  Level level = Level::kWarning;
  Kind kind = Kind::kCall;
  When when = When::kAlways;
  int line = 0;  // its heading's line in the file; 0 for a built-in rule

  // A rule on single calls: every condition given must hold.
  QStringList prefixes;
  int longerThan = -1;  // minutes
  Money costAbove = -1;
  std::vector<int> subscribers;
  std::vector<int> cityLines;

  Measure measure = Measure::kMinutes;
  double times = 0;  // above 1: 3, 2.5
  Part part = Part::kBoth;

  int burstCalls = 0;
  int burstMinutes = 0;
  bool byLine = false;

  bool operator==(const AlertRule&) const = default;
};

struct AlertRules {
  std::vector<AlertRule> rules;
  QStringList mail;
  QString command;
  QString sendmail = QStringLiteral("/usr/sbin/sendmail");
  QString station;  // the station's name in an alert; the working directory's name without it
  bool builtIn = false;

  bool operator==(const AlertRules&) const = default;
};

inline constexpr char kAlertRulesFileName[] = "NorvelAlerts.txt";

// "тревога" or "предупреждение".
QString AlertLevelName(AlertRule::Level level);

// Calls outside working hours (or on days off) to international numbers, and any call outside
// working hours longer than 60 minutes, as alarms.
AlertRules BuiltInAlertRules();

// The working directory's rules, or the built-in ones when there is no file. A file with any
// mistake throws ConvertError naming the file, the line and the mistake: nothing is checked
// with half the rules.
AlertRules LoadAlertRules(const QString& dir);
AlertRules ParseAlertRules(const QString& text, const QString& fileName);

// The rules in the file's own syntax, to start a file from.
QString AlertRulesText(const AlertRules& rules);
