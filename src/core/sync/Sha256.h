#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QCryptographicHash>

// SHA-256 of the month files for the sync. The system's libcrypto (loaded when the sync first
// hashes, as libpq loads it anyway) uses the processor's SHA instructions and is several times
// faster than Qt's own code, which is the fallback where libcrypto cannot be loaded. A sync
// with nothing new is mostly this hash.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Add(QByteArrayView bytes);
  // The hash of everything added since the start or the last Reset, as 64 hex digits; more may
  // be added after it.
  QByteArray Hex();
  void Reset();
  // The hash's state after the bytes added so far, to go on from with Restore in another run;
  // empty where libcrypto does not do the work. Restore is false for a state it cannot take.
  QByteArray State() const;
  bool Restore(const QByteArray& state);
  // Whether libcrypto does the work.
  static bool Accelerated();

 private:
  void* context_ = nullptr;  // libcrypto's SHA256_CTX
  QCryptographicHash fallback_{QCryptographicHash::Sha256};
};
