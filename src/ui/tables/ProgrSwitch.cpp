#include "ui/tables/ProgrSwitch.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "core/base/OperatorUi.h"
#include "core/station/ImageAccess.h"
#include "core/tables/SwitchTimes.h"
#include "ui/editor/ChangeMark.h"

namespace {

const char* const kTimeRows[6] = {
    "Время начала ночного режима",
    "Время окончания ночного режима",
    "Время начала дневого дополнительного режима",
    "Время окончания дневного дополнительного режима",
    "Время начала ночного дополнительного режима",
    "Время окончания ночного дополнительного режима",
};

constexpr int kLeft = 16;
constexpr int kTextWidth = 390;
constexpr int kSpinWidth = 56;
constexpr int kRowHeight = 26;

// A spin box whose text is no number counts as its minimum.
int SpinValue(const QSpinBox* spin) {
  bool number = false;
  const int value = spin->cleanText().toInt(&number);
  return number ? qBound(spin->minimum(), value, spin->maximum()) : spin->minimum();
}

QLabel* AddLabel(QWidget* parent, const QString& text, int left, int top, int width) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(left, top, width, kRowHeight - 4);
  return label;
}

}  // namespace

TProgrSwitchForm::TProgrSwitchForm(ProgrammingContext& context, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      context_(context) {
  setObjectName(QStringLiteral("ProgrSwitchForm"));
  setWindowTitle(QStringLiteral("ProgrSwitchForm"));
  QLabel* heading = AddLabel(this, QStringLiteral("Переключение режимов"), kLeft, 8, 400);
  QFont bold = heading->font();
  bold.setBold(true);
  bold.setPointSize(11);
  heading->setFont(bold);
  AddLabel(this, QStringLiteral("Автоматическое переключение"), kLeft, 40, kTextWidth);
  const int hourLeft = kLeft + kTextWidth + 8;
  const int minuteLeft = hourLeft + kSpinWidth + 8;
  AddLabel(this, QStringLiteral("Час."), hourLeft, 40, kSpinWidth);
  AddLabel(this, QStringLiteral("Мин."), minuteLeft, 40, kSpinWidth);
  int top = 66;
  for (int t = 0; t < 6; ++t, top += kRowHeight + 4) {
    AddLabel(this, QString::fromUtf8(kTimeRows[t]), kLeft, top + 2, kTextWidth);
    auto* hour = new QSpinBox(this);
    hour->setObjectName(QStringLiteral("StartStopH%1").arg(t + 1));
    hour->setRange(-1, 23);
    hour->setGeometry(hourLeft, top, kSpinWidth, kRowHeight);
    auto* minute = new QSpinBox(this);
    minute->setObjectName(QStringLiteral("StartStopM%1").arg(t + 1));
    minute->setRange(0, 59);
    minute->setGeometry(minuteLeft, top, kSpinWidth, kRowHeight);
    StartStopH[t] = hour;
    StartStopM[t] = minute;
    connect(hour, &QSpinBox::valueChanged, this, [this] { RefreshMarks(); });
    connect(minute, &QSpinBox::valueChanged, this, [this] { RefreshMarks(); });
  }
  top += 8;
  AddLabel(this, QStringLiteral("Ручное переключение"), kLeft, top, kTextWidth);
  top += kRowHeight;
  QLineEdit** phones[2] = {&AdminPhone1, &AdminPhone2};
  for (int k = 0; k < 2; ++k, top += kRowHeight + 4) {
    AddLabel(this, QStringLiteral("Номер телефона %1 администратора").arg(k + 1), kLeft, top + 2,
             kTextWidth);
    auto* phone = new QLineEdit(this);
    phone->setObjectName(QStringLiteral("AdminPhone%1").arg(k + 1));
    phone->setGeometry(hourLeft, top, kSpinWidth, kRowHeight);
    connect(phone, &QLineEdit::textChanged, this, [this] { RefreshMarks(); });
    *phones[k] = phone;
  }
  top += 8;
  ExitButton = new QPushButton(QStringLiteral("Выход"), this);
  ExitButton->setAutoDefault(true);
  ExitButton->setGeometry(kLeft, top, 100, 28);
  connect(ExitButton, &QPushButton::clicked, this, [this] { ExitButtonClick(); });
  setFixedSize(minuteLeft + kSpinWidth + kLeft, top + 28 + 12);
}

void TProgrSwitchForm::FormCreate() {
  setWindowTitle(SessionCaption(context_.station, QStringLiteral("ProgrSwitchForm")));
  context_.ui.SetBusy(false);
  context_.controller.Reset();
  const SwitchValues values = LoadSwitchValues(context_.station.Image());
  for (int t = 0; t < 6; ++t) {
    StartStopH[t]->setValue(values.hours[t]);
    StartStopM[t]->setValue(values.minutes[t]);
  }
  AdminPhone1->setText(values.adminPhones[0]);
  AdminPhone2->setText(values.adminPhones[1]);
  context_.controller.Activate();
  RefreshMarks();
  // The window opens on its first field with the value selected, as a field reached by Tab
  // is, so that typing replaces it.
  StartStopH[0]->setFocus(Qt::TabFocusReason);
  StartStopH[0]->selectAll();
  context_.ui.SetBusy(true);
}

SwitchValues TProgrSwitchForm::Shown() const {
  SwitchValues values;
  for (int t = 0; t < 6; ++t) {
    values.hours[t] = SpinValue(StartStopH[t]);
    values.minutes[t] = SpinValue(StartStopM[t]);
  }
  values.adminPhones = {AdminPhone1->text(), AdminPhone2->text()};
  return values;
}

void TProgrSwitchForm::RefreshMarks() {
  // Called while the window is still being built, before the phones exist.
  if (!AdminPhone2) return;
  const SwitchChanges changes =
      ChangedSwitchValues(Shown(), context_.station.Image(), context_.station.StationImage());
  for (int t = 0; t < 6; ++t) {
    ShowChangeMark(StartStopH[t], changes.hours[t]);
    ShowChangeMark(StartStopM[t], changes.minutes[t]);
  }
  ShowChangeMark(AdminPhone1, changes.adminPhones[0]);
  ShowChangeMark(AdminPhone2, changes.adminPhones[1]);
}

void TProgrSwitchForm::Store() {
  const SwitchValues values = Shown();
  ConfigImage copy = context_.station.Image();
  if (StoreSwitchValues(values, copy)) context_.controller.SetEdited();
  if (context_.controller.Edited) context_.station.SetImage(copy);
}

void TProgrSwitchForm::ExitButtonClick() {
  Store();
  hide();
}

void TProgrSwitchForm::closeEvent(QCloseEvent* event) {
  Store();
  event->accept();
}
