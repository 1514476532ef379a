#include <gtest/gtest.h>

#include <QDir>
#include <random>

#include "FakeHost.h"
#include "core/base/Errors.h"
#include "core/files/DataFiles.h"

namespace {

CallRecord Call(int y, int mo, int d, int h, int mi, int subscriber = 20, int duration = 1,
                const char* number = "123") {
  CallRecord r;
  r.StartTime = MakeDateTime(QDate(y, mo, d), QTime(h, mi));
  r.Subscriber = static_cast<quint8>(subscriber);
  r.Duration = duration;
  r.CityLine = 1;
  r.CallType = 0;
  r.DialledNumber = QString::fromLatin1(number);
  return r;
}

QByteArray Lines(const std::vector<CallRecord>& records, bool header) {
  QString text = header ? kDataFileHeader + QStringLiteral("\r\n") : QString();
  for (const CallRecord& r : records) text += CallRecordToText(r) + QStringLiteral("\r\n");
  return Cp1251(text);
}

std::vector<CallRecord> Load(FakeHost& host, int month, int day = 0, int subscriber = 0) {
  std::vector<CallRecord> records;
  LoadCallRecords(host.env.workDir, month, day, subscriber, records);
  return records;
}

// The quicksort as written in its steps, recursion and all, to hold the real one to.
template <class Order>
void ReferenceSort(std::vector<CallRecord>& a, int lo, int hi, Order order) {
  int i = lo;
  int j = hi;
  const CallRecord pivot = a[(lo + hi) / 2];
  do {
    while (order(a[i], pivot) < 0) ++i;
    while (order(a[j], pivot) > 0) --j;
    if (i <= j) {
      std::swap(a[i], a[j]);
      ++i;
      --j;
    }
  } while (i <= j);
  if (lo < j) ReferenceSort(a, lo, j, order);
  if (i < hi) ReferenceSort(a, i, hi, order);
}

}  // namespace

TEST(DataFiles, NamesAndHeader) {
  EXPECT_EQ(DataFileName(1), QStringLiteral("Data 1.txt"));
  EXPECT_EQ(DataFileName(9), QStringLiteral("Data 9.txt"));
  EXPECT_EQ(DataFileName(10), QStringLiteral("Data10.txt"));
  EXPECT_EQ(DataFileName(12), QStringLiteral("Data12.txt"));
  EXPECT_EQ(kDataFileHeader.size(), 57);
  EXPECT_TRUE(kDataFileHeader.startsWith(QStringLiteral("  Дата   Время")));
}

TEST(DataFiles, AppendingSplitsMonthsSortsAndWritesTheHeaderOnlyOnCreation) {
  FakeHost host;
  const CallRecord jan30 = Call(2026, 1, 30, 10, 0);
  const CallRecord jan31 = Call(2026, 1, 31, 9, 0);
  const CallRecord feb2 = Call(2026, 2, 2, 8, 0);
  host.WriteFile("Data 2.txt", Lines({Call(2026, 2, 1, 7, 0)}, true));
  std::vector<CallRecord> batch = {feb2, jan31, jan30};
  AppendCallRecords(host.env.workDir, batch);
  EXPECT_EQ(host.ReadFile("Data 1.txt"), Lines({jan30, jan31}, true));
  EXPECT_EQ(host.ReadFile("Data 2.txt"), Lines({Call(2026, 2, 1, 7, 0), feb2}, true));
  // A second download follows the first; nothing is rewritten.
  std::vector<CallRecord> more = {Call(2026, 1, 31, 12, 0)};
  AppendCallRecords(host.env.workDir, more);
  EXPECT_EQ(host.ReadFile("Data 1.txt"), Lines({jan30, jan31, more[0]}, true));
}

TEST(DataFiles, TheSameMonthOfTwoYearsGoesToOneFile) {
  FakeHost host;
  std::vector<CallRecord> batch = {Call(2026, 12, 1, 9, 0), Call(2025, 12, 31, 23, 0)};
  AppendCallRecords(host.env.workDir, batch);
  EXPECT_EQ(host.ReadFile("Data12.txt"),
            Lines({Call(2025, 12, 31, 23, 0), Call(2026, 12, 1, 9, 0)}, true));
}

