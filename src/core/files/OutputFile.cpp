#include "core/files/OutputFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "core/platform/DurableFile.h"
#include "core/platform/Processes.h"

namespace {

bool EndsWith(const QString& path, QByteArrayView end, qsizetype within) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() < end.size()) return false;
  file.seek(std::max<qint64>(0, file.size() - within));
  return file.readAll().trimmed().endsWith(end);
}

}  // namespace

bool OutputFile::Complete(const QString& path, Kind kind) {
  if (!QFileInfo::exists(path)) return false;
  switch (kind) {
    case Kind::kAny:
      return true;
    case Kind::kPdf:
      return EndsWith(path, "%%EOF", 64);
    case Kind::kPng:
      return EndsWith(path, QByteArrayView("IEND\xae\x42\x60\x82", 8), 16);
  }
  return false;
}

OutputFile::OutputFile(const QString& path) : path_(path) {
  const QFileInfo info(path);
  // Hidden, beside the final name (so the rename stays on one file system), and this process's
  // own.
  unfinished_ = info.absoluteDir().filePath(
      QStringLiteral(".%1.%2.part").arg(info.fileName()).arg(QCoreApplication::applicationPid()));
  file_.setFileName(unfinished_);
  // What an earlier run of the same output left when it was killed: its process is gone.
  const QString prefix = QStringLiteral(".%1.").arg(info.fileName());
  for (const QString& left : info.absoluteDir().entryList(
           {prefix + QStringLiteral("*.part")}, QDir::Files | QDir::Hidden | QDir::System)) {
    bool number = false;
    const qint64 pid = left.mid(prefix.size()).chopped(5).toLongLong(&number);
    if (number && pid != QCoreApplication::applicationPid() && !OsProcessAlive(pid))
      QFile::remove(info.absoluteDir().filePath(left));
  }
  OsRemoveOutputOnTermination(unfinished_);
}

OutputFile::~OutputFile() {
  if (file_.isOpen()) file_.close();
  if (!committed_) QFile::remove(unfinished_);
  OsRemoveOutputOnTermination(QString());
}

QFile* OutputFile::Open(QString* reason) {
  if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
    *reason = file_.errorString();
    return nullptr;
  }
  return &file_;
}

bool OutputFile::Commit(Kind kind, QString* reason) {
  if (file_.isOpen()) {
    const bool written = file_.error() == QFileDevice::NoError;
    if (!written) *reason = file_.errorString();
    file_.close();
    if (!written) return false;
  }
  if (!Complete(unfinished_, kind)) {
    // The writers that take a file name do not say why they stopped.
    *reason = CutShortReason(unfinished_);
    return false;
  }
  if (!PlaceFileDurably(unfinished_, path_, reason)) return false;
  committed_ = true;
  return true;
}

bool WriteWhole(QIODevice& out, QByteArrayView bytes) {
  qsizetype done = 0;
  while (done < bytes.size()) {
    const qint64 written = out.write(bytes.data() + done, bytes.size() - done);
    if (written <= 0) return false;
    done += written;
  }
  return true;
}
