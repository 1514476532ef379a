#include "StationModel.h"

#include <algorithm>
#include <cstdio>

#include "CallGenerator.h"

namespace station {

namespace {

constexpr std::uint8_t kPrefix[] = {0xCA, 0x53, 0xA5};
constexpr std::uint8_t kReadCommand[] = {0xD0, 0x82};
constexpr int kSecondsPerDay = 86400;

std::uint8_t SubscriberCode(int subscriber) {
  const int k = subscriber - 20;
  return static_cast<std::uint8_t>(0x80 + 8 * (k % 6) + k / 6);
}

}  // namespace

std::vector<std::uint8_t> DefaultImage() {
  std::vector<std::uint8_t> image(512, 0);
  for (int half = 0; half < 2; ++half) {
    std::uint8_t* h = image.data() + 256 * half;
    for (int p = 0; p < 6; ++p) {
      for (int b = 0; b < 4; ++b) {
        h[8 * p + 4 + b] = 0x0F;                   // DVO-1 of the subscriber, basic mode
        h[132 + 8 * p + b] = 0x0F;                 // DVO-1, additional mode
        h[68 + 8 * p + b] = 0xFF;                  // city network on every line, basic mode
        h[196 + 8 * p + b] = 0xFF;                 // and additional mode
        h[64 + 8 * p + b] = p == 0 ? 0xFF : 0x00;  // long distance for the first port only
      }
    }
    for (int l = 0; l < 2; ++l) {
      for (int b = 0; b < 4; ++b) {
        h[52 + 8 * l + b] = 0x03;   // DVO-1 of the city line, basic mode
        h[180 + 8 * l + b] = 0x03;  // and additional mode
      }
    }
    for (int s = 1; s <= 3; ++s) {
      h[115 + s] = static_cast<std::uint8_t>(0x19 + s);  // selectors 20, 21, 22
      h[123 + s] = static_cast<std::uint8_t>(0x19 + s);
    }
    h[119] = 0x01;
    // Calls from city line m go to subscriber 19 + m, in both modes.
    for (int m = 1; m <= 8; ++m) {
      const int b = (m - 1) / 2;
      const int l = (m - 1) % 2;
      const int q = b + 4 * l;
      h[128 + 8 * q] = SubscriberCode(19 + m);
      h[192 + 8 * q] = SubscriberCode(19 + m);
    }
  }
  image[127] = SubscriberCode(20);  // administrator phones
  image[383] = SubscriberCode(21);
  image[244] = 0x80 + 20;  // night mode from 20:00
  image[245] = 0;
  image[246] = 0x80 + 8;  // to 8:00
  image[247] = 0;
  return image;
}

std::string FormatTrace(const TraceEntry& entry) {
  char head[64] = {};
  const double seconds = static_cast<double>(entry.timeUs) / 1e6;
  if (entry.kind == TraceEntry::kRead) {
    std::snprintf(head, sizeof head, "%.3f R %u %u", seconds, entry.address, entry.count);
    return head;
  }
  if (entry.kind == TraceEntry::kWrite) {
    std::snprintf(head, sizeof head, "%.3f W %u", seconds, entry.address);
  } else if (entry.kind == TraceEntry::kCut) {
    std::snprintf(head, sizeof head, "%.3f C %u", seconds, entry.address);
  } else {
    std::snprintf(head, sizeof head, "%.3f N %zu", seconds, entry.bytes.size());
  }
  std::string line(head);
  for (std::uint8_t byte : entry.bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", byte);
    line += hex;
  }
  return line;
}

StationModel::StationModel(const StationOptions& options, int clockSecondsOfDay)
    : options_(options), protect_(options.protect) {
  const std::vector<std::uint8_t> image = options.image ? *options.image : DefaultImage();
  std::copy_n(image.begin(), std::min<size_t>(image.size(), 512),
              memory_.begin() + address::kImage);
  memory_[address::kBoardCount] = static_cast<std::uint8_t>(options.boards - 1);

  std::vector<std::uint8_t> records = options.records;
  if (options.calls > 0) {
    records = GenerateCalls(options.calls, options.callDays, options.seed, options.boards).bytes;
  }
  const size_t room = memory_.size() - address::kRecords;
  if (records.size() > room) records.resize(room);
  std::copy(records.begin(), records.end(), memory_.begin() + address::kRecords);
  const std::uint16_t end = static_cast<std::uint16_t>(address::kRecords + records.size());
  memory_[address::kEndPointer] = end & 0xFF;
  memory_[address::kEndPointer + 1] = end >> 8;
  memory_[address::kEndPointerComplement] = static_cast<std::uint8_t>(~(end & 0xFF));
  memory_[address::kEndPointerComplement + 1] = static_cast<std::uint8_t>(~(end >> 8));
  if (options.badHeader) memory_[address::kEndPointerComplement] ^= 0x01;

  clockSeconds_ =
      ((clockSecondsOfDay + options.clockOffsetMinutes * 60) % kSecondsPerDay + kSecondsPerDay) %
      kSecondsPerDay;
  nextNoiseUs_ = 300'000;
}

std::uint8_t StationModel::Peek(std::uint16_t address, std::int64_t timeUs) const {
  if ((address == address::kClockMinute || address == address::kClockHour) && clockSeconds_ >= 0) {
    const std::int64_t elapsed = (timeUs - clockBaseUs_) / 1'000'000;
    const int seconds = static_cast<int>(
        ((clockSeconds_ + elapsed) % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay);
    return static_cast<std::uint8_t>(address == address::kClockMinute ? seconds / 60 % 60
                                                                      : seconds / 3600);
  }
  return memory_[address];
}

void StationModel::RebaseClock(std::int64_t timeUs) {
  const int minute = memory_[address::kClockMinute];
  const int hour = memory_[address::kClockHour];
  clockBaseUs_ = timeUs;
  // A clock set to no valid time stops and shows the bytes as they were written.
  clockSeconds_ = (hour < 24 && minute < 60) ? hour * 3600 + minute * 60 : -1;
}

void StationModel::Receive(std::uint8_t byte, bool intact, std::int64_t timeUs) {
  Advance(timeUs);
  if (options_.silent || cablePulled_) return;
  if (state_ != State::kIdle) {
    longestSilenceUs_ = std::max(longestSilenceUs_, timeUs - lastHeardUs_ - kHeardByteUs);
  }
  lastHeardUs_ = timeUs;
  if (!intact) {
    // A byte at the wrong rate reaches the receiver as a framing error: it breaks any frame in
    // progress and is heard as garbage.
    EndFrame(timeUs);
    stray_.push_back(static_cast<std::uint8_t>(byte ^ 0xFF));
    return;
  }
  ByteHeard(byte, timeUs);
}

void StationModel::ByteHeard(std::uint8_t byte, std::int64_t timeUs) {
  switch (state_) {
    case State::kIdle:
      if (byte == kPrefix[0]) {
        state_ = State::kPrefix1;
      } else {
        stray_.push_back(byte);
      }
      return;
    case State::kPrefix1:
      if (byte == kPrefix[1]) {
        state_ = State::kPrefix2;
        return;
      }
      stray_.push_back(kPrefix[0]);
      state_ = State::kIdle;
      ByteHeard(byte, timeUs);
      return;
    case State::kPrefix2:
      if (byte == kPrefix[2]) {
        StartFrame(timeUs);
        return;
      }
      stray_.insert(stray_.end(), kPrefix, kPrefix + 2);
      state_ = State::kIdle;
      ByteHeard(byte, timeUs);
      return;
    case State::kHeader:
      frame_.push_back(byte);
      if (frame_.size() < 2) return;
      if (frame_[0] == kReadCommand[0] && frame_[1] == kReadCommand[1]) {
        state_ = State::kRead;
      } else {
        state_ = State::kWrite;
        writeAddress_ = static_cast<std::uint16_t>(frame_[0] | frame_[1] << 8);
        writeCursor_ = writeAddress_;
      }
      return;
    case State::kRead:
      frame_.push_back(byte);
      if (frame_.size() == 7) {
        const auto address = static_cast<std::uint16_t>(frame_[2] | frame_[3] << 8);
        const auto count = static_cast<std::uint16_t>(frame_[5] | frame_[6] << 8);
        const std::uint8_t delayCode = frame_[4];
        state_ = State::kIdle;
        frame_.clear();
        AnswerRead(address, count, delayCode, timeUs);
      }
      return;
    case State::kWrite: {
      // Data bytes that could begin a new frame prefix are held back until it is clear.
      held_.push_back(byte);
      if (held_.size() == 3 && std::equal(held_.begin(), held_.end(), kPrefix)) {
        held_.clear();
        EndFrame(timeUs);
        StartFrame(timeUs);
        return;
      }
      while (!held_.empty() && !std::equal(held_.begin(), held_.end(), kPrefix)) {
        WriteByte(held_.front());
        held_.erase(held_.begin());
      }
      return;
    }
  }
}

void StationModel::RecordStray(std::int64_t timeUs) {
  if (stray_.empty()) return;
  const TraceEntry::Kind kind = afterCut_ ? TraceEntry::kCut : TraceEntry::kNoise;
  Record({timeUs, kind, afterCut_ ? cutAddress_ : std::uint16_t{0}, 0, stray_});
  stray_.clear();
  afterCut_ = false;
}

void StationModel::StartFrame(std::int64_t timeUs) {
  RecordStray(lastHeardUs_);
  afterCut_ = false;
  state_ = State::kHeader;
  frame_.clear();
  written_.clear();
  held_.clear();
  frameStartUs_ = timeUs;
}

void StationModel::WriteByte(std::uint8_t byte) {
  written_.push_back(byte);
  const std::uint16_t at = writeCursor_++;
  if (protect_ && at >= address::kImage && at <= address::kImageLast) return;
  const bool clock = at == address::kClockMinute || at == address::kClockHour;
  if (clock) {
    // Keep the other clock byte at its running value before one of them is set.
    memory_[address::kClockMinute] = Peek(address::kClockMinute, lastHeardUs_);
    memory_[address::kClockHour] = Peek(address::kClockHour, lastHeardUs_);
  }
  memory_[at] = byte;
  if (clock) RebaseClock(lastHeardUs_);
}

void StationModel::EndFrame(std::int64_t timeUs, bool bySilence) {
  switch (state_) {
    case State::kIdle:
      break;
    case State::kPrefix1:
      stray_.push_back(kPrefix[0]);
      break;
    case State::kPrefix2:
      stray_.insert(stray_.end(), kPrefix, kPrefix + 2);
      break;
    case State::kHeader:
    case State::kRead:
      // An unfinished frame is garbage to the station; ended by a silence, it was cut.
      if (bySilence) {
        Record({timeUs, TraceEntry::kCut, 0, 0, frame_, longestSilenceUs_});
        afterCut_ = true;
        cutAddress_ = 0;
      } else {
        stray_.insert(stray_.end(), kPrefix, kPrefix + 3);
        stray_.insert(stray_.end(), frame_.begin(), frame_.end());
      }
      break;
    case State::kWrite:
      for (std::uint8_t byte : held_) WriteByte(byte);
      held_.clear();
      Record({frameStartUs_, TraceEntry::kWrite, writeAddress_, 0, written_, longestSilenceUs_});
      // Only a silence ends a write frame, so whatever follows it before the next frame can
      // only be the rest of it, come too late.
      afterCut_ = bySilence;
      cutAddress_ = writeCursor_;
      break;
  }
  state_ = State::kIdle;
  frame_.clear();
  written_.clear();
  longestSilenceUs_ = 0;
  RecordStray(timeUs);
}

void StationModel::Flush(std::int64_t timeUs) {
  EndFrame(timeUs, false);
}

void StationModel::Advance(std::int64_t timeUs) {
  if ((state_ != State::kIdle || !stray_.empty()) && timeUs - lastHeardUs_ > FrameSilenceUs()) {
    EndFrame(lastHeardUs_ + FrameSilenceUs(), true);
  }
  // Noise falls between transactions: never while a frame is heard or a reply is due, and not
  // right after a reply, where it would look like the reply's last byte.
  if (options_.noise && !options_.silent && !cablePulled_ && output_.empty() &&
      state_ == State::kIdle && timeUs >= nextNoiseUs_ && timeUs >= quietUntilUs_) {
    noiseState_ = noiseState_ * 1103515245u + 12345u;
    output_.push_back({timeUs, static_cast<std::uint8_t>(noiseState_ >> 16)});
    nextNoiseUs_ = timeUs + 500'000 + (noiseState_ >> 8) % 700'000;
  }
}

void StationModel::AnswerRead(std::uint16_t address, std::uint16_t count, std::uint8_t delayCode,
                              std::int64_t timeUs) {
  Record({frameStartUs_, TraceEntry::kRead, address, count, {}, longestSilenceUs_});
  longestSilenceUs_ = 0;
  // The reply time counts from the end of the request's last byte.
  const std::int64_t replyUs = std::max(0, 10 * delayCode - 240) * std::int64_t{1000};
  std::int64_t due = timeUs + kHeardByteUs / 2 + replyUs +
                     static_cast<std::int64_t>(options_.replyMarginMs) * 1000;
  // A stray byte after the PC has emptied its queues and before the reply: the reply arrives
  // shifted by one byte.
  if (readsAnswered_++ == options_.strayInReply && !cablePulled_ && !options_.silent) {
    output_.push_back({due - kStrayLeadUs, 0x5A});
  }
  for (int i = 0; i < count; ++i) {
    if (options_.cablePulledAfter >= 0 && replyBytesSent_ >= options_.cablePulledAfter) {
      cablePulled_ = true;
    }
    if (cablePulled_) break;
    const auto at = static_cast<std::uint16_t>(address + i);
    if (i != options_.dropReplyByte) {
      output_.push_back({due, static_cast<std::uint8_t>(~Peek(at, timeUs))});
      ++replyBytesSent_;
    }
    if (options_.realtime) due += kReplyByteUs;
  }
  quietUntilUs_ = due + kQuietAfterReplyUs;
}

std::optional<std::uint16_t> StationModel::RecordEnd() const {
  const std::uint8_t low = memory_[address::kEndPointer];
  const std::uint8_t high = memory_[address::kEndPointer + 1];
  if (memory_[address::kEndPointerComplement] != static_cast<std::uint8_t>(~low) ||
      memory_[address::kEndPointerComplement + 1] != static_cast<std::uint8_t>(~high)) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(low | high << 8);
}

bool StationModel::AppendRecords(const std::vector<std::uint8_t>& bytes) {
  const std::optional<std::uint16_t> end = RecordEnd();
  if (!end || *end < address::kRecords || *end + bytes.size() > memory_.size()) return false;
  std::copy(bytes.begin(), bytes.end(), memory_.begin() + *end);
  const auto moved = static_cast<std::uint16_t>(*end + bytes.size());
  memory_[address::kEndPointer] = moved & 0xFF;
  memory_[address::kEndPointer + 1] = moved >> 8;
  memory_[address::kEndPointerComplement] = static_cast<std::uint8_t>(~(moved & 0xFF));
  memory_[address::kEndPointerComplement + 1] = static_cast<std::uint8_t>(~(moved >> 8));
  return true;
}

void StationModel::Record(TraceEntry entry) {
  trace_.push_back(entry);
  if (traceSink_) traceSink_(trace_.back());
}

}  // namespace station
