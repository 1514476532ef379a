// How long `norvel --help` takes to start and end, against the least QtCore program, and the
// libraries each loads: a command run by timers and scripts many times a day should start like
// a plain QtCore program.
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The median wall time of one run, in microseconds.
double MedianMicroseconds(const QString& program, const QStringList& arguments, int runs) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.waitForFinished(-1);
    times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
  }
  std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
  return times[static_cast<size_t>(runs / 2)];
}

int LoadedLibraries(const QString& program) {
  QProcess ldd;
  ldd.start(QStringLiteral("ldd"), {program});
  ldd.waitForFinished(-1);
  return static_cast<int>(ldd.readAllStandardOutput().count('\n'));
}

}  // namespace

int main() {
  const QString norvel = QStringLiteral(NORVEL_COMMAND);
  const QString minimal = QStringLiteral(MINIMAL_CORE);
  const int runs = 200;
  MedianMicroseconds(norvel, {QStringLiteral("--help")}, 10);  // warm the caches
  MedianMicroseconds(minimal, {}, 10);
  const double command = MedianMicroseconds(norvel, {QStringLiteral("--help")}, runs);
  const double yardstick = MedianMicroseconds(minimal, {}, runs);
  std::printf("norvel --help        %7.0f us  %3d libraries\n", command, LoadedLibraries(norvel));
  std::printf("minimal QtCore       %7.0f us  %3d libraries\n", yardstick,
              LoadedLibraries(minimal));
  std::printf("ratio                %7.2f\n", command / yardstick);
  return 0;
}
