// Custom line rates are asked of Linux's termios2 only; elsewhere the check cannot be made.
#include "core/platform/SerialRates.h"

std::optional<QList<unsigned>> OsRefusedRates(const QString&, const QList<unsigned>&,
                                              QString* failure) {
  *failure = QStringLiteral("custom line rates are checked on Linux only");
  return std::nullopt;
}
