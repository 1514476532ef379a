#include <gtest/gtest.h>

#include <vector>

#include "core/files/CallRecords.h"
#include "core/base/Clock.h"
#include "core/base/Errors.h"

namespace {

const QDate kToday(2026, 12, 7);

std::vector<CallRecord> Decode(std::vector<quint8> bytes, QDate today = kToday) {
  bytes.push_back(0);  // the spare byte for the end marker
  std::vector<CallRecord> records;
  DecodeCallRecords(bytes.data(), static_cast<qsizetype>(bytes.size()), today, records);
  EXPECT_EQ(bytes.back(), 0xE0);
  return records;
}

std::vector<quint8> Cat(std::initializer_list<std::vector<quint8>> parts) {
  std::vector<quint8> out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// A record without digits: start h:m, end h:m, subscriber byte 0x80, no city line.
std::vector<quint8> Header(int sh, int sm, int eh, int em, quint8 b4 = 0x80, quint8 b5 = 0x00,
                           int type = 0) {
  return {static_cast<quint8>(0xE0 | sh),
          static_cast<quint8>(0xC0 | sm),
          static_cast<quint8>(type << 6 | eh),
          static_cast<quint8>(em),
          b4,
          b5};
}

QDateTime At(QDate date, int h, int m) {
  return MakeDateTime(date, QTime(h, m));
}

}  // namespace

TEST(DecodeCallRecords, TheWorkedExample) {
  const auto records = Decode({0xE9, 0xC5, 0x4A, 0x0C, 0x1A, 0xB1, 0x12, 0x34, 0x5A});
  ASSERT_EQ(records.size(), 1u);
  const CallRecord& r = records[0];
  EXPECT_EQ(r.StartTime, At(kToday, 9, 5));
  EXPECT_EQ(r.CallType, 1);
  EXPECT_EQ(r.Duration, 67);
  EXPECT_EQ(r.Subscriber, 35);
  EXPECT_EQ(r.CityLine, 3);
  EXPECT_EQ(r.DialledNumber, QStringLiteral("123450"));
  EXPECT_EQ(CallRecordToText(r), QStringLiteral("07.12.2026 9:05\t35\t67\t3\t1\t123450"));
}

TEST(DecodeCallRecords, Durations) {
  struct Case {
    std::vector<quint8> header;
    int duration;
    QTime start;
  } cases[] = {
      {Header(23, 50, 0, 10), 20, QTime(23, 50)},  // across midnight
      {Header(10, 0, 10, 0), 0, QTime(10, 0)},
      {Header(25, 0, 26, 0), 60, QTime(23, 0)},   // hour 25 dates at 23, counts from 25:00
      {Header(0, 0, 31, 59), -1, QTime(0, 0)},    // more than a day is no length
      {Header(1, 61, 2, 0), 1439, QTime(1, 59)},  // minute 61 dates at 59, counts as 61
  };
  for (const Case& c : cases) {
    const auto records = Decode(Cat({c.header, {0x11}}));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Duration, c.duration);
    EXPECT_EQ(records[0].StartTime.time(), c.start);
  }
}

TEST(DecodeCallRecords, SubscribersFromTheSubscriberCode) {
  struct Case {
    quint8 b4;
    int subscriber;
  } cases[] = {{0x80, 20}, {0x88, 21}, {0x81, 26}, {0xAB, 43},
               {0xA8, 25}, {0xB0, 26}, {0xBB, 45},  // ports 6 and 7 decode by the same formula
               {0x1A, 35}};
  for (const Case& c : cases) {
    const auto records = Decode(Cat({Header(9, 0, 9, 1, c.b4), {0x11}}));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Subscriber, c.subscriber) << int(c.b4);
  }
}

TEST(DecodeCallRecords, CityLinesFromB5) {
  struct Case {
    quint8 b5;
    int line;
  } cases[] = {{0xB0, 1}, {0xB8, 2}, {0xB1, 3}, {0xB9, 4}, {0xF9, 4}, {0xB2, 5}, {0xBA, 6},
               {0xB3, 7}, {0xBB, 8}, {0xB4, 0}, {0x39, 0}, {0xBC, 0}, {0x00, 0}, {0xA9, 0}};
  for (const Case& c : cases) {
    const auto records = Decode(Cat({Header(9, 0, 9, 1, 0x80, c.b5), {0x11}}));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].CityLine, c.line) << int(c.b5);
  }
}

TEST(DecodeCallRecords, DialledNumbers) {
  struct Case {
    std::vector<quint8> digits;
    QString number;
  } cases[] = {
      {{0x12, 0x30}, QStringLiteral("123 ")},  // odd count ends in the filler blank
      {{0xBC, 0xD0}, QStringLiteral("*#? ")},  // 0xE0 and above would end the digits
      {{0xA1}, QStringLiteral("01")},
      {{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99},
       QStringLiteral("112233445566778899")},
  };
  for (const Case& c : cases) {
    const auto records = Decode(Cat({Header(9, 0, 9, 1), c.digits}));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].DialledNumber, c.number);
  }
}

TEST(DecodeCallRecords, ARecordWithoutDigitsTakesSixBytes) {
  const auto records = Decode(Cat({Header(9, 0, 9, 1), Header(10, 0, 10, 5), {0x12}}));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_TRUE(records[0].DialledNumber.isEmpty());
  EXPECT_EQ(records[1].StartTime, At(kToday, 10, 0));
  EXPECT_EQ(records[1].DialledNumber, QStringLiteral("12"));
}

TEST(DecodeCallRecords, MoreThan18DigitsKeepTheFirst18AndSkipTheRest) {
  std::vector<quint8> digits(11, 0x34);
  const auto records = Decode(Cat({Header(9, 0, 9, 1), digits, Header(11, 0, 11, 1), {0x56}}));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].DialledNumber, QStringLiteral("343434343434343434"));
  EXPECT_EQ(records[1].StartTime.time(), QTime(11, 0));
}

