// The station emulator: a stand-in for the mini-PBX at the end of the RS-232 cable, served on a
// pseudo-terminal so that the program (or a test) can talk to it as to a real serial port.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <deque>

#include "PtyLineSettings.h"
#include "StationModel.h"

namespace {

volatile sig_atomic_t gStop = 0;
volatile sig_atomic_t gToggleProtect = 0;
volatile sig_atomic_t gToggleCable = 0;

void OnSignal(int number) {
  if (number == SIGUSR1) {
    gToggleProtect = 1;
  } else if (number == SIGUSR2) {
    gToggleCable = 1;
  } else {
    gStop = 1;
  }
}

void InstallSignals() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: a signal wakes the poll at once
  for (int number : {SIGTERM, SIGINT, SIGHUP, SIGUSR1, SIGUSR2})
    sigaction(number, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

std::int64_t MonotonicUs() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

int SecondsOfDayNow() {
  const QTime now = QTime::currentTime();
  return now.hour() * 3600 + now.minute() * 60 + now.second();
}

}  // namespace

int main(int argc, char** argv) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  QString error;
  const auto commandLine = station::ParseCommandLine(arguments, &error);
  if (!commandLine) {
    std::fprintf(stderr, "station-emulator: %s\n\n%s", qPrintable(error),
                 qPrintable(station::UsageText()));
    return 2;
  }
  if (commandLine->help) {
    std::fputs(qPrintable(station::UsageText()), stdout);
    return 0;
  }
  if (commandLine->version) {
    std::puts("station-emulator " NORVEL_VERSION);
    return 0;
  }

  int master = -1;
  int slave = -1;
  char slaveName[256] = {};
  if (openpty(&master, &slave, slaveName, nullptr, nullptr) != 0) {
    std::perror("station-emulator: openpty");
    return 1;
  }
  // The slave stays open here too, so the line lives on while the program closes and reopens
  // its port; it starts raw, like a serial line.
  struct termios raw {};
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  cfsetspeed(&raw, B9600);
  tcsetattr(slave, TCSANOW, &raw);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

  const QByteArray link = QFile::encodeName(commandLine->link);
  ::unlink(link.constData());
  if (::symlink(slaveName, link.constData()) != 0) {
    std::perror("station-emulator: symlink");
    return 1;
  }
  InstallSignals();

  FILE* trace = nullptr;
  if (!commandLine->trace.isEmpty()) {
    trace = std::fopen(QFile::encodeName(commandLine->trace).constData(), "w");
    if (!trace) {
      std::perror("station-emulator: trace file");
      ::unlink(link.constData());
      return 1;
    }
  }

  const std::int64_t startUs = MonotonicUs();
  auto now = [startUs] { return MonotonicUs() - startUs; };
  station::StationModel model(commandLine->station, SecondsOfDayNow());
  model.OnTrace([trace](const station::TraceEntry& entry) {
    // What a frame from the PC looked like on the line, for anyone measuring the sender.
    if (entry.kind == station::TraceEntry::kWrite || entry.kind == station::TraceEntry::kRead) {
      std::fprintf(stderr, "station-emulator: %c %u, longest silence inside %.1f ms\n",
                   entry.kind == station::TraceEntry::kWrite ? 'W' : 'R', entry.address,
                   static_cast<double>(std::max<std::int64_t>(entry.longestSilenceUs, 0)) / 1000);
    } else if (entry.kind == station::TraceEntry::kCut) {
      std::fprintf(stderr, "station-emulator: frame cut by a silence at %u\n", entry.address);
    }
    if (!trace) return;
    std::fprintf(trace, "%s\n", station::FormatTrace(entry).c_str());
    std::fflush(trace);
  });

  std::printf("%s\n", link.constData());
  std::fflush(stdout);

  // Bytes from the PC still on their way down the line.
  struct OnLine {
    std::uint8_t value;
    std::int64_t endUs;
    bool intact;
  };
  std::deque<OnLine> onLine;
  std::int64_t lineFreeUs = 0;
  // The rate seen at the last look, and how late a look may come to count as on time.
  bool at325Before = false;
  constexpr std::int64_t kOnTimeUs = 5'000;

