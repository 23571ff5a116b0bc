// Tessel sockets: a thin layer over Winsock 1.1 giving blocking IPv4 connections with
// time-outs, waits in slices of at most one second, error texts, host resolution and URL
// splitting. ParseUrl and SocketErrorText are portable; the rest is Win32 only.
#pragma once

#include <stdint.h>

constexpr int32_t SOCKET_TIMEOUT_CODE = 1460;  // stored after a connect or read time-out

struct HostAddress {
    char name[256];      // at most 255 characters
    uint8_t address[4];  // IPv4, in dotted order a.b.c.d
    int32_t port;        // host byte order; set by ResolveUrl only
};

const char* SocketErrorText(int32_t code);

int ParseUrl(const char* url, char* scheme, int schemeSize, char* host, int hostSize,
             int32_t* port, char* path, int pathSize, char* file, int fileSize, char* user,
             int userSize, char* password, int passwordSize);

#ifdef _WIN32
#include <winsock.h>

// Socket kinds (all of the Internet family): 1 stream/TCP, 2 datagram/UDP, 3 datagram/3,
// 4 datagram/ICMP, 5 and 6 datagram/0, 10 raw/0.
constexpr int SOCKET_KIND_STREAM = 1;

struct Socket {
    const char* tag;     // the socket module's source-name constant, compared by address
    SOCKET handle;       // INVALID_SOCKET while closed
    int32_t lastError;   // 0, a Winsock code, 1460 after a time-out, -1 (handle invalid)
    int32_t blocking;    // 1 blocking (default), 0 non-blocking
    int32_t readTimeout;     // milliseconds
    int32_t connectTimeout;  // milliseconds
    int32_t kind;        // the kind of the last open; 0 when it failed
    uint8_t remoteAddress[4];
    int32_t remotePort;
};

struct SocketSet {
    uint32_t count;
    SOCKET handles[64];
};

int SocketStartup();
int SocketCleanup();
const char* SocketLastErrorText(Socket* socket);
int SocketCreate(Socket** holder);
int SocketDestroy(Socket** holder);
int SocketOpen(Socket* socket, int kind);
int SocketClose(Socket* socket);
int SocketShutdown(Socket* socket);
int SocketSetBlocking(Socket* socket, int mode);
int SocketConnect(Socket* socket, const uint8_t address[4], int32_t port);
int SocketSend(Socket* socket, const void* data, int32_t length, int32_t* sent);
int SocketRead(Socket* socket, void* buffer, int32_t length, int32_t* received);
// Waits until data (or the peer's close) can be read, up to the read time-out in slices of
// a second: 1 then; 0 on a failed wait, or after the time-out (last error 1460, logged).
// A blocking SocketRead waits here before it reads.
int SocketWaitReadable(Socket* socket);
int SocketWait(const char* label, SocketSet* readSet, SocketSet* writeSet, SocketSet* errorSet,
               int32_t timeoutMs, int32_t* count);
int SocketSetClear(SocketSet* set);
int SocketSetAdd(SocketSet* set, Socket* socket);
int SocketSetHas(SocketSet* set, Socket* socket);
int ResolveHost(HostAddress* address, const char* name);
int ResolveUrl(HostAddress* address, const char* url);
#endif
