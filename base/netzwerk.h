// TCP sockets: one record type serves as client connection, listening server and
// accepted connection; a server watches its connections with one wait over a set
// of up to 64 sockets kept in its record.
// Depends on: platform/net, mem, log.
#pragma once

#include <cstdint>

#include "platform/net.h"

extern "C" {

typedef struct SYS_Socket_s SYS_Socket_t;
typedef SYS_Socket_t *SYS_Socket_p;

typedef void (*SYS_SocketConnect_t)(SYS_Socket_p socket);
typedef void (*SYS_SocketConnecting_t)(SYS_Socket_p socket);
typedef void (*SYS_SocketError_t)(SYS_Socket_p socket, const char *message);
typedef void (*SYS_SocketDisconnect_t)(SYS_Socket_p socket, int32_t reason);
typedef void (*SYS_SocketRead_t)(SYS_Socket_p socket, const void *data, int32_t length);

#define SYS_SOCKET_SET_SIZE 64

typedef struct {
  int32_t count;
  platSocket_t sockets[SYS_SOCKET_SET_SIZE];
} SYS_SocketSet_t;

struct SYS_Socket_s {
  platSocket_t socket;  // PLAT_NO_SOCKET (-1) when none
  char *host;            // tracked: the name given to SYS_SocketNew, or the peer's dotted address
  int32_t port;
  int32_t connected;
  int32_t ready;  // 1 on a record that SYS_SocketAccept made for a new connection
  int32_t reserved;
  int32_t addressLength;
  platSockAddr_t address;
  SYS_SocketSet_t set;       // a server's sockets: the listening socket first
  SYS_SocketSet_t readySet;  // those the last wait found readable
  SYS_SocketConnect_t onConnected;
  SYS_SocketConnecting_t onConnecting;
  SYS_SocketError_t onError;
  SYS_SocketDisconnect_t onDisconnect;
  SYS_SocketRead_t onRead;  // stored, never called
  SYS_Socket_p server;      // for an accepted connection: the listening record
};

char *SYS_SocketResolve(const char *host);
int SYS_SocketNew(SYS_Socket_p socket, const char *host, int32_t port);
int SYS_SocketConnect(SYS_Socket_p socket);
// Port 0 binds an ephemeral port; the record's port then says which.
int SYS_SocketListen(SYS_Socket_p socket);
// Blocks until the listening socket or one of the server's connections is readable;
// *out := a new tracked record for it (the caller releases it with SYS_MemFree).
int SYS_SocketAccept(SYS_Socket_p server, SYS_Socket_p *out);
int SYS_SocketClear(SYS_Socket_p socket);
int SYS_SocketClose(SYS_Socket_p socket);
int SYS_SocketSend(SYS_Socket_p socket, const void *data, int32_t length);
int32_t SYS_SocketRead(SYS_Socket_p socket, void *buffer, int32_t size);
int SYS_SocketFGets(SYS_Socket_p socket, char *buffer, int32_t size);

int SYS_SocketSetConnectCB(SYS_Socket_p socket, SYS_SocketConnect_t cb);
int SYS_SocketSetConnectingCB(SYS_Socket_p socket, SYS_SocketConnecting_t cb);
int SYS_SocketSetErrorCB(SYS_Socket_p socket, SYS_SocketError_t cb);
int SYS_SocketSetDisconnectCB(SYS_Socket_p socket, SYS_SocketDisconnect_t cb);
int SYS_SocketSetReadCB(SYS_Socket_p socket, SYS_SocketRead_t cb);
// The system error of the last failed connect, 0 after a successful one.
int32_t SYS_SocketGetStatus(void);

}  // extern "C"

// Start-up and shutdown steps of SYS_BaseInit / SYS_BaseDone.
void SYS_SocketInit(void);
void SYS_SocketDone(void);