  while (!gStop) {
    if (gToggleProtect) {
      gToggleProtect = 0;
      model.SetProtected(!model.Protected());
      std::fprintf(stderr, "station-emulator: write protection %s\n",
                   model.Protected() ? "on" : "off");
    }
    if (gToggleCable) {
      gToggleCable = 0;
      model.SetCablePulled(!model.CablePulled());
      std::fprintf(stderr, "station-emulator: cable %s\n",
                   model.CablePulled() ? "pulled" : "plugged in");
    }

    std::int64_t waitUs = 20'000;
    if (model.HasOutput()) waitUs = std::min(waitUs, model.NextOutput().dueUs - now());
    if (!onLine.empty()) waitUs = std::min(waitUs, onLine.front().endUs - now());
    struct pollfd watch {
      master, POLLIN, 0
    };
    const int timeoutMs = static_cast<int>(std::max<std::int64_t>(0, (waitUs + 999) / 1000));
    const int ready = ::poll(&watch, 1, timeoutMs);

    if (ready > 0 && (watch.revents & POLLIN)) {
      unsigned char bytes[512];
      const ssize_t count = ::read(master, bytes, sizeof bytes);
      PtyLineState line;
      const bool known = ReadPtyLineState(master, &line);
      const bool intact = known && line.Is8N1At(325);
      // A pseudo-terminal passes bytes on at once; a real line takes each byte's bits in turn.
      // So every byte is given its line time at the rate it started at, and is judged half-way
      // through it: a rate switched before then garbles it, as it would on a real line. (Half
      // way, not at the end, leaves room for this program reading the byte a little late.)
      const std::int64_t byteUs = known ? line.ByteTimeUs() : 1'000'000 / 960;
      for (ssize_t i = 0; i < count; ++i) {
        const std::int64_t start = std::max(lineFreeUs, now());
        lineFreeUs = start + byteUs;
        onLine.push_back({bytes[i], start + byteUs / 2, intact});
      }
    }
    // A byte is judged by the line's rate at its moment. Awake on time, this program sees
    // that rate now; woken late (a busy machine), it knows only the rate it saw last before
    // the moment, and a rate switched meanwhile is given the benefit of the doubt rather
    // than garbling a byte that may well have gone out whole.
    PtyLineState line;
    const bool at325Now = ReadPtyLineState(master, &line) && line.Is8N1At(325);
    const std::int64_t lookedUs = now();
    while (!onLine.empty() && onLine.front().endUs <= lookedUs) {
      const bool onTime = lookedUs - onLine.front().endUs <= kOnTimeUs;
      const bool still = onTime ? at325Now : (at325Now || at325Before);
      model.Receive(onLine.front().value, onLine.front().intact && still, onLine.front().endUs);
      onLine.pop_front();
    }
    at325Before = at325Now;
    model.Advance(now());
    while (model.HasOutput() && model.NextOutput().dueUs <= now()) {
      PtyLineState line;
      const bool intact = ReadPtyLineState(master, &line) && line.Is8N1At(976);
      std::uint8_t value = model.NextOutput().value;
      // A receiver at another rate makes something else of the byte.
      if (!intact) value ^= 0x5A;
      model.PopOutput();
      if (::write(master, &value, 1) < 0) break;
    }
  }

  // Bytes already on their way down the line still arrive.
  for (const OnLine& byte : onLine) model.Receive(byte.value, byte.intact, byte.endUs);
  model.Flush(now());
  if (trace) std::fclose(trace);
  if (!commandLine->dump.isEmpty()) {
    QFile dump(commandLine->dump);
    if (dump.open(QIODevice::WriteOnly)) {
      std::array<std::uint8_t, 65536> memory = model.Memory();
      memory[station::address::kClockMinute] = model.Peek(station::address::kClockMinute, now());
      memory[station::address::kClockHour] = model.Peek(station::address::kClockHour, now());
      dump.write(reinterpret_cast<const char*>(memory.data()), memory.size());
    }
  }
  ::unlink(link.constData());
  ::close(slave);
  ::close(master);
  return 0;
}
