#include "StationOptions.h"

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
  EmulatorCommandLine line;
  StationOptions& s = line.station;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& name = arguments[i];
    auto value = [&](QString* out) {
      if (i + 1 >= arguments.size()) {
        *error = QStringLiteral("%1 needs a value").arg(name);
        return false;
      }
      *out = arguments[++i];
      return true;
    };
    auto number = [&](auto* out) {
      QString text;
      if (!value(&text)) return false;
      bool ok = false;
      const long long n = text.toLongLong(&ok);
      if (!ok) {
        *error = QStringLiteral("%1 needs a number, not %2").arg(name, text);
        return false;
      }
      *out = static_cast<std::remove_pointer_t<decltype(out)>>(n);
      return true;
    };
    bool ok = true;
    if (name == QLatin1String(option::kLink)) {
      ok = value(&line.link);
    } else if (name == QLatin1String(option::kTrace)) {
      ok = value(&line.trace);
    } else if (name == QLatin1String(option::kDump)) {
      ok = value(&line.dump);
    } else if (name == QLatin1String(option::kImage)) {
      QString path;
      std::vector<std::uint8_t> bytes;
      ok = value(&path) && ReadFileBytes(path, bytes, error);
      if (ok && bytes.size() < 512) {
        *error = QStringLiteral("%1 holds %2 bytes, not 512").arg(path).arg(bytes.size());
        ok = false;
      }
      if (ok) {
        bytes.resize(512);
        s.image = bytes;
      }
    } else if (name == QLatin1String(option::kRecords)) {
      QString path;
      ok = value(&path) && ReadFileBytes(path, s.records, error);
    } else if (name == QLatin1String(option::kBoards)) {
      ok = number(&s.boards);
    } else if (name == QLatin1String(option::kProtect)) {
      s.protect = true;
    } else if (name == QLatin1String(option::kCalls)) {
      ok = number(&s.calls);
    } else if (name == QLatin1String(option::kCallDays)) {
      ok = number(&s.callDays);
    } else if (name == QLatin1String(option::kSeed)) {
      ok = number(&s.seed);
    } else if (name == QLatin1String(option::kClockOffset)) {
      ok = number(&s.clockOffsetMinutes);
    } else if (name == QLatin1String(option::kReplyDelay)) {
      ok = number(&s.replyDelayMs);
    } else if (name == QLatin1String(option::kRealtime)) {
      s.realtime = true;
    } else if (name == QLatin1String(option::kSilent)) {
      s.silent = true;
    } else if (name == QLatin1String(option::kDropReplyByte)) {
      ok = number(&s.dropReplyByte);
    } else if (name == QLatin1String(option::kCablePulledAfter)) {
      ok = number(&s.cablePulledAfter);
    } else if (name == QLatin1String(option::kBadHeader)) {
      s.badHeader = true;
    } else if (name == QLatin1String(option::kNoise)) {
      s.noise = true;
    } else if (name == QLatin1String(option::kStrayInReply)) {
      ok = number(&s.strayInReply);
    } else if (name == QLatin1String(option::kHelp) || name == QLatin1String("-h")) {
      line.help = true;
    } else {
      *error = QStringLiteral("unknown option %1").arg(name);
      ok = false;
    }
    if (!ok) return std::nullopt;
  }
  if (!line.help && line.link.isEmpty()) {
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
  if (s.replyDelayMs != defaults.replyDelayMs) add(option::kReplyDelay, s.replyDelayMs);
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
      "\n"
      "Stands in for the Norvel mini-PBX at the far end of the RS-232 cable. Creates a\n"
      "pseudo-terminal, links its device to PATH, prints PATH and serves until stopped.\n"
      "Point the program at it with NORVEL_COM2=PATH (or the port it uses).\n"
      "\n"
      "  --link PATH               where the station's serial device appears\n"
      "  --trace FILE              one line per transaction heard: time, R address count,\n"
      "                            or W address bytes\n"
      "  --dump FILE               station memory (64 KiB) written here on exit\n"
      "  --image FILE              512 bytes of programming (default: a built-in image)\n"
      "  --boards N                board count, 1..4; other values are reported as they are\n"
      "  --protect                 programming area write-protected (SIGUSR1 toggles)\n"
      "  --records FILE            raw record area from address 1792\n"
      "  --calls N                 generate N calls over several days instead\n"
      "  --call-days D             days the generated calls cover (default 4)\n"
      "  --seed S                  seed of the generated calls (default 1)\n"
      "  --clock-offset M          station clock M minutes off the PC's clock\n"
      "  --reply-delay MS          time before the first reply byte (default 550)\n"
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
