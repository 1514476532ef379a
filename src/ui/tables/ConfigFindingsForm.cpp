#include "ui/tables/ConfigFindingsForm.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TConfigFindingsForm::TConfigFindingsForm(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ConfigFindingsForm"));
  setWindowTitle(QStringLiteral("Проверка программирования"));
  auto* layout = new QVBoxLayout(this);
  TitleLabel = new QLabel(this);
  QFont bold = TitleLabel->font();
  bold.setBold(true);
  TitleLabel->setFont(bold);
  layout->addWidget(TitleLabel);
  FindingsList = new QListWidget(this);
  FindingsList->setWordWrap(true);
  FindingsList->setAlternatingRowColors(true);
  layout->addWidget(FindingsList);
  ExitButton = new QPushButton(QStringLiteral("Выход"), this);
  ExitButton->setAutoDefault(true);
  connect(ExitButton, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(ExitButton, 0, Qt::AlignLeft);
  resize(720, 360);
}

void TConfigFindingsForm::Show(const std::vector<ConfigFinding>& findings) {
  TitleLabel->setText(QStringLiteral("Проверка программирования: ") + FindingsSummary(findings));
  FindingsList->clear();
  for (const ConfigFinding& finding : findings) {
    auto* item = new QListWidgetItem(finding.Line(), FindingsList);
    item->setForeground(finding.level == ConfigFinding::Level::kError ? QColor(0xB0, 0x00, 0x20)
                                                                      : QColor(0x80, 0x60, 0x00));
  }
  if (FindingsList->count() > 0) FindingsList->setCurrentRow(0);
  FindingsList->setFocus();
  if (!isVisible()) {
    // Below the window that opened it, where it covers none of its buttons.
    if (const QWidget* owner = parentWidget()) {
      move(owner->frameGeometry().left(), owner->frameGeometry().bottom() + 8);
    }
  }
  show();
  raise();
  activateWindow();
}
