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
//
// `silent_days = N` finds a subscriber's first call after N days without one, while the records
// reach back that far: an extension nobody uses that begins to call.
//
// Any rule may leave subscribers out (`except_subscribers`); a rule on calls or bursts may leave
// numbers out by their prefixes (`except_numbers`) and look only at a time of day (`hours =
// 22:00-07:00`, across midnight when the end comes first). With `own_hours = yes` a rule
// looking outside working hours leaves out calls in a subscriber's own hours: times of day in
// which the subscriber called on at least 3 days of the same kind (working days, days off) of
// the 8 weeks before, within half an hour either side. A usual-based rule may ask for at least
// a value (`at_least`) and take the usual as at least a floor (`usual_floor`), so that a quiet
// subscriber's third call of a day is no alarm.
struct AlertRule {
  enum class Level { kWarning, kAlarm };
  enum class Kind { kCall, kUsual, kBurst, kSilence };
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

  int silentDays = 0;

  qint64 atLeast = 0;     // a usual-based finding's least value, in the measure's units
  qint64 usualFloor = 0;  // the least usual; below it the floor is taken
  std::vector<int> exceptSubscribers;
  QStringList exceptNumbers;
  int hoursFrom = -1;  // minutes of the day; -1 for the whole day
  int hoursTo = -1;
  bool ownHours = false;

  // The rule's conditions, its name and level left out: what a finding of it is remembered
  // by, so that renaming a rule tells nothing again.
  QString Identity() const;

  bool operator==(const AlertRule&) const = default;
};

struct AlertRules {
  std::vector<AlertRule> rules;
  QStringList mail;
  QString command;
  bool commandJson = false;  // the command gets the findings as JSON, not the mail's text
  QString sendmail = QStringLiteral("/usr/sbin/sendmail");
  QString station;  // the station's name in an alert; the working directory's name without it
  bool builtIn = false;

  bool operator==(const AlertRules&) const = default;
};

inline constexpr char kAlertRulesFileName[] = "NorvelAlerts.txt";

// The keys of the file: before the first rule, and in a rule. The README and the manual page
// list each of them.
inline constexpr char kAlertGlobalKeys[] = "station mail command command_format sendmail";
inline constexpr char kAlertRuleKeys[] =
    "level prefixes longer_than cost_above subscribers lines when usual times part at_least "
    "usual_floor burst by silent_days except_subscribers except_numbers hours own_hours";
inline constexpr int kMostSilentDays = 56;

// "тревога" or "предупреждение".
QString AlertLevelName(AlertRule::Level level);

// Calls outside working hours (or on days off) to international numbers, and any call outside
// working hours longer than 60 minutes, each outside the subscriber's own hours, as alarms; a
// day of at least 10 calls and three times the usual (taken as at least 5) as a warning; a
// subscriber's first call after 28 silent days as an alarm.
AlertRules BuiltInAlertRules();

// The working directory's rules, or the built-in ones when there is no file. A file with any
// mistake throws ConvertError naming the file, the line and the mistake: nothing is checked
// with half the rules.
AlertRules LoadAlertRules(const QString& dir);
AlertRules ParseAlertRules(const QString& text, const QString& fileName);

// The rules in the file's own syntax, to start a file from.
QString AlertRulesText(const AlertRules& rules);
