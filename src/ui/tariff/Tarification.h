#pragma once

#include <QWidget>

#include "ui/shell/AppForms.h"

struct Environment;
class QButtonGroup;
class QLabel;
class QPushButton;
class QRadioButton;

// The selection window: a month, all days or one day, all subscribers or one. "Просмотр"
// loads the matching records into the record viewer and shows it; "Отчет" opens the report of
// the same choice (costs, line load, bills) in a print preview.
class TTarificationForm : public QWidget {
  Q_OBJECT
 public:
  TTarificationForm(Environment& env, AppForms& forms, QWidget* parent = nullptr);

  // The group values: month 1..12, day choice 0..31, subscriber choice 0..24.
  int MonthValue() const;
  int DayValue() const;
  int AbonentValue() const;

  QRadioButton* MonthButton(int index) const;    // 0..11: Month1..Month12
  QRadioButton* DayButton(int index) const;      // 0: Day00, 1..30: Day01..Day30, 31: Day32
  QRadioButton* AbonentButton(int index) const;  // 0: Abonent00, 1..24: Abonent01..Abonent24

  QLabel* TitleLabel;
  QPushButton* ExecButton;
  QPushButton* HelpButton;
  QPushButton* ExitButton;
  QPushButton* ReportButton;

  void ExecButtonClick();
  void HelpButtonClick();
  void ExitButtonClick() { hide(); }
  // Builds the report of the chosen month, day and subscriber and opens it in a print preview
  // (not waited for); tells the operator when the month has no calls.
  void ReportButtonClick();

  static constexpr int kHelpTopic = 150;
  static constexpr int kReportHelpTopic = 180;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  Environment& env_;
  AppForms& forms_;
  QButtonGroup* Month;
  QButtonGroup* Day;
  QButtonGroup* Abonent;
};
