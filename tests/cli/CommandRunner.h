#pragma once

#include <QBuffer>
#include <QString>
#include <QStringList>

#include "cli/NorvelCommand.h"

// Runs `norvel` in-process, in a working directory, and keeps what it wrote on each output.
class CommandRunner {
 public:
  CommandRunner(Clock& clock, SerialPortFactory& ports) : clock_(clock), ports_(ports) {}

  int Run(const QString& dir, const QStringList& arguments) {
    out_.close();
    err_.close();
    out_.setData({});
    err_.setData({});
    out_.open(QIODevice::ReadWrite);
    err_.open(QIODevice::ReadWrite);
    CommandIo io{clock_, ports_, out_, err_, false, dir};
    return RunNorvel(arguments, io);
  }
  const QByteArray& OutBytes() const { return out_.data(); }
  QString Out() const { return QString::fromUtf8(out_.data()); }
  QString Err() const { return QString::fromUtf8(err_.data()); }

 private:
  Clock& clock_;
  SerialPortFactory& ports_;
  QBuffer out_;
  QBuffer err_;
};