TEST(DataFiles, AFailedAppendLeavesEveryFileAsItWas) {
  FakeHost host;
  const QByteArray before = Lines({Call(2026, 1, 5, 9, 0)}, true);
  host.WriteFile("Data 1.txt", before);
  // A directory where March's file should be: January and February are written first, then
  // March fails.
  ASSERT_TRUE(QDir(host.dir.path()).mkdir("Data 3.txt"));
  std::vector<CallRecord> batch = {Call(2026, 1, 6, 9, 0), Call(2026, 2, 6, 9, 0),
                                   Call(2026, 3, 6, 9, 0)};
  EXPECT_THROW(AppendCallRecords(host.env.workDir, batch), IoError);
  EXPECT_EQ(host.ReadFile("Data 1.txt"), before);
  EXPECT_FALSE(host.Exists("Data 2.txt"));
}

TEST(DataFiles, AnEmptyFileGetsItsHeadingAndAnUnendedLineIsEndedFirst) {
  FakeHost host;
  host.WriteFile(DataFileName(12), {});
  std::vector<CallRecord> first = {Call(2026, 12, 1, 9, 0, 21)};
  AppendCallRecords(host.env.workDir, first);
  EXPECT_EQ(host.ReadFile(DataFileName(12)), Lines(first, true));
  EXPECT_EQ(Load(host, 12).size(), 1u);

  // A last line without its CR LF, as an editor may leave it.
  QByteArray unended = Lines(first, true);
  unended.chop(2);
  host.WriteFile(DataFileName(12), unended);
  std::vector<CallRecord> second = {Call(2026, 12, 2, 9, 0, 22)};
  AppendCallRecords(host.env.workDir, second);
  EXPECT_EQ(host.ReadFile(DataFileName(12)), Lines({first[0], second[0]}, true));
  EXPECT_EQ(Load(host, 12).size(), 2u);
}

TEST(DataFiles, EstimatesRoomFromTheFileSize) {
  FakeHost host;
  EXPECT_EQ(EstimateRecordCount(host.env.workDir, 4), 0);
  host.WriteFile("Data 4.txt", Lines({}, true));  // 59 bytes: the header alone
  EXPECT_EQ(host.ReadFile("Data 4.txt").size(), 59);
  EXPECT_EQ(EstimateRecordCount(host.env.workDir, 4), 1);
  EXPECT_TRUE(Load(host, 4).empty());
  host.WriteFile("Data 4.txt", QByteArray(57 + 28 * 10, 'x'));
  EXPECT_EQ(EstimateRecordCount(host.env.workDir, 4), 11);
  host.WriteFile("Data 4.txt", QByteArray(10, 'x'));
  EXPECT_EQ(EstimateRecordCount(host.env.workDir, 4), 0);
}

TEST(DataFiles, ShortLinesAreAllReadBeyondTheEstimate) {
  FakeHost host;
  std::vector<CallRecord> records;
  // "01.05.2026 9:05\t20\t1\t1\t0\t" is 25 characters, 27 bytes with its line end.
  for (int i = 0; i < 100; ++i) records.push_back(Call(2026, 5, 1, 9, 5, 20, 1, ""));
  host.WriteFile("Data 5.txt", Lines(records, true));
  ASSERT_EQ(host.ReadFile("Data 5.txt").size(), 59 + 100 * 27);
  EXPECT_LT(EstimateRecordCount(host.env.workDir, 5), 100);
  EXPECT_EQ(Load(host, 5).size(), 100u);
}

