// Call records: decoding throughput, and appending and loading month files of 10 000, 200 000
// and 1 000 000 records.
#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include "BenchSupport.h"
#include "FakeClock.h"
#include "GeneratedCalls.h"
#include "core/base/Environment.h"
#include "core/files/CallRecords.h"
#include "core/files/DataFiles.h"
#include "core/link/SerialTransport.h"

namespace {

class NoPorts : public SerialPortFactory {
 public:
  std::unique_ptr<SerialTransport> CreateTransport() override { return nullptr; }
};

std::vector<CallRecord> MonthOfCalls(int count) {
  std::vector<CallRecord> records;
  records.reserve(static_cast<size_t>(count));
  const auto generated = station::GenerateCalls(count, 28, 5, 4);
  for (const auto& c : generated.calls) records.push_back(ToCallRecord(c, QDate(2026, 3, 28)));
  return records;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);

  // Decoding: a full record area (about 64 KiB) decoded over and over.
  const auto area = station::GenerateCalls(4000, 20, 3, 4);
  std::vector<quint8> bytes(area.bytes.begin(), area.bytes.end());
  bytes.resize(std::min<size_t>(bytes.size(), 63000));
  bytes.push_back(0);
  size_t decoded = 0;
  const int rounds = 200;
  const double decodeTime = Seconds([&] {
    for (int i = 0; i < rounds; ++i) {
      std::vector<quint8> buffer = bytes;
      std::vector<CallRecord> records;
      records.reserve(buffer.size() / 7 + 1);
      DecodeCallRecords(buffer.data(), static_cast<qsizetype>(buffer.size()), QDate(2026, 3, 28),
                        records);
      decoded += records.size();
    }
  });
  std::printf("decode: %.1f MB/s, %.2f million records/s (%zu bytes per area)\n",
              rounds * static_cast<double>(bytes.size()) / decodeTime / 1e6,
              static_cast<double>(decoded) / decodeTime / 1e6, bytes.size());

  FakeClock clock;
  SilentUi ui;
  NoPorts ports;
  for (int count : {10000, 200000, 1000000}) {
    QTemporaryDir dir;
    Environment env{ui, clock, ports, dir.path()};
    std::vector<CallRecord> records = MonthOfCalls(count);
    const double append = Seconds([&] { AppendCallRecords(env.workDir, records); });
    const qint64 size = QFileInfo(env.FilePath(DataFileName(3))).size();
    std::vector<CallRecord> all;
    const double loadAll = Seconds([&] {
      all.reserve(static_cast<size_t>(EstimateRecordCount(env.workDir, 3)));
      LoadCallRecords(env.workDir, 3, 0, 0, all);
    });
    std::vector<CallRecord> one;
    const double loadOne = Seconds([&] {
      one.reserve(static_cast<size_t>(EstimateRecordCount(env.workDir, 3)));
      LoadCallRecords(env.workDir, 3, 0, 5, one);
    });
    std::printf(
        "%7d records (%5.1f MB): append %.3f s, load all %.3f s, load one subscriber %.3f s "
        "(%zu kept)\n",
        count, static_cast<double>(size) / 1e6, append, loadAll, loadOne, one.size());
  }
  return 0;
}
