// Any data line either converts or throws ConvertError; what converts writes a text line that
// reads back as itself.
#include <cstdint>
#include <cstdlib>

#include "core/files/CallRecords.h"
#include "core/files/TextFiles.h"
#include "core/base/Errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const QString line = DecodeCp1251(
      QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  CallRecord record;
  try {
    record = TextToCallRecord(line);
  } catch (const ConvertError&) {
    return 0;
  }
  if (record.DialledNumber.size() > kMaxDialledDigits || !record.StartTime.isValid()) std::abort();
  const QString text = CallRecordToText(record);
  if (CallRecordToText(TextToCallRecord(text)) != text) std::abort();
  return 0;
}
