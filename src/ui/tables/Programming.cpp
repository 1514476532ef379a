#include "ui/tables/Programming.h"

#include <QLabel>
#include <QPushButton>

#include "core/base/Handlers.h"
#include "core/base/OperatorUi.h"
#include "core/station/ImageAccess.h"
#include "ui/editor/KeyRouter.h"
#include "ui/tables/PrgAccess1.h"
#include "ui/tables/PrgAccess2.h"
#include "ui/tables/PrgAddDigit.h"
#include "ui/tables/PrgCityLine.h"
#include "ui/tables/PrgDVO1Ab.h"
#include "ui/tables/PrgDVO1CL.h"
#include "ui/tables/PrgDVO2Ab.h"
#include "ui/tables/PrgDVO2CL.h"
#include "ui/tables/PrgGeneral.h"

namespace {
constexpr int kMargin = 16;
constexpr int kColumnWidth = 240;
constexpr int kButtonHeight = 30;
constexpr int kStep = 38;
constexpr int kTop = 44;

QString MenuCaption(TableId table) {
  return QString::fromUtf8(Table(table).menuCaption);
}

}  // namespace

TProgrammingForm::TProgrammingForm(ProgrammingContext& context, QWidget* parent)
    : QWidget(parent, Qt::Window), context_(context) {
  setObjectName(QStringLiteral("ProgrammingForm"));
  setWindowTitle(QStringLiteral("Norvel Programming"));
  InstallHelpKey(this, [this] { HelpButtonClick(); });
  TitleLabel = new QLabel(QStringLiteral("Программирование"), this);
  QFont bold = TitleLabel->font();
  bold.setBold(true);
  bold.setPointSize(11);
  TitleLabel->setFont(bold);
  const int width = 2 * kColumnWidth + 3 * kMargin;
  TitleLabel->setGeometry(kMargin, 10, width - 2 * kMargin, 24);
  TitleLabel->setAlignment(Qt::AlignCenter);

  // Subscriber tables on the left, city-line tables on the right.
  const int left = kMargin;
  const int right = 2 * kMargin + kColumnWidth;
  DVO1AbonentButton = AddButton(MenuCaption(TableId::kDVO1Subscribers), left, kTop, kColumnWidth,
                                &TProgrammingForm::OpenTable<TPrgDVO1AbForm>);
  DVO2AbonentButton = AddButton(MenuCaption(TableId::kDVO2Subscribers), left, kTop + kStep,
                                kColumnWidth, &TProgrammingForm::OpenTable<TPrgDVO2AbForm>);
  GTSButton = AddButton(MenuCaption(TableId::kCityAccess), left, kTop + 2 * kStep, kColumnWidth,
                        &TProgrammingForm::OpenTable<TPrgAccess1Form>);
  MTSButton = AddButton(MenuCaption(TableId::kLongDistanceAccess), left, kTop + 3 * kStep,
                        kColumnWidth, &TProgrammingForm::OpenTable<TPrgAccess2Form>);
  DVO1LinesButton = AddButton(MenuCaption(TableId::kDVO1Lines), right, kTop, kColumnWidth,
                              &TProgrammingForm::OpenTable<TPrgDVO1CLForm>);
  DVO2LinesButton = AddButton(MenuCaption(TableId::kDVO2Lines), right, kTop + kStep, kColumnWidth,
                              &TProgrammingForm::OpenTable<TPrgDVO2CLForm>);
  DigitsButton = AddButton(MenuCaption(TableId::kAddDigits), right, kTop + 2 * kStep, kColumnWidth,
                           &TProgrammingForm::OpenTable<TPrgAddDigitForm>);
  CityLineButton = AddButton(MenuCaption(TableId::kCityLineCalls), right, kTop + 3 * kStep,
                             kColumnWidth, &TProgrammingForm::CityLineButtonClick);
  GeneralButton =
      AddButton(MenuCaption(TableId::kGeneral), (width - kColumnWidth) / 2, kTop + 4 * kStep + 8,
                kColumnWidth, &TProgrammingForm::OpenTable<TPrgGeneralForm>);
  const int bottom = kTop + 5 * kStep + 24;
  HelpButton =
      AddButton(QStringLiteral("Помощь"), left, bottom, 110, &TProgrammingForm::HelpButtonClick);
  ExitButton = AddButton(QStringLiteral("Выход"), width - kMargin - 110, bottom, 110,
                         &TProgrammingForm::ExitButtonClick);
  setFixedSize(width, bottom + kButtonHeight + kMargin);
}

QPushButton* TProgrammingForm::AddButton(const QString& caption, int left, int top, int width,
                                         void (TProgrammingForm::*handler)()) {
  auto* button = new QPushButton(caption, this);
  // Enter presses the focused button, as Space does: the menus are worked by keyboard.
  button->setAutoDefault(true);
  button->setGeometry(left, top, width, kButtonHeight);
  connect(button, &QPushButton::clicked, this,
          [this, handler] { RunHandler(context_.ui, [this, handler] { (this->*handler)(); }); });
  return button;
}

void TProgrammingForm::SetProgrammingMode(bool day) {
  context_.station.SetDayMode(day);
  TitleLabel->setText(QStringLiteral("Программирование в ") +
                      (day ? QStringLiteral("дневном") : QStringLiteral("ночном")) +
                      QStringLiteral(" режиме"));
  setWindowTitle(SessionCaption(context_.station, QStringLiteral("Norvel Programming")));
}

template <class Form>
void TProgrammingForm::OpenTable() {
  // The window is destroyed when its modal showing ends, however it ends; that commits it.
  const auto form = std::make_unique<Form>(context_, this);
  form->exec();
}

void TProgrammingForm::CityLineButtonClick() {
  context_.station.SetCityLineLayout(true);
  OpenTable<TPrgCityLineForm>();
}

void TProgrammingForm::HelpButtonClick() {
  context_.ui.ShowHelp(kHelpTopic);
}
