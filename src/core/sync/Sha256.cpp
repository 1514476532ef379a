#include "core/sync/Sha256.h"

#include <QLibrary>
#include <cstring>

namespace {

// libcrypto's SHA-256 state as its header lays it out: the eight words of the hash so far, the
// length in bits, and the bytes of a block not yet full. A plain structure, so that a sync may
// keep it and go on hashing a month file from where it stopped.
struct Context {
  unsigned int h[8];
  unsigned int lengthLow;
  unsigned int lengthHigh;
  unsigned int data[16];
  unsigned int num;
  unsigned int digestLength;
};

// The few entries of libcrypto's SHA-256, by their C signatures.
struct LibCrypto {
  int (*init)(Context*);
  int (*update)(Context*, const void*, size_t);
  int (*final)(unsigned char*, Context*);
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
    return library.load() && Resolve(library, "SHA256_Init", crypto.init) &&
           Resolve(library, "SHA256_Update", crypto.update) &&
           Resolve(library, "SHA256_Final", crypto.final);
  }();
  return complete ? &crypto : nullptr;
}

// A kept state begins with this, so that one from another layout is never taken.
constexpr char kStateTag[] = "sha256-1:";

}  // namespace

Sha256::Sha256() {
  if (const LibCrypto* crypto = Load()) {
    context_ = new Context;
    crypto->init(static_cast<Context*>(context_));
  }
}

Sha256::~Sha256() {
  delete static_cast<Context*>(context_);
}

void Sha256::Add(QByteArrayView bytes) {
  if (!context_) {
    fallback_.addData(bytes);
    return;
  }
  Load()->update(static_cast<Context*>(context_), bytes.data(), static_cast<size_t>(bytes.size()));
}

QByteArray Sha256::Hex() {
  if (!context_) return fallback_.result().toHex();
  // A copy is finished, so that more may be added to the bytes hashed so far.
  Context copy = *static_cast<Context*>(context_);
  unsigned char digest[32];
  if (Load()->final(digest, &copy) != 1) qFatal("libcrypto could not finish a SHA-256");
  return QByteArray(reinterpret_cast<const char*>(digest), sizeof digest).toHex();
}

void Sha256::Reset() {
  if (!context_) {
    fallback_.reset();
    return;
  }
  Load()->init(static_cast<Context*>(context_));
}

QByteArray Sha256::State() const {
  if (!context_) return {};
  return QByteArray(kStateTag) +
         QByteArray(static_cast<const char*>(context_), sizeof(Context)).toHex();
}

bool Sha256::Restore(const QByteArray& state) {
  if (!context_ || !state.startsWith(kStateTag)) return false;
  const QByteArray bytes = QByteArray::fromHex(state.mid(int(std::strlen(kStateTag))));
  if (bytes.size() != qsizetype(sizeof(Context))) return false;
  std::memcpy(context_, bytes.constData(), sizeof(Context));
  return true;
}

bool Sha256::Accelerated() {
  return Load() != nullptr;
}
