#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <vector>

#include "FakeSerial.h"
#include "StationModel.h"

// The station emulator program, started on a private pseudo-terminal link of its own and
// stopped by its process id.
class EmulatorProcess {
 public:
  explicit EmulatorProcess(const station::StationOptions& options = {});
  ~EmulatorProcess();

  // Starts it and waits until it has printed its link path; false if it did not.
  bool Start();
  // Ends it with SIGTERM and waits; the memory dump is then readable.
  void Stop();
  void Signal(int number);

  const QString& LinkPath() const { return link_; }
  // Transactions heard so far, without their times: "R 1791 1", "W 741 01 03".
  QStringList Traffic() const;
  // Every line of the trace as written, with its time: transactions, cuts and stray bytes.
  QStringList Trace() const;
  // Times of the transactions, in seconds, in the same order.
  std::vector<double> TrafficTimes() const;
  // Waits until the emulator has said `text` on its standard error (since the last wait).
  bool WaitForMessage(const QString& text, int timeoutMs = 5000);
  // Waits until at least `count` transactions are in the trace.
  bool WaitForTraffic(int count, int timeoutMs = 10000) const;
  // Everything the emulator said on its standard error that no wait has taken.
  QByteArray Messages();
  // Station memory as the emulator left it (after Stop).
  QByteArray Memory() const;

 private:
  station::StationOptions options_;
  QTemporaryDir dir_;
  QString link_;
  QProcess process_;
  QByteArray messages_;
};
