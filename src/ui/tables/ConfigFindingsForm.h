#pragma once

#include <QDialog>
#include <vector>

#include "core/tables/ConfigChecks.h"

class QLabel;
class QListWidget;
class QPushButton;

// The findings of the configuration checks, one line each, errors first in red and warnings
// in dark yellow. It only informs: nothing in it changes the programming or blocks a write.
class TConfigFindingsForm : public QDialog {
  Q_OBJECT
 public:
  explicit TConfigFindingsForm(QWidget* parent = nullptr);

  void Show(const std::vector<ConfigFinding>& findings);

  QLabel* TitleLabel;
  QListWidget* FindingsList;
  QPushButton* ExitButton;
};
