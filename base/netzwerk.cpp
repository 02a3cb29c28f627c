// TCP sockets for framework modules: clients, a listening server that multiplexes
// its connections with one wait, line and block receive, full sends.
// Every failure sets the last error and logs one line with the system's error text.
// Depends on: platform/net, mem, log.
#include "base/netzwerk.h"

#include <cstdio>
#include <cstring>

#include "base/log.h"
#include "base/mem.h"

namespace {

#define NET_LOG(...) SYS_DbgLevelPrintf(2, __VA_ARGS__)

int32_t gStatus;  // system error of the last failed connect

const char *HostOf(const SYS_Socket_t *s) { return s && s->host ? s->host : ""; }
const char *LastErrorText() { return platNetErrorText(platNetLastError()); }

char *DupText(const char *text) { return SYS_StrDup(text); }

void ReportError(SYS_Socket_p s, const char *message) {
  NET_LOG("[netzwerk][%s:%d:%s()] %s\n", SYS_POS, message);
  if (s->onError) s->onError(s, message);
}

// Creates the record's TCP socket, with the creation error's log lines and callback.
int CreateSocket(SYS_Socket_p s) {
  s->socket = platNetSocket();
  if (s->socket != PLAT_NO_SOCKET) return 0;
  int err = platNetLastError();
  NET_LOG("[netzwerk][%s:%d:%s()] !!! socket creation error ( %d -> %s ).\n", SYS_POS, err,
          platNetErrorText(err));
  if (s->onError) {
    char message[512];
    snprintf(message, sizeof message, "socket: %s", platNetErrorText(err));
    ReportError(s, message);
  }
  return errSetLastError(2001), -1;
}

void SetRemove(SYS_SocketSet_t *set, platSocket_t socket) {
  for (int32_t i = 0; i < set->count; i++) {
    if (set->sockets[i] != socket) continue;
    memmove(&set->sockets[i], &set->sockets[i + 1], (size_t)(set->count - i - 1) * sizeof socket);
    set->count--;
    return;
  }
}

bool SetHas(const SYS_SocketSet_t *set, platSocket_t socket) {
  for (int32_t i = 0; i < set->count; i++)
    if (set->sockets[i] == socket) return true;
  return false;
}

// Port and host text of a record from its address.
void DescribePeer(SYS_Socket_p s) {
  char dotted[64] = "";
  int port = 0;
  platNetAddrInfo(&s->address, &port, dotted, sizeof dotted);
  s->port = port;
  s->addressLength = platNetAddrLength();
  s->host = DupText(dotted);
}

}  // namespace

extern "C" char *SYS_SocketResolve(const char *host) {
  errClear();
  if (!host) return errSetLastError(10), nullptr;
  char dotted[64];
  if (platNetResolve(host, 0, nullptr, dotted, sizeof dotted) != PLAT_RESOLVE_OK) {
    NET_LOG("[netzwerk][%s:%d:%s()] unable to resolve '%s' (%s)\n", SYS_POS, host, LastErrorText());
    return errSetLastError(2012), nullptr;
  }
  char *text = DupText(dotted);
  if (!text) return errSetLastError(5), nullptr;
  NET_LOG("[netzwerk][%s:%d:%s()] resolve '%s' to '%s'\n", SYS_POS, host, text);
  return text;
}

extern "C" int SYS_SocketNew(SYS_Socket_p s, const char *host, int32_t port) {
  errClear();
  if (!s || !host || port < 0 || port > 65535) return errSetLastError(10), -1;
  memset(s, 0, sizeof *s);
  s->socket = PLAT_NO_SOCKET;
  s->host = DupText(host);
  if (!s->host) return errSetLastError(5), -1;
  int rc = platNetResolve(host, (uint16_t)port, &s->address, nullptr, 0);
  if (rc != PLAT_RESOLVE_OK) {
    NET_LOG("[netzwerk][%s:%d:%s()] unable to resolve '%s' (%s)\n", SYS_POS, host, LastErrorText());
    SYS_MemFree(&s->host);  // the record is not usable, so it holds nothing
    return errSetLastError(rc == PLAT_RESOLVE_UNKNOWN_HOST ? 2004 : 2003), -1;
  }
  s->port = port;
  s->addressLength = platNetAddrLength();
  NET_LOG("[netzwerk][%s:%d:%s()] new socket: %s:%d\n", SYS_POS, s->host, s->port);
  return 0;
}

