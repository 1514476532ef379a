#pragma once

#include <QDateTime>
#include <QString>

#include "core/files/ConfigImage.h"

// Every configuration written to the station leaves a pair of files in "history/" under the
// working directory: the image the station held before (the last one read from it) and the
// image written, named by the moment of the write ("2026-12-07_09-15-02-before.cfg" and
// "...-after.cfg", 512 bytes each, the form of "Norvel.cfg"). The newest 200 pairs are kept.
// Restoring one is copying it over "Norvel.cfg" and writing the copy to the station.
inline constexpr char kHistoryDirName[] = "history";
inline constexpr int kHistoryPairs = 200;

// Keeps the pair in the working directory `dir`; gives the system's reason when it could not
// (the write itself is not affected), an empty text when it did.
QString KeepConfigHistory(const QString& dir, const ConfigImage& before, const ConfigImage& after,
                          const QDateTime& moment);
