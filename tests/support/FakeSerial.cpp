#include "FakeSerial.h"

#include <algorithm>

namespace {
bool Is8N1At(const LineSettings& s, quint32 rate) {
  return s.rate == rate && s.dataBits == 8 && s.parityCode == 0 && s.stopBitsCode == 0;
}
}  // namespace

FakeLine::FakeLine(FakeClock& clock, const station::StationOptions& options)
    : clock_(clock), station_(options, [&clock] {
        const QTime t = clock.Now().time();
        return t.hour() * 3600 + t.minute() * 60 + t.second();
      }()) {}

const std::vector<station::TraceEntry>& FakeLine::Trace() {
  Sync();
  station_.Flush(clock_.NowUs());
  return station_.Trace();
}

qint64 FakeLine::ByteTimeUs() const {
  const int bits = 1 + settings_.dataBits + (settings_.parityCode ? 1 : 0) +
                   (settings_.stopBitsCode == 0 ? 1 : 2);
  return static_cast<qint64>(bits) * 1'000'000 / std::max<quint32>(settings_.rate, 1);
}

void FakeLine::Sync() {
  const qint64 now = clock_.NowUs();
  for (;;) {
    const bool outDue = !holdOutput && !out_.empty() && out_.front().doneUs <= now;
    const bool inDue = station_.HasOutput() && station_.NextOutput().dueUs <= now;
    if (!outDue && !inDue) break;
    if (outDue && (!inDue || out_.front().doneUs <= station_.NextOutput().dueUs)) {
      const OutByte byte = out_.front();
      out_.pop_front();
      if (beforeDelivery) beforeDelivery(delivered_);
      ++delivered_;
      station_.Receive(byte.value, byte.intact, byte.doneUs);
    } else {
      quint8 value = station_.NextOutput().value;
      station_.PopOutput();
      if (!Is8N1At(settings_, 976)) value ^= 0x5A;
      if (garbleReply) value = garbleReply(received_, value);
      ++received_;
      if (inUse_) in_.push_back(value);
    }
  }
  station_.Advance(now);
}

bool FakeLine::StepTowards(qint64 targetUs) {
  qint64 next = targetUs;
  if (!out_.empty() && !holdOutput) next = std::min(next, out_.front().doneUs);
  if (station_.HasOutput()) next = std::min<qint64>(next, station_.NextOutput().dueUs);
  // Let the station notice silences and send stray bytes on its own schedule as well.
  next = std::min<qint64>(next, clock_.NowUs() + station_.FrameSilenceUs());
  if (next <= clock_.NowUs()) return false;
  clock_.AdvanceToUs(next);
  Sync();
  return true;
}

bool FakeSerialTransport::Open(const QString& device) {
  if (line_) return true;
  FakeLine* line = lines_.value(device, nullptr);
  if (!line || line->vanished) {
    openError_ = QStringLiteral("No such file or directory");
    return false;
  }
  if (line->forbidden) {
    openError_ = QStringLiteral("Permission denied");
    return false;
  }
  if (line->inUse_) {
    openError_ = QStringLiteral("Device or resource busy");
    return false;
  }
  openError_.clear();
  line->inUse_ = true;
  line->in_.clear();
  line->out_.clear();
  line_ = line;
  return true;
}

void FakeSerialTransport::Close() {
  if (!line_) return;
  line_->Sync();
  line_->inUse_ = false;
  line_->in_.clear();
  line_ = nullptr;
}

bool FakeSerialTransport::Configure(const LineSettings& settings) {
  line_->Sync();
  line_->settings_ = settings;
  return true;
}

bool FakeSerialTransport::Purge(bool receive, bool transmit) {
  line_->Sync();
  if (receive) line_->in_.clear();
  if (transmit) line_->out_.clear();
  return true;
}

qint64 FakeSerialTransport::InQueue() {
  line_->Sync();
  return static_cast<qint64>(line_->in_.size());
}

qint64 FakeSerialTransport::OutQueue() {
  line_->Sync();
  return static_cast<qint64>(line_->out_.size());
}

qint64 FakeSerialTransport::Read(char* data, qint64 max) {
  line_->Sync();
  qint64 count = 0;
  while (count < max && !line_->in_.empty()) {
    data[count++] = static_cast<char>(line_->in_.front());
    line_->in_.pop_front();
  }
  return count;
}

qint64 FakeSerialTransport::Write(const char* data, qint64 count) {
  line_->Sync();
  const bool intact = Is8N1At(line_->settings_, 325);
  qint64 done = line_->out_.empty() ? line_->clock_.NowUs() : line_->out_.back().doneUs;
  done = std::max(done, line_->clock_.NowUs());
  for (qint64 i = 0; i < count; ++i) {
    done += line_->ByteTimeUs();
    line_->out_.push_back({done, static_cast<quint8>(data[i]), intact});
    line_->rawSent_.append(data[i]);
  }
  return count;
}

void FakeSerialTransport::WaitForInput(int milliseconds) {
  const qint64 target = line_->clock_.NowUs() + static_cast<qint64>(milliseconds) * 1000;
  line_->Sync();
  while (line_->in_.empty() && line_->StepTowards(target)) {
  }
}

void FakeSerialTransport::WaitForOutput(int milliseconds) {
  const qint64 target = line_->clock_.NowUs() + static_cast<qint64>(milliseconds) * 1000;
  const size_t before = line_->out_.size();
  line_->Sync();
  while (!line_->out_.empty() && line_->out_.size() == before && line_->StepTowards(target)) {
  }
}

QStringList TrafficOf(const std::vector<station::TraceEntry>& trace) {
  QStringList traffic;
  for (const station::TraceEntry& entry : trace) {
    if (entry.kind == station::TraceEntry::kNoise) continue;
    const QString line = QString::fromStdString(station::FormatTrace(entry));
    traffic << line.mid(line.indexOf(u' ') + 1);
  }
  return traffic;
}
