#include "cli/TerminalProgress.h"

#include <QIODevice>

#include "core/base/Clock.h"

TerminalProgress::TerminalProgress(QIODevice& err, bool terminal, Clock& clock,
                                   const QString& caption, const QString& unit)
    : err_(err),
      terminal_(terminal),
      clock_(clock),
      caption_(caption),
      unit_(unit),
      started_(clock.Tick()) {}

TerminalProgress::~TerminalProgress() {
  if (drawn_ < 0) return;
  // The line ends where the work got to: work that failed halfway does not show 100 %.
  Draw();
  err_.write("\n");
}

void TerminalProgress::Update(qint64 done, qint64 total) {
  done_ = done;
  total_ = total;
  if (!terminal_) return;
  const qint64 now = clock_.Tick();
  if (now - started_ < kQuietMs || (drawn_ >= 0 && now - drawn_ < kRedrawMs)) return;
  drawn_ = now;
  Draw();
}

void TerminalProgress::Draw() {
  const qint64 percent = total_ > 0 ? done_ * 100 / total_ : 100;
  err_.write(QStringLiteral("\r%1: %2 % (%3 из %4 %5) ")
                 .arg(caption_)
                 .arg(percent)
                 .arg(done_)
                 .arg(total_)
                 .arg(unit_)
                 .toUtf8());
}
