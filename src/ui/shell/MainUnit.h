#pragma once

#include <QWidget>
#include <memory>

#include "ui/shell/AppForms.h"

struct Environment;
class QPushButton;
class StationCtrlClass;
class ViewControllerClass;

// The main menu: five stacked buttons for programming, receiving and analysing tariffication
// data, the port settings, and quitting. Its creation makes the station object and the editor's
// controller, which live until the window closes.
class TMainForm : public QWidget {
  Q_OBJECT
 public:
  TMainForm(Environment& env, AppForms& forms);
  ~TMainForm() override;

  StationCtrlClass* Station() const { return station_.get(); }
  // The programming editor's controller; made after the station object, freed before it.
  ViewControllerClass* Controller() const { return controller_.get(); }

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
  AppForms& forms_;
  std::unique_ptr<StationCtrlClass> station_;
  std::unique_ptr<ViewControllerClass> controller_;
  // A station operation is running; the window must not close under it.
  bool operating_ = false;
};
