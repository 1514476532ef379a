// Build tool: writes the help file, kept in UTF-8 for editing, in Windows-1251 as the program
// reads it.  help-encoder INPUT OUTPUT
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

#include "core/files/TextFiles.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: help-encoder INPUT OUTPUT\n");
    return 2;
  }
  QFile in(QString::fromLocal8Bit(argv[1]));
  if (!in.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "help-encoder: cannot read %s\n", argv[1]);
    return 1;
  }
  const QString text = QString::fromUtf8(in.readAll());
  QFile out(QString::fromLocal8Bit(argv[2]));
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(EncodeCp1251(text)) < 0 ||
      !out.flush()) {
    std::fprintf(stderr, "help-encoder: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
