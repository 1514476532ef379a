#pragma once

#include <QWidget>
#include <array>

#include "core/tables/SwitchTimes.h"
#include "ui/tables/TableForm.h"

class QLineEdit;
class QPushButton;
class QSpinBox;

// The mode switching window: the six automatic switching times and the two administrator
// phones, fixed bytes of both halves. One permanent window; the entry window loads it before
// every showing, and "Выход" (or closing it any other way) stores and hides it.
class TProgrSwitchForm : public QWidget {
  Q_OBJECT
 public:
  explicit TProgrSwitchForm(ProgrammingContext& context, QWidget* parent = nullptr);

  // Loads the values from the station's image.
  void FormCreate();
  void ExitButtonClick();
  // Marks the values that differ from the image last read from the station or written to it.
  void RefreshMarks();

  std::array<QSpinBox*, 6> StartStopH{};
  std::array<QSpinBox*, 6> StartStopM{};
  QLineEdit* AdminPhone1 = nullptr;
  QLineEdit* AdminPhone2 = nullptr;
  QPushButton* ExitButton;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  SwitchValues Shown() const;
  void Store();

  ProgrammingContext& context_;
};
