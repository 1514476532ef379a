#include "cli/ConsoleUi.h"

#include <QIODevice>

#include "core/base/Errors.h"
#include "core/base/ExitCodes.h"
#include "core/files/SettingsFile.h"
#include "core/link/RS232.h"
#include "core/platform/Terminal.h"

namespace {
// Only the record read is long enough to want a bar.
const QString kRecordRead = QStringLiteral("Чтение данных из станции");
// A byte from the station takes ten bits at 976 bit/s.
constexpr double kSecondsPerByte = 10.0 / RS232Class::kReadRate;
constexpr int kBarWidth = 30;

// Every line with its priority, as the journal reads it ("<3>..."), so that journalctl -p err
// shows a message of several lines whole.
QString Prioritized(ConsoleUi::Priority priority, const QString& lines) {
  const QString prefix = QStringLiteral("<%1>").arg(static_cast<int>(priority));
  QStringList parts = lines.split(u'\n');
  const bool ended = lines.endsWith(u'\n');
  if (ended) parts.removeLast();
  QString marked;
  for (const QString& part : parts) marked += prefix + part + u'\n';
  return ended ? marked : marked.chopped(1);
}
}  // namespace

ConsoleUi::ConsoleUi(QIODevice& err, bool terminal, bool answerYes)
    : err_(err), terminal_(terminal), answerYes_(answerYes), journal_(OsStreamIsJournal(2)) {}

void ConsoleUi::Say(const QString& text, Priority priority) {
  if (barShown_) err_.write("\n");
  barShown_ = false;
  const QString lines = QStringLiteral("norvel: ") +
                        QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")) + u'\n';
  err_.write((journal_ ? Prioritized(priority, lines) : lines).toUtf8());
}

bool ConsoleUi::ShowBox(BoxKind kind, const QString& text, bool error) {
  if (kind == BoxKind::YesNo || kind == BoxKind::YesCancel) {
    if (answerYes_) {
      Say(text + QStringLiteral(" -> yes (--yes)"), Priority::kWarning);
      return true;
    }
    Say(text + QStringLiteral(" -> no (nobody to answer)"), Priority::kWarning);
    return false;
  }
  // A first start without settings is said once, as a notice: the reception reads the file
  // more than once, and a new directory is no fault.
  if (text == QString::fromUtf8(kSettingsFileMissingText)) {
    if (!noticesSaid_.contains(text)) Say(text, Priority::kNotice);
    noticesSaid_.insert(text);
    return false;
  }
  Say(text, error ? Priority::kError : Priority::kWarning);
  return false;
}

QByteArray WithPriority(int descriptor, ConsoleUi::Priority priority, const QString& lines) {
  return (OsStreamIsJournal(descriptor) ? Prioritized(priority, lines) : lines).toUtf8();
}

ConsoleUi::Priority SummaryPriority(int exitCode) {
  switch (exitCode) {
    case exitcode::kOk:
    case exitcode::kInterrupted:
    case exitcode::kTerminated:
      return ConsoleUi::Priority::kInfo;
    case exitcode::kNoAnswer:
      return ConsoleUi::Priority::kWarning;
    default:
      return ConsoleUi::Priority::kError;
  }
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

QString WriteFailure(const QString& output, const NorvelError& error) {
  const QString& message = error.Message();
  const QString unwritten = QStringLiteral("Не удается записать");
  if (output == QLatin1String("-") || !message.startsWith(unwritten) || message.contains(output))
    return message;
  const qsizetype colon = message.indexOf(QStringLiteral(": "));
  const QString reason = colon >= 0 ? message.mid(colon + 2) : message;
  return QStringLiteral("%1 файл %2: %3").arg(unwritten, output, reason);
}
