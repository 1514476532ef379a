#pragma once

#include <gtest/gtest.h>

#include "FakeHost.h"
#include "core/files/ConfigCopy.h"
#include "core/files/DateTimeText.h"
#include "core/files/SettingsFile.h"
#include "core/platform/SerialPlatform.h"
#include "core/station/StationCtrl.h"

// A PC with a station on COM2 through the in-memory line.
struct StationFixture : ::testing::Test {
  FakeHost host;
  station::StationOptions options;
  std::unique_ptr<FakeLine> line;
  std::unique_ptr<StationCtrlClass> station;
  QDateTime storedMoment = MakeDateTime(QDate(2026, 11, 30), QTime(18, 0, 5));
  size_t trafficMark = 0;

  // Plugs in a station built from `options`.
  void Plug() {
    line = std::make_unique<FakeLine>(host.clock, options);
    host.ports.Plug(ComPortDeviceName(2), line.get());
  }
  void WriteSettings(quint16 port = 2, quint16 boards = 2) {
    WriteSettingsFile(host.env.workDir, port, boards, storedMoment);
  }
  // Settings, station and the station object, ready to go.
  void Create() {
    if (!host.Exists(kSettingsFileName)) WriteSettings();
    if (!line) Plug();
    station = std::make_unique<StationCtrlClass>(host.env);
    MarkTraffic();
  }
  void MarkTraffic() { trafficMark = line ? line->Trace().size() : 0; }
  // Transactions since the last mark.
  QStringList Traffic() {
    std::vector<station::TraceEntry> all = line->Trace();
    all.erase(all.begin(), all.begin() + static_cast<long>(std::min(trafficMark, all.size())));
    return TrafficOf(all);
  }
  ConfigImage StationImage() {
    ConfigImage image;
    std::copy_n(line->Station().Memory().begin() + 1280, kImageSize, image.begin());
    return image;
  }
  void WriteCopy(const ConfigImage& image) {
    host.WriteFile(kConfigCopyFileName,
                   QByteArray(reinterpret_cast<const char*>(image.data()), kImageSize));
  }
  static ConfigImage Image(std::uint8_t seed) {
    ConfigImage image;
    for (int i = 0; i < kImageSize; ++i) image[i] = static_cast<std::uint8_t>(i * 3 + seed);
    image[511] = 0x11;  // never the write-test value
    return image;
  }
  static std::vector<std::uint8_t> AsVector(const ConfigImage& image) {
    return std::vector<std::uint8_t>(image.begin(), image.end());
  }
};
