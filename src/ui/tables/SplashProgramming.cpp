#include "ui/tables/SplashProgramming.h"

#include "ui/tables/TableForm.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

#include "core/base/Handlers.h"
#include "core/base/OperatorUi.h"
#include "core/station/ProgrammingSession.h"
#include "core/station/WriteVerdict.h"
#include "core/tables/ConfigChecks.h"
#include "ui/tables/ConfigFindingsForm.h"
#include "ui/tables/ProgrSwitch.h"
#include "ui/tables/Programming.h"

namespace {
constexpr int kButtonWidth = 320;
constexpr int kButtonHeight = 33;
constexpr int kStep = 40;
constexpr int kMargin = 16;
constexpr int kTop = 48;
constexpr int kFindingsHeight = 24;

void ShowWindow(QWidget* window) {
  window->show();
  window->raise();
  window->activateWindow();
}
}  // namespace

TSplashProgrForm::TSplashProgrForm(OperatorUi& ui, ProgrammingSession& station, AppForms& forms,
                                   QWidget* parent)
    : QWidget(parent, Qt::Window), ui_(ui), station_(station), forms_(forms) {
  setObjectName(QStringLiteral("SplashProgrForm"));
  setWindowTitle(QStringLiteral("Norvel SplashProgramming"));
  TitleLabel = new QLabel(QStringLiteral("Программирование АТС"), this);
  QFont bold = TitleLabel->font();
  bold.setBold(true);
  bold.setPointSize(12);
  TitleLabel->setFont(bold);
  TitleLabel->setAlignment(Qt::AlignCenter);
  TitleLabel->setGeometry(kMargin, 10, kButtonWidth, 28);
  const struct {
    QPushButton** button;
    const char* caption;
    void (TSplashProgrForm::*handler)();
  } buttons[] = {
      {&DayProgrButton, "Программирование в дневном режиме",
       &TSplashProgrForm::DayProgrButtonClick},
      {&NightProgrButton, "Программирование в ночном режиме",
       &TSplashProgrForm::NightProgrButtonClick},
      {&SwitchButton, "Переключение режимов", &TSplashProgrForm::SwitchButtonClick},
      {&WriteButton, "Записать программирование", &TSplashProgrForm::WriteButtonClick},
      {&ExitButton, "Выход", &TSplashProgrForm::ExitButtonClick},
  };
  int top = kTop;
  for (const auto& entry : buttons) {
    auto* button = new QPushButton(QString::fromUtf8(entry.caption), this);
    // Enter presses the focused button, as Space does.
    button->setAutoDefault(true);
    button->setGeometry(kMargin, top, kButtonWidth, kButtonHeight);
    const auto handler = entry.handler;
    connect(button, &QPushButton::clicked, this,
            [this, handler] { RunHandler(ui_, [this, handler] { (this->*handler)(); }); });
    *entry.button = button;
    top += kStep;
  }
  FindingsButton = new QPushButton(this);
  FindingsButton->setObjectName(QStringLiteral("FindingsButton"));
  FindingsButton->setAutoDefault(true);
  FindingsButton->setFlat(true);
  FindingsButton->setStyleSheet(QStringLiteral("text-align: left; padding-left: 4px;"));
  FindingsButton->setGeometry(kMargin, top, kButtonWidth, kFindingsHeight);
  connect(FindingsButton, &QPushButton::clicked, this,
          [this] { RunHandler(ui_, [this] { FindingsButtonClick(); }); });
  top += kFindingsHeight + kStep - kButtonHeight;
  setFixedSize(kButtonWidth + 2 * kMargin, top + kMargin - (kStep - kButtonHeight));
}

void TSplashProgrForm::RefreshFindings() {
  // After a write that failed, the line says first what the station holds now.
  const WriteVerdict& verdict = station_.LastWriteVerdict();
  if (verdict.holds != WriteVerdict::Holds::kNone) {
    FindingsButton->setText(QStringLiteral("Запись не выполнена. ") + verdict.Sentence());
    FindingsButton->setToolTip(FindingsButton->text());
    QPalette colours = FindingsButton->palette();
    colours.setColor(QPalette::ButtonText, QColor(0xB0, 0x00, 0x20));
    FindingsButton->setPalette(colours);
    return;
  }
  FindingsButton->setToolTip(QString());
  const std::vector<ConfigFinding> findings = CheckConfig(station_.Image(), station_.BoardCount());
  FindingsButton->setText(QStringLiteral("Проверка: ") + FindingsSummary(findings));
  bool errors = false;
  for (const ConfigFinding& finding : findings) {
    errors = errors || finding.level == ConfigFinding::Level::kError;
  }
  QPalette colours = FindingsButton->palette();
  colours.setColor(QPalette::ButtonText, findings.empty() ? QColor(0x30, 0x60, 0x30)
                                         : errors         ? QColor(0xB0, 0x00, 0x20)
                                                          : QColor(0x80, 0x60, 0x00));
  FindingsButton->setPalette(colours);
}

void TSplashProgrForm::FindingsButtonClick() {
  if (!findingsForm_) findingsForm_ = new TConfigFindingsForm(this);
  findingsForm_->Show(CheckConfig(station_.Image(), station_.BoardCount()));
}

bool TSplashProgrForm::event(QEvent* event) {
  if (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate) {
    RefreshFindings();
  }
  return QWidget::event(event);
}

void TSplashProgrForm::ShowTables(bool day) {
  if (!forms_.programming) return;
  forms_.programming->SetProgrammingMode(day);
  ShowWindow(forms_.programming);
}

void TSplashProgrForm::SwitchButtonClick() {
  if (!forms_.progrSwitch) return;
  forms_.progrSwitch->FormCreate();
  ShowWindow(forms_.progrSwitch);
}

void TSplashProgrForm::WriteButtonClick() {
  ui_.SetBusy(false);
  station_.WriteProgramming();
  ui_.SetBusy(true);
  RefreshCaption();  // a save under a new name
  RefreshFindings();
  // What the switching window marks as changed is measured against what the station holds now.
  if (forms_.progrSwitch && forms_.progrSwitch->isVisible()) forms_.progrSwitch->RefreshMarks();
}

void TSplashProgrForm::closeEvent(QCloseEvent* event) {
  event->accept();
  RunHandler(ui_, [this] { station_.OfferWriteOnLeave(); });
  if (leaveAction_) leaveAction_();
}

void TSplashProgrForm::ExitButtonClick() {
  hide();
  station_.OfferWriteOnLeave();
  if (leaveAction_) leaveAction_();
}

void TSplashProgrForm::SetOffline() {
  TitleLabel->setText(QStringLiteral("Программирование без станции"));
  RefreshCaption();
}

void TSplashProgrForm::RefreshCaption() {
  setWindowTitle(SessionCaption(station_, QStringLiteral("Norvel SplashProgramming")));
  if (forms_.programming) {
    forms_.programming->setWindowTitle(
        SessionCaption(station_, QStringLiteral("Norvel Programming")));
  }
  if (forms_.progrSwitch) {
    forms_.progrSwitch->setWindowTitle(SessionCaption(station_, QStringLiteral("ProgrSwitchForm")));
  }
  TitleLabel->setToolTip(station_.OfflineFile());
}
