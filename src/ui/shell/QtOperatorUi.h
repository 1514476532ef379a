#pragma once

#include <QStringList>
#include <memory>

#include "core/base/OperatorUi.h"

class QMessageBox;
class QWidget;
class TThermometerForm;
class HelpForm;

// The operator interface on Qt widgets: message boxes with the stock English captions and
// buttons, the application's override cursor, the progress window and the help window.
class QtOperatorUi : public OperatorUi {
 public:
  QtOperatorUi();
  ~QtOperatorUi() override;

  void SetThermometer(TThermometerForm* form) { thermometer_ = form; }
  // Where "Norvel.hlp" is looked for, in order.
  void SetHelpDirectories(const QStringList& directories) { helpDirectories_ = directories; }

  void StartProgress(const QString& caption, quint16 maximum) override;
  void SetProgress(quint16 position) override;
  void EndProgress() override;
  QString InputBox(const QString& caption, const QString& prompt,
                   const QString& defaultText) override;
  void ShowHelp(int topic) override;

  // The box as it will be shown, for ShowBox and for tests of its looks. The "yes" button of a
  // question box is its default button.
  static std::unique_ptr<QMessageBox> CreateBox(BoxKind kind, const QString& text, bool error,
                                                QWidget* parent = nullptr);
  HelpForm* Help() const { return help_.get(); }

 protected:
  bool ShowBox(BoxKind kind, const QString& text, bool error) override;
  Cursor ScreenCursor() const override;
  void SetScreenCursor(Cursor cursor) override;

 private:
  TThermometerForm* thermometer_ = nullptr;
  QStringList helpDirectories_;
  std::unique_ptr<HelpForm> help_;
};
