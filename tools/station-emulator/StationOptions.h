#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace station {

// Everything that shapes the emulated station, including its fault cases. The emulator's command
// line and the tests' in-memory station are both built from this one declaration, so a test can
// start the emulator with exactly the station it also runs in-process.
struct StationOptions {
  // Board count; byte 743 holds it minus one, so 0 and 5 give invalid counts on purpose.
  int boards = 2;
  // The programming area 1280..1791 ignores writes (the "Программирование" switch is down).
  bool protect = false;
  // Station clock relative to the PC's clock at start, in minutes.
  int clockOffsetMinutes = 0;
  // 512 bytes of programming; a built-in default image otherwise.
  std::optional<std::vector<std::uint8_t>> image;
  // Raw record area from 1792 on.
  std::vector<std::uint8_t> records;
  // Generated calls instead of a raw record area (0 for none).
  int calls = 0;
  int callDays = 4;
  std::uint32_t seed = 1;
  // How long after the reply time the first reply byte comes. The reply time follows from the
  // request's delay code (10 x code - 240 ms, 400 ms for the code the PC sends); 0 answers at
  // exactly that moment, as a station may.
  int replyMarginMs = 150;
  // A frame from the PC ends when the line has been silent this long after its last byte.
  int frameGapMs = 150;
  // Replies paced at 976 bit/s, 10 bit times per byte, as a real station sends them.
  bool realtime = false;

  // Fault cases.
  bool silent = false;        // hears nothing and answers nothing
  int dropReplyByte = -1;     // this byte of every reply is never sent
  int cablePulledAfter = -1;  // the line goes dead after this many reply bytes
  bool badHeader = false;     // the record header's complement bytes do not match
  bool noise = false;         // stray bytes from the station between transactions
  int strayInReply = -1;      // read K (counted from 0) gets a stray byte just before its reply
};

// Command-line option names, shared by the emulator's parser and by tests that start it.
namespace option {
inline constexpr char kLink[] = "--link";
inline constexpr char kTrace[] = "--trace";
inline constexpr char kImage[] = "--image";
inline constexpr char kBoards[] = "--boards";
inline constexpr char kProtect[] = "--protect";
inline constexpr char kRecords[] = "--records";
inline constexpr char kCalls[] = "--calls";
inline constexpr char kCallDays[] = "--call-days";
inline constexpr char kSeed[] = "--seed";
inline constexpr char kClockOffset[] = "--clock-offset";
inline constexpr char kReplyMargin[] = "--reply-margin";
inline constexpr char kFrameGap[] = "--frame-gap";
inline constexpr char kRealtime[] = "--realtime";
inline constexpr char kSilent[] = "--silent";
inline constexpr char kDropReplyByte[] = "--drop-reply-byte";
inline constexpr char kCablePulledAfter[] = "--cable-pulled-after";
inline constexpr char kBadHeader[] = "--bad-header";
inline constexpr char kNoise[] = "--noise";
inline constexpr char kStrayInReply[] = "--stray-in-reply";
inline constexpr char kDump[] = "--dump";
inline constexpr char kHelp[] = "--help";
inline constexpr char kVersion[] = "--version";
}  // namespace option

// The command line of the emulator and where it keeps its files.
struct EmulatorCommandLine {
  QString link;
  QString trace;
  QString dump;  // memory written here on exit, for tests
  StationOptions station;
  bool help = false;
  bool version = false;
};

// Parses the arguments (without the program name); gives an error text on failure.
std::optional<EmulatorCommandLine> ParseCommandLine(const QStringList& arguments, QString* error);
// The arguments that give these station options (files must already be written by the caller
// for the image and the records; their paths are passed in).
QStringList ToArguments(const StationOptions& options, const QString& imageFile = {},
                        const QString& recordsFile = {});
QString UsageText();

}  // namespace station
