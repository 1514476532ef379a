#pragma once

#include <QString>
#include <QStringList>

// Other processes that have the device open, as "1234 (minicom)". On a pseudo-terminal the
// process at its far end (the one holding its master side, such as the station emulator) is
// the line itself and is not counted, even where it keeps this end open too.
QStringList OsDeviceHolders(const QString& device);

// Whether a process of that name is running ("ModemManager").
bool OsProcessRunning(const QString& name);

// The process holding a lock on the file, as "1234 (norvel)"; empty when nobody does or the
// system cannot tell.
QString OsFileLockHolder(const QString& path);
