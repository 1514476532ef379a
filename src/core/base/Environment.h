#pragma once

#include <QDir>
#include <QString>

class OperatorUi;
class Clock;
class SerialPortFactory;

// What the program's logic needs from its surroundings: the operator, time, serial ports and
// the working directory where it keeps its files under bare names. The application hands in the
// real ones; tests hand in fakes.
struct Environment {
  OperatorUi& ui;
  Clock& clock;
  SerialPortFactory& ports;
  QString workDir;

  QString FilePath(const QString& bareName) const { return QDir(workDir).filePath(bareName); }
};
