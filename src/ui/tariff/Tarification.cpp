#include "ui/tariff/Tarification.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>
#include <memory>

#include "core/base/Clock.h"
#include "core/base/Environment.h"
#include "core/base/Handlers.h"
#include "core/base/OperatorUi.h"
#include "core/costs/CostReport.h"
#include "report/ReportPainter.h"
#include "ui/editor/KeyRouter.h"
#include "ui/tariff/FileViewer.h"

namespace {

const QString kNoData = QStringLiteral("Данные тарификации отсутствуют");

// A group box whose first button stands alone on top and the rest in columns below it.
QGroupBox* MakeGroup(QWidget* parent, const QString& caption, QButtonGroup* group,
                     const QStringList& captions, const QStringList& names, int columns,
                     int rowsPerColumn) {
  auto* box = new QGroupBox(caption, parent);
  auto* grid = new QGridLayout(box);
  grid->setHorizontalSpacing(14);
  grid->setVerticalSpacing(2);
  for (int i = 0; i < captions.size(); ++i) {
    auto* button = new QRadioButton(captions[i], box);
    button->setObjectName(names[i]);
    group->addButton(button, i);
    if (columns == 1) {
      grid->addWidget(button, i, 0);
    } else if (i == 0) {
      grid->addWidget(button, 0, 0, 1, columns);
    } else {
      grid->addWidget(button, 1 + (i - 1) % rowsPerColumn, (i - 1) / rowsPerColumn);
    }
  }
  grid->setRowStretch(grid->rowCount(), 1);
  return box;
}

}  // namespace

TTarificationForm::TTarificationForm(Environment& env, AppForms& forms, QWidget* parent)
    : QWidget(parent, Qt::Window), env_(env), forms_(forms) {
  setObjectName(QStringLiteral("TarificationForm"));
  setWindowTitle(QStringLiteral("Norvel Tarification"));
  // F1 on the report button opens the report's topic, anywhere else the window's.
  InstallHelpKey(this, [this] {
    if (focusWidget() == ReportButton) {
      env_.ui.ShowHelp(kReportHelpTopic);
    } else {
      HelpButtonClick();
    }
  });

  TitleLabel = new QLabel(QStringLiteral("Тарификация"), this);
  QFont titleFont = TitleLabel->font();
  titleFont.setPointSize(titleFont.pointSize() + 4);
  titleFont.setBold(true);
  TitleLabel->setFont(titleFont);
  TitleLabel->setAlignment(Qt::AlignCenter);

  Month = new QButtonGroup(this);
  Day = new QButtonGroup(this);
  Abonent = new QButtonGroup(this);

  const QStringList months = {
      QStringLiteral("Январь"),  QStringLiteral("Февраль"), QStringLiteral("Март"),
      QStringLiteral("Апрель"),  QStringLiteral("Май"),     QStringLiteral("Июнь"),
      QStringLiteral("Июль"),    QStringLiteral("Август"),  QStringLiteral("Сентябрь"),
      QStringLiteral("Октябрь"), QStringLiteral("Ноябрь"),  QStringLiteral("Декабрь")};
  QStringList monthNames;
  for (int m = 1; m <= 12; ++m) monthNames << QStringLiteral("Month%1").arg(m);

  QStringList days = {QStringLiteral("Все дни месяца")};
  QStringList dayNames = {QStringLiteral("Day00")};
  for (int d = 1; d <= 31; ++d) {
    days << QString::number(d);
    // Day 31 is the button Day32.
    dayNames << QStringLiteral("Day%1").arg(d == 31 ? 32 : d, 2, 10, QLatin1Char('0'));
  }
  QStringList abonents = {QStringLiteral("Все абоненты")};
  QStringList abonentNames = {QStringLiteral("Abonent00")};
  for (int a = 1; a <= 24; ++a) {
    abonents << QString::number(19 + a);
    abonentNames << QStringLiteral("Abonent%1").arg(a, 2, 10, QLatin1Char('0'));
  }

  auto* groups = new QHBoxLayout;
  groups->addWidget(MakeGroup(this, QStringLiteral("Месяц"), Month, months, monthNames, 1, 12));
  groups->addWidget(MakeGroup(this, QStringLiteral("День месяца"), Day, days, dayNames, 3, 11));
  groups->addWidget(
      MakeGroup(this, QStringLiteral("Абонент"), Abonent, abonents, abonentNames, 3, 11));

  ExecButton = new QPushButton(QStringLiteral("Просмотр"), this);
  HelpButton = new QPushButton(QStringLiteral("Помощь"), this);
  ExitButton = new QPushButton(QStringLiteral("Выход"), this);
  // Enter presses the focused button, as Space does.
  for (QPushButton* button : {ExecButton, HelpButton, ExitButton}) button->setAutoDefault(true);
  connect(ExecButton, &QPushButton::clicked, this,
          [this] { RunHandler(env_.ui, [this] { ExecButtonClick(); }); });
  connect(HelpButton, &QPushButton::clicked, this, [this] { HelpButtonClick(); });
  connect(ExitButton, &QPushButton::clicked, this, [this] { ExitButtonClick(); });
  // Made after the window's own buttons, so it comes last in the Tab order, and put to their
  // left, so they keep their places at the right edge.
  ReportButton = new QPushButton(QStringLiteral("Отчет"), this);
  ReportButton->setObjectName(QStringLiteral("ReportButton"));
  ReportButton->setAutoDefault(true);
  connect(ReportButton, &QPushButton::clicked, this,
          [this] { RunHandler(env_.ui, [this] { ReportButtonClick(); }); });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ReportButton);
  buttons->addWidget(ExecButton);
  buttons->addWidget(HelpButton);
  buttons->addWidget(ExitButton);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(TitleLabel);
  layout->addLayout(groups);
  layout->addLayout(buttons);

  MonthButton(env_.clock.Now().date().month() - 1)->setChecked(true);
  DayButton(0)->setChecked(true);
  AbonentButton(0)->setChecked(true);
}

