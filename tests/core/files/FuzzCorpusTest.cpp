// The inputs the fuzzers found interesting, replayed with the same checks on every test run.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "FakeHost.h"
#include "QuietUi.h"
#include "core/base/Errors.h"
#include "core/files/CallRecords.h"
#include "core/files/ConfigCopy.h"
#include "core/files/HelpFile.h"
#include "core/files/SettingsFile.h"
#include "core/files/TextFiles.h"

namespace {

QList<QByteArray> Corpus(const char* name) {
  QList<QByteArray> inputs;
  const QDir dir(QStringLiteral(NORVEL_SOURCE_DIR "/tests/fuzz/corpus/") + QLatin1String(name));
  for (const QString& file : dir.entryList(QDir::Files)) {
    QFile f(dir.filePath(file));
    if (f.open(QIODevice::ReadOnly)) inputs << f.readAll();
  }
  return inputs;
}

struct QuietHost {
  QuietUi ui{true};
  FakeClock clock;
  FakePorts ports;
  QTemporaryDir dir;
  Environment env{ui, clock, ports, dir.path()};
  void Write(const char* name, const QByteArray& bytes) {
    QFile file(env.FilePath(QLatin1String(name)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
  }
};

}  // namespace

TEST(FuzzCorpus, StationStreamsDecodeIntoRecordsWithinTheirRanges) {
  const QList<QByteArray> inputs = Corpus("decode");
  ASSERT_GT(inputs.size(), 10);
  for (const QByteArray& input : inputs) {
    std::vector<quint8> buffer(input.begin(), input.end());
    buffer.push_back(0);
    std::vector<CallRecord> records;
    DecodeCallRecords(buffer.data(), static_cast<qsizetype>(buffer.size()), QDate(2026, 3, 1),
                      records);
    for (const CallRecord& r : records) {
      EXPECT_LE(r.DialledNumber.size(), kMaxDialledDigits);
      EXPECT_GE(r.Subscriber, 20);
      EXPECT_LE(r.Subscriber, 45);
      EXPECT_LE(r.CityLine, 8);
      EXPECT_LE(r.CallType, 3);
      EXPECT_GE(r.Duration, -1440);
      EXPECT_LE(r.Duration, 1440);
      EXPECT_EQ(TextToCallRecord(CallRecordToText(r)), r);
    }
  }
}

TEST(FuzzCorpus, DataLinesConvertOrFailCleanly) {
  const QList<QByteArray> inputs = Corpus("text_line");
  ASSERT_GT(inputs.size(), 10);
  int converted = 0;
  for (const QByteArray& input : inputs) {
    CallRecord record;
    try {
      record = TextToCallRecord(DecodeCp1251(input));
    } catch (const ConvertError&) {
      continue;
    }
    ++converted;
    EXPECT_LE(record.DialledNumber.size(), kMaxDialledDigits);
    const QString text = CallRecordToText(record);
    EXPECT_EQ(CallRecordToText(TextToCallRecord(text)), text);
  }
  EXPECT_GT(converted, 0);
}

TEST(FuzzCorpus, SettingsFilesAreReadOrRefusedAndWhatIsReadWritesBackTheSame) {
  const QList<QByteArray> inputs = Corpus("settings");
  ASSERT_GT(inputs.size(), 10);
  QuietHost host;
  for (const QByteArray& input : inputs) {
    host.Write(kSettingsFileName, input);
    LinkSettings read;
    try {
      read = ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock);
    } catch (const IoError&) {
      continue;
    }
    ASSERT_TRUE(read.resetMoment.isValid());
    WriteSettingsFile(host.env.workDir, read.portNumber, read.boardCount, read.resetMoment);
    const LinkSettings again = ReadSettingsFile(host.env.workDir, host.env.ui, host.env.clock);
    EXPECT_EQ(again.portNumber, read.portNumber);
    EXPECT_EQ(again.boardCount, read.boardCount);
    EXPECT_EQ(again.resetMoment.secsTo(read.resetMoment), 0);
  }
}

TEST(FuzzCorpus, ConfigurationCopiesLoadWholeOrNotAtAll) {
  const QList<QByteArray> inputs = Corpus("config_copy");
  ASSERT_GE(inputs.size(), 2);
  QuietHost host;
  for (const QByteArray& input : inputs) {
    host.Write(kConfigCopyFileName, input);
    ConfigImage image;
    image.fill(0x5A);
    const ConfigImage before = image;
    if (!ReadConfigCopy(host.env.workDir, host.env.ui, image)) {
      EXPECT_EQ(image, before);
      continue;
    }
    const qsizetype taken = input.size() == 256 ? 256 : kImageSize;
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(image.data()), taken), input.left(taken));
  }
}

TEST(FuzzCorpus, HelpTextsParseIntoTheirTopics) {
  const QList<QByteArray> inputs = Corpus("help");
  ASSERT_GT(inputs.size(), 10);
  for (const QByteArray& input : inputs) {
    const HelpFile help = HelpFile::Parse(DecodeCp1251(input));
    for (int number : help.Numbers()) {
      const std::optional<HelpTopic> topic = help.Topic(number);
      ASSERT_TRUE(topic);
      EXPECT_EQ(topic->number, number);
      EXPECT_FALSE(topic->title.contains(u'\n'));
    }
  }
}
