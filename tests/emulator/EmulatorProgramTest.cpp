// The station emulator as a program: its command line, signals and pacing.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <csignal>

#include "Emulator.h"
#include "ScriptedUi.h"
#include "StationOptions.h"
#include "core/base/Clock.h"
#include "core/base/Environment.h"
#include "core/link/QtSerialTransport.h"
#include "core/link/RS232.h"

namespace {

struct LinkTo {
  explicit LinkTo(EmulatorProcess& emulator) {
    qputenv("NORVEL_COM2", QFile::encodeName(emulator.LinkPath()));
    link = std::make_unique<RS232Class>(env, 2);
    link->Open();
  }
  ~LinkTo() { qunsetenv("NORVEL_COM2"); }
  SystemClock clock;
  QtSerialPortFactory ports;
  ScriptedUi ui;
  Environment env{ui, clock, ports, QDir::tempPath()};
  std::unique_ptr<RS232Class> link;
};

}  // namespace

TEST(EmulatorProgram, HelpAndBadArguments) {
  QProcess help;
  help.start(QStringLiteral(NORVEL_EMULATOR), {QStringLiteral("--help")});
  ASSERT_TRUE(help.waitForFinished(5000));
  EXPECT_EQ(help.exitCode(), 0);
  EXPECT_TRUE(help.readAllStandardOutput().contains("--cable-pulled-after"));

  QProcess bad;
  bad.start(QStringLiteral(NORVEL_EMULATOR), {QStringLiteral("--boards")});
  ASSERT_TRUE(bad.waitForFinished(5000));
  EXPECT_EQ(bad.exitCode(), 2);
  EXPECT_TRUE(bad.readAllStandardError().contains("Missing value after '--boards'"));
}

// Options take "--name value" and "--name=value" alike, and numbers are checked.
TEST(EmulatorProgram, OptionsTakeBothForms) {
  QString error;
  const std::optional<station::EmulatorCommandLine> line = station::ParseCommandLine(
      {"--link=/tmp/x", "--boards", "3", "--calls=7", "--noise", "--stray-in-reply=2"}, &error);
  ASSERT_TRUE(line) << error.toStdString();
  EXPECT_EQ(line->link, QStringLiteral("/tmp/x"));
  EXPECT_EQ(line->station.boards, 3);
  EXPECT_EQ(line->station.calls, 7);
  EXPECT_TRUE(line->station.noise);
  EXPECT_EQ(line->station.strayInReply, 2);
  EXPECT_FALSE(station::ParseCommandLine({"--link=/tmp/x", "--seed=x"}, &error));
  EXPECT_EQ(error, QStringLiteral("--seed needs a number, not x"));
  EXPECT_FALSE(station::ParseCommandLine({"--link=/tmp/x", "stray"}, &error));
}

TEST(EmulatorProgram, ServesOnItsLinkAndCleansUpOnSigterm) {
  EmulatorProcess emulator;
  ASSERT_TRUE(emulator.Start());
  const QFileInfo link(emulator.LinkPath());
  EXPECT_TRUE(link.isSymLink());
  EXPECT_TRUE(link.symLinkTarget().startsWith(QStringLiteral("/dev/pts/")));
  emulator.Stop();
  EXPECT_FALSE(QFileInfo::exists(emulator.LinkPath()));
  EXPECT_FALSE(QFileInfo(emulator.LinkPath()).isSymLink());
  EXPECT_EQ(emulator.Memory().size(), 65536);
}

TEST(EmulatorProgram, Sigusr1SwitchesTheWriteProtection) {
  EmulatorProcess emulator;
  ASSERT_TRUE(emulator.Start());
  LinkTo pc(emulator);
  ASSERT_TRUE(pc.link->IsOpen());
  const quint8 value = 0x5A;
  emulator.Signal(SIGUSR1);  // protection on
  ASSERT_TRUE(emulator.WaitForMessage(QStringLiteral("write protection on")));
  pc.link->WriteMemory(1280, &value, 1);
  pc.link->Pause();
  quint8 byte = 0;
  ASSERT_TRUE(pc.link->ReadMemory(1280, 1, &byte));
  EXPECT_NE(byte, 0x5A);
  emulator.Signal(SIGUSR1);  // and off again
  ASSERT_TRUE(emulator.WaitForMessage(QStringLiteral("write protection off")));
  pc.link->WriteMemory(1280, &value, 1);
  pc.link->Pause();
  ASSERT_TRUE(pc.link->ReadMemory(1280, 1, &byte));
  EXPECT_EQ(byte, 0x5A);
}

TEST(EmulatorProgram, RealTimeRepliesTakeTenBitTimesPerByte) {
  station::StationOptions options;
  options.realtime = true;
  EmulatorProcess emulator(options);
  ASSERT_TRUE(emulator.Start());
  LinkTo pc(emulator);
  ASSERT_TRUE(pc.link->IsOpen());
  QByteArray buffer(200, 0);
  QElapsedTimer timer;
  timer.start();
  ASSERT_TRUE(pc.link->ReadMemory(1280, 200, reinterpret_cast<quint8*>(buffer.data())));
  // 400 ms reply wait, the emulator's 550 ms delay, then 200 bytes at 976 bit/s (2.05 s).
  EXPECT_GE(timer.elapsed(), 550 + 2000);
  EXPECT_LT(timer.elapsed(), 550 + 2050 + 1500);
}