TEST(DecodeCallRecords, DayMarkersDateEarlierRecordsBack) {
  const QDate yesterday = kToday.addDays(-1);
  // Two markers between two records put them two days apart.
  auto records = Decode(Cat({Header(9, 0, 9, 1), {0x11, 0xFF, 0xFF}, Header(8, 0, 8, 1), {0x22}}));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].StartTime, At(kToday.addDays(-2), 9, 0));
  EXPECT_EQ(records[1].StartTime, At(kToday, 8, 0));
  // Markers before the first record change no date; one after the last moves all back.
  records =
      Decode(Cat({{0xFF, 0xFF}, Header(9, 0, 9, 1), {0x11}, Header(10, 0, 10, 1), {0x22, 0xFF}}));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].StartTime, At(yesterday, 9, 0));
  EXPECT_EQ(records[1].StartTime, At(yesterday, 10, 0));
  // A month boundary.
  records = Decode(Cat({Header(23, 59, 0, 2), {0x11, 0xFF}, Header(0, 5, 0, 6), {0x11}}),
                   QDate(2026, 3, 1));
  EXPECT_EQ(records[0].StartTime, At(QDate(2026, 2, 28), 23, 59));
  EXPECT_EQ(records[0].Duration, 3);
}

TEST(DecodeCallRecords, NoiseAndMarkersAloneGiveNothing) {
  EXPECT_TRUE(Decode({}).empty());
  EXPECT_TRUE(Decode({0xFF, 0xFF, 0x12, 0xE5, 0x10, 0xFE, 0xBF, 0xC0, 0xE0}).empty());
  // A stray byte that ends the digits without starting a record is skipped.
  const auto records =
      Decode(Cat({Header(9, 0, 9, 1), {0x12, 0xE5, 0x10}, Header(9, 30, 9, 31), {0x34}}));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].DialledNumber, QStringLiteral("12"));
}

TEST(DecodeCallRecords, ARecordNeedsItsSixHeaderBytesWithinTheDownload) {
  auto records = Decode(Cat({{0x00}, Header(9, 0, 9, 1), {0x12}}));
  EXPECT_EQ(records.size(), 1u);
  // A final call without digits ends the download with its six header bytes: it is decoded,
  // since the station is reset after the reception and would lose it for good.
  records = Decode(Cat({{0x00, 0x00}, Header(9, 0, 9, 1)}));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].DialledNumber, QString());
  records = Decode(Cat({Header(8, 0, 8, 1), {0x11}, Header(9, 0, 9, 1)}));
  EXPECT_EQ(records.size(), 2u);
  // A start whose header does not fit is not decoded, and decoding ends there.
  std::vector<quint8> cut = Cat({Header(8, 0, 8, 1), {0x11}, Header(9, 0, 9, 1)});
  cut.pop_back();
  records = Decode(cut);
  EXPECT_EQ(records.size(), 1u);
}

TEST(CallRecordText, RoundTripsEveryField) {
  CallRecord r;
  r.StartTime = At(QDate(2026, 1, 2), 0, 0);
  r.Subscriber = 43;
  r.Duration = -1;
  r.CityLine = 0;
  r.CallType = 3;
  r.DialledNumber = QStringLiteral(" 12*# ");
  const QString text = CallRecordToText(r);
  EXPECT_EQ(text, QStringLiteral("02.01.2026 0:00\t43\t-1\t0\t3\t 12*# "));
  EXPECT_EQ(TextToCallRecord(text), r);
  r.DialledNumber.clear();
  EXPECT_EQ(TextToCallRecord(CallRecordToText(r)), r);
}

TEST(CallRecordText, NumberFieldsTakeTheirLeadingDigits) {
  const CallRecord r = TextToCallRecord(
      QStringLiteral("07.12.2026 9:05:30\t35abc\tx\t 3\t-2\t12345678901234567890"));
  EXPECT_EQ(r.StartTime, MakeDateTime(kToday, QTime(9, 5, 30)));
  EXPECT_EQ(r.Subscriber, 35);
  EXPECT_EQ(r.Duration, 0);
  EXPECT_EQ(r.CityLine, 3);
  EXPECT_EQ(r.CallType, 254);  // -2 in eight bits
  EXPECT_EQ(r.DialledNumber, QStringLiteral("123456789012345678"));
}

TEST(CallRecordText, MissingTabsLeaveFieldsEmpty) {
  // With fewer than five TABs the missing fields are empty and the rest is the number.
  const CallRecord r = TextToCallRecord(QStringLiteral("07.12.2026 9:05\t21\t5"));
  EXPECT_EQ(r.Subscriber, 21);
  EXPECT_EQ(r.Duration, 0);
  EXPECT_EQ(r.DialledNumber, QStringLiteral("5"));
}

TEST(CallRecordText, ALineWithoutADateIsAConversionError) {
  for (const char* line : {"", "abc", "\t20\t1\t1\t0\t123", "32.12.2026 9:05\t20\t1\t1\t0\t1",
                           "07.12.2026 9:05 20 1 1 0 123"}) {
    EXPECT_THROW(TextToCallRecord(QString::fromUtf8(line)), ConvertError) << line;
  }
  // The bytes of a damaged line are shown escaped, so the message itself stays readable.
  try {
    TextToCallRecord(QString::fromLatin1("\x01\x1b[2J\\x\t20"));
    ADD_FAILURE() << "no error";
  } catch (const ConvertError& error) {
    EXPECT_EQ(error.Message(), QStringLiteral("«\\x01\\x1b[2J\\\\x» — неверные дата и время"));
  }
}
