#include "ui/shell/QtOperatorUi.h"

#include <QApplication>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include "core/files/HelpFile.h"
#include "ui/link/Thermometer.h"
#include "ui/shell/HelpForm.h"

namespace {
const QString kNoHelpFile = QStringLiteral("Не найден файл справки Norvel.hlp");
const QString kNoHelpTopic = QStringLiteral("В файле справки Norvel.hlp нет раздела %1");
}  // namespace

QtOperatorUi::QtOperatorUi() = default;
QtOperatorUi::~QtOperatorUi() = default;

std::unique_ptr<QMessageBox> QtOperatorUi::CreateBox(BoxKind kind, const QString& text, bool error,
                                                     QWidget* parent) {
  auto box = std::make_unique<QMessageBox>(parent);
  QString title = QLatin1String(error ? kErrorCaption : kConfirmCaption);
  if (kind == BoxKind::Error) title = QLatin1String(kProgramName);
  box->setWindowTitle(title);
  box->setIcon(error ? QMessageBox::Critical : QMessageBox::Question);
  box->setTextFormat(Qt::PlainText);
  QString shown = text;
  shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  box->setText(shown);
  switch (kind) {
    case BoxKind::Info:
    case BoxKind::Error: {
      QPushButton* ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
      box->setDefaultButton(ok);
      box->setEscapeButton(ok);
      break;
    }
    case BoxKind::YesNo: {
      QPushButton* yes = box->addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
      QPushButton* no = box->addButton(QStringLiteral("&No"), QMessageBox::NoRole);
      yes->setObjectName(QStringLiteral("yes"));
      box->setDefaultButton(yes);
      box->setEscapeButton(no);
      break;
    }
    case BoxKind::YesCancel: {
      QPushButton* yes = box->addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
      QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
      yes->setObjectName(QStringLiteral("yes"));
      box->setDefaultButton(yes);
      box->setEscapeButton(cancel);
      break;
    }
  }
  return box;
}

bool QtOperatorUi::ShowBox(BoxKind kind, const QString& text, bool error) {
  // The progress window stays on top of every window: under a window manager it would hide the
  // box asked in the middle of a transfer.
  const bool progressAside = thermometer_ && thermometer_->StepAside();
  QWidget* owner = QApplication::activeWindow();
  if (owner == thermometer_) owner = nullptr;
  std::unique_ptr<QMessageBox> box = CreateBox(kind, text, error, owner);
  box->exec();
  if (progressAside) thermometer_->ComeBack();
  const QAbstractButton* clicked = box->clickedButton();
  return clicked && clicked->objectName() == QLatin1String("yes");
}

OperatorUi::Cursor QtOperatorUi::ScreenCursor() const {
  const QCursor* cursor = QGuiApplication::overrideCursor();
  return cursor && cursor->shape() == Qt::WaitCursor ? Cursor::Busy : Cursor::Default;
}

void QtOperatorUi::SetScreenCursor(Cursor cursor) {
  while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
  if (cursor == Cursor::Busy) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtOperatorUi::StartProgress(const QString& caption, quint16 maximum) {
  if (thermometer_) thermometer_->StartProgress(caption, maximum);
}

void QtOperatorUi::SetProgress(quint16 position) {
  if (thermometer_) thermometer_->SetProgress(position);
}

void QtOperatorUi::EndProgress() {
  if (thermometer_) thermometer_->EndProgress();
}

QString QtOperatorUi::InputBox(const QString& caption, const QString& prompt,
                               const QString& defaultText) {
  bool ok = false;
  const QString answer = QInputDialog::getText(QApplication::activeWindow(), caption, prompt,
                                               QLineEdit::Normal, defaultText, &ok);
  return ok ? answer : defaultText;
}

void QtOperatorUi::ShowHelp(int topic) {
  const QString path = FindHelpFile(helpDirectories_);
  std::optional<HelpFile> file;
  if (!path.isEmpty()) file = HelpFile::Load(path);
  if (!file) {
    InfoBox(kNoHelpFile, true);
    return;
  }
  const std::optional<HelpTopic> found = file->Topic(topic);
  if (!found) {
    InfoBox(kNoHelpTopic.arg(topic), true);
    return;
  }
  if (!help_) help_ = std::make_unique<HelpForm>();
  help_->ShowTopic(*found, QApplication::activeModalWidget());
}
