#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <QtGlobal>

// A socket listening on a loopback port the kernel chose: its descriptor, the port in *port.
inline int ListenOnLoopback(quint16* port, int backlog = 4) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listener, backlog);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  *port = ntohs(address.sin_port);
  return listener;
}
