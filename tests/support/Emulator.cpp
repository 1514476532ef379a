#include "Emulator.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <atomic>
#include <csignal>

#include <sys/types.h>

namespace {
std::atomic<int> gCounter{0};

QString StripTime(const QString& line) {
  const qsizetype blank = line.indexOf(u' ');
  return blank < 0 ? line : line.mid(blank + 1);
}
}  // namespace

EmulatorProcess::EmulatorProcess(const station::StationOptions& options) : options_(options) {
  // Qt locks a serial port by the base name of its device, so each emulator gets a name of
  // its own.
  link_ = dir_.filePath(QStringLiteral("ttyNorvel%1x%2")
                            .arg(QCoreApplication::applicationPid())
                            .arg(gCounter.fetch_add(1)));
}

EmulatorProcess::~EmulatorProcess() {
  Stop();
}

bool EmulatorProcess::Start() {
  QString imageFile;
  QString recordsFile;
  if (options_.image) {
    imageFile = dir_.filePath(QStringLiteral("image.bin"));
    QFile file(imageFile);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(reinterpret_cast<const char*>(options_.image->data()),
               static_cast<qint64>(options_.image->size()));
  }
  if (!options_.records.empty()) {
    recordsFile = dir_.filePath(QStringLiteral("records.bin"));
    QFile file(recordsFile);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(reinterpret_cast<const char*>(options_.records.data()),
               static_cast<qint64>(options_.records.size()));
  }
  QStringList args = {QLatin1String(station::option::kLink),  link_,
                      QLatin1String(station::option::kTrace), dir_.filePath("trace.txt"),
                      QLatin1String(station::option::kDump),  dir_.filePath("memory.bin")};
  args << station::ToArguments(options_, imageFile, recordsFile);
  process_.start(QStringLiteral(NORVEL_EMULATOR), args);
  if (!process_.waitForStarted(5000)) return false;
  // Ready once it has printed the path of its link.
  QDeadlineTimer deadline(10000);
  QByteArray out;
  while (!out.contains('\n') && !deadline.hasExpired()) {
    process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    out += process_.readAllStandardOutput();
  }
  return out.trimmed() == QFile::encodeName(link_);
}

void EmulatorProcess::Stop() {
  if (process_.state() == QProcess::NotRunning) return;
  ::kill(static_cast<pid_t>(process_.processId()), SIGTERM);
  if (!process_.waitForFinished(5000)) {
    process_.kill();
    process_.waitForFinished(2000);
  }
}

bool EmulatorProcess::WaitForMessage(const QString& text, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  const QByteArray wanted = text.toUtf8();
  process_.setReadChannel(QProcess::StandardError);
  for (;;) {
    messages_ += process_.readAllStandardError();
    const qsizetype at = messages_.indexOf(wanted);
    if (at >= 0) {
      messages_.remove(0, at + wanted.size());
      return true;
    }
    if (deadline.hasExpired() || process_.state() == QProcess::NotRunning) return false;
    process_.waitForReadyRead(static_cast<int>(qMin<qint64>(deadline.remainingTime(), 100)));
  }
}

QByteArray EmulatorProcess::Messages() {
  messages_ += process_.readAllStandardError();
  return messages_;
}

void EmulatorProcess::Signal(int number) {
  if (process_.state() != QProcess::NotRunning) {
    ::kill(static_cast<pid_t>(process_.processId()), number);
  }
}

QStringList EmulatorProcess::Traffic() const {
  QFile file(dir_.filePath("trace.txt"));
  QStringList traffic;
  if (!file.open(QIODevice::ReadOnly)) return traffic;
  for (const QByteArray& raw : file.readAll().split('\n')) {
    const QString line = StripTime(QString::fromLatin1(raw));
    if (line.startsWith(u'R') || line.startsWith(u'W')) traffic << line;
  }
  return traffic;
}

QStringList EmulatorProcess::Trace() const {
  QFile file(dir_.filePath("trace.txt"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromLatin1(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

std::vector<double> EmulatorProcess::TrafficTimes() const {
  QFile file(dir_.filePath("trace.txt"));
  std::vector<double> times;
  if (!file.open(QIODevice::ReadOnly)) return times;
  for (const QByteArray& raw : file.readAll().split('\n')) {
    const QList<QByteArray> parts = raw.split(' ');
    if (parts.size() > 1 && (parts[1] == "R" || parts[1] == "W")) {
      times.push_back(parts[0].toDouble());
    }
  }
  return times;
}

bool EmulatorProcess::WaitForTraffic(int count, int timeoutMs) const {
  QDeadlineTimer deadline(timeoutMs);
  while (Traffic().size() < count) {
    if (deadline.hasExpired()) return false;
    QThread::msleep(20);
  }
  return true;
}

QByteArray EmulatorProcess::Memory() const {
  QFile file(dir_.filePath("memory.bin"));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
