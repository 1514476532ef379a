#pragma once

#include <QIODevice>

// Standard output as the commands write to it, keeping the first write error: the exit code
// and a message must tell a full disk or a closed pipe, not end as if all were written.
class StandardOutput : public QIODevice {
 public:
  explicit StandardOutput(int descriptor);

  bool isSequential() const override { return true; }
  // The first write that failed, with the system's errno; 0 when none did.
  int Failure() const { return failure_; }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 size) override;

 private:
  int descriptor_;
  int failure_ = 0;
};
