#pragma once

#include <QElapsedTimer>

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

  // How much a line matters, as syslog numbers it: the journal files it by this.
  enum class Priority { kError = 3, kWarning = 4, kInfo = 6 };
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
  bool barShown_ = false;
  int barMaximum_ = 0;
  int lastDrawn_ = -1;
  quint16 position_ = 0;
};