extern "C" int SYS_SocketConnect(SYS_Socket_p s) {
  errClear();
  if (!s) return errSetLastError(10), -1;
  gStatus = 0;
  NET_LOG("[netzwerk][%s:%d:%s()] connect: %s:%d\n", SYS_POS, HostOf(s), s->port);
  if (s->onConnecting) s->onConnecting(s);
  if (CreateSocket(s) < 0) return -1;
  if (platNetConnect(s->socket, &s->address) < 0) {
    gStatus = platNetLastError();
    char message[512];
    snprintf(message, sizeof message, "connect error: %s", platNetErrorText(gStatus));
    NET_LOG("[netzwerk][%s:%d:%s()] %s (%d)\n", SYS_POS, message, gStatus);
    if (s->onError) s->onError(s, message);
    platNetClose(s->socket);  // a failed connect leaves no open socket behind
    s->socket = PLAT_NO_SOCKET;
    return errSetLastError(2002), -1;
  }
  s->connected = 1;
  if (s->onConnected) s->onConnected(s);
  return 0;
}

extern "C" int SYS_SocketListen(SYS_Socket_p s) {
  errClear();
  if (!s) return errSetLastError(10), -1;
  if (s->onConnecting) s->onConnecting(s);
  if (CreateSocket(s) < 0) return -1;
  int code = 0;
  if (platNetBind(s->socket, &s->address) < 0) {
    NET_LOG("[netzwerk][%s:%d:%s()] unable to bind to socket (%s)...\n", SYS_POS, LastErrorText());
    code = 2006;
  } else if (platNetListen(s->socket, 8) < 0) {
    NET_LOG("[netzwerk][%s:%d:%s()] unable listen (%s)...\n", SYS_POS, LastErrorText());
    code = 2007;
  }
  if (code) {
    platNetClose(s->socket);
    s->socket = PLAT_NO_SOCKET;
    return errSetLastError(code), -1;
  }
  platSockAddr_t local;
  if (platNetLocal(s->socket, &local) == 0) {
    s->address = local;
    int port = s->port;
    platNetAddrInfo(&local, &port, nullptr, 0);
    s->port = port;
  }
  s->set.count = 1;
  s->set.sockets[0] = s->socket;
  s->readySet.count = 0;
  return 0;
}

extern "C" int SYS_SocketAccept(SYS_Socket_p server, SYS_Socket_p *out) {
  errClear();
  if (!server || !out) return errSetLastError(10), -1;
  *out = nullptr;
  SYS_Socket_p c = (SYS_Socket_p)SYS_MemGet(sizeof(SYS_Socket_t), " in: SYS_SocketAccept");
  if (!c) return errSetLastError(5), -1;
  *c = *server;
  c->host = nullptr;  // the server's text stays the server's
  auto fail = [&](int code) {
    SYS_MemFree(&c);
    return errSetLastError(code), -1;
  };

  uint8_t ready[SYS_SOCKET_SET_SIZE] = {};
  int32_t count = server->set.count;
  if (count < 1 || count > SYS_SOCKET_SET_SIZE || server->set.sockets[0] == PLAT_NO_SOCKET) {
    NET_LOG("[netzwerk][%s:%d:%s()] select() error: %s\n", SYS_POS, "not a listening socket");
    return fail(2008);
  }
  if (platNetWaitReadable(server->set.sockets, count, ready, -1) < 0) {
    NET_LOG("[netzwerk][%s:%d:%s()] select() error: %s\n", SYS_POS, LastErrorText());
    return fail(2008);
  }
  server->readySet.count = 0;
  for (int32_t i = 0; i < count; i++)
    if (ready[i]) server->readySet.sockets[server->readySet.count++] = server->set.sockets[i];

  if (ready[0]) {
    platSocket_t listening = server->set.sockets[0];
    c->socket = platNetAccept(listening, &c->address);
    if (c->socket == PLAT_NO_SOCKET) {
      NET_LOG("[netzwerk][%s:%d:%s()] unable to accept new connection (%s)...\n", SYS_POS,
              LastErrorText());
      return fail(2008);
    }
    DescribePeer(c);
    NET_LOG("[netzwerk][%s:%d:%s()] incoming connection from %s:%d (%d)\n", SYS_POS, HostOf(c),
            c->port, c->socket);
    // Past 64 sockets a connection still works, it is just not watched.
    if (!SetHas(&server->set, c->socket) && server->set.count < SYS_SOCKET_SET_SIZE)
      server->set.sockets[server->set.count++] = c->socket;
    SetRemove(&server->readySet, listening);
    c->ready = 1;
  } else {
    int32_t i = 1;
    while (i < count && !ready[i]) i++;
    if (i == count) {
      NET_LOG("[netzwerk][%s:%d:%s()] select() error: %s\n", SYS_POS, "no readable socket");
      return fail(2008);
    }
    c->socket = server->set.sockets[i];
    if (platNetPeer(c->socket, &c->address) < 0) memset(&c->address, 0, sizeof c->address);
    DescribePeer(c);
    c->ready = 0;
  }
  c->server = server;
  c->connected = 1;
  *out = c;
  return 0;
}

