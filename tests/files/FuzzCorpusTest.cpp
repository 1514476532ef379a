// The inputs the fuzzers found interesting, replayed with the same checks on every test run.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "files/CallRecords.h"
#include "files/TextFiles.h"
#include "shell/Errors.h"

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
