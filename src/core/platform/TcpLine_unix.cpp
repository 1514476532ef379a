// Plain POSIX sockets, with poll() for every wait so that no step can hang past its time.
#include "core/platform/TcpLine.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr qsizetype kLongestLine = 64 * 1024;

QString Reason(int error) {
  return QString::fromLocal8Bit(std::strerror(error));
}

// Waits for `events` on the socket; false with the reason when the time ran out.
bool Wait(int descriptor, short events, int milliseconds, QString* reason) {
  struct pollfd entry {
    descriptor, events, 0
  };
  for (;;) {
    const int ready = ::poll(&entry, 1, milliseconds);
    if (ready > 0) return true;
    if (ready < 0 && errno == EINTR) continue;
    *reason = ready == 0 ? QStringLiteral("no answer within %1 s").arg(milliseconds / 1000)
                         : Reason(errno);
    return false;
  }
}

}  // namespace

TcpLine::~TcpLine() {
  Close();
}

void TcpLine::Close() {
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
  received_.clear();
}

void TcpLine::SendAtOnce() {
  const int on = 1;
  if (descriptor_ >= 0) ::setsockopt(descriptor_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

qint64 TcpLine::Receive(char* data, qint64 max, int milliseconds, QString* reason) {
  if (descriptor_ < 0) {
    *reason = QStringLiteral("the connection is closed");
    return -1;
  }
  struct pollfd entry {
    descriptor_, POLLIN, 0
  };
  int ready = 0;
  do {
    ready = ::poll(&entry, 1, milliseconds);
  } while (ready < 0 && errno == EINTR);
  if (ready == 0) return 0;
  for (;;) {
    const ssize_t count = ::recv(descriptor_, data, static_cast<size_t>(max), 0);
    if (count > 0) return count;
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && errno == EAGAIN) return 0;
    *reason = count == 0 ? QStringLiteral("the server closed the connection") : Reason(errno);
    return -1;
  }
}

bool TcpLine::Connect(const QString& host, quint16 port, int milliseconds, QString* reason) {
  struct addrinfo hints {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  struct addrinfo* found = nullptr;
  const int looked = ::getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(),
                                   &hints, &found);
  if (looked != 0) {
    // A name no name server knows needs a person; a name server that cannot be asked now
    // (EAI_AGAIN) may answer later.
    *reason = looked == EAI_NONAME ? QStringLiteral("%1 is no known host").arg(host)
                                   : QStringLiteral("%1: %2").arg(
                                         host, QString::fromLocal8Bit(::gai_strerror(looked)));
    return false;
  }
  for (const struct addrinfo* address = found; address; address = address->ai_next) {
    const int descriptor =
        ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (descriptor < 0) {
      *reason = Reason(errno);
      continue;
    }
    int error = 0;
    if (::connect(descriptor, address->ai_addr, address->ai_addrlen) != 0) {
      error = errno;
      if (error == EINPROGRESS && Wait(descriptor, POLLOUT, milliseconds, reason)) {
        socklen_t length = sizeof error;
        ::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &length);
      } else if (error == EINPROGRESS) {
        ::close(descriptor);
        continue;
      }
    }
    if (error == 0) {
      descriptor_ = descriptor;
      break;
    }
    *reason = QStringLiteral("%1 port %2: %3").arg(host).arg(port).arg(Reason(error));
    ::close(descriptor);
  }
  ::freeaddrinfo(found);
  return descriptor_ >= 0;
}

bool TcpLine::Send(const QByteArray& bytes, int milliseconds, QString* reason) {
  qsizetype sent = 0;
  while (sent < bytes.size()) {
    if (!Wait(descriptor_, POLLOUT, milliseconds, reason)) return false;
    const ssize_t count = ::send(descriptor_, bytes.constData() + sent,
                                 static_cast<size_t>(bytes.size() - sent), MSG_NOSIGNAL);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (count < 0) {
      *reason = Reason(errno);
      return false;
    }
    sent += count;
  }
  return true;
}

std::optional<QByteArray> TcpLine::ReadLine(int milliseconds, QString* reason) {
  for (;;) {
    const qsizetype end = received_.indexOf('\n');
    if (end >= 0) {
      QByteArray line = received_.left(end);
      received_.remove(0, end + 1);
      if (line.endsWith('\r')) line.chop(1);
      return line;
    }
    if (received_.size() > kLongestLine) {
      *reason = QStringLiteral("a line longer than %1 bytes").arg(kLongestLine);
      return std::nullopt;
    }
    if (!Wait(descriptor_, POLLIN, milliseconds, reason)) return std::nullopt;
    char block[4096];
    const ssize_t count = ::recv(descriptor_, block, sizeof block, 0);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (count <= 0) {
      *reason = count == 0 ? QStringLiteral("the server closed the connection") : Reason(errno);
      return std::nullopt;
    }
    received_.append(block, count);
  }
}
