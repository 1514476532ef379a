#include "cli/ConsoleUi.h"

#include <QIODevice>

namespace {
// Only the record read is long enough to want a bar.
const QString kRecordRead = QStringLiteral("Чтение данных из станции");
// A byte from the station takes ten bits at 976 bit/s.
constexpr double kSecondsPerByte = 10.0 / 976.0;
constexpr int kBarWidth = 30;
}  // namespace

void ConsoleUi::Say(const QString& text) {
  if (barShown_) err_.write("\n");
  barShown_ = false;
  QString line = text;
  line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  err_.write(("norvel: " + line + "\n").toUtf8());
}

bool ConsoleUi::ShowBox(BoxKind kind, const QString& text, bool error) {
  Q_UNUSED(error);
  if (kind == BoxKind::YesNo || kind == BoxKind::YesCancel) {
    if (answerYes_) {
      Say(text + QStringLiteral(" -> yes (--yes)"));
      return true;
    }
    Say(text + QStringLiteral(" -> no (nobody to answer)"));
    return false;
  }
  Say(text);
  return false;
}

void ConsoleUi::StartProgress(const QString& caption, quint16 maximum) {
  if (!terminal_ || caption != kRecordRead) return;
  barShown_ = true;
  barMaximum_ = maximum;
  position_ = 0;
  lastDrawn_ = -1;
  DrawBar(0);
}

void ConsoleUi::SetProgress(quint16 position) {
  position_ = position;
  if (barShown_) DrawBar(position);
}

void ConsoleUi::EndProgress() {
  if (!barShown_) return;
  // The bar ends where the read got to: a read that failed halfway does not show 100 %.
  lastDrawn_ = -1;
  DrawBar(position_);
  err_.write("\n");
  barShown_ = false;
}

void ConsoleUi::DrawBar(quint16 position) {
  const int total = barMaximum_ + 1;
  const int done = qMin(position + 1, total);
  const int filled = kBarWidth * done / qMax(total, 1);
  // Redrawn only when the bar or the count of seconds left changes.
  const int left = static_cast<int>((total - done) * kSecondsPerByte + 0.5);
  const int key = filled * 100000 + left;
  if (key == lastDrawn_) return;
  lastDrawn_ = key;
  const QString bar = QString(filled, u'#') + QString(kBarWidth - filled, u'.');
  err_.write(QStringLiteral("\r[%1] %2/%3 bytes, %4 s left ")
                 .arg(bar)
                 .arg(done)
                 .arg(total)
                 .arg(left)
                 .toUtf8());
}
