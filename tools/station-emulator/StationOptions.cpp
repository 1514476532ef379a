#include "StationOptions.h"

#include <QCommandLineParser>
#include <QFile>

namespace station {

namespace {

bool ReadFileBytes(const QString& path, std::vector<std::uint8_t>& out, QString* error) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    return false;
  }
  const QByteArray bytes = file.readAll();
  out.assign(bytes.begin(), bytes.end());
  return true;
}

}  // namespace

std::optional<EmulatorCommandLine> ParseCommandLine(const QStringList& arguments, QString* error) {
  // The options by their names without the leading dashes; the valued ones take "--name
  // value" and "--name=value".
  const auto bare = [](const char* name) { return QString::fromLatin1(name).mid(2); };
  const char* const valued[] = {option::kLink,          option::kTrace,
                                option::kDump,          option::kImage,
                                option::kRecords,       option::kBoards,
                                option::kCalls,         option::kCallDays,
                                option::kSeed,          option::kClockOffset,
                                option::kReplyMargin,   option::kFrameGap,
                                option::kDropReplyByte, option::kCablePulledAfter,
                                option::kStrayInReply};
  const char* const flags[] = {option::kProtect, option::kRealtime, option::kSilent,
                               option::kBadHeader, option::kNoise};
  QCommandLineParser parser;
  for (const char* name : valued) parser.addOption({bare(name), QString(), QStringLiteral("V")});
  for (const char* name : flags) parser.addOption({bare(name), QString()});
  parser.addOption({{QStringLiteral("h"), bare(option::kHelp)}, QString()});
  parser.addOption({bare(option::kVersion), QString()});
  if (!parser.parse(QStringList{QStringLiteral("station-emulator")} + arguments)) {
    *error = parser.errorText();
    return std::nullopt;
  }
  if (!parser.positionalArguments().isEmpty()) {
    *error = QStringLiteral("unexpected %1").arg(parser.positionalArguments().first());
    return std::nullopt;
  }
  EmulatorCommandLine line;
  StationOptions& s = line.station;
  line.help = parser.isSet(bare(option::kHelp));
  line.version = parser.isSet(bare(option::kVersion));
  const auto has = [&](const char* name) { return parser.isSet(bare(name)); };
  const auto text = [&](const char* name) { return parser.value(bare(name)); };
  bool ok = true;
  const auto number = [&](const char* name, auto& out) {
    if (!ok || !has(name)) return;
    const long long n = text(name).toLongLong(&ok);
    if (!ok) *error = QStringLiteral("%1 needs a number, not %2").arg(name, text(name));
    out = static_cast<std::remove_reference_t<decltype(out)>>(n);
  };
  line.link = text(option::kLink);
  line.trace = text(option::kTrace);
  line.dump = text(option::kDump);
  if (has(option::kImage)) {
    std::vector<std::uint8_t> bytes;
    if (!ReadFileBytes(text(option::kImage), bytes, error)) return std::nullopt;
    if (bytes.size() < 512) {
      *error =
          QStringLiteral("%1 holds %2 bytes, not 512").arg(text(option::kImage)).arg(bytes.size());
      return std::nullopt;
    }
    bytes.resize(512);
    s.image = bytes;
  }
  if (has(option::kRecords) && !ReadFileBytes(text(option::kRecords), s.records, error)) {
    return std::nullopt;
  }
  number(option::kBoards, s.boards);
  number(option::kCalls, s.calls);
  number(option::kCallDays, s.callDays);
  number(option::kSeed, s.seed);
  number(option::kClockOffset, s.clockOffsetMinutes);
  number(option::kReplyMargin, s.replyMarginMs);
  number(option::kFrameGap, s.frameGapMs);
  number(option::kDropReplyByte, s.dropReplyByte);
  number(option::kCablePulledAfter, s.cablePulledAfter);
  number(option::kStrayInReply, s.strayInReply);
  if (!ok) return std::nullopt;
  s.protect = has(option::kProtect);
  s.realtime = has(option::kRealtime);
  s.silent = has(option::kSilent);
  s.badHeader = has(option::kBadHeader);
  s.noise = has(option::kNoise);
  if (!line.help && !line.version && line.link.isEmpty()) {
    *error = QStringLiteral("%1 PATH is required").arg(QLatin1String(option::kLink));
    return std::nullopt;
  }
  if (!s.records.empty() && s.calls > 0) {
    *error = QStringLiteral("%1 and %2 exclude each other")
                 .arg(QLatin1String(option::kRecords), QLatin1String(option::kCalls));
    return std::nullopt;
  }
  return line;
}

