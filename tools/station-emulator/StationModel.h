#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "StationOptions.h"

namespace station {

// Station memory addresses the PC uses.
namespace address {
inline constexpr std::uint16_t kResetFrame = 734;
inline constexpr std::uint16_t kClockMinute = 735;
inline constexpr std::uint16_t kClockHour = 736;
inline constexpr std::uint16_t kEndPointer = 737;
inline constexpr std::uint16_t kEndPointerComplement = 739;
inline constexpr std::uint16_t kReceptionFlags = 741;
inline constexpr std::uint16_t kBoardCount = 743;
inline constexpr std::uint16_t kImage = 1280;
inline constexpr std::uint16_t kImageLast = 1791;
inline constexpr std::uint16_t kRecords = 1792;
}  // namespace address

// One transaction heard by the station, or bytes that made no frame. A frame that a silence
// cut short is a cut: a read request that stopped before its end, or the bytes that came after
// the silence that ended a write frame (its address is where they would have gone).
struct TraceEntry {
  enum Kind { kRead, kWrite, kNoise, kCut };
  std::int64_t timeUs = 0;
  Kind kind = kNoise;
  std::uint16_t address = 0;
  std::uint16_t count = 0;          // bytes asked for by a read
  std::vector<std::uint8_t> bytes;  // bytes of a write, the stray bytes, or those of a cut
  // The longest silence between two bytes of the frame, beyond their own line time.
  std::int64_t longestSilenceUs = 0;
};

// "12.345 R 1791 1", "12.400 W 741 01 03", "12.500 N 3 FF 00 12", "12.600 C 1300 00 01".
std::string FormatTrace(const TraceEntry& entry);

std::vector<std::uint8_t> DefaultImage();

// The station as the PC sees it through the cable: 64 KiB of memory read and written by frames.
// It is driven by time given in microseconds, so the same model runs in real time behind a
// pseudo-terminal and in simulated time behind the tests' in-memory line.
class StationModel {
 public:
  // clockSecondsOfDay: the PC's time of day when the station starts.
  StationModel(const StationOptions& options, int clockSecondsOfDay);

  // A byte from the PC. It is intact only when it was sent at 325 bit/s 8N1; otherwise the
  // station's receiver makes garbage of it.
  void Receive(std::uint8_t byte, bool intact, std::int64_t timeUs);
  // Lets time pass: a write frame ends after a silence, stray bytes are sent.
  void Advance(std::int64_t timeUs);
  // Ends a frame in progress now (as a silence would).
  void Flush(std::int64_t timeUs);

  // Reply bytes for the PC, each due at a time.
  struct ReplyByte {
    std::int64_t dueUs;
    std::uint8_t value;
  };
  bool HasOutput() const { return !output_.empty(); }
  const ReplyByte& NextOutput() const { return output_.front(); }
  void PopOutput() { output_.pop_front(); }

  std::uint8_t Peek(std::uint16_t address, std::int64_t timeUs) const;
  void Poke(std::uint16_t address, std::uint8_t value) { memory_[address] = value; }
  const std::array<std::uint8_t, 65536>& Memory() const { return memory_; }

  bool Protected() const { return protect_; }
  void SetProtected(bool on) { protect_ = on; }
  bool CablePulled() const { return cablePulled_; }
  // The stray-byte fault from now on: read K from now (counted from 0) gets one; -1 for none.
  void SetStrayInReply(int k) {
    options_.strayInReply = k;
    readsAnswered_ = 0;
  }
  // A pulled cable cuts at once: reply bytes not yet sent are lost with it. Plugged in again,
  // the line stays up: a pull planned after some reply bytes has had its turn.
  void SetCablePulled(bool pulled) {
    cablePulled_ = pulled;
    if (pulled) output_.clear();
    if (!pulled) options_.cablePulledAfter = -1;
  }
  // The line goes dead after this many more reply bytes.
  void PullCableAfterReplyBytes(long count) { options_.cablePulledAfter = replyBytesSent_ + count; }

  // Calls the station records: the bytes go at the end of the record area and the end pointer
  // and its complement move past them. Nothing is added while the header is inconsistent.
  bool AppendRecords(const std::vector<std::uint8_t>& bytes);
  // The end pointer, when it and its complement agree.
  std::optional<std::uint16_t> RecordEnd() const;

  const std::vector<TraceEntry>& Trace() const { return trace_; }
  void OnTrace(std::function<void(const TraceEntry&)> sink) { traceSink_ = std::move(sink); }

  // Time between reply bytes at 976 bit/s, 10 bits a byte.
  static constexpr std::int64_t kReplyByteUs = 10'000'000 / 976;
  // Line time of a byte from the PC at 325 bit/s, 10 bits a byte.
  static constexpr std::int64_t kHeardByteUs = 10'000'000 / 325;
  // How long after a byte's moment (half-way through it) the next must come for the frame to
  // go on: the gap of silence plus the line time of both halves.
  std::int64_t FrameSilenceUs() const {
    return static_cast<std::int64_t>(options_.frameGapMs) * 1000 + kHeardByteUs;
  }

 private:
  enum class State { kIdle, kPrefix1, kPrefix2, kHeader, kRead, kWrite };

  void ByteHeard(std::uint8_t byte, std::int64_t timeUs);
  void StartFrame(std::int64_t timeUs);
  void EndFrame(std::int64_t timeUs, bool bySilence = false);
  void WriteByte(std::uint8_t byte);
  void AnswerRead(std::uint16_t address, std::uint16_t count, std::uint8_t delayCode,
                  std::int64_t timeUs);
  void Record(TraceEntry entry);
  // Stray bytes heard so far, as noise, or as the cut-off tail of a write frame.
  void RecordStray(std::int64_t timeUs);
  void RebaseClock(std::int64_t timeUs);

  StationOptions options_;
  std::array<std::uint8_t, 65536> memory_{};
  bool protect_;
  bool cablePulled_ = false;
  long replyBytesSent_ = 0;

  // The station's clock: its seconds of day at a moment of the model's time.
  int clockSeconds_;
  std::int64_t clockBaseUs_ = 0;

  State state_ = State::kIdle;
  std::vector<std::uint8_t> frame_;    // bytes of the frame being heard, after the prefix
  std::vector<std::uint8_t> stray_;    // bytes heard outside any frame
  std::vector<std::uint8_t> written_;  // data of the write frame being heard
  std::vector<std::uint8_t> held_;     // data bytes that may begin the next prefix
  std::uint16_t writeAddress_ = 0;
  std::uint16_t writeCursor_ = 0;
  std::int64_t frameStartUs_ = 0;
  std::int64_t lastHeardUs_ = 0;
  std::int64_t longestSilenceUs_ = 0;
  // The last frame was cut by a silence, and bytes heard next belong to its tail.
  bool afterCut_ = false;
  std::uint16_t cutAddress_ = 0;
  std::int64_t nextNoiseUs_ = 0;
  // No noise before this: a reply has just ended.
  std::int64_t quietUntilUs_ = 0;
  int readsAnswered_ = 0;
  static constexpr std::int64_t kQuietAfterReplyUs = 200'000;
  // How long before the reply a stray byte of the fault comes: after the PC's wait and purge.
  static constexpr std::int64_t kStrayLeadUs = 10'000;
  std::uint32_t noiseState_ = 12345;

  std::deque<ReplyByte> output_;
  std::vector<TraceEntry> trace_;
  std::function<void(const TraceEntry&)> traceSink_;
};

}  // namespace station
