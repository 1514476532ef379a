#pragma once

#include <QWidget>
#include <memory>

#include "ui/tables/TableForm.h"

class QLabel;
class QPushButton;

// The table menu: nine buttons that open the programming tables, each as a modal window made
// anew and destroyed when it closes (which commits its edits). Its heading says which half,
// day or night, the tables edit.
class TProgrammingForm : public QWidget {
  Q_OBJECT
 public:
  explicit TProgrammingForm(ProgrammingContext& context, QWidget* parent = nullptr);

  void SetProgrammingMode(bool day);

  QLabel* TitleLabel;
  QPushButton* DVO1AbonentButton;
  QPushButton* DVO2AbonentButton;
  QPushButton* GTSButton;
  QPushButton* MTSButton;
  QPushButton* DVO1LinesButton;
  QPushButton* DVO2LinesButton;
  QPushButton* DigitsButton;
  QPushButton* CityLineButton;
  QPushButton* GeneralButton;
  QPushButton* HelpButton;
  QPushButton* ExitButton;

  void CityLineButtonClick();
  void HelpButtonClick();
  void ExitButtonClick() { hide(); }

  static constexpr int kHelpTopic = 20;

 private:
  template <class Form>
  void OpenTable();
  QPushButton* AddButton(const QString& caption, int left, int top, int width,
                         void (TProgrammingForm::*handler)());

  ProgrammingContext& context_;
};
