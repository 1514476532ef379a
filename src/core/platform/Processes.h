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

// Whether the process with this id is alive; true where the system cannot tell.
bool OsProcessAlive(qint64 pid);

// A scratch file and its directory that a SIGTERM or SIGINT removes before the program ends,
// so that an export cut short leaves nothing behind; an empty file forgets them.
void OsRemoveOnTermination(const QString& file, const QString& dir);
// An output file being written that a SIGTERM, SIGINT or SIGHUP removes before the program ends
// (where the program has not asked to note those signals instead); an empty path forgets it.
void OsRemoveOutputOnTermination(const QString& file);

// This program's own file, before any Qt application exists (to find what is installed beside
// it); `argv0` is the fallback where the system cannot say.
QString OsExecutablePath(const char* argv0);

// Runs the program in this process's place with these arguments (the first is its name): gives
// back only when it cannot, with the system's reason.
QString OsReplaceWith(const QString& program, const QStringList& arguments);

// SIGTERM and SIGINT from now on only note that the program is asked to stop: a conversation
// with the station then ends at its next reply byte, as a read that failed, and the command
// says so in its summary. Without this the signal ends the program wherever it is.
void OsNoteTermination();
// The signal that asked the program to stop, or 0.
int OsTerminationSignal();
