#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// Date-time text as the settings file, the data files and the messages write it: the short date
// dd.MM.yyyy, then, unless the time of day is exactly midnight, a blank and the long time
// H:mm:ss (hour without a leading zero). The formats are fixed to the Russian defaults instead
// of following the user's regional settings, so that files move between machines unchanged.

QString DateToText(QDate date);
QString TimeToText(QTime time);                // H:mm:ss
QString TimeToTextWithoutSeconds(QTime time);  // H:mm
QString DateTimeToText(const QDateTime& moment);

// Parses what DateTimeToText writes, and also one-digit days and months, two-digit years (taken
// in 2000..2099), times without seconds and surrounding blanks. A date alone is midnight.
std::optional<QDateTime> TextToDateTime(QStringView text);
