#pragma once

#include <QSerialPort>

#include "core/link/SerialTransport.h"

// A real serial device (or a pseudo-terminal) through Qt's serial port.
class QtSerialTransport : public SerialTransport {
 public:
  bool Open(const QString& device) override;
  QString OpenError() const override { return openError_; }
  void Close() override;
  bool IsOpen() const override;
  bool Configure(const LineSettings& settings) override;
  bool Purge(bool receive, bool transmit) override;
  qint64 InQueue() override;
  qint64 OutQueue() override;
  qint64 Read(char* data, qint64 max) override;
  qint64 Write(const char* data, qint64 count) override;
  void WaitForInput(int milliseconds) override;
  void WaitForOutput(int milliseconds) override;
  void ClearError() override;
  bool NeedsAttention() override;
  bool HungUp() override;
  void Drain(int milliseconds) override;

  QtSerialTransport();

 private:
  QSerialPort port_;
  // The port reported that its device went away.
  bool lost_ = false;
  QString openError_;
};

class QtSerialPortFactory : public SerialPortFactory {
 public:
  std::unique_ptr<SerialTransport> CreateTransport() override;
};
