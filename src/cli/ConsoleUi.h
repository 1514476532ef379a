#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QSet>

#include "core/base/OperatorUi.h"

class QIODevice;

// The operator of the command line, who is not there: every message goes to standard error in
// the program's own words, every question is answered "No" (which leaves the station alone)
// unless the command was told to answer "Yes", and on a terminal the record read shows a
// progress bar.
class ConsoleUi : public OperatorUi {
 public:
  ConsoleUi(QIODevice& err, bool terminal, bool answerYes = false);

  void StartProgress(const QString& caption, quint16 maximum) override;
  void SetProgress(quint16 position) override;
  void EndProgress() override;

  QString InputBox(const QString&, const QString&, const QString& text) override { return text; }
  void ShowHelp(int) override {}

  // How much a line matters, as syslog numbers it: the journal files it by this. An alarm
  // of suspicious calls is critical; a first run's missing settings file only a notice.
  enum class Priority { kCritical = 2, kError = 3, kWarning = 4, kNotice = 5, kInfo = 6 };
  // Writes a line of the command's own to standard error.
  void Say(const QString& text, Priority priority = Priority::kError);

 protected:
  bool ShowBox(BoxKind kind, const QString& text, bool error) override;
  Cursor ScreenCursor() const override { return Cursor::Default; }
  void SetScreenCursor(Cursor) override {}

 private:
  void DrawBar(quint16 position);

  QIODevice& err_;
  bool terminal_;
  bool answerYes_;
  bool journal_;
  QSet<QString> noticesSaid_;
  bool barShown_ = false;
  int barMaximum_ = 0;
  int lastDrawn_ = -1;
  quint16 position_ = 0;
};

// The lines as the journal files them: each with its priority ("<3>") when `descriptor` (1 or
// 2) goes to the journal, as they are otherwise.
QByteArray WithPriority(int descriptor, ConsoleUi::Priority priority, const QString& lines);

class NorvelError;
// A failure to write an output file said as the final file's, whatever part of the work failed
// (a scratch file, a temporary one): "Не удается записать файл out.csv: No space left on
// device". Other failures, and output to standard output, as they stand.
QString WriteFailure(const QString& output, const NorvelError& error);

// How a command's summary line is filed: a success, or a stop asked for (SIGINT, SIGTERM), as
// information; "try again" as a warning; what needs a person as an error.
ConsoleUi::Priority SummaryPriority(int exitCode);
