#pragma once

#include <QByteArray>
#include <QString>

class QFile;

// Replaces a file whole, so that it is either the old file or the complete new one, also after
// a full disk or a power cut. The bytes go to a temporary file beside it; every write, the sync
// and the final size are checked before the temporary file is renamed over the old one, and
// the directory is synced after the rename. On failure the old file stays, the temporary file
// is removed, and `reason` gets the system's words for what went wrong; only when the directory
// cannot be synced is the new file already in place, though a power cut may still take it back.
//
// Qt's own QSaveFile is not used: on Qt 6.4 its commit can report success after a write that
// failed for lack of space, and rename an empty file into place.
bool ReplaceFileDurably(const QString& path, const QByteArray& bytes, QString* reason);

// Flushes a file and has the system put its bytes on the disk.
bool SyncFileToDisk(QFile& file);

// Has the system put the directory entry of `path` (a file just created or renamed) on the
// disk. False with the system's reason on an I/O error; a file system that cannot sync a
// directory at all is no failure.
bool SyncDirectoryOf(const QString& path, QString* reason);

// The write call ReplaceFileDurably uses, and the sync call for directories; tests put failing
// ones in their place.
using DurableWriteCall = long (*)(int descriptor, const char* data, long size);
void SetDurableWriteCall(DurableWriteCall call);
using DurableSyncCall = int (*)(int descriptor);
void SetDurableDirectorySyncCall(DurableSyncCall call);

// Why a file a writer that does not say (a PDF or PNG writer) left shorter than it should be was
// cut: the system's words for a file larger than this process may write (a ulimit) or for a
// full disk, found by looking; else a plain "written incompletely, N bytes".
QString CutShortReason(const QString& path);

// Puts a finished file in place of `path`: has the system put the finished file on the disk,
// renames it over the old one and syncs the directory. On failure the finished file is removed,
// the old one stays, and `reason` gets the system's words.
bool PlaceFileDurably(const QString& finished, const QString& path, QString* reason);