QRadioButton* TTarificationForm::MonthButton(int index) const {
  return static_cast<QRadioButton*>(Month->button(index));
}
QRadioButton* TTarificationForm::DayButton(int index) const {
  return static_cast<QRadioButton*>(Day->button(index));
}
QRadioButton* TTarificationForm::AbonentButton(int index) const {
  return static_cast<QRadioButton*>(Abonent->button(index));
}

int TTarificationForm::MonthValue() const {
  return qMax(Month->checkedId(), 0) + 1;
}
int TTarificationForm::DayValue() const {
  return qMax(Day->checkedId(), 0);
}
int TTarificationForm::AbonentValue() const {
  return qMax(Abonent->checkedId(), 0);
}

void TTarificationForm::ExecButtonClick() {
  TFileViewerForm* viewer = forms_.viewer;
  if (!viewer) return;
  if (viewer->LoadRecords(MonthValue(), DayValue(), AbonentValue())) {
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
  } else {
    env_.ui.InfoBox(kNoData, false);
  }
}

void TTarificationForm::ReportButtonClick() {
  ReportChoice choice;
  choice.month = MonthValue();
  choice.day = DayValue();
  choice.subscriber = AbonentValue() == 0 ? 0 : 19 + AbonentValue();
  env_.ui.SetBusy(false);
  auto data = std::make_shared<ReportData>(
      BuildReport(env_.workDir, choice, StationCityLines(env_.workDir)));
  env_.ui.SetBusy(true);
  if (data->calls == 0) {
    env_.ui.InfoBox(kNoData, false);
    return;
  }
  auto* preview = new QPrintPreviewDialog(this);
  preview->setObjectName(QStringLiteral("ReportPreview"));
  preview->setAttribute(Qt::WA_DeleteOnClose);
  preview->setWindowTitle(
      QStringLiteral("Отчет: %1 %2").arg(MonthName(choice.month)).arg(data->year));
  preview->printer()->setPageSize(QPageSize(QPageSize::A4));
  preview->printer()->setDocName(QStringLiteral("norvel-report-%1-%2")
                                     .arg(data->year)
                                     .arg(choice.month, 2, 10, QLatin1Char('0')));
  // The preview asks for the pages again whenever the operator changes the page set-up or
  // prints; the figures are kept with the dialog.
  connect(preview, &QPrintPreviewDialog::paintRequested, preview,
          [data](QPrinter* printer) { PrintReport(*data, *printer); });
  // Centred on the screen: centred over this window it could reach above the screen's top and
  // hide its title bar.
  const QRect screen = this->screen()->availableGeometry();
  preview->resize(std::min(900, screen.width()), std::min(760, screen.height() - 40));
  preview->move(screen.center() - preview->rect().center());
  preview->open();
}

void TTarificationForm::HelpButtonClick() {
  env_.ui.ShowHelp(kHelpTopic);
}

void TTarificationForm::keyPressEvent(QKeyEvent* event) {
  // Keys that no control took come here (F1 has been taken by the help key); none goes further.
  event->accept();
}

void TTarificationForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The focus goes to the checked month, so that a Space does not switch it to another.
  if (QAbstractButton* checked = Month->checkedButton()) checked->setFocus();
}
