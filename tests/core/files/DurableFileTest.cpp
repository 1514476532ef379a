#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cerrno>
#include <csignal>

#include "FakeHost.h"
#include "core/base/Errors.h"
#include "core/files/CallRecords.h"
#include "core/files/DataFiles.h"
#include "core/files/SettingsFile.h"
#include "core/platform/DurableFile.h"
#include "core/platform/Processes.h"

namespace {

// A write call that takes a few bytes and then finds the device full.
long FullAfterFewBytes(int descriptor, const char* data, long size) {
  static long budget = 0;
  if (data == nullptr) {  // reset
    budget = size;
    return 0;
  }
  if (budget <= 0) {
    errno = ENOSPC;
    return -1;
  }
  const long taken = std::min(size, budget);
  budget -= taken;
  return static_cast<long>(::write(descriptor, data, static_cast<size_t>(taken)));
}

struct WriteFailure : ::testing::Test {
  void SetUp() override {
    FullAfterFewBytes(-1, nullptr, 10);
    SetDurableWriteCall(FullAfterFewBytes);
  }
  void TearDown() override { SetDurableWriteCall(nullptr); }
};

// A small filesystem of its own, filled up; skipped where the tests may not mount one.
struct FullDisk : ::testing::Test {
  QTemporaryDir dir;
  bool mounted = false;
  void SetUp() override {
    mounted = QProcess::execute(QStringLiteral("mount"),
                                {"-t", "tmpfs", "-o", "size=64k", "tmpfs", dir.path()}) == 0;
    if (!mounted) GTEST_SKIP() << "no small filesystem can be mounted here";
  }
  void Fill() {
    QFile filler(dir.filePath(QStringLiteral("filler")));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
  }
  void TearDown() override {
    if (mounted) QProcess::execute(QStringLiteral("umount"), {dir.path()});
  }
};

}  // namespace

TEST_F(WriteFailure, TheOldFileStaysAndTheReasonIsTheSystems) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("file"));
  {
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("the old contents");
  }
  QString reason;
  EXPECT_FALSE(ReplaceFileDurably(path, QByteArray(100, 'n'), &reason));
  EXPECT_EQ(reason, QStringLiteral("No space left on device"));
  QFile kept(path);
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), QByteArray("the old contents"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"file"});
}

TEST_F(WriteFailure, TheSettingsFileKeepsItsValuesAndTheOperatorIsTold) {
  FakeHost host;
  const QDateTime moment = MakeDateTime(QDate(2026, 11, 30), QTime(18, 0, 5));
  SetDurableWriteCall(nullptr);
  WriteSettingsFile(host.env.workDir, 3, 4, moment);
  SetDurableWriteCall(FullAfterFewBytes);
  try {
    WriteSettingsFile(host.env.workDir, 1, 1, moment.addDays(1));
    ADD_FAILURE() << "the write was reported as done";
  } catch (const IoError& error) {
    EXPECT_EQ(error.Message(),
              QStringLiteral("Не удается записать файл NorvelWin.ini: No space left on device"));
  }
  const LinkSettings kept = ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock);
  EXPECT_EQ(kept.portNumber, 3);
  EXPECT_EQ(kept.boardCount, 4);
  EXPECT_EQ(kept.resetMoment, moment);
}

TEST_F(FullDisk, TheSettingsFileIsNeverEmptiedByAFullDisk) {
  FakeClock clock;
  ScriptedUi ui;
  FakePorts ports;
  Environment env{ui, clock, ports, dir.path()};
  const QDateTime moment = MakeDateTime(QDate(2026, 11, 30), QTime(18, 0, 5));
  WriteSettingsFile(env.workDir, 3, 4, moment);
  Fill();
  EXPECT_THROW(WriteSettingsFile(env.workDir, 1, 1, moment.addDays(1)), IoError);
  const LinkSettings kept = ReadSettingsFile(env.workDir, env.ui, env.clock);
  EXPECT_EQ(kept.portNumber, 3);
  EXPECT_EQ(kept.resetMoment, moment);
}

