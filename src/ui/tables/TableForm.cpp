#include "ui/tables/TableForm.h"

#include <QCloseEvent>
#include <QEvent>
#include <QLabel>
#include <QPushButton>

#include "core/base/OperatorUi.h"
#include "core/station/ImageAccess.h"
#include "ui/shell/WindowManagerHints.h"

QString SessionCaption(const ImageAccess& session, const QString& caption) {
  const QString file = session.OfflineFile();
  if (file.isEmpty()) return caption;
  return QStringLiteral("без станции: %1 — %2").arg(file, caption);
}

namespace {

TableCycle::Options WithHelp(TableCycle::Options options, const TableDescriptor& table) {
  options.helpTopic = table.helpTopic;
  return options;
}

}  // namespace

TTableForm::TTableForm(ProgrammingContext& context, QWidget* owner, TableId table,
                       TableCycle::Options options, bool build)
    : QDialog(owner),
      context_(context),
      table_(Table(table)),
      // The router is only kept here; cells are made once it exists.
      cells_(this, context.controller, context.station, context.ui, router_),
      cycle_(cells_, WithHelp(options, table_), [this] { done(1); }),
      router_(cycle_),
      helpTopic_(table_.helpTopic),
      busy_(build) {
  setWindowTitle(SessionCaption(context.station, QString::fromUtf8(table_.windowName)));
  if (!build) return;
  context_.ui.SetBusy(false);
  // No system menu and no close box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  router_.Watch(this);
  TitleLabel = new QLabel(QString::fromUtf8(table_.heading), this);
  QFont font = TitleLabel->font();
  font.setBold(true);
  font.setPointSize(11);
  TitleLabel->setFont(font);
  TitleLabel->setGeometry(kLeft, 8, 500, 22);
}

TTableForm::~TTableForm() {
  context_.controller.OnEdit = nullptr;
  cycle_.Commit();
  FreeRowMarks(marks_, markCount_);
  // A window that never became active must not leave the hourglass behind.
  if (busy_) context_.ui.SetBusy(true);
}

bool TTableForm::event(QEvent* event) {
  if (event->type() == QEvent::Show) AskForTitleBarOnly(this);
  if (event->type() == QEvent::WindowActivate && busy_) {
    busy_ = false;
    context_.ui.SetBusy(true);
  }
  return QDialog::event(event);
}

void TTableForm::closeEvent(QCloseEvent* event) {
  event->accept();
  if (closing_) return;
  closing_ = true;
  cycle_.UserActiveKey(viewkey::kEsc, {});
  closing_ = false;
}

void TTableForm::HelpButtonClick() {
  context_.ui.ShowHelp(helpTopic_);
}

QLabel* TTableForm::AddLabel(const QString& text, int left, int top, int width, int height) {
  auto* label = new QLabel(text, this);
  label->setGeometry(left, top, width, height);
  return label;
}

void TTableForm::AddButtons(int top, bool withHelp) {
  int left = kLeft;
  if (withHelp) {
    HelpButton = new QPushButton(QStringLiteral("Помощь"), this);
    HelpButton->setGeometry(left, top, kButtonWidth, kButtonHeight);
    // The buttons never take the keyboard focus from the cells.
    HelpButton->setFocusPolicy(Qt::NoFocus);
    connect(HelpButton, &QPushButton::clicked, this, [this] { HelpButtonClick(); });
    left += kButtonWidth + 12;
  }
  ExitButton = new QPushButton(QStringLiteral("Выход"), this);
  ExitButton->setGeometry(left, top, kButtonWidth, kButtonHeight);
  ExitButton->setFocusPolicy(Qt::NoFocus);
  connect(ExitButton, &QPushButton::clicked, this, [this] { ExitButtonClick(); });
}

void TTableForm::BuildRowMarks(QLabel* reference, int pitch, bool subscribers) {
  ::BuildRowMarks(this, context_.station, context_.ui, markCount_, marks_, reference, pitch,
                  subscribers);
  if (markCount_ > static_cast<int>(marks_.size())) markCount_ = 0;
}

void TTableForm::BuildByteTable(const ByteTableLayout& layout) {
  const bool subscribers = table_.Subscribers();
  RowHeader =
      AddLabel(subscribers ? QStringLiteral("№аб") : QStringLiteral("№ГЛ"), kLeft, kHeaderTop, 40);
  BuildRowMarks(RowHeader, 15, subscribers);
  const quint16 rows =
      subscribers ? context_.station.SubscriberCount() : context_.station.CityLineCount();
  const QString prefix = QString::fromUtf8(table_.columnPrefix);
  const int cellTop = kHeaderTop + kHeaderHeight;
  int firstHeader = 70;
  int right = 0;
  for (int b = 0; b < table_.blocks; ++b) {
    for (int c = 0; c < layout.style.columns; ++c) {
      QLabel* header =
          AddLabel(prefix + QString::number(c + 1), firstHeader + layout.style.step * c, kHeaderTop,
                   layout.style.step - 2);
      if (prefix.isEmpty()) header->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    // A table of one block has no mode headings.
    if (table_.blocks > 1) {
      AddLabel(QString::fromUtf8(table_.modes[b]), firstHeader + layout.style.modeLabelShift,
               kModeTop, 8 * layout.style.step);
    }
    ViewByteBlockClass& block = cycle_.AddByteBlock(table_.kinds[b]);
    block.Setup(cells_, rows, static_cast<quint16>(24 * b), layout.lastBit,
                firstHeader + layout.style.cellShift, cellTop, layout.style.step);
    const int lastHeader = firstHeader + layout.style.step * (layout.style.columns - 1);
    right = lastHeader + layout.style.step;
    firstHeader = lastHeader + layout.style.blockGap;
  }
  AddButtons(layout.buttonsTop);
  FitSize(qMax(right + kLeft, 2 * kButtonWidth + 3 * kLeft),
          layout.buttonsTop + kButtonHeight + 12);
}

quint16 TTableForm::LastLine(const ProgrammingContext& context) {
  return static_cast<quint16>(qMax(1, int(context.station.CityLineCount())) - 1);
}

void TTableForm::Start() {
  cycle_.Start();
  // The marks follow every edit, once the cell has taken it in its final shape.
  context_.controller.OnEdit = [this] {
    if (marksPending_) return;
    marksPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          marksPending_ = false;
          cycle_.RefreshMarks();
        },
        Qt::QueuedConnection);
  };
  cycle_.RefreshMarks();
}
