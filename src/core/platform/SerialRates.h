#pragma once

#include <QList>
#include <QString>
#include <optional>

// Opens the device (without waiting for a carrier), tries each line rate, puts the line's
// settings back as they were, and closes it again. Gives the rates the driver refused, or none
// when the device could not be opened or its settings read; `failure` then holds the system's
// reason.
std::optional<QList<unsigned>> OsRefusedRates(const QString& device, const QList<unsigned>& rates,
                                              QString* failure);
