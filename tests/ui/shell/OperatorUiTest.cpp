#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTranslator>
#include <QWindow>

#include "ScriptedUi.h"
#include "core/base/Handlers.h"
#include "core/files/TextFiles.h"
#include "ui/shell/HelpForm.h"
#include "ui/shell/QtOperatorUi.h"
#include "ui/shell/QtTranslation.h"

namespace {

using BoxKind = OperatorUi::BoxKind;

QStringList ButtonTexts(QMessageBox& box) {
  QStringList texts;
  for (QAbstractButton* b : box.buttons()) texts << b->text();
  texts.sort();
  return texts;
}

// Answers the next modal box with a key or a click, once it is up.
void AnswerNextBox(std::function<void(QMessageBox*)> answer) {
  QTimer::singleShot(0, [answer] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    answer(box);
  });
}

QAbstractButton* ButtonNamed(QMessageBox* box, const QString& text) {
  for (QAbstractButton* b : box->buttons()) {
    if (b->text() == text) return b;
  }
  return nullptr;
}

}  // namespace

TEST(QtBoxes, LooksFollowTheErrorFlag) {
  auto question = QtOperatorUi::CreateBox(BoxKind::YesNo, QStringLiteral("a\r\nb"), false);
  EXPECT_EQ(question->windowTitle(), QStringLiteral("Confirm"));
  EXPECT_EQ(question->icon(), QMessageBox::Question);
  EXPECT_EQ(ButtonTexts(*question), (QStringList{"&No", "&Yes"}));
  EXPECT_EQ(question->text(), QStringLiteral("a\nb"));  // CR LF pairs are line breaks
  EXPECT_EQ(question->textFormat(), Qt::PlainText);

  auto error = QtOperatorUi::CreateBox(BoxKind::Info, QStringLiteral("x"), true);
  EXPECT_EQ(error->windowTitle(), QStringLiteral("Error"));
  EXPECT_EQ(error->icon(), QMessageBox::Critical);
  EXPECT_EQ(ButtonTexts(*error), QStringList{"OK"});

  auto info = QtOperatorUi::CreateBox(BoxKind::Info, QStringLiteral("x"), false);
  EXPECT_EQ(info->windowTitle(), QStringLiteral("Confirm"));
  EXPECT_EQ(info->icon(), QMessageBox::Question);

  auto yesCancel = QtOperatorUi::CreateBox(BoxKind::YesCancel, QStringLiteral("x"), true);
  EXPECT_EQ(ButtonTexts(*yesCancel), (QStringList{"&Yes", "Cancel"}));
  EXPECT_EQ(yesCancel->windowTitle(), QStringLiteral("Error"));

  auto general = QtOperatorUi::CreateBox(BoxKind::Error, QStringLiteral("x"), true);
  EXPECT_EQ(general->windowTitle(), QStringLiteral("NorvelWin"));
  EXPECT_EQ(general->icon(), QMessageBox::Critical);
}

