#include <gtest/gtest.h>

#include <QDir>

#include "FakeHost.h"
#include "core/files/ConfigCopy.h"

namespace {

const QString kMissing = QStringLiteral("Не найден файл Norvel.cfg");
const QString kReadError = QStringLiteral("Ошибка чтения файла Norvel.cfg");
const QString kOldForm = QStringLiteral(
    "Ошибка чтения файла Norvel.cfg Возможно используется устаревший формат файла (256 байт). "
    "Продолжить?");
const QString kWriteError = QStringLiteral("Ошибка записи данных в файл Norvel.cfg");

QByteArray Pattern(int size, int seed = 0) {
  QByteArray bytes(size, 0);
  for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + seed) & 0xFF);
  return bytes;
}

QByteArray AsBytes(const ConfigImage& image) {
  return QByteArray(reinterpret_cast<const char*>(image.data()), kImageSize);
}

ConfigImage Filled(std::uint8_t value) {
  ConfigImage image;
  image.fill(value);
  return image;
}

}  // namespace

TEST(ConfigCopy, A512ByteFileLoadsUnchangedWithoutAMessage) {
  FakeHost host;
  host.WriteFile("Norvel.cfg", Pattern(512));
  ConfigImage image = Filled(0x11);
  EXPECT_TRUE(ReadConfigCopy(host.env.workDir, host.env.ui, image));
  EXPECT_EQ(AsBytes(image), Pattern(512));
}

TEST(ConfigCopy, TheOldFormIsTakenAfterTheQuestionWithZerosForTheNightHalf) {
  FakeHost host;
  host.WriteFile("Norvel.cfg", Pattern(256));
  ConfigImage image = Filled(0x11);
  host.ui.ExpectYesNo(kOldForm, true, true);
  EXPECT_TRUE(ReadConfigCopy(host.env.workDir, host.env.ui, image));
  EXPECT_EQ(AsBytes(image), Pattern(256) + QByteArray(256, 0));
}

TEST(ConfigCopy, RefusingTheOldFormFailsQuietlyAndKeepsTheImage) {
  FakeHost host;
  host.WriteFile("Norvel.cfg", Pattern(256));
  ConfigImage image = Filled(0x11);
  host.ui.ExpectYesNo(kOldForm, true, false);
  EXPECT_FALSE(ReadConfigCopy(host.env.workDir, host.env.ui, image));
  EXPECT_EQ(image, Filled(0x11));
}

TEST(ConfigCopy, OtherSizesAreReadErrorsAndKeepTheImage) {
  for (int size : {0, 1, 255, 257, 300, 511}) {
    FakeHost host;
    host.WriteFile("Norvel.cfg", Pattern(size));
    ConfigImage image = Filled(0x11);
    host.ui.ExpectInfo(kReadError, true);
    EXPECT_FALSE(ReadConfigCopy(host.env.workDir, host.env.ui, image)) << size;
    EXPECT_EQ(image, Filled(0x11)) << size;
  }
}

TEST(ConfigCopy, ALongerFileLoadsItsFirst512BytesAndKeepsItsTailOnWriting) {
  FakeHost host;
  host.WriteFile("Norvel.cfg", Pattern(600));
  ConfigImage image{};
  EXPECT_TRUE(ReadConfigCopy(host.env.workDir, host.env.ui, image));
  EXPECT_EQ(AsBytes(image), Pattern(512));

  EXPECT_TRUE(WriteConfigCopy(host.env.workDir, host.env.ui, Filled(0x5A)));
  EXPECT_EQ(host.ReadFile("Norvel.cfg"), QByteArray(512, 0x5A) + Pattern(600).mid(512));
}

TEST(ConfigCopy, WritingOverTheOldFormMakesIt512Bytes) {
  FakeHost host;
  host.WriteFile("Norvel.cfg", Pattern(256));
  EXPECT_TRUE(WriteConfigCopy(host.env.workDir, host.env.ui, Filled(0x42)));
  EXPECT_EQ(host.ReadFile("Norvel.cfg"), QByteArray(512, 0x42));
}

TEST(ConfigCopy, WritingWithoutAFileCreatesIt) {
  FakeHost host;
  ConfigImage image{};
  for (int i = 0; i < kImageSize; ++i) image[i] = static_cast<std::uint8_t>(i);
  EXPECT_TRUE(WriteConfigCopy(host.env.workDir, host.env.ui, image));
  EXPECT_EQ(host.ReadFile("Norvel.cfg"), AsBytes(image));
}

TEST(ConfigCopy, MissingFileAndDirectoryInItsPlaceAreReported) {
  FakeHost host;
  ConfigImage image = Filled(0x11);
  host.ui.ExpectInfo(kMissing, true);
  EXPECT_FALSE(ReadConfigCopy(host.env.workDir, host.env.ui, image));

  ASSERT_TRUE(QDir(host.dir.path()).mkdir("Norvel.cfg"));
  host.ui.ExpectInfo(kReadError, true);
  EXPECT_FALSE(ReadConfigCopy(host.env.workDir, host.env.ui, image));
  host.ui.ExpectInfo(kWriteError, true);
  EXPECT_FALSE(WriteConfigCopy(host.env.workDir, host.env.ui, image));
  EXPECT_EQ(image, Filled(0x11));
}
