#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

// The password file of the web view: one line per user, "name:iterations:salt:key", the key
// PBKDF2-HMAC-SHA256 of the password with the line's own random salt (hex), so that the file
// gives away no password and no two users' lines look alike.
class Passwords {
 public:
  // Reads the file; throws IoError when it cannot be read, ConvertError naming a bad line.
  static Passwords Load(const QString& path);
  // Whether an "Authorization: Basic ..." header names a user of the file with its password.
  bool Allows(const QByteArray& authorization) const;
  // The line for a user with a new random salt.
  static QByteArray LineFor(const QString& user, const QString& password);

 private:
  struct Entry {
    int iterations = 0;
    QByteArray salt;
    QByteArray key;
  };
  QHash<QString, Entry> users_;
};
