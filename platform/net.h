// TCP over BSD sockets: the stand-in for the socket calls of the framework's TCP
// layer. "No socket" is -1; sends never raise SIGPIPE (MSG_NOSIGNAL).
// Depends on: POSIX sockets.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int platSocket_t;
#define PLAT_NO_SOCKET (-1)

// An IPv4 socket address in the system's own 16-byte layout.
struct platSockAddr_t {
  alignas(4) unsigned char bytes[16];
};

// Resolution results.
enum { PLAT_RESOLVE_OK = 0, PLAT_RESOLVE_UNKNOWN_HOST = 1, PLAT_RESOLVE_FAILED = 2 };

// First IPv4 address of `host` as address + dotted text (either may be null).
int platNetResolve(const char *host, uint16_t port, platSockAddr_t *addr, char *dotted, size_t dottedSize);
// Port (host order) and dotted text of an address.
void platNetAddrInfo(const platSockAddr_t *addr, int *port, char *dotted, size_t dottedSize);
int platNetAddrLength(void);

platSocket_t platNetSocket(void);  // TCP, IPv4; PLAT_NO_SOCKET on failure
int platNetConnect(platSocket_t s, const platSockAddr_t *addr);  // 0 or -1
int platNetBind(platSocket_t s, const platSockAddr_t *addr);     // 0 or -1 (address reuse on)
int platNetListen(platSocket_t s, int backlog);
platSocket_t platNetAccept(platSocket_t s, platSockAddr_t *peer);
int platNetPeer(platSocket_t s, platSockAddr_t *peer);
int platNetLocal(platSocket_t s, platSockAddr_t *local);
// Bytes sent (>= 0) or -1.
long platNetSend(platSocket_t s, const void *data, size_t length);
// Bytes received, 0 when the peer has closed, -1 on error (interrupted calls retried).
long platNetRecv(platSocket_t s, void *buffer, size_t size);
// Waits until one of the sockets is readable; ready[i] := 1 for each readable one.
// timeoutMs < 0 waits without limit. Returns the number ready, 0 on time-out, -1 on error.
int platNetWaitReadable(const platSocket_t *sockets, int count, uint8_t *ready, int timeoutMs);
// Shuts both directions down and closes.
void platNetClose(platSocket_t s);

// The system error of the last failed call, and its text.
int platNetLastError(void);
const char *platNetErrorText(int error);
