#include "FakeHost.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QFileInfo>

#include "core/files/TextFiles.h"

void FakeHost::WriteFile(const QString& name, const QByteArray& bytes) const {
  QFile file(Path(name));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << name.toStdString();
  ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray FakeHost::ReadFile(const QString& name) const {
  QFile file(Path(name));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

bool FakeHost::Exists(const QString& name) const {
  return QFileInfo::exists(Path(name));
}

QByteArray Cp1251(const QString& text) {
  return EncodeCp1251(text);
}
