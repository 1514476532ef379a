#include "ui/shell/Tune.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/base/Environment.h"
#include "core/base/Handlers.h"
#include "core/base/OperatorUi.h"
#include "core/files/SettingsFile.h"
#include "core/link/RS232.h"
#include "core/station/StationCtrl.h"
#include "ui/editor/KeyRouter.h"
#include "ui/shell/AppObjects.h"

TTuneForm::TTuneForm(Environment& env, AppObjects& objects, QWidget* parent)
    : QWidget(parent, Qt::Window), env_(env), objects_(objects) {
  setObjectName(QStringLiteral("TuneForm"));
  setWindowTitle(QStringLiteral("Norvel Tune"));
  InstallHelpKey(this, [this] { env_.ui.ShowHelp(kHelpTopic); });
  Label1 = new QLabel(QStringLiteral("Выбор COM- порта"), this);
  QFont title = Label1->font();
  title.setBold(true);
  Label1->setFont(title);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label1);
  QRadioButton** buttons[] = {&Com1Button, &Com2Button, &Com3Button, &Com4Button};
  // One exclusive group: whatever checks a button (the mouse, the keyboard, the program), the
  // others are unchecked, and the change is reacted to.
  Ports = new QButtonGroup(this);
  Ports->setExclusive(true);
  for (int port = 1; port <= 4; ++port) {
    auto* button = new QRadioButton(QStringLiteral("COM%1").arg(port), this);
    Ports->addButton(button, port);
    connect(button, &QRadioButton::toggled, this, [this, port](bool checked) {
      if (checked) ComButtonClick(port);
    });
    layout->addWidget(button);
    *buttons[port - 1] = button;
  }
  ExitButton = new QPushButton(QStringLiteral("Выход"), this);
  ExitButton->setAutoDefault(true);
  connect(ExitButton, &QPushButton::clicked, this,
          [this] { RunHandler(env_.ui, [this] { ExitButtonClick(); }); });
  layout->addSpacing(8);
  layout->addWidget(ExitButton);
  Label2 = new QLabel(QStringLiteral("Версия 1.14 от 10.06.02"), this);
  layout->addWidget(Label2);
  setMinimumWidth(220);
}

QRadioButton* TTuneForm::Button(int port) const {
  switch (port) {
    case 1:
      return Com1Button;
    case 2:
      return Com2Button;
    case 3:
      return Com3Button;
    case 4:
      return Com4Button;
  }
  return nullptr;
}

void TTuneForm::SetLink(RS232Class* link) {
  const int port = link ? link->PortNumber() : 0;
  if (Button(port)) {
    Button(port)->setChecked(true);
    return;
  }
  // A port outside 1..4: no button at all is checked, which an exclusive group allows only
  // while it is not exclusive.
  Ports->setExclusive(false);
  for (int p = 1; p <= 4; ++p) Button(p)->setChecked(false);
  Ports->setExclusive(true);
}

int TTuneForm::ChosenPort() const {
  return std::max(Ports->checkedId(), 0);
}

void TTuneForm::ComButtonClick(int port) {
  // The group has unchecked the others already; a call from elsewhere checks this one.
  if (QRadioButton* button = Button(port)) button->setChecked(true);
}

void TTuneForm::ApplyChoice() {
  StationCtrlClass* station = objects_.Station();
  // The station's current link is asked for now: the one handed to SetLink may have been
  // replaced since the window opened.
  RS232Class* link = station ? station->Link() : nullptr;
  if (!link) return;
  const int port = ChosenPort();
  if (port == 0 || port == link->PortNumber()) return;
  link->SetPort(static_cast<quint16>(port));
  SaveLinkSettings(env_.workDir, env_.ui, env_.clock, link->PortNumber(), station->BoardCount());
}

void TTuneForm::ExitButtonClick() {
  // The choice is applied while the window still stands, so that a message about the settings
  // file appears over it.
  ApplyChoice();
  hide();
}

void TTuneForm::closeEvent(QCloseEvent* event) {
  RunHandler(env_.ui, [this] { ApplyChoice(); });
  event->accept();
}