extern "C" int SYS_SocketClear(SYS_Socket_p s) {
  errClear();
  if (!s || !s->connected || !s->server) return errSetLastError(10), -1;
  SetRemove(&s->server->set, s->socket);
  return 0;
}

extern "C" int SYS_SocketClose(SYS_Socket_p s) {
  errClear();
  if (!s) return errSetLastError(10), -1;
  if (s->onDisconnect) s->onDisconnect(s, 0);
  int rc = 0;
  if (!s->connected) {
    errSetLastError(10);
    rc = -1;
  } else if (s->server) {
    SetRemove(&s->server->set, s->socket);
  }
  NET_LOG("[netzwerk][%s:%d:%s()] close: %s:%d\n", SYS_POS, HostOf(s), s->port);
  platNetClose(s->socket);
  s->socket = PLAT_NO_SOCKET;
  s->set.count = 0;
  SYS_MemFree(&s->host);
  s->connected = 0;
  return rc;
}

extern "C" int SYS_SocketSend(SYS_Socket_p s, const void *data, int32_t length) {
  errClear();
  if (!s || !data || length <= 0) {
    NET_LOG("[netzwerk][%s:%d:%s()] %s : wrong parameter.\n", SYS_POS, HostOf(s));
    return errSetLastError(10), -1;
  }
  if (!s->connected) return errSetLastError(2000), -1;
  const uint8_t *p = (const uint8_t *)data;
  int32_t left = length;
  while (left > 0) {
    long n = platNetSend(s->socket, p, (size_t)left);
    if (n <= 0) {
      NET_LOG("[netzwerk][%s:%d:%s()] %s : sending error : %s\n", SYS_POS, HostOf(s),
              n < 0 ? LastErrorText() : "nothing sent");
      return errSetLastError(2000), -1;
    }
    p += n;
    left -= (int32_t)n;
  }
  return 0;
}

extern "C" int32_t SYS_SocketRead(SYS_Socket_p s, void *buffer, int32_t size) {
  errClear();
  if (!s || !buffer || size <= 0) return errSetLastError(10), -1;
  long n = platNetRecv(s->socket, buffer, (size_t)size);
  if (n < 0) {
    NET_LOG("[netzwerk][%s:%d:%s()] %s : receive error : %s\n", SYS_POS, HostOf(s), LastErrorText());
    return errSetLastError(2009), -1;
  }
  return (int32_t)n;
}

extern "C" int SYS_SocketFGets(SYS_Socket_p s, char *buffer, int32_t size) {
  errClear();
  if (!s || !buffer || size <= 0) return errSetLastError(10), -1;
  int32_t stored = 0;
  buffer[0] = 0;
  while (stored < size - 1) {
    char ch;
    long n = platNetRecv(s->socket, &ch, 1);
    if (n == 0) return buffer[stored] = 0, errSetLastError(2011), -1;
    if (n < 0) {
      buffer[stored] = 0;
      NET_LOG("[netzwerk][%s:%d:%s()] %s : error in receving : %s\n", SYS_POS, HostOf(s),
              LastErrorText());
      return errSetLastError(2009), -1;
    }
    buffer[stored++] = ch;
    if (ch == '\n') return buffer[stored] = 0, 0;
  }
  buffer[stored] = 0;
  return errSetLastError(2010), -1;
}

#define SOCKET_SETTER(fn, type, field)                         \
  extern "C" int fn(SYS_Socket_p s, type cb) {                 \
    errClear();                                                \
    if (!s || !cb) return errSetLastError(10), -1;             \
    s->field = cb;                                             \
    return 0;                                                  \
  }
SOCKET_SETTER(SYS_SocketSetConnectCB, SYS_SocketConnect_t, onConnected)
SOCKET_SETTER(SYS_SocketSetConnectingCB, SYS_SocketConnecting_t, onConnecting)
SOCKET_SETTER(SYS_SocketSetErrorCB, SYS_SocketError_t, onError)
SOCKET_SETTER(SYS_SocketSetDisconnectCB, SYS_SocketDisconnect_t, onDisconnect)
SOCKET_SETTER(SYS_SocketSetReadCB, SYS_SocketRead_t, onRead)
#undef SOCKET_SETTER

extern "C" int32_t SYS_SocketGetStatus(void) { return gStatus; }

// BSD sockets need no start-up; sends pass MSG_NOSIGNAL, so SIGPIPE stays untouched.
void SYS_SocketInit(void) {}

void SYS_SocketDone(void) { errClear(); }
