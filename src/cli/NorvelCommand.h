#pragma once

#include <QStringList>

#include "core/base/ExitCodes.h"

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

// Runs `norvel` with its arguments (without the program name); gives the exit code.
int RunNorvel(const QStringList& arguments, CommandIo& io);

// `norvel --help`: the commands and the exit codes.
QString NorvelHelpText();

// The commands, each with its arguments after the command's name.
int RunReceive(const QStringList& arguments, CommandIo& io);
int RunExport(const QStringList& arguments, CommandIo& io);
int RunBill(const QStringList& arguments, CommandIo& io);
int RunSync(const QStringList& arguments, CommandIo& io);
// Runs the web view's own program, installed beside the command, in the command's place.
int RunServe(const QStringList& arguments, CommandIo& io);
int RunStatus(const QStringList& arguments, CommandIo& io);
int RunAlerts(const QStringList& arguments, CommandIo& io);
int RunJournalCommand(const QStringList& arguments, CommandIo& io);
// Draws with Qt's GUI classes: the program makes a GUI application for it (offscreen).
int RunReport(const QStringList& arguments, CommandIo& io);