TEST(QtBoxes, OnlyYesGivesTrue) {
  QtOperatorUi ui;
  AnswerNextBox([](QMessageBox* box) { ButtonNamed(box, "&Yes")->click(); });
  EXPECT_TRUE(ui.YesNoBox(QStringLiteral("?"), false));
  AnswerNextBox([](QMessageBox* box) { ButtonNamed(box, "&No")->click(); });
  EXPECT_FALSE(ui.YesNoBox(QStringLiteral("?"), false));
  AnswerNextBox([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
  EXPECT_FALSE(ui.YesNoBox(QStringLiteral("?"), false));
  AnswerNextBox([](QMessageBox* box) { box->close(); });
  EXPECT_FALSE(ui.YesNoBox(QStringLiteral("?"), true));
  AnswerNextBox([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
  EXPECT_FALSE(ui.YesCancelBox(QStringLiteral("?"), true));
  AnswerNextBox([](QMessageBox* box) { ButtonNamed(box, "Cancel")->click(); });
  EXPECT_FALSE(ui.YesCancelBox(QStringLiteral("?"), true));
  AnswerNextBox([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); });
  EXPECT_TRUE(ui.YesCancelBox(QStringLiteral("?"), true));
  AnswerNextBox([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); });
  ui.InfoBox(QStringLiteral("done"), false);
}

TEST(QtBoxes, ABoxEndsTheBusyCursor) {
  QtOperatorUi ui;
  ui.SetBusy(false);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  Qt::CursorShape during = Qt::WaitCursor;
  AnswerNextBox([&during](QMessageBox* box) {
    during = QGuiApplication::overrideCursor() ? QGuiApplication::overrideCursor()->shape()
                                               : Qt::ArrowCursor;
    box->accept();
  });
  ui.InfoBox(QStringLiteral("x"), true);
  EXPECT_EQ(during, Qt::ArrowCursor);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);  // and it stays normal afterwards
  ui.SetBusy(true);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(BusyState, DoesNotNestAndEndRestoresTheCursorFromBeforeTheFirstBegin) {
  ScriptedUi ui;
  ui.SetBusy(false);
  ui.SetBusy(false);
  EXPECT_EQ(ui.CurrentCursor(), OperatorUi::Cursor::Busy);
  ui.SetBusy(true);
  EXPECT_EQ(ui.CurrentCursor(), OperatorUi::Cursor::Default);
  ui.SetBusy(true);  // an end without a begin gives the default cursor
  EXPECT_EQ(ui.CurrentCursor(), OperatorUi::Cursor::Default);

  QtOperatorUi qt;
  qt.SetBusy(false);
  qt.SetBusy(false);
  qt.SetBusy(true);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(BusyState, EveryBoxEndsIt) {
  ScriptedUi ui;
  ui.ExpectInfo(QStringLiteral("x"), false);
  ui.SetBusy(false);
  ui.InfoBox(QStringLiteral("x"), false);
  EXPECT_FALSE(ui.CursorBusyDuringBox());
  EXPECT_EQ(ui.CurrentCursor(), OperatorUi::Cursor::Default);
}

TEST(GeneralErrorHandler, ShowsTheErrorCaptionedWithTheProgramAndGoesOn) {
  ScriptedUi ui;
  ui.ExpectError(QStringLiteral("Неверное число в файле NorvelWin.ini, строка 2"));
  bool after = false;
  RunHandler(
      ui, [] { throw IoError(QStringLiteral("Неверное число в файле NorvelWin.ini, строка 2")); });
  RunHandler(ui, [&after] { after = true; });
  EXPECT_TRUE(after);
  ui.ExpectError(QStringLiteral("plain"));
  RunHandler(ui, [] { throw std::runtime_error("plain"); });
  ui.ExpectError(QStringLiteral("Недостаточно памяти для выполнения операции"));
  RunHandler(ui, [] { throw std::bad_alloc(); });
}

TEST(QtHelp, OpensTheTopicOrSaysWhatIsMissing) {
  QTemporaryDir dir;
  QtOperatorUi ui;
  ui.SetHelpDirectories({dir.path()});
  QString shown;
  AnswerNextBox([&shown](QMessageBox* box) {
    shown = box->text();
    box->accept();
  });
  ui.ShowHelp(10);
  EXPECT_EQ(shown, QStringLiteral("Не найден файл справки Norvel.hlp"));

  QFile file(QDir(dir.path()).filePath(QStringLiteral("Norvel.hlp")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(EncodeCp1251(QStringLiteral("[10] Главное меню\r\nКнопки меню.\r\n")));
  file.close();
  AnswerNextBox([&shown](QMessageBox* box) {
    shown = box->text();
    box->accept();
  });
  ui.ShowHelp(20);
  EXPECT_EQ(shown, QStringLiteral("В файле справки Norvel.hlp нет раздела 20"));

  ui.ShowHelp(10);
  ASSERT_NE(ui.Help(), nullptr);
  EXPECT_TRUE(ui.Help()->isVisible());
  EXPECT_EQ(ui.Help()->TopicNumber(), 10);
  EXPECT_TRUE(ui.Help()->Text().contains(QStringLiteral("Кнопки меню.")));
}

TEST(QtHelp, TheHelpWindowWorksBesideAModalWindowAndAfterIt) {
  QTemporaryDir dir;
  QFile file(QDir(dir.path()).filePath(QStringLiteral("Norvel.hlp")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  QString text = QStringLiteral("[30] ДВО-1 абонентов\r\n");
  for (int i = 0; i < 200; ++i) text += QStringLiteral("Строка %1 раздела.\r\n").arg(i);
  file.write(EncodeCp1251(text));
  file.close();
  QtOperatorUi ui;
  ui.SetHelpDirectories({dir.path()});

  // A table window shown modally; F1 in it asks for its topic. Keys and clicks reach the help
  // window the way the window system delivers them, where modality is enforced.
  QDialog table;
  table.resize(300, 200);
  bool checked = false;
  QTimer::singleShot(0, [&] {
    ASSERT_EQ(QApplication::activeModalWidget(), &table);
    ui.ShowHelp(30);
    HelpForm* help = ui.Help();
    ASSERT_NE(help, nullptr);
    ASSERT_TRUE(help->isVisible());
    EXPECT_EQ(help->windowHandle()->transientParent(), table.windowHandle());
    auto* scroll = help->findChild<QTextBrowser*>()->verticalScrollBar();
    QApplication::setActiveWindow(help);
    help->findChild<QTextBrowser*>()->setFocus();
    QTest::keyClick(help->windowHandle(), Qt::Key_PageDown);
    EXPECT_GT(scroll->value(), 0);  // it scrolls
    auto* close = help->findChild<QPushButton*>();
    QTest::mouseClick(help->windowHandle(), Qt::LeftButton, {},
                      close->mapTo(help, close->rect().center()));
    EXPECT_FALSE(help->isVisible());  // and closes
    ui.ShowHelp(30);
    EXPECT_TRUE(help->isVisible());
    checked = true;
    table.done(1);
  });
  table.exec();
  EXPECT_TRUE(checked);
  // The table has gone; the help window still answers.
  HelpForm* help = ui.Help();
  ASSERT_TRUE(help->isVisible());
  QApplication::setActiveWindow(help);
  QTest::keyClick(help->windowHandle(), Qt::Key_Escape);
  EXPECT_FALSE(help->isVisible());
}

// Qt's own dialogs speak Russian once its translation is loaded; the boxes of the program keep
// their own buttons.
TEST(QtTranslation, QtsOwnDialogsSpeakRussian) {
  const char* overwrite = "%1 already exists.\nDo you want to replace it?";
  QTranslator* russian = LoadQtRussian(*QCoreApplication::instance());
  ASSERT_NE(russian, nullptr) << "Qt's Russian translation (qt6-translations-l10n) is missing";
  EXPECT_NE(QCoreApplication::translate("QFileDialog", overwrite), QLatin1String(overwrite));
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Отмена"));
  const auto box = QtOperatorUi::CreateBox(OperatorUi::BoxKind::YesNo, QStringLiteral("?"), false);
  const auto* yes = box->findChild<QPushButton*>(QStringLiteral("yes"));
  ASSERT_NE(yes, nullptr);
  EXPECT_EQ(yes->text(), QStringLiteral("&Yes"));
  QCoreApplication::removeTranslator(russian);
  delete russian;
}
