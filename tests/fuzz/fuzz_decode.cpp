// Any byte stream from the station decodes without faults into records that are within their
// ranges and survive the trip through their text line.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/files/CallRecords.h"
#include "core/base/Clock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  std::vector<quint8> buffer(data, data + size);
  buffer.push_back(0);
  std::vector<CallRecord> records;
  DecodeCallRecords(buffer.data(), static_cast<qsizetype>(buffer.size()), QDate(2026, 3, 1),
                    records);
  if (buffer.back() != 0xE0) std::abort();
  for (const CallRecord& r : records) {
    if (r.DialledNumber.size() > kMaxDialledDigits || r.DialledNumber.size() % 2) std::abort();
    if (r.Subscriber < 20 || r.Subscriber > 45 || r.CityLine > 8 || r.CallType > 3) std::abort();
    if (r.Duration < -1440 || r.Duration > 1440) std::abort();
    if (!r.StartTime.isValid() || r.StartTime.time().second() != 0) std::abort();
    if (!(TextToCallRecord(CallRecordToText(r)) == r)) std::abort();
  }
  return 0;
}
