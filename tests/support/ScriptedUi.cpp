#include "ScriptedUi.h"

#include <gtest/gtest.h>

const char* BoxKindName(OperatorUi::BoxKind kind) {
  switch (kind) {
    case OperatorUi::BoxKind::Info:
      return "InfoBox";
    case OperatorUi::BoxKind::YesNo:
      return "YesNoBox";
    case OperatorUi::BoxKind::YesCancel:
      return "YesCancelBox";
    case OperatorUi::BoxKind::Error:
      return "ErrorBox";
  }
  return "?";
}

ScriptedUi::~ScriptedUi() {
  Verify();
}

ScriptedUi& ScriptedUi::Expect(BoxKind kind, const QString& text, bool error, bool answer) {
  expected_.push_back({kind, text, error, answer, {}});
  return *this;
}

ScriptedUi& ScriptedUi::Then(std::function<void()> action) {
  if (!expected_.empty()) expected_.back().action = std::move(action);
  return *this;
}

ScriptedUi& ScriptedUi::AnswerInput(const QString& answer) {
  inputAnswers_.push_back(answer);
  return *this;
}

void ScriptedUi::Verify() {
  for (const Expectation& e : expected_) {
    ADD_FAILURE() << "expected " << BoxKindName(e.kind) << " never came: " << e.text.toStdString();
  }
  expected_.clear();
  for (const QString& answer : inputAnswers_) {
    ADD_FAILURE() << "input answer never asked for: " << answer.toStdString();
  }
  inputAnswers_.clear();
}

bool ScriptedUi::ShowBox(BoxKind kind, const QString& text, bool error) {
  boxes_.push_back({kind, text, error});
  if (cursor_ == Cursor::Busy) busyDuringBox_ = true;
  if (expected_.empty()) {
    ADD_FAILURE() << "unexpected " << BoxKindName(kind) << " (error " << error
                  << "): " << text.toStdString();
    return false;
  }
  const Expectation e = expected_.front();
  expected_.pop_front();
  EXPECT_EQ(BoxKindName(e.kind), std::string(BoxKindName(kind))) << text.toStdString();
  if (!e.text.isEmpty()) {
    EXPECT_EQ(e.text.toStdString(), text.toStdString());
  }
  EXPECT_EQ(e.error, error) << "error flag of: " << text.toStdString();
  if (e.action) e.action();
  return e.answer;
}

void ScriptedUi::StartProgress(const QString& caption, quint16 maximum) {
  progress_.push_back({ProgressEvent::kStart, caption, maximum});
}

void ScriptedUi::SetProgress(quint16 position) {
  if (onProgress) onProgress(position);
  progress_.push_back({ProgressEvent::kSet, QString(), position});
}

void ScriptedUi::EndProgress() {
  progress_.push_back({ProgressEvent::kEnd, QString(), 0});
}

QString ScriptedUi::InputBox(const QString& caption, const QString& prompt,
                             const QString& defaultText) {
  inputs_ << caption + u'|' + prompt;
  if (inputAnswers_.empty()) {
    ADD_FAILURE() << "unexpected input box: " << caption.toStdString();
    return defaultText;
  }
  const QString answer = inputAnswers_.front();
  inputAnswers_.pop_front();
  return answer;
}
