#pragma once

#include <QWidget>
#include <functional>

#include "ui/shell/AppForms.h"

class OperatorUi;
class QLabel;
class QPushButton;
class ProgrammingSession;

// The programming entry: day or night programming (which opens the table menu), the mode
// switching window, writing the programming to the station, and leaving, which offers to
// write what was changed.
class TSplashProgrForm : public QWidget {
  Q_OBJECT
 public:
  TSplashProgrForm(OperatorUi& ui, ProgrammingSession& station, AppForms& forms,
                   QWidget* parent = nullptr);

  QLabel* TitleLabel;
  QPushButton* DayProgrButton;
  QPushButton* NightProgrButton;
  QPushButton* SwitchButton;
  QPushButton* WriteButton;
  QPushButton* ExitButton;
  // Below the design's buttons: what the configuration checks find in the held image, and a
  // press opens the list. It never stands in the way of a write.
  QPushButton* FindingsButton;

  void DayProgrButtonClick() { ShowTables(true); }
  void NightProgrButtonClick() { ShowTables(false); }
  void SwitchButtonClick();
  void WriteButtonClick();
  void ExitButtonClick();
  void FindingsButtonClick();
  // Checks the held image again and shows the count on the findings line.
  void RefreshFindings();
  // Programming without the station: the caption says so and names the file.
  // Without the station: the title says so; the caption names the file.
  void SetOffline();
  void RefreshCaption();
  // Run after leaving (by "Выход" or by closing the window), once the leaving question is
  // answered.
  void SetLeaveAction(std::function<void()> action) { leaveAction_ = std::move(action); }

 protected:
  // Closing the window by any means does what "Выход" does.
  void closeEvent(QCloseEvent* event) override;
  // Back from a table window or the switching window, the findings are checked again.
  bool event(QEvent* event) override;

 private:
  void ShowTables(bool day);

  OperatorUi& ui_;
  ProgrammingSession& station_;
  AppForms& forms_;
  class TConfigFindingsForm* findingsForm_ = nullptr;
  std::function<void()> leaveAction_;
};
