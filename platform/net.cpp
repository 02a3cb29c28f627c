// TCP over BSD sockets for the framework's TCP layer.
// poll() stands in for select() so that descriptors above FD_SETSIZE still work.
// Depends on: POSIX sockets, getaddrinfo, poll.
#include "platform/net.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

static_assert(sizeof(sockaddr_in) == sizeof(platSockAddr_t), "IPv4 address is 16 bytes");

namespace {

thread_local int tLastError;

const sockaddr *Sa(const platSockAddr_t *a) { return reinterpret_cast<const sockaddr *>(a->bytes); }

// The peer's or the local address of a socket (getpeername or getsockname).
int SocketName(int (*query)(int, sockaddr *, socklen_t *), platSocket_t s, platSockAddr_t *out) {
  sockaddr_in sin = {};
  socklen_t len = sizeof sin;
  if (query(s, reinterpret_cast<sockaddr *>(&sin), &len) < 0) return tLastError = errno, -1;
  memcpy(out->bytes, &sin, sizeof sin);
  return 0;
}

}  // namespace

int platNetResolve(const char *host, uint16_t port, platSockAddr_t *addr, char *dotted, size_t dottedSize) {
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *res = nullptr;
  int rc = getaddrinfo(host, nullptr, &hints, &res);
  if (rc != 0 || !res) {
    tLastError = rc;
    if (res) freeaddrinfo(res);
    return rc == EAI_NONAME || rc == EAI_NODATA ? PLAT_RESOLVE_UNKNOWN_HOST : PLAT_RESOLVE_FAILED;
  }
  sockaddr_in sin;
  memcpy(&sin, res->ai_addr, sizeof sin);
  freeaddrinfo(res);
  sin.sin_family = AF_INET;
  sin.sin_port = htons(port);
  if (addr) memcpy(addr->bytes, &sin, sizeof sin);
  if (dotted && dottedSize && !inet_ntop(AF_INET, &sin.sin_addr, dotted, (socklen_t)dottedSize)) dotted[0] = 0;
  return PLAT_RESOLVE_OK;
}

void platNetAddrInfo(const platSockAddr_t *addr, int *port, char *dotted, size_t dottedSize) {
  sockaddr_in sin;
  memcpy(&sin, addr->bytes, sizeof sin);
  if (port) *port = ntohs(sin.sin_port);
  if (dotted && dottedSize && !inet_ntop(AF_INET, &sin.sin_addr, dotted, (socklen_t)dottedSize)) dotted[0] = 0;
}

int platNetAddrLength(void) { return (int)sizeof(sockaddr_in); }

platSocket_t platNetSocket(void) {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) tLastError = errno;
  return s < 0 ? PLAT_NO_SOCKET : s;
}

int platNetConnect(platSocket_t s, const platSockAddr_t *addr) {
  int rc;
  do rc = connect(s, Sa(addr), sizeof(sockaddr_in));
  while (rc < 0 && errno == EINTR);
  if (rc < 0) tLastError = errno;
  return rc < 0 ? -1 : 0;
}

int platNetBind(platSocket_t s, const platSockAddr_t *addr) {
  // A restarted server must not wait for the old connections' TIME_WAIT to pass.
  int on = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (bind(s, Sa(addr), sizeof(sockaddr_in)) < 0) return tLastError = errno, -1;
  return 0;
}

int platNetListen(platSocket_t s, int backlog) {
  if (listen(s, backlog) < 0) return tLastError = errno, -1;
  return 0;
}

platSocket_t platNetAccept(platSocket_t s, platSockAddr_t *peer) {
  sockaddr_in sin = {};
  socklen_t len = sizeof sin;
  int c;
  do c = accept4(s, reinterpret_cast<sockaddr *>(&sin), &len, SOCK_CLOEXEC);
  while (c < 0 && errno == EINTR);
  if (c < 0) return tLastError = errno, PLAT_NO_SOCKET;
  if (peer) memcpy(peer->bytes, &sin, sizeof sin);
  return c;
}

int platNetPeer(platSocket_t s, platSockAddr_t *peer) { return SocketName(getpeername, s, peer); }

long platNetSend(platSocket_t s, const void *data, size_t length) {
  ssize_t n;
  do n = send(s, data, length, MSG_NOSIGNAL);
  while (n < 0 && errno == EINTR);
  if (n < 0) tLastError = errno;
  return (long)n;
}

long platNetRecv(platSocket_t s, void *buffer, size_t size) {
  ssize_t n;
  do n = recv(s, buffer, size, 0);
  while (n < 0 && errno == EINTR);
  if (n < 0) tLastError = errno;
  return (long)n;
}

int platNetWaitReadable(const platSocket_t *sockets, int count, uint8_t *ready, int timeoutMs) {
  if (count <= 0 || count > 1024) return tLastError = EINVAL, -1;
  pollfd fds[1024];
  for (int i = 0; i < count; i++) fds[i] = {sockets[i], POLLIN, 0};
  int n;
  do n = poll(fds, (nfds_t)count, timeoutMs);
  while (n < 0 && errno == EINTR);
  if (n < 0) return tLastError = errno, -1;
  // A hung-up or failed socket counts as readable: its next receive reports it.
  for (int i = 0; i < count; i++) ready[i] = (fds[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) ? 1 : 0;
  return n;
}

void platNetClose(platSocket_t s) {
  if (s == PLAT_NO_SOCKET) return;
  shutdown(s, SHUT_RDWR);
  close(s);
}

int platNetLocal(platSocket_t s, platSockAddr_t *local) { return SocketName(getsockname, s, local); }

int platNetLastError(void) { return tLastError; }

const char *platNetErrorText(int error) {
  // strerror is fine for errno values; resolver codes go through gai_strerror.
  return error < 0 ? gai_strerror(error) : strerror(error);
}
