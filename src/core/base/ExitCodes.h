#pragma once

// The exit codes of `norvel` (and of `norvel-web`, which uses the same meanings), in one place:
// the help text, the manual page and the README all list this table (a test holds them to it). The
// codes that need a person are chosen outside 3 to 7 and 64 to 78, to which systemd gives names of
// their own (3 would read NOTIMPLEMENTED, 4 NOPERMISSION) that would mislead whoever reads
// `systemctl status`.
namespace exitcode {
inline constexpr int kOk = 0;                   // stored, or nothing to store; export written
inline constexpr int kNoAnswer = 1;             // try again: no answer, a failed read, busy
inline constexpr int kUsage = 2;                // the command line is wrong
inline constexpr int kSettingsNotWritten = 10;  // the settings file could not be written
inline constexpr int kDeviceFault = 12;         // the port's device is missing or forbidden,
                                                // or a device server's name is unknown
inline constexpr int kFilesFailed = 13;         // the files or the lock need a person
inline constexpr int kInconsistent = 14;        // inconsistent header, station left alone
inline constexpr int kAlarms = 15;              // alerts: alarms among the new findings
inline constexpr int kHungUp = 129;             // SIGHUP (the terminal went): 128 + its number
inline constexpr int kInterrupted = 130;        // SIGINT (Ctrl-C): 128 + its number
inline constexpr int kTerminated = 143;         // SIGTERM (systemctl stop): 128 + its number
}  // namespace exitcode

// "SIGTERM", "SIGINT", for the summary line.
inline const char* TerminationName(int signal) {
  return signal == 15 ? "SIGTERM" : signal == 2 ? "SIGINT" : signal == 1 ? "SIGHUP" : "a signal";
}

struct ExitCodeMeaning {
  int code;
  bool needsPerson;  // a timer should not simply try again
  const char* meaning;
};

inline constexpr ExitCodeMeaning kExitCodes[] = {
    {exitcode::kOk, false, "calls stored, or nothing to store; export written"},
    {exitcode::kNoAnswer, false,
     "try again: the station did not answer or a read failed (the calls stay in the "
     "station), or another reception is running; sync: the database server could not be "
     "reached or the connection was lost (nothing half stored)"},
    {exitcode::kUsage, true,
     "usage: the command line is wrong, or asks for a PDF or PNG where the package "
     "norvelwin (which draws them) is not installed"},
    {exitcode::kSettingsNotWritten, true,
     "the calls were stored but the settings file could not be written; the journal keeps "
     "the reception until it can"},
    {exitcode::kDeviceFault, true,
     "the port's device is missing, or this user may not open it, or a device server's name is "
     "not known (receive: reasons device_missing, permission_denied and unknown_host); run "
     "norvel doctor. A device server that refuses or does not answer the connection is 1: try "
     "again"},
    {exitcode::kFilesFailed, true,
     "the files could not take the calls (rolled back; the calls stay in the station), the "
     "reception journal is damaged, or the lock file cannot be opened; export, bill, report: a "
     "month file or the tariff file could not be read, or the output written; sync: the "
     "database refused (no tables, a station name taken, its own error); alerts: the rules file "
     "or the seen list could not be read, or the alert not delivered"},
    {exitcode::kInconsistent, true,
     "the station's record header is inconsistent; the station was left alone"},
    {exitcode::kAlarms, true,
     "alerts: the rules found new suspicious calls, alarms among them (1: warnings only)"},
    {exitcode::kHungUp, false,
     "receive, config write, export, sync: stopped by SIGHUP (an SSH session dropped, a "
     "terminal closed), as for SIGINT"},
    {exitcode::kInterrupted, false,
     "receive, config write: stopped by SIGINT (Ctrl-C); the summary line says what was done "
     "(a reception cut short keeps its calls in the station or in its journal)"},
    {exitcode::kTerminated, false,
     "receive, config write: stopped by SIGTERM (systemctl stop), as for SIGINT"},
};
