#pragma once

#include <QStringList>
#include <functional>

#include "core/base/OperatorUi.h"

// An operator who is not there: every box is noted, every question gets the same answer, and
// nothing else is shown. For tests and fuzz targets whose inputs ask all sorts of things.
class QuietUi : public OperatorUi {
 public:
  explicit QuietUi(bool answer = false) : answer_(answer) {}

  QStringList boxes;
  // Runs while a box is open, as the world goes on meanwhile.
  std::function<void(const QString&)> onBox;

  void StartProgress(const QString&, quint16) override {}
  void SetProgress(quint16) override {}
  void EndProgress() override {}
  QString InputBox(const QString&, const QString&, const QString& text) override { return text; }
  void ShowHelp(int) override {}

 protected:
  bool ShowBox(BoxKind, const QString& text, bool) override {
    boxes << text;
    if (onBox) onBox(text);
    return answer_;
  }
  Cursor ScreenCursor() const override { return Cursor::Default; }
  void SetScreenCursor(Cursor) override {}

 private:
  bool answer_;
};
