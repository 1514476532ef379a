#include <gtest/gtest.h>

#include "CallGenerator.h"
#include "Emulator.h"
#include "StationModel.h"
#include "core/files/CallRecords.h"

namespace {

using station::StationModel;
using station::StationOptions;

// Feeds bytes to the model as if sent at 325 bit/s from time `start` (microseconds).
std::int64_t Send(StationModel& model, const QByteArray& bytes, std::int64_t start,
                  bool intact = true) {
  std::int64_t t = start;
  for (char b : bytes) {
    t += 30'770;
    model.Receive(static_cast<std::uint8_t>(b), intact, t);
  }
  return t;
}

QByteArray Replies(StationModel& model) {
  QByteArray out;
  while (model.HasOutput()) {
    out.append(static_cast<char>(model.NextOutput().value));
    model.PopOutput();
  }
  return out;
}

QByteArray Hex(const char* text) {
  return QByteArray::fromHex(text);
}

}  // namespace

TEST(StationModel, AnswersAReadWithTheComplementAfterTheReplyTimeAndMargin) {
  struct Row {
    const char* name;
    int margin;
    const char* delayCode;
    std::int64_t replyUs;
  };
  for (const Row& row :
       {Row{"the default margin", 150, "40", 400'000}, Row{"no margin", 0, "40", 400'000},
        Row{"a delay code of 48", 0, "30", 240'000},
        Row{"a delay code with no reply time", 0, "18", 0}}) {
    SCOPED_TRACE(row.name);
    StationOptions options;
    options.replyMarginMs = row.margin;
    StationModel model(options, 0);
    model.Poke(100, 0x0F);
    model.Poke(101, 0xF0);
    const std::int64_t moment =
        Send(model, Hex("CA53A5D0826400") + Hex(row.delayCode) + Hex("0200"), 0);
    ASSERT_TRUE(model.HasOutput());
    // Counted from the end of the request's last byte, half a byte after its moment.
    EXPECT_EQ(model.NextOutput().dueUs,
              moment + StationModel::kHeardByteUs / 2 + row.replyUs + row.margin * 1000);
    EXPECT_EQ(Replies(model), Hex("F00F"));
    EXPECT_EQ(TrafficOf(model.Trace()), QStringList{"R 100 2"});
  }
}

TEST(StationModel, PacesRepliesAt976BitsPerSecondInRealTime) {
  StationOptions options;
  options.realtime = true;
  StationModel model(options, 0);
  Send(model, Hex("CA53A5D08200054000 02"), 0);
  std::int64_t first = model.NextOutput().dueUs;
  model.PopOutput();
  EXPECT_EQ(model.NextOutput().dueUs - first, 10'000'000 / 976);
}

TEST(StationModel, AWriteFrameEndsAtTheNextPrefixOrAfterASilence) {
  StationModel model(StationOptions{}, 0);
  std::int64_t t = Send(model, Hex("CA53A5E502 0103"), 0);
  t = Send(model, Hex("CA53A5D082E5024002 00"), t);  // a read right after: the write is over
  EXPECT_EQ(TrafficOf(model.Trace()), (QStringList{"W 741 01 03", "R 741 2"}));
  EXPECT_EQ(Replies(model), Hex("FEFC"));
  Send(model, Hex("CA53A5DE02 00112233"), t + 2'000'000);
  EXPECT_EQ(model.Trace().size(), 2u);
  model.Advance(t + 2'500'000);
  EXPECT_EQ(TrafficOf(model.Trace()).last(), QStringLiteral("W 734 00 11 22 33"));
}

// A frame ends after its gap of silence beyond the last byte's line time; what comes after
// the gap is no longer part of it and is traced as cut.
TEST(StationModel, ASilenceLongerThanTheFrameGapCutsAFrame) {
  struct Row {
    const char* name;
    std::int64_t silenceUs;  // between the two halves, beyond the bytes' own line time
    QStringList traffic;
  };
  const std::int64_t gap = 50'000;
  for (const Row& row :
       {Row{"a write within the gap", gap - 1'000, {"W 1280 01 02 03 04"}},
        Row{"a write past the gap", gap + 1'000, {"W 1280 01 02", "C 1282 03 04"}},
        Row{"a read request past the gap", gap + 1'000, {"C 0 D0 82 00", "C 0 05 40 01 00"}}}) {
    SCOPED_TRACE(row.name);
    StationOptions options;
    options.frameGapMs = 50;
    StationModel model(options, 0);
    const bool read = QByteArray(row.name).contains("read");
    const QByteArray head = read ? Hex("CA53A5D08200") : Hex("CA53A50005 0102");
    const QByteArray tail = read ? Hex("0540 0100") : Hex("0304");
    std::int64_t t = Send(model, head, 0);
    t = Send(model, tail, t + row.silenceUs);
    model.Advance(t + 1'000'000);
    EXPECT_EQ(TrafficOf(model.Trace()), row.traffic);
  }
}

TEST(StationModel, PrefixLikeDataIsWrittenUnlessItCompletesAPrefix) {
  StationModel model(StationOptions{}, 0);
  std::int64_t t = Send(model, Hex("CA53A5 0010 CACA53 11"), 0);
  model.Advance(t + 1'000'000);
  EXPECT_EQ(TrafficOf(model.Trace()), QStringList{"W 4096 CA CA 53 11"});
  EXPECT_EQ(model.Memory()[4096 + 2], 0x53);
}

TEST(StationModel, BytesAtTheWrongRateAreGarbageThatBreaksTheFrame) {
  StationModel model(StationOptions{}, 0);
  std::int64_t t = Send(model, Hex("CA53A5D082FF064001 00"), 0, false);
  EXPECT_FALSE(model.HasOutput());
  t = Send(model, Hex("CA53A5D082"), t);
  t = Send(model, Hex("FF06"), t, false);
  t = Send(model, Hex("4001 00"), t);
  model.Advance(t + 1'000'000);
  EXPECT_FALSE(model.HasOutput());
  EXPECT_TRUE(TrafficOf(model.Trace()).isEmpty());
}

TEST(StationModel, WriteProtectionCoversOnlyTheProgrammingArea) {
  StationOptions options;
  options.protect = true;
  StationModel model(options, 0);
  const std::uint8_t before = model.Memory()[1791];
  std::int64_t t = Send(model, Hex("CA53A5FF06AA"), 0);
  t = Send(model, Hex("CA53A5E502 0103"), t + 1'000'000);
  model.Advance(t + 1'000'000);
  EXPECT_EQ(model.Memory()[1791], before);
  EXPECT_EQ(model.Memory()[741], 1);
  model.SetProtected(false);
  Send(model, Hex("CA53A5FF06AA"), t + 2'000'000);
  EXPECT_EQ(model.Memory()[1791], 0xAA);
}

TEST(StationModel, TheClockRunsAndIsSetByTheResetFrame) {
  StationOptions options;
  options.clockOffsetMinutes = -3;
  StationModel model(options, 10 * 3600 + 59 * 60 + 30);  // PC 10:59:30, station 10:56:30
  EXPECT_EQ(model.Peek(735, 0), 56);
  EXPECT_EQ(model.Peek(736, 0), 10);
  EXPECT_EQ(model.Peek(735, 4 * 60'000'000LL), 0);  // four minutes later: 11:00
  EXPECT_EQ(model.Peek(736, 4 * 60'000'000LL), 11);
  Send(model, Hex("CA53A5DE02 00 10 14 0007 FFF8 0000"), 0);  // 20:16
  EXPECT_EQ(model.Peek(735, 1'000'000), 0x10);
  EXPECT_EQ(model.Peek(736, 1'000'000), 0x14);
  EXPECT_EQ(model.Peek(736, 24 * 3600'000'000LL), 0x14);  // a day later, the same time
}

TEST(StationModel, TheRecordHeaderDescribesTheRecordArea) {
  StationOptions options;
  options.records = {1, 2, 3, 4, 5, 6, 7};
  StationModel model(options, 0);
  EXPECT_EQ(model.Memory()[737], 0x07);
  EXPECT_EQ(model.Memory()[738], 0x07);
  EXPECT_EQ(model.Memory()[739], 0xF8);
  EXPECT_EQ(model.Memory()[740], 0xF8);
  EXPECT_EQ(model.Memory()[1792 + 6], 7);
  options.badHeader = true;
  StationModel bad(options, 0);
  EXPECT_NE(bad.Memory()[739], static_cast<std::uint8_t>(~bad.Memory()[737]));
}

TEST(StationModel, FaultsSilenceDropAndPulledCable) {
  StationOptions silent;
  silent.silent = true;
  StationModel a(silent, 0);
  Send(a, Hex("CA53A5D082FF064001 00"), 0);
  EXPECT_FALSE(a.HasOutput());

  StationOptions drop;
  drop.dropReplyByte = 1;
  StationModel b(drop, 0);
  Send(b, Hex("CA53A5D08200054003 00"), 0);
  EXPECT_EQ(Replies(b).size(), 2);

  StationOptions pulled;
  pulled.cablePulledAfter = 4;
  StationModel c(pulled, 0);
  const std::int64_t t = Send(c, Hex("CA53A5D08200054003 00"), 0);
  EXPECT_EQ(Replies(c).size(), 3);
  Send(c, Hex("CA53A5D08200054003 00"), t + 2'000'000);
  EXPECT_EQ(Replies(c).size(), 1);
  EXPECT_TRUE(c.CablePulled());
}

TEST(CallGenerator, GeneratesWhatTheDecoderReadsBack) {
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    // Every call on a city line the station has, as a real station records them.
    const int boards = static_cast<int>(seed);
    for (const auto& call : station::GenerateCalls(300, 6, seed, boards).calls) {
      EXPECT_GE(call.cityLine, 1);
      EXPECT_LE(call.cityLine, 2 * boards);
    }
    const auto generated = station::GenerateCalls(300, 6, seed, 4);
    std::vector<quint8> buffer(generated.bytes.begin(), generated.bytes.end());
    buffer.push_back(0);
    std::vector<CallRecord> records;
    const QDate today(2026, 12, 7);
    DecodeCallRecords(buffer.data(), static_cast<qsizetype>(buffer.size()), today, records);
    ASSERT_EQ(records.size(), generated.calls.size());
    for (size_t i = 0; i < records.size(); ++i) {
      const auto& call = generated.calls[i];
      EXPECT_EQ(records[i].StartTime.date(), today.addDays(-call.daysAgo));
      EXPECT_EQ(records[i].StartTime.time(), QTime(call.startHour, call.startMinute));
      EXPECT_EQ(records[i].Subscriber, call.subscriber);
      EXPECT_EQ(records[i].Duration, call.duration);
      EXPECT_EQ(records[i].CityLine, call.cityLine);
      EXPECT_EQ(records[i].CallType, call.callType);
      EXPECT_EQ(records[i].DialledNumber.toStdString(), call.number);
    }
  }
}

TEST(StationOptions, ArgumentsRoundTripThroughTheCommandLine) {
  StationOptions options;
  options.boards = 5;
  options.protect = true;
  options.calls = 12;
  options.callDays = 2;
  options.seed = 9;
  options.clockOffsetMinutes = -7;
  options.realtime = true;
  options.dropReplyByte = 3;
  options.cablePulledAfter = 40;
  options.badHeader = true;
  options.noise = true;
  QStringList args = {QStringLiteral("--link"), QStringLiteral("/tmp/x")};
  args << station::ToArguments(options);
  QString error;
  const auto parsed = station::ParseCommandLine(args, &error);
  ASSERT_TRUE(parsed) << error.toStdString();
  const StationOptions& p = parsed->station;
  EXPECT_EQ(p.boards, 5);
  EXPECT_TRUE(p.protect);
  EXPECT_EQ(p.calls, 12);
  EXPECT_EQ(p.callDays, 2);
  EXPECT_EQ(p.seed, 9u);
  EXPECT_EQ(p.clockOffsetMinutes, -7);
  EXPECT_TRUE(p.realtime);
  EXPECT_EQ(p.dropReplyByte, 3);
  EXPECT_EQ(p.cablePulledAfter, 40);
  EXPECT_TRUE(p.badHeader);
  EXPECT_TRUE(p.noise);

  EXPECT_FALSE(
      station::ParseCommandLine({QStringLiteral("--boards"), QStringLiteral("2")}, &error));
  EXPECT_FALSE(station::ParseCommandLine({QStringLiteral("--link"), QStringLiteral("x"),
                                          QStringLiteral("--boards"), QStringLiteral("two")},
                                         &error));
  EXPECT_FALSE(station::ParseCommandLine(
      {QStringLiteral("--link"), QStringLiteral("x"), QStringLiteral("--wat")}, &error));
}
