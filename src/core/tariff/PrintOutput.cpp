#include "core/tariff/PrintOutput.h"

#include <QDir>
#include <QFile>

#include "core/files/TextFiles.h"

struct PrintFileOutput::State {
  QFile file;
  QByteArray pending;
};

PrintFileOutput::PrintFileOutput(const QString& dir) : state_(std::make_unique<State>()) {
  state_->file.setFileName(QDir(dir).filePath(QLatin1String(kPrintFileName)));
}

PrintFileOutput::~PrintFileOutput() = default;

bool PrintFileOutput::Open() {
  return state_->file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

bool PrintFileOutput::WriteLine(const QString& line) {
  state_->pending += EncodeCp1251(line);
  state_->pending += kLineEnd;
  // Written in large pieces; a full disk shows at the next piece or at Close.
  if (state_->pending.size() < (1 << 16)) return true;
  const bool ok = state_->file.write(state_->pending) == state_->pending.size();
  state_->pending.clear();
  return ok;
}

bool PrintFileOutput::Close() {
  bool ok = state_->file.write(state_->pending) == state_->pending.size();
  state_->pending.clear();
  ok = state_->file.flush() && ok;
  state_->file.close();
  return ok && state_->file.error() == QFileDevice::NoError;
}
