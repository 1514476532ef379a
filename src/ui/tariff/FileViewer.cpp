#include "ui/tariff/FileViewer.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

#include "ui/editor/KeyRouter.h"
#include "core/files/TextFiles.h"
#include "core/base/Environment.h"
#include "core/base/Handlers.h"
#include "core/base/OperatorUi.h"
#include "ui/tariff/ColumnFont.h"

int ShownLinesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(viewer_.ShownCount());
}

QVariant ShownLinesModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= viewer_.ShownCount()) {
    return {};
  }
  return LayOutColumns(viewer_.ShownLine(index.row()), kMemoColumns);
}

TFileViewerForm::TFileViewerForm(Environment& env, QWidget* parent)
    : QWidget(parent, Qt::Window), env_(env), viewer_(env, printers_) {
  setObjectName(QStringLiteral("FileViewerForm"));
  setWindowTitle(QStringLiteral("Norvel File Viewer"));
  InstallHelpKey(this, [this] { env_.ui.ShowHelp(kHelpTopic); });

  const QFont fixed = ColumnFont();
  // The headings stand over the columns of the lines, so both use one fixed-pitch font, and the
  // headings start where the memo's text does.
  Label1 = new QLabel(
      QStringLiteral("Дата   Время   Або-    Длит.   Номер    Тип                Тел. номер"),
      this);
  // "ГЛ" stands under "Номер", over the city-line numbers (the printed heading keeps the data
  // file's text).
  Label2 = new QLabel(QStringLiteral(" нент    (мин)   ГЛ"), this);
  for (QLabel* label : {Label1, Label2}) {
    label->setFont(fixed);
    label->setTextFormat(Qt::PlainText);
  }
  model_ = new ShownLinesModel(viewer_, this);
  MemoWin = new QListView(this);
  MemoWin->setObjectName(QStringLiteral("MemoWin"));
  MemoWin->setFont(fixed);
  MemoWin->setModel(model_);
  MemoWin->setUniformItemSizes(true);
  MemoWin->setLayoutMode(QListView::Batched);
  MemoWin->setEditTriggers(QAbstractItemView::NoEditTriggers);
  MemoWin->setSelectionMode(QAbstractItemView::ExtendedSelection);
  MemoWin->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  const QFontMetrics metrics(fixed);
  const int charWidth = metrics.horizontalAdvance(u'0');
  MemoWin->setMinimumWidth(charWidth * 82 + MemoWin->verticalScrollBar()->sizeHint().width());
  MemoWin->setMinimumHeight(320);
  // The headings line up with the memo's columns: Label1 two characters in, Label2 under its
  // word "Або-".
  const int textStart =
      MemoWin->frameWidth() + MemoWin->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
  Label1->setIndent(textStart + 2 * charWidth);
  Label2->setIndent(textStart + 16 * charWidth);

  GroupBox1 = new QGroupBox(QStringLiteral("Сортировка по"), this);
  auto* sortLayout = new QVBoxLayout(GroupBox1);
  SortAbonentButton =
      AddButton(QStringLiteral("абонентам"), GroupBox1, &RecordViewer::SortAbonentButtonClick);
  SortDurationButton =
      AddButton(QStringLiteral("длительности"), GroupBox1, &RecordViewer::SortDurationButtonClick);
  SortGLButton =
      AddButton(QStringLiteral("номеру ГЛ"), GroupBox1, &RecordViewer::SortCityLineButtonClick);
  for (QPushButton* b : {SortAbonentButton, SortDurationButton, SortGLButton}) {
    sortLayout->addWidget(b);
  }

  GroupBox2 = new QGroupBox(QStringLiteral("Выборка по"), this);
  auto* selectLayout = new QVBoxLayout(GroupBox2);
  SelectPhoneButton =
      AddButton(QStringLiteral("телефону"), GroupBox2, &RecordViewer::SelectPhoneButtonClick);
  SelectDurationButton = AddButton(QStringLiteral("длительности"), GroupBox2,
                                   &RecordViewer::SelectDurationButtonClick);
  SelectAllButton =
      AddButton(QStringLiteral("Все"), GroupBox2, &RecordViewer::SelectAllButtonClick);
  for (QPushButton* b : {SelectPhoneButton, SelectDurationButton, SelectAllButton}) {
    selectLayout->addWidget(b);
  }

  Print1Button = AddButton(QStringLiteral("Печать 1"), this, &RecordViewer::Print1ButtonClick);
  Print2Button = AddButton(QStringLiteral("Печать 2"), this, &RecordViewer::Print2ButtonClick);
  ExitButton = new QPushButton(QStringLiteral("Выход"), this);
  ExitButton->setAutoDefault(true);
  connect(ExitButton, &QPushButton::clicked, this, &QWidget::hide);

  auto* side = new QVBoxLayout;
  side->addWidget(GroupBox1);
  side->addWidget(GroupBox2);
  side->addSpacing(8);
  side->addWidget(Print1Button);
  side->addWidget(Print2Button);
  side->addStretch(1);
  side->addWidget(ExitButton);

  auto* left = new QVBoxLayout;
  left->setSpacing(0);
  left->addWidget(Label1);
  left->addWidget(Label2);
  left->addSpacing(2);
  left->addWidget(MemoWin, 1);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addLayout(side);

  // After every sort, selection and "Все" the list shows its top, where the order begins.
  viewer_.onShownChanged = [this] {
    model_->Refresh();
    MemoWin->scrollToTop();
  };
  viewer_.onPrinting = [this](bool busy) {
    if (busy) {
      setCursor(Qt::WaitCursor);
    } else {
      unsetCursor();
    }
  };

  MemoWin->installEventFilter(this);
  resize(860, 560);
}

TFileViewerForm::~TFileViewerForm() = default;

QPushButton* TFileViewerForm::AddButton(const QString& caption, QWidget* parent,
                                        void (RecordViewer::*action)()) {
  auto* button = new QPushButton(caption, parent);
  button->setAutoDefault(true);
  connect(button, &QPushButton::clicked, this,
          [this, action] { RunHandler(env_.ui, [this, action] { (viewer_.*action)(); }); });
  return button;
}

bool TFileViewerForm::LoadRecords(int month, int day, int subscriberChoice) {
  const bool found = viewer_.LoadRecords(month, day, subscriberChoice);
  if (found) {
    MemoWin->scrollToTop();
    MemoWin->setFocus();
  }
  return found;
}

void TFileViewerForm::mousePressEvent(QMouseEvent* event) {
  // A click on the window's own background sorts by city line.
  if (event->button() == Qt::LeftButton && childAt(event->position().toPoint()) == nullptr) {
    RunHandler(env_.ui, [this] { viewer_.SortCityLineButtonClick(); });
  }
  QWidget::mousePressEvent(event);
}

bool TFileViewerForm::eventFilter(QObject* watched, QEvent* event) {
  // Copying takes the selected lines as they stand, TABs and all.
  if (watched == MemoWin && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
    CopyShownLines();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TFileViewerForm::CopyShownLines() {
  const QModelIndexList selected = MemoWin->selectionModel()->selectedRows();
  QStringList rows;
  QList<int> numbers;
  for (const QModelIndex& index : selected) numbers << index.row();
  std::sort(numbers.begin(), numbers.end());
  for (int row : numbers) rows << viewer_.ShownLine(row);
  if (!rows.isEmpty()) QApplication::clipboard()->setText(rows.join(u'\n') + u'\n');
}
