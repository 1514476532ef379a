#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace station {

// One call as the station records it, with what a correct decoder must make of it.
struct GeneratedCall {
  int daysAgo = 0;  // 0: today
  int startHour = 0;
  int startMinute = 0;
  int subscriber = 20;
  int duration = 0;  // minutes
  int cityLine = 0;
  int callType = 0;
  std::string number;  // as decoded: a digit per character, a blank after an odd count
};

struct GeneratedRecords {
  std::vector<std::uint8_t> bytes;  // the record area from address 1792
  std::vector<GeneratedCall> calls;
};

// Realistic traffic of `count` calls over `days` days ending today, in the order the station
// records them: each day's calls by start time, a day marker (0xFF) at every change of date, a
// few stray bytes between records, city and long-distance numbers. The same seed gives the same
// calls.
GeneratedRecords GenerateCalls(int count, int days, std::uint32_t seed, int boards);

// The header byte B5 that names a city line (0 names none).
std::uint8_t CityLineByte(int cityLine);

}  // namespace station
