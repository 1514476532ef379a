#pragma once

#include <QWidget>

struct Environment;
class QButtonGroup;
class QLabel;
class QPushButton;
class QRadioButton;
class AppObjects;
class RS232Class;

// The port settings window: the operator picks COM1..COM4; the station's link moves to that
// port at once and the settings file keeps the choice for the next start.
class TTuneForm : public QWidget {
  Q_OBJECT
 public:
  TTuneForm(Environment& env, AppObjects& objects, QWidget* parent = nullptr);

  // Checks the button of the link's port (none for a port outside 1..4).
  void SetLink(RS232Class* link);
  // The port of the checked button; 0 with none checked.
  int ChosenPort() const;

  QLabel* Label1;
  QRadioButton* Com1Button;
  QRadioButton* Com2Button;
  QRadioButton* Com3Button;
  QRadioButton* Com4Button;
  QButtonGroup* Ports;
  QPushButton* ExitButton;
  QLabel* Label2;

  void ComButtonClick(int port);
  void ExitButtonClick();

  static constexpr int kHelpTopic = 170;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void ApplyChoice();
  QRadioButton* Button(int port) const;

  Environment& env_;
  AppObjects& objects_;
};
