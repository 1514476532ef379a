#include "web/Passwords.h"

#include <QFile>
#include <QPasswordDigestor>
#include <QRandomGenerator>

#include "core/base/Errors.h"
#include "core/files/RegularFile.h"

namespace {

constexpr int kIterations = 100'000;
constexpr int kKeyLength = 32;
constexpr qint64 kLargestFile = 1 << 20;

QByteArray Derive(const QString& password, const QByteArray& salt, int iterations) {
  return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt,
                                            iterations, kKeyLength);
}

}  // namespace

Passwords Passwords::Load(const QString& path) {
  // A password file holds a line per user: a megabyte is thousands of users. Anything larger,
  // or a FIFO or /dev/zero named by mistake, would hold the start for ever or eat memory.
  QFile file(path);
  QString problem;
  if (!OpenRegularFile(file, &problem)) {
    throw IoError(QStringLiteral("Не удается прочитать файл паролей %1: %2").arg(path, problem));
  }
  if (file.size() > kLargestFile) {
    throw IoError(QStringLiteral("Файл паролей %1 слишком велик (%2 байт): в нем строка на "
                                 "пользователя, не больше %3 байт")
                      .arg(path)
                      .arg(file.size())
                      .arg(kLargestFile));
  }
  const QByteArray text = file.read(kLargestFile);
  if (file.error() != QFileDevice::NoError) {
    throw IoError(
        QStringLiteral("Не удается прочитать файл паролей %1: %2").arg(path, file.errorString()));
  }
  Passwords passwords;
  int number = 0;
  for (const QByteArray& raw : text.split('\n')) {
    ++number;
    const QByteArray line = raw.trimmed();
    if (line.isEmpty() || line.startsWith('#')) continue;
    const QList<QByteArray> parts = line.split(':');
    Entry entry;
    bool ok = parts.size() == 4 && !parts[0].isEmpty();
    if (ok) entry.iterations = parts[1].toInt(&ok);
    if (ok) {
      entry.salt = QByteArray::fromHex(parts[2]);
      entry.key = QByteArray::fromHex(parts[3]);
      ok = entry.iterations > 0 && !entry.salt.isEmpty() && entry.key.size() == kKeyLength;
    }
    if (!ok) {
      throw ConvertError(QStringLiteral("Файл паролей %1, строка %2: нужно "
                                        "«имя:итерации:соль:ключ» (norvel serve --add-user)")
                             .arg(path)
                             .arg(number));
    }
    passwords.users_.insert(QString::fromUtf8(parts[0]), entry);
  }
  return passwords;
}

bool Passwords::Allows(const QByteArray& authorization) const {
  if (!authorization.startsWith("Basic ")) return false;
  const QByteArray pair = QByteArray::fromBase64(authorization.mid(6).trimmed());
  const qsizetype colon = pair.indexOf(':');
  if (colon <= 0) return false;
  const auto found = users_.constFind(QString::fromUtf8(pair.left(colon)));
  if (found == users_.cend()) return false;
  const QByteArray key =
      Derive(QString::fromUtf8(pair.mid(colon + 1)), found->salt, found->iterations);
  // Compared in full whatever differs first, so the time taken tells nothing.
  unsigned char differ = 0;
  for (int i = 0; i < kKeyLength; ++i) {
    differ |= static_cast<unsigned char>(key[i] ^ found->key[i]);
  }
  return differ == 0;
}

QByteArray Passwords::LineFor(const QString& user, const QString& password) {
  QByteArray salt(16, Qt::Uninitialized);
  QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), 4);
  return user.toUtf8() + ':' + QByteArray::number(kIterations) + ':' + salt.toHex() + ':' +
         Derive(password, salt, kIterations).toHex() + '\n';
}
