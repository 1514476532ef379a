#include "core/files/TextFiles.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {
constexpr const char* kCodePage = "windows-1251";
}

QByteArray EncodeCp1251(QStringView text) {
  QStringEncoder encoder(kCodePage);
  Q_ASSERT(encoder.isValid());
  return encoder.encode(text);
}

QStringDecoder Cp1251Decoder() {
  QStringDecoder decoder(kCodePage);
  Q_ASSERT(decoder.isValid());
  return decoder;
}

QString DecodeCp1251(QByteArrayView bytes) {
  QStringDecoder decoder(kCodePage);
  Q_ASSERT(decoder.isValid());
  return decoder.decode(bytes);
}

QStringList SplitLines(QStringView text) {
  QStringList lines;
  qsizetype start = 0;
  while (start < text.size()) {
    qsizetype end = text.indexOf(u'\n', start);
    if (end < 0) {
      lines.append(text.mid(start).toString());
      break;
    }
    qsizetype stop = end;
    if (stop > start && text[stop - 1] == u'\r') --stop;
    lines.append(text.mid(start, stop - start).toString());
    start = end + 1;
  }
  return lines;
}

QString JoinLines(const QStringList& lines) {
  QString text;
  for (const QString& line : lines) {
    text += line;
    text += QLatin1String(kLineEnd);
  }
  return text;
}
