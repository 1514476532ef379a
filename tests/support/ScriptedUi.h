#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "core/base/OperatorUi.h"

// The operator in tests. Every box must have been expected, in order; the box's kind, text and
// error flag are checked against the expectation and its answer comes from it. A box nobody
// expected, or an expected box that never came, fails the test.
class ScriptedUi : public OperatorUi {
 public:
  struct Box {
    BoxKind kind;
    QString text;
    bool error;
  };
  struct ProgressEvent {
    enum Kind { kStart, kSet, kEnd } kind;
    QString caption;
    int value;
  };

  ~ScriptedUi() override;

  // Expect a box; an empty text matches any text.
  ScriptedUi& Expect(BoxKind kind, const QString& text, bool error, bool answer = false);
  ScriptedUi& ExpectInfo(const QString& text, bool error) {
    return Expect(BoxKind::Info, text, error);
  }
  ScriptedUi& ExpectYesNo(const QString& text, bool error, bool answer) {
    return Expect(BoxKind::YesNo, text, error, answer);
  }
  ScriptedUi& ExpectYesCancel(const QString& text, bool error, bool answer) {
    return Expect(BoxKind::YesCancel, text, error, answer);
  }
  ScriptedUi& ExpectError(const QString& text) { return Expect(BoxKind::Error, text, true); }
  // Runs an action while the last expected box is open, as the operator might do meanwhile.
  ScriptedUi& Then(std::function<void()> action);
  // Answers for input boxes, in order.
  ScriptedUi& AnswerInput(const QString& answer);
  // Checks that every expected box came, and forgets them.
  void Verify();

  // Runs at every position the progress window is given, as a look at the screen would.
  std::function<void(quint16 position)> onProgress;

  const std::vector<Box>& Boxes() const { return boxes_; }
  const std::vector<ProgressEvent>& Progress() const { return progress_; }
  const QStringList& Inputs() const { return inputs_; }  // "caption|prompt" of each input box
  const std::vector<int>& HelpTopics() const { return help_; }
  Cursor CurrentCursor() const { return cursor_; }
  bool CursorBusyDuringBox() const { return busyDuringBox_; }

  void StartProgress(const QString& caption, quint16 maximum) override;
  void SetProgress(quint16 position) override;
  void EndProgress() override;
  QString InputBox(const QString& caption, const QString& prompt,
                   const QString& defaultText) override;
  void ShowHelp(int topic) override { help_.push_back(topic); }

 protected:
  bool ShowBox(BoxKind kind, const QString& text, bool error) override;
  Cursor ScreenCursor() const override { return cursor_; }
  void SetScreenCursor(Cursor cursor) override { cursor_ = cursor; }

 private:
  struct Expectation {
    BoxKind kind;
    QString text;
    bool error;
    bool answer;
    std::function<void()> action;
  };
  std::deque<Expectation> expected_;
  std::deque<QString> inputAnswers_;
  std::vector<Box> boxes_;
  std::vector<ProgressEvent> progress_;
  QStringList inputs_;
  std::vector<int> help_;
  Cursor cursor_ = Cursor::Default;
  bool busyDuringBox_ = false;
};

const char* BoxKindName(OperatorUi::BoxKind kind);
