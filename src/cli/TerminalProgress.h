#pragma once

#include <QString>

class Clock;
class QIODevice;

// A line on the terminal for a long piece of work (bills drawn page after page): nothing for
// work done within two seconds, then "Счета: 45 % (8200 из 18196 разговоров)" redrawn in place
// at most five times a second, and a line end when the work is over. Nothing at all where
// standard error is not a terminal (a log or the journal wants no redrawn lines).
class TerminalProgress {
 public:
  TerminalProgress(QIODevice& err, bool terminal, Clock& clock, const QString& caption,
                   const QString& unit);
  ~TerminalProgress();
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;

  void Update(qint64 done, qint64 total);

 private:
  static constexpr qint64 kQuietMs = 2000;
  static constexpr qint64 kRedrawMs = 200;
  void Draw();

  QIODevice& err_;
  bool terminal_;
  Clock& clock_;
  QString caption_;
  QString unit_;
  qint64 started_;
  qint64 drawn_ = -1;  // tick of the last drawing; -1: none yet
  qint64 done_ = 0;
  qint64 total_ = 0;
};
