#pragma once

#include <QWidget>
#include <memory>

#include "ui/shell/AppForms.h"
#include "ui/shell/AppObjects.h"

struct Environment;
class QPushButton;

// The main menu: five stacked buttons for programming, receiving and analysing tariffication
// data, the port settings, and quitting. Its creation makes the station object and the editor's
// controller (in their owner), which live until the window closes.
class TMainForm : public QWidget {
  Q_OBJECT
 public:
  TMainForm(Environment& env, AppObjects& objects, AppForms& forms);
  ~TMainForm() override;

  QPushButton* ProgButton;
  QPushButton* TarifReceiveButton;
  QPushButton* TarifAnalysisButton;
  QPushButton* TuneButton;
  QPushButton* QuitButton;

  void ProgButtonClick();
  void TarifReceiveButtonClick();
  void TarifAnalysisButtonClick();
  void TuneButtonClick();
  void QuitButtonClick();

  static constexpr int kButtonWidth = 297;
  static constexpr int kButtonHeight = 33;
  static constexpr int kButtonStep = 40;
  static constexpr int kHelpTopic = 10;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void FormClose();
  // F1 on the programming button opens the main menu's help; every key that reaches it is
  // taken, so none gets any further.
  bool FormKeyDown(int key);
  QPushButton* AddButton(const QString& caption, int row, void (TMainForm::*handler)());

  Environment& env_;
  AppObjects& objects_;
  AppForms& forms_;
  // A station operation is running; the window must not close under it.
  bool operating_ = false;
};
