#pragma once

#include <QString>

class DatabaseConnection;

// The station a working directory's calls belong to, kept in its file "NorvelStation.txt":
// a name chosen once (by --station, or made from the host and directory names) and an identity
// that tells two directories apart if they ever claim the same name.
struct StationIdentity {
  QString name;
  QString id;
};
inline constexpr char kStationFileName[] = "NorvelStation.txt";

// A name may hold letters, digits, ".", "_" and "-", up to 64 characters.
bool ValidStationName(const QString& name);
// The working directory's identity; none yet: an empty name. Throws IoError when the file
// cannot be read and ConvertError when it is not in its form.
StationIdentity ReadStationIdentity(const QString& dir);
// A new identity with this name and a new id.
StationIdentity NewStationIdentity(const QString& name);
// Writes the identity file durably.
void WriteStationIdentity(const QString& dir, const StationIdentity& identity);
// The name made for a directory that has none: the host's name and the directory's.
QString DefaultStationName(const QString& dir);

// Registers the station by name in the database, or checks that the name is this directory's;
// gives true when it was registered now. A new identity's file is written once the database
// has taken the name.
// A directory without its file (`newStation`) whose host and path are registered takes that
// registration back, file and all, and `station` becomes it; one whose name was chosen on the
// command line and differs is refused.
// `timezone` is the station's clock's zone asked for (empty: none asked), and becomes the
// registered one: a new station's is the one asked for or this machine's; an existing
// station's may not be asked to differ.
bool RegisterStation(DatabaseConnection& c, StationIdentity& station, const QString& dir,
                     bool newStation, bool nameChosen, QString& timezone);
