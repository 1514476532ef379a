#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/files/HelpFile.h"
#include "core/files/TextFiles.h"

TEST(HelpFile, ParsesTopicsByNumber) {
  const HelpFile help = HelpFile::Parse(QStringLiteral(
      "; comment\r\nignored\r\n[10] Главное меню\r\nПервая строка\r\n\r\nВторая\r\n\r\n"
      "[170]   Порт  \r\nCOM\r\n"));
  ASSERT_EQ(help.Numbers(), (QList<int>{10, 170}));
  const auto main = help.Topic(10);
  ASSERT_TRUE(main);
  EXPECT_EQ(main->title, QStringLiteral("Главное меню"));
  EXPECT_EQ(main->text, QStringLiteral("Первая строка\n\nВторая\n"));
  EXPECT_EQ(help.Topic(170)->title, QStringLiteral("Порт"));
  EXPECT_FALSE(help.Topic(20));
}

TEST(HelpFile, TheInstalledFileIsWindows1251AndHoldsTheWindowsTopics) {
  const QString path = FindHelpFile({QStringLiteral(NORVEL_BIN_DIR)});
  ASSERT_FALSE(path.isEmpty());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  EXPECT_TRUE(bytes.contains(EncodeCp1251(QStringLiteral("Программирование"))));
  const auto help = HelpFile::Load(path);
  ASSERT_TRUE(help);
  for (int topic : {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 150, 160, 170, 6400}) {
    ASSERT_TRUE(help->Topic(topic)) << topic;
    EXPECT_GT(help->Topic(topic)->text.size(), 100) << topic;
  }
}

TEST(HelpFile, FindsTheFirstDirectoryThatHoldsOne) {
  QTemporaryDir a;
  QTemporaryDir b;
  EXPECT_TRUE(FindHelpFile({a.path(), b.path()}).isEmpty());
  QFile file(QDir(b.path()).filePath("Norvel.hlp"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  EXPECT_EQ(FindHelpFile({a.path(), b.path()}), file.fileName());
  EXPECT_FALSE(HelpFile::Load(QDir(a.path()).filePath("Norvel.hlp")));
}
