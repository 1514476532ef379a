#include "core/sync/Sha256.h"

#include <QLibrary>

namespace {

// The few entries of libcrypto's digest interface, by their C signatures.
struct LibCrypto {
  void* (*newContext)();
  void (*freeContext)(void*);
  const void* (*sha256)();
  int (*init)(void*, const void*, void*);
  int (*update)(void*, const void*, size_t);
  int (*final)(void*, unsigned char*, unsigned int*);
  int (*copy)(void*, const void*);
};

template <typename Function>
bool Resolve(QLibrary& library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(library.resolve(name));
  return function != nullptr;
}

const LibCrypto* Load() {
  static LibCrypto crypto{};
  static const bool complete = [] {
    static QLibrary library(QStringLiteral("crypto"), 3);
    return library.load() && Resolve(library, "EVP_MD_CTX_new", crypto.newContext) &&
           Resolve(library, "EVP_MD_CTX_free", crypto.freeContext) &&
           Resolve(library, "EVP_sha256", crypto.sha256) &&
           Resolve(library, "EVP_DigestInit_ex", crypto.init) &&
           Resolve(library, "EVP_DigestUpdate", crypto.update) &&
           Resolve(library, "EVP_DigestFinal_ex", crypto.final) &&
           Resolve(library, "EVP_MD_CTX_copy_ex", crypto.copy);
  }();
  return complete ? &crypto : nullptr;
}

}  // namespace

Sha256::Sha256() {
  if (const LibCrypto* crypto = Load()) {
    context_ = crypto->newContext();
    if (context_ && crypto->init(context_, crypto->sha256(), nullptr) != 1) {
      crypto->freeContext(context_);
      context_ = nullptr;
    }
  }
}

Sha256::~Sha256() {
  if (context_) Load()->freeContext(context_);
}

void Sha256::Add(QByteArrayView bytes) {
  if (!context_) {
    fallback_.addData(bytes);
    return;
  }
  Load()->update(context_, bytes.data(), static_cast<size_t>(bytes.size()));
}

QByteArray Sha256::Hex() {
  if (!context_) return fallback_.result().toHex();
  // A copy is finished, so that more may be added to the bytes hashed so far.
  const LibCrypto* crypto = Load();
  void* copy = crypto->newContext();
  unsigned char digest[32];
  unsigned int size = 0;
  const bool done =
      copy && crypto->copy(copy, context_) == 1 && crypto->final(copy, digest, &size) == 1;
  if (copy) crypto->freeContext(copy);
  if (!done) qFatal("libcrypto could not finish a SHA-256");
  return QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(size)).toHex();
}

void Sha256::Reset() {
  if (!context_) {
    fallback_.reset();
    return;
  }
  Load()->init(context_, Load()->sha256(), nullptr);
}

bool Sha256::Accelerated() {
  return Load() != nullptr;
}
