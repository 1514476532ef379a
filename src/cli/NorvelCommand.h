#pragma once

#include <QStringList>

class Clock;
class QIODevice;
class SerialPortFactory;

// What the command runs with: time, serial ports, its two outputs, and whether standard error
// is a terminal (for the progress bar). The program hands in the real ones, tests fakes.
struct CommandIo {
  Clock& clock;
  SerialPortFactory& ports;
  QIODevice& out;
  QIODevice& err;
  bool terminal = false;
  QString currentDir;
};

// Exit codes, as `norvel --help` lists them.
namespace exitcode {
inline constexpr int kOk = 0;            // stored, or nothing to store; export written
inline constexpr int kNoAnswer = 1;      // the station did not answer or a read failed
inline constexpr int kUsage = 2;         // the command line is wrong
inline constexpr int kFilesFailed = 3;   // the files could not take the records (rolled back)
inline constexpr int kInconsistent = 4;  // inconsistent header, station left alone
inline constexpr int kSettingsNotWritten = 10;  // the settings file could not be written
}  // namespace exitcode

// Runs `norvel` with its arguments (without the program name); gives the exit code.
int RunNorvel(const QStringList& arguments, CommandIo& io);

QString NorvelHelpText();