QStringList ToArguments(const StationOptions& s, const QString& imageFile,
                        const QString& recordsFile) {
  const StationOptions defaults;
  QStringList args;
  auto add = [&args](const char* name, auto value) {
    args << QLatin1String(name) << QString::number(value);
  };
  if (s.boards != defaults.boards) add(option::kBoards, s.boards);
  if (s.protect) args << QLatin1String(option::kProtect);
  if (s.clockOffsetMinutes != 0) add(option::kClockOffset, s.clockOffsetMinutes);
  if (!imageFile.isEmpty()) args << QLatin1String(option::kImage) << imageFile;
  if (!recordsFile.isEmpty()) args << QLatin1String(option::kRecords) << recordsFile;
  if (s.calls > 0) {
    add(option::kCalls, s.calls);
    add(option::kCallDays, s.callDays);
    add(option::kSeed, s.seed);
  }
  if (s.replyMarginMs != defaults.replyMarginMs) add(option::kReplyMargin, s.replyMarginMs);
  if (s.frameGapMs != defaults.frameGapMs) add(option::kFrameGap, s.frameGapMs);
  if (s.realtime) args << QLatin1String(option::kRealtime);
  if (s.silent) args << QLatin1String(option::kSilent);
  if (s.dropReplyByte >= 0) add(option::kDropReplyByte, s.dropReplyByte);
  if (s.cablePulledAfter >= 0) add(option::kCablePulledAfter, s.cablePulledAfter);
  if (s.badHeader) args << QLatin1String(option::kBadHeader);
  if (s.noise) args << QLatin1String(option::kNoise);
  if (s.strayInReply >= 0) add(option::kStrayInReply, s.strayInReply);
  return args;
}

QString UsageText() {
  return QStringLiteral(
      "Usage: station-emulator --link PATH [options]\n"
      "       station-emulator --help | --version\n"
      "\n"
      "Stands in for the Norvel mini-PBX at the far end of the RS-232 cable. Creates a\n"
      "pseudo-terminal, links its device to PATH, prints PATH and serves until stopped.\n"
      "Point the program at it with NORVEL_COM2=PATH (or the port it uses).\n"
      "\n"
      "  --link PATH               where the station's serial device appears\n"
      "  --trace FILE              one line per transaction heard: time, R address count,\n"
      "                            or W address bytes; C address bytes for a frame cut by\n"
      "                            a silence, N bytes for stray bytes\n"
      "  --dump FILE               station memory (64 KiB) written here on exit\n"
      "  --image FILE              512 bytes of programming (default: a built-in image)\n"
      "  --boards N                board count, 1..4; other values are reported as they are\n"
      "  --protect                 programming area write-protected (SIGUSR1 toggles)\n"
      "  --records FILE            raw record area from address 1792\n"
      "  --calls N                 generate N calls over several days instead\n"
      "  --call-days D             days the generated calls cover (default 4)\n"
      "  --seed S                  seed of the generated calls (default 1)\n"
      "  --clock-offset M          station clock M minutes off the PC's clock\n"
      "  --reply-margin MS         first reply byte this long after the reply time that the\n"
      "                            request's delay code gives (default 150; 0 is the\n"
      "                            earliest a station answers)\n"
      "  --frame-gap MS            silence after a byte that ends a frame (default 150);\n"
      "                            bytes of a frame that come after it are traced as cut\n"
      "  --realtime                pace replies at 976 bit/s like a real station\n"
      "\n"
      "Faults:\n"
      "  --silent                  hears nothing, answers nothing\n"
      "  --drop-reply-byte K       byte K of every reply is never sent\n"
      "  --cable-pulled-after N    the line goes dead after N reply bytes (SIGUSR2 toggles\n"
      "                            the cable at any time)\n"
      "  --bad-header              record header with mismatched complement bytes\n"
      "  --noise                   stray bytes from the station between transactions\n"
      "  --stray-in-reply K        a stray byte just before the reply of read K (from 0),\n"
      "                            which shifts that reply by one byte\n"
      "\n"
      "The station hears a byte only while the line is set to 325 bit/s 8N1 and its reply\n"
      "bytes arrive intact only while the line is set to 976 bit/s; otherwise they are\n"
      "garbled, as on the real line. SIGTERM or SIGINT ends the emulator.\n");
}

}  // namespace station
