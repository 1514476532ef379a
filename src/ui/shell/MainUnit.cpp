#include "ui/shell/MainUnit.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScopedValueRollback>

#include "core/base/Environment.h"
#include "core/base/Handlers.h"
#include "core/base/OperatorUi.h"
#include "core/station/ReceptionLock.h"
#include "core/station/StationCtrl.h"
#include "ui/editor/KeyRouter.h"
#include "ui/shell/Tune.h"
#include "ui/tables/SplashProgramming.h"
#include "ui/tariff/Tarification.h"

TMainForm::TMainForm(Environment& env, AppObjects& objects, AppForms& forms)
    : env_(env), objects_(objects), forms_(forms) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Norvel MainForm"));
  ProgButton = AddButton(QStringLiteral("Программирование"), 0, &TMainForm::ProgButtonClick);
  TarifReceiveButton = AddButton(QStringLiteral("Тарификация. Прием данных"), 1,
                                 &TMainForm::TarifReceiveButtonClick);
  TarifAnalysisButton =
      AddButton(QStringLiteral("Тарификация. Анализ"), 2, &TMainForm::TarifAnalysisButtonClick);
  TuneButton = AddButton(QStringLiteral("Настройки"), 3, &TMainForm::TuneButtonClick);
  QuitButton = AddButton(QStringLiteral("Выход"), 4, &TMainForm::QuitButtonClick);
  setTabOrder(ProgButton, TarifReceiveButton);
  setTabOrder(TarifReceiveButton, TarifAnalysisButton);
  setTabOrder(TarifAnalysisButton, TuneButton);
  setTabOrder(TuneButton, QuitButton);
  ProgButton->installEventFilter(this);
  setFixedSize(kButtonWidth, 4 * kButtonStep + kButtonHeight);
  FormCreate();
}

TMainForm::~TMainForm() = default;

QPushButton* TMainForm::AddButton(const QString& caption, int row, void (TMainForm::*handler)()) {
  auto* button = new QPushButton(caption, this);
  // Enter presses the focused button, as Space does.
  button->setAutoDefault(true);
  button->setGeometry(0, row * kButtonStep, kButtonWidth, kButtonHeight);
  connect(button, &QPushButton::clicked, this,
          [this, handler] { RunHandler(env_.ui, [this, handler] { (this->*handler)(); }); });
  return button;
}

void TMainForm::FormCreate() {
  objects_.Create(env_);
}

void TMainForm::FormClose() {
  objects_.Free();
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (operating_) {
    event->ignore();
    return;
  }
  // Ending the program with changes not yet written asks the leaving question first.
  if (StationCtrlClass* station = objects_.Station()) {
    RunHandler(env_.ui, [station] { station->OfferWriteOnLeave(); });
  }
  FormClose();
  event->accept();
  // Closing the main menu ends the program, whatever other windows are open.
  QCoreApplication::quit();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ProgButton && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    // Focus moves and the Enter key are the dialog's, not the button's, and get there first.
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Up || key == Qt::Key_Down ||
        key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Return ||
        key == Qt::Key_Enter) {
      if (key == Qt::Key_Return || key == Qt::Key_Enter) ProgButton->click();
      if (key == Qt::Key_Up || key == Qt::Key_Left) focusPreviousChild();
      if (key == Qt::Key_Down || key == Qt::Key_Right) focusNextChild();
      return key != Qt::Key_Tab && key != Qt::Key_Backtab;
    }
    return FormKeyDown(key);
  }
  if (watched == ProgButton && event->type() == QEvent::KeyRelease) return true;
  return QWidget::eventFilter(watched, event);
}

bool TMainForm::FormKeyDown(int key) {
  if (KeyRouter::KeyCode(key) == viewkey::kF1) env_.ui.ShowHelp(kHelpTopic);
  return true;
}

void TMainForm::ProgButtonClick() {
  StationCtrlClass* station = objects_.Station();
  if (!station) return;
  const QScopedValueRollback<bool> operating(operating_, true);
  // Reading the station replaces the held image: changes not yet written are offered first,
  // with the question of leaving the programming, so that none is dropped unasked.
  station->OfferWriteOnLeave();
  env_.ui.SetBusy(false);
  const bool ok = station->StartProgramming();
  env_.ui.SetBusy(true);
  if (ok && forms_.splash) {
    forms_.splash->show();
    forms_.splash->raise();
    forms_.splash->activateWindow();
  }
}

void TMainForm::TarifReceiveButtonClick() {
  StationCtrlClass* station = objects_.Station();
  if (!station) return;
  const QScopedValueRollback<bool> operating(operating_, true);
  // The month files take one reception at a time, from this window or from `norvel receive`.
  const ReceptionLock lock(env_.workDir, QStringLiteral("NorvelWin"));
  if (!lock.Held()) {
    env_.ui.InfoBox(ReceptionLockText(lock), true);
    return;
  }
  env_.ui.SetBusy(false);
  station->ReceiveTariffication();
  env_.ui.SetBusy(true);
}

void TMainForm::TarifAnalysisButtonClick() {
  if (!forms_.tarification) return;
  forms_.tarification->show();
  forms_.tarification->raise();
  forms_.tarification->activateWindow();
}

void TMainForm::TuneButtonClick() {
  if (!forms_.tune || !objects_.Station()) return;
  forms_.tune->SetLink(objects_.Station()->Link());
  forms_.tune->show();
  forms_.tune->raise();
  forms_.tune->activateWindow();
}

void TMainForm::QuitButtonClick() {
  try {
    close();
  } catch (...) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                              Qt::QueuedConnection);
  }
}