TEST(DataFiles, LoadingFiltersByDayAndSubscriberInFileOrder) {
  FakeHost host;
  const std::vector<CallRecord> records = {
      Call(2026, 4, 30, 9, 0, 43), Call(2026, 4, 1, 9, 0, 20), Call(2025, 4, 30, 8, 0, 43),
      Call(2026, 4, 30, 7, 0, 21), Call(2026, 5, 30, 7, 0, 43)};  // May in April's file counts
  host.WriteFile("Data 4.txt", Lines(records, true));
  EXPECT_EQ(Load(host, 4), records);
  EXPECT_EQ(Load(host, 4, 30),
            (std::vector<CallRecord>{records[0], records[2], records[3], records[4]}));
  EXPECT_EQ(Load(host, 4, 0, 24), (std::vector<CallRecord>{records[0], records[2], records[4]}));
  EXPECT_EQ(Load(host, 4, 30, 2), (std::vector<CallRecord>{records[3]}));
  EXPECT_TRUE(Load(host, 4, 31).empty());  // day 31 in a month of 30 days
  EXPECT_TRUE(Load(host, 6).empty());      // no file
}

TEST(DataFiles, ALineThatIsNoRecordEndsTheLoadNamingFileAndLine) {
  FakeHost host;
  host.WriteFile("Data 7.txt", Lines({Call(2026, 7, 1, 9, 0), Call(2026, 7, 2, 9, 0)}, true) +
                                   "\r\n" + Lines({Call(2026, 7, 3, 9, 0)}, false));
  std::vector<CallRecord> records;
  try {
    LoadCallRecords(host.env.workDir, 7, 0, 0, records);
    FAIL() << "no error";
  } catch (const ConvertError& error) {
    EXPECT_TRUE(error.Message().contains(QStringLiteral("Data 7.txt"))) << error.what();
    EXPECT_TRUE(error.Message().contains(QStringLiteral("строка 4"))) << error.what();
  }
  EXPECT_EQ(records.size(), 2u);  // the records before the bad line
}

TEST(DataFiles, LoadingAcceptsLfLineEndsAndIgnoresTheFirstLineWhateverItHolds) {
  FakeHost host;
  host.WriteFile("Data 8.txt", "whatever\n01.08.2026 9:00\t20\t1\t1\t0\t5\n");
  ASSERT_EQ(Load(host, 8).size(), 1u);
  EXPECT_EQ(Load(host, 8)[0].DialledNumber, QStringLiteral("5"));
}

TEST(SortCallRecords, EqualRecordsEndInTheOrderOfTheQuicksortSteps) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    const int count = 1 + static_cast<int>(random() % 60);
    std::vector<CallRecord> records;
    for (int i = 0; i < count; ++i) {
      // Few distinct keys, so that many records compare equal; the number tells them apart.
      records.push_back(Call(2026, 3, 1, 9, static_cast<int>(random() % 4), 20 + random() % 3,
                             static_cast<int>(random() % 3) - 1,
                             QByteArray::number(i).constData()));
    }
    std::vector<CallRecord> expected = records;
    auto bySubscriber = [](const CallRecord& a, const CallRecord& b) {
      return int(a.Subscriber) - int(b.Subscriber);
    };
    ReferenceSort(expected, 0, count - 1, bySubscriber);
    SortCallRecords(records.data(), count, bySubscriber);
    ASSERT_EQ(records, expected) << "round " << round;

    ReferenceSort(expected, 0, count - 1, CompareStartTime);
    SortCallRecords(records.data(), count, CompareStartTime);
    ASSERT_EQ(records, expected) << "round " << round;
  }
}

TEST(SortCallRecords, LargeSortedAndEqualInputsDoNotRecurseDeeply) {
  std::vector<CallRecord> records(300000, Call(2026, 3, 1, 9, 0));
  SortCallRecords(records.data(), static_cast<qsizetype>(records.size()), CompareStartTime);
  for (size_t i = 0; i < records.size(); ++i) {
    records[i].StartTime = records[i].StartTime.addSecs(60 * static_cast<qint64>(i % 1000));
  }
  SortCallRecords(records.data(), static_cast<qsizetype>(records.size()), CompareStartTime);
  EXPECT_TRUE(std::is_sorted(
      records.begin(), records.end(),
      [](const CallRecord& a, const CallRecord& b) { return a.StartTime < b.StartTime; }));
}
