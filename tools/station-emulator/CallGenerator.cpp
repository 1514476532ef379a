#include "CallGenerator.h"

#include <algorithm>
#include <random>

namespace station {

std::uint8_t CityLineByte(int cityLine) {
  if (cityLine < 1 || cityLine > 8) return 0x00;
  // Bits 7, 5 and 4 mark a city line; bit 3 picks the even line of the pair in bits 1..0.
  const int pair = (cityLine - 1) / 2;
  const int even = (cityLine % 2 == 0) ? 0x08 : 0x00;
  return static_cast<std::uint8_t>(0xB0 | even | pair);
}

namespace {

std::uint8_t DigitNibble(char digit) {
  return digit == '0' ? 10 : digit - '0';
}

void AppendCall(std::vector<std::uint8_t>& out, const GeneratedCall& call, int board, int port,
                const std::string& digits) {
  const int start = call.startHour * 60 + call.startMinute;
  const int end = (start + call.duration) % 1440;
  out.push_back(static_cast<std::uint8_t>(0xE0 | call.startHour));
  out.push_back(static_cast<std::uint8_t>(0xC0 | call.startMinute));
  out.push_back(static_cast<std::uint8_t>((call.callType << 6) | (end / 60)));
  out.push_back(static_cast<std::uint8_t>(end % 60));
  out.push_back(static_cast<std::uint8_t>(0x80 + 8 * port + board));
  out.push_back(CityLineByte(call.cityLine));
  for (size_t i = 0; i < digits.size(); i += 2) {
    const std::uint8_t high = DigitNibble(digits[i]);
    const std::uint8_t low = i + 1 < digits.size() ? DigitNibble(digits[i + 1]) : 0;
    out.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
}

}  // namespace

GeneratedRecords GenerateCalls(int count, int days, std::uint32_t seed, int boards) {
  boards = std::clamp(boards, 1, 4);
  days = std::max(days, 1);
  std::mt19937 random(seed);
  auto uniform = [&random](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };

  GeneratedRecords result;
  std::vector<GeneratedCall> calls(static_cast<size_t>(std::max(count, 0)));
  std::vector<std::pair<int, int>> places;  // board, port of each call
  for (GeneratedCall& call : calls) {
    call.daysAgo = uniform(0, days - 1);
    call.startHour = uniform(8, 20);
    call.startMinute = uniform(0, 59);
    call.duration = uniform(0, 9) == 0 ? uniform(10, 75) : uniform(0, 9);
    call.callType = uniform(0, 3);
    call.cityLine = uniform(1, 2 * boards);  // a station records no call without a city line
    const int board = uniform(0, boards - 1);
    const int port = uniform(0, 5);
    call.subscriber = 20 + 6 * board + port;
    places.emplace_back(board, port);
  }
  std::vector<size_t> order(calls.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&calls](size_t a, size_t b) {
    const GeneratedCall& x = calls[a];
    const GeneratedCall& y = calls[b];
    if (x.daysAgo != y.daysAgo) return x.daysAgo > y.daysAgo;
    return x.startHour * 60 + x.startMinute < y.startHour * 60 + y.startMinute;
  });

  std::vector<std::uint8_t>& out = result.bytes;
  int currentDay = days - 1;
  out.push_back(0xFF);  // the station marks the first midnight it saw; it changes no date
  for (size_t index : order) {
    GeneratedCall call = calls[index];
    while (currentDay > call.daysAgo) {
      out.push_back(0xFF);
      --currentDay;
    }
    // City numbers of seven digits, long-distance ones of eleven after an 8, short service
    // numbers of two.
    const int kind = uniform(0, 9);
    const int length = kind < 6 ? 7 : (kind < 9 ? 11 : 2);
    std::string digits(static_cast<size_t>(length), '0');
    digits[0] = static_cast<char>(kind < 6 ? '0' + uniform(2, 9) : (kind < 9 ? '8' : '1'));
    for (size_t i = 1; i < digits.size(); ++i) digits[i] = static_cast<char>('0' + uniform(0, 9));
    call.number = digits.size() % 2 ? digits + " " : digits;
    AppendCall(out, call, places[index].first, places[index].second, digits);
    if (uniform(0, 14) == 0) {
      // A stray pair: a byte that ends the digits but does not start a record.
      out.push_back(static_cast<std::uint8_t>(uniform(0xE0, 0xFE)));
      out.push_back(static_cast<std::uint8_t>(uniform(0x00, 0xBF)));
    }
    result.calls.push_back(call);
  }
  while (currentDay > 0) {
    out.push_back(0xFF);
    --currentDay;
  }
  return result;
}

}  // namespace station