TEST_F(FullDisk, AFailedAppendSaysWhy) {
  FakeClock clock;
  ScriptedUi ui;
  FakePorts ports;
  Environment env{ui, clock, ports, dir.path()};
  Fill();
  std::vector<CallRecord> records(200);
  for (CallRecord& record : records) {
    record.StartTime = MakeDateTime(QDate(2026, 12, 7), QTime(9, 0));
    record.DialledNumber = QStringLiteral("123456789012345678");
  }
  try {
    AppendCallRecords(env.workDir, records);
    ADD_FAILURE() << "the append was reported as done";
  } catch (const IoError& error) {
    EXPECT_TRUE(error.Message().endsWith(QStringLiteral("No space left on device")))
        << error.Message().toStdString();
  }
  EXPECT_FALSE(QFile::exists(dir.filePath(DataFileName(12))));
}

// A directory that cannot be synced after a rename or a new month file is a failure with the
// system's reason; a file system that cannot sync directories at all (EINVAL) is none.
TEST(DirectorySync, AnIoErrorIsAFailureAndNoSupportIsNone) {
  const struct {
    const char* name;
    int error;
    bool fails;
  } rows[] = {{"an I/O error", EIO, true}, {"no support", EINVAL, false}};
  static int g_error = 0;
  const auto call = [](int month) {
    std::vector<CallRecord> records(1);
    records[0].StartTime = MakeDateTime(QDate(2026, month, 7), QTime(9, 0));
    return records;
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    QTemporaryDir dir;
    std::vector<CallRecord> november = call(11);
    AppendCallRecords(dir.path(), november);
    g_error = row.error;
    SetDurableDirectorySyncCall([](int) {
      errno = g_error;
      return -1;
    });
    QString reason;
    const bool replaced = ReplaceFileDurably(dir.filePath(QStringLiteral("f")), "x", &reason);
    QFile finished(dir.filePath(QStringLiteral("g.part")));
    finished.open(QIODevice::WriteOnly);
    finished.close();
    const bool placed =
        PlaceFileDurably(finished.fileName(), dir.filePath(QStringLiteral("g")), &reason);
    std::vector<CallRecord> december = call(12);
    QString appended;
    try {
      AppendCallRecords(dir.path(), december);
    } catch (const IoError& error) {
      appended = error.Message();
    }
    // Appending to a month file that is there already changes no name.
    EXPECT_NO_THROW(AppendCallRecords(dir.path(), november));
    SetDurableDirectorySyncCall(nullptr);
    EXPECT_EQ(replaced, !row.fails);
    EXPECT_EQ(placed, !row.fails);
    EXPECT_EQ(appended, row.fails ? QStringLiteral("Не удается записать файл Data12.txt: "
                                                   "Input/output error")
                                  : QString());
    EXPECT_EQ(QFile::exists(dir.filePath(DataFileName(12))), !row.fails);
    if (row.fails) {
      EXPECT_EQ(reason, QStringLiteral("Input/output error"));
    }
  }
}

// A SIGTERM takes the scratch directory with it, whatever a library left in it for the moment,
// and the output file being written; forgetting the scratch directory keeps the output file's
// handler. Each case runs in a child process that the signal ends.
TEST(TerminationCleanUp, ASignalLeavesNoScratchAndNoUnfinishedOutput) {
  QTemporaryDir dir;
  const QString scratch = dir.filePath(QStringLiteral("scratch"));
  const QString output = dir.filePath(QStringLiteral(".out.part"));
  struct Case {
    const char* name;
    bool forgetScratch;
  };
  for (const Case c : {Case{"in the middle", false}, Case{"scratch forgotten", true}}) {
    SCOPED_TRACE(c.name);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      OsRemoveOutputOnTermination(output);
      QFile(output).open(QIODevice::WriteOnly);
      OsRemoveOnTermination(scratch + QStringLiteral("/export.xlsx"), scratch);
      QDir().mkdir(scratch);
      QFile(scratch + QStringLiteral("/tmpXYZ")).open(QIODevice::WriteOnly);
      if (c.forgetScratch) {
        OsRemoveOnTermination({}, {});
        QDir(scratch).removeRecursively();
      }
      ::raise(SIGTERM);
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_FALSE(QFileInfo::exists(scratch));
    EXPECT_FALSE(QFileInfo::exists(output));
  }
}
