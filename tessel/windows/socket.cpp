// Socket layer, Win32 part: Winsock 1.1 start-up and clean-up, type-tagged socket objects
// with time-outs, connect and read waits in slices of at most one second, socket sets and
// host resolution.
#include "tessel/socket.h"

#include <string.h>

#include "tessel/platform.h"
#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"

// Source name of this module and the type tag of its objects: a Socket is valid when its
// tag points at this very array.
static const char kSrc[] = "socket";

namespace {

// Winsock 1.1, loaded by SocketStartup from the system folder: the Winsock 2 library where
// the system has it (every system but a Windows 95 without its Winsock 2 update), else the
// Windows Sockets 1.1 library that every system has. Nothing of it is imported, so a
// program that never starts the sockets starts and runs without either.
struct WinsockCalls {
    int(WINAPI* startup)(WORD, WSADATA*);
    int(WINAPI* cleanup)();
    int(WINAPI* lastError)();
    SOCKET(WINAPI* open)(int, int, int);
    int(WINAPI* close)(SOCKET);
    int(WINAPI* shutdown)(SOCKET, int);
    int(WINAPI* ioctl)(SOCKET, long, u_long*);
    int(WINAPI* select)(int, fd_set*, fd_set*, fd_set*, const timeval*);
    int(WINAPI* connect)(SOCKET, const sockaddr*, int);
    int(WINAPI* send)(SOCKET, const char*, int, int);
    int(WINAPI* recv)(SOCKET, char*, int, int);
    hostent*(WINAPI* resolve)(const char*);
};
WinsockCalls gWinsock;  // all null until a library has been found

template <typename Fn>
int Find(const char* library, const char* name, Fn* slot) {
    return PlatformFind(library, name, PLATFORM_ANY, slot);
}

int LoadWinsock() {
    if (gWinsock.startup != nullptr) return 1;
    static const char* const kLibraries[] = {"ws2_32.dll", "wsock32.dll"};
    for (const char* library : kLibraries) {
        WinsockCalls calls = {};
        if (Find(library, "WSAStartup", &calls.startup) &&
            Find(library, "WSACleanup", &calls.cleanup) &&
            Find(library, "WSAGetLastError", &calls.lastError) &&
            Find(library, "socket", &calls.open) && Find(library, "closesocket", &calls.close) &&
            Find(library, "shutdown", &calls.shutdown) &&
            Find(library, "ioctlsocket", &calls.ioctl) && Find(library, "select", &calls.select) &&
            Find(library, "connect", &calls.connect) && Find(library, "send", &calls.send) &&
            Find(library, "recv", &calls.recv) &&
            Find(library, "gethostbyname", &calls.resolve)) {
            gWinsock = calls;
            return 1;
        }
    }
    LogPrint("Unable to load Windows Sockets from the system folder\n");
    return 0;
}

// The thread's last Winsock error; "not started" while no library has been found.
int LastWinsockError() {
    return gWinsock.lastError != nullptr ? gWinsock.lastError() : WSANOTINITIALISED;
}

// A port in network byte order.
u_short NetworkPort(int32_t port) {
    return static_cast<u_short>((port & 0xFF) << 8 | (port >> 8 & 0xFF));
}

constexpr WORD kWinsockVersion = 0x0101;
constexpr int32_t kDefaultTimeoutMs = 300000;
constexpr int32_t kSliceMs = 1000;
constexpr int kShutdownBoth = 2;
constexpr int kWouldBlock = WSAEWOULDBLOCK;  // 10035
constexpr int kNoBuffers = WSAENOBUFS;       // 10055
constexpr int kHostCapacity = 120;           // host names in URLs: at most 119 characters

static_assert(FD_SETSIZE == 64, "a SocketSet holds 64 handles, as Winsock's own sets do");
static_assert(sizeof(SocketSet) == sizeof(fd_set), "SocketSet has the layout of fd_set");

struct KindInfo {
    int kind;
    int type;
    int protocol;
};
constexpr KindInfo kKinds[] = {
    {1, SOCK_STREAM, 6}, {2, SOCK_DGRAM, 17}, {3, SOCK_DGRAM, 3}, {4, SOCK_DGRAM, 1},
    {5, SOCK_DGRAM, 0},  {6, SOCK_DGRAM, 0},  {10, SOCK_RAW, 0},
};

// Aborts unless `socket` is one of this module's objects; `line` is the caller's.
void CheckSocket(const Socket* socket, int line) {
    if (socket == nullptr) {
        LogWhere(kSrc, line);
        LogAbort("Pointer is NULL\n");
    }
    if (socket->tag != kSrc) {
        LogWhere(kSrc, line);
        LogAbort("Struct mismatch pointer (0x%p:%s != %s)\n", socket,
                 socket->tag != nullptr ? socket->tag : "(null)", kSrc);
    }
}

void CheckPointer(const void* pointer, int line) {
    if (pointer == nullptr) {
        LogWhere(kSrc, line);
        LogAbort("Pointer is NULL\n");
    }
}

// Stores the thread's last Winsock error in the socket; -1 when it holds no open socket.
int SocketRecordError(Socket* socket) {
    socket->lastError = -1;
    if (socket->handle == INVALID_SOCKET) return 0;
    socket->lastError = LastWinsockError();
    return 1;
}

uint32_t SetCount(const SocketSet* set) {
    if (set == nullptr) return 0;
    return set->count < FD_SETSIZE ? set->count : FD_SETSIZE;
}

// The working copy given to select for one set: null when the set is absent or empty.
fd_set* WorkingCopy(const SocketSet* set, fd_set* copy) {
    uint32_t count = SetCount(set);
    if (count == 0) return nullptr;
    copy->fd_count = count;
    for (uint32_t i = 0; i < count; ++i) copy->fd_array[i] = set->handles[i];
    return copy;
}

// Copies what select left in a working copy back over the caller's set.
void CopyBack(SocketSet* set, const fd_set* copy) {
    if (set == nullptr) return;
    SocketSetClear(set);
    if (copy == nullptr) return;
    uint32_t count = copy->fd_count < FD_SETSIZE ? copy->fd_count : FD_SETSIZE;
    for (uint32_t i = 0; i < count; ++i) set->handles[i] = copy->fd_array[i];
    set->count = count;
}

}  // namespace

int SocketStartup() {
    if (!LoadWinsock()) return 0;
    WSADATA data;
    // A failed start-up returns its error code; the thread's last error is not set then.
    int error = gWinsock.startup(kWinsockVersion, &data);
    if (error != 0) {
        LogPrint("WSAStartup failed (%s)\n", SocketErrorText(error));
        return 0;
    }
    if (data.wVersion != kWinsockVersion) {
        LogPrint("Wrong Winsock version (%d != %d)\n", static_cast<int>(data.wVersion),
                 static_cast<int>(kWinsockVersion));
        return 0;
    }
    return 1;
}

int SocketCleanup() {
    if (gWinsock.cleanup == nullptr || gWinsock.cleanup() != 0) {
        LogPrint("WSACleanup failed (%s)\n", SocketErrorText(LastWinsockError()));
        return 0;
    }
    return 1;
}

const char* SocketLastErrorText(Socket* socket) {
    CheckSocket(socket, __LINE__);
    return SocketErrorText(socket->lastError);
}

int SocketCreate(Socket** holder) {
    CheckPointer(holder, __LINE__);
    Socket* socket = TSL_NEW(Socket, kSrc);
    socket->tag = kSrc;
    socket->handle = INVALID_SOCKET;
    socket->blocking = 1;
    socket->readTimeout = kDefaultTimeoutMs;
    socket->connectTimeout = kDefaultTimeoutMs;
    *holder = socket;
    return 1;
}

int SocketDestroy(Socket** holder) {
    CheckPointer(holder, __LINE__);
    Socket* socket = *holder;
    CheckSocket(socket, __LINE__);
    SocketClose(socket);
    TSL_DELETE(socket, kSrc);
    *holder = nullptr;
    return 1;
}

int SocketOpen(Socket* socket, int kind) {
    CheckSocket(socket, __LINE__);
    if (socket->handle != INVALID_SOCKET) {
        LogPrint("Socket must be closed first!\n");
        return 0;
    }
    socket->blocking = 1;
    const KindInfo* info = nullptr;
    for (const KindInfo& k : kKinds)
        if (k.kind == kind) info = &k;
    if (info == nullptr) {
        LogPrint("Unknown socket protocol '%d'\n", kind);
    } else if (gWinsock.open != nullptr) {
        socket->handle = gWinsock.open(AF_INET, info->type, info->protocol);
    }
    if (socket->handle == INVALID_SOCKET) {
        socket->kind = 0;
        return 0;
    }
    socket->kind = kind;
    return 1;
}

int SocketClose(Socket* socket) {
    CheckSocket(socket, __LINE__);
    if (socket->handle == INVALID_SOCKET) return 1;
    socket->lastError = 0;
    if (gWinsock.close(socket->handle) == SOCKET_ERROR) {
        SocketRecordError(socket);
        return 0;
    }
    socket->handle = INVALID_SOCKET;
    return 1;
}

int SocketShutdown(Socket* socket) {
    CheckSocket(socket, __LINE__);
    if (socket->handle == INVALID_SOCKET) return 0;
    socket->lastError = 0;
    if (gWinsock.shutdown(socket->handle, kShutdownBoth) == SOCKET_ERROR) {
        SocketRecordError(socket);
        return 0;
    }
    return 1;
}

int SocketSetBlocking(Socket* socket, int mode) {
    CheckSocket(socket, __LINE__);
    if (socket->handle == INVALID_SOCKET) return 0;
    socket->lastError = 0;
    int blocking = mode == 1 ? 1 : 0;
    if (blocking == socket->blocking) return 1;
    socket->blocking = blocking;
    u_long nonBlocking = blocking ? 0 : 1;
    if (gWinsock.ioctl(socket->handle, FIONBIO, &nonBlocking) == SOCKET_ERROR) {
        SocketRecordError(socket);
        return 0;
    }
    return 1;
}

int SocketWait(const char* label, SocketSet* readSet, SocketSet* writeSet, SocketSet* errorSet,
               int32_t timeoutMs, int32_t* count) {
    CheckPointer(label, __LINE__);
    CheckPointer(count, __LINE__);
    *count = 0;
    if (SetCount(readSet) + SetCount(writeSet) + SetCount(errorSet) < 1) return 1;

    fd_set readCopy, writeCopy, errorCopy;
    fd_set* readWork = nullptr;
    fd_set* writeWork = nullptr;
    fd_set* errorWork = nullptr;
    int ready = 0;
    int64_t remaining = timeoutMs;
    for (;;) {
        readWork = WorkingCopy(readSet, &readCopy);
        writeWork = WorkingCopy(writeSet, &writeCopy);
        errorWork = WorkingCopy(errorSet, &errorCopy);
        // A slice of one second, or what remains of the time-out (a negative time-out
        // polls once).
        int32_t sliceMs = kSliceMs;
        if (remaining < kSliceMs) sliceMs = remaining > 0 ? static_cast<int32_t>(remaining) : 0;
        timeval slice;
        slice.tv_sec = sliceMs / 1000;
        slice.tv_usec = (sliceMs % 1000) * 1000;
        remaining -= kSliceMs;
        ready = gWinsock.select != nullptr ? gWinsock.select(0, readWork, writeWork, errorWork, &slice)
                                           : SOCKET_ERROR;
        if (ready == SOCKET_ERROR) {
            LogPrint("Select failed [%s: %s]\n", label, SocketErrorText(LastWinsockError()));
            return 0;
        }
        if (ready > 0) break;
        Sleep(0);
        if (remaining <= 0) break;
    }
    if (ready == 0) {
        // Nothing became ready: the caller's sets are emptied.
        readWork = writeWork = errorWork = nullptr;
    }
    CopyBack(readSet, readWork);
    CopyBack(writeSet, writeWork);
    CopyBack(errorSet, errorWork);
    *count = ready;
    return 1;
}

int SocketSetClear(SocketSet* set) {
    CheckPointer(set, __LINE__);
    set->count = 0;
    for (SOCKET& handle : set->handles) handle = 0;
    return 1;
}

// 1 when the set holds the handle among its first `count` entries.
static int SetHolds(const SocketSet* set, uint32_t count, SOCKET handle) {
    for (uint32_t i = 0; i < count; ++i)
        if (set->handles[i] == handle) return 1;
    return 0;
}

int SocketSetAdd(SocketSet* set, Socket* socket) {
    CheckPointer(set, __LINE__);
    if (socket == nullptr) return 0;
    CheckSocket(socket, __LINE__);
    if (socket->handle == INVALID_SOCKET) return 0;
    uint32_t count = SetCount(set);
    if (SetHolds(set, count, socket->handle)) return 1;
    if (count < FD_SETSIZE) {
        set->handles[count] = socket->handle;
        set->count = count + 1;
    }
    return 1;
}

int SocketSetHas(SocketSet* set, Socket* socket) {
    CheckPointer(set, __LINE__);
    if (socket == nullptr) return 0;
    CheckSocket(socket, __LINE__);
    if (socket->handle == INVALID_SOCKET) return 0;
    return SetHolds(set, SetCount(set), socket->handle);
}

int SocketConnect(Socket* socket, const uint8_t address[4], int32_t port) {
    CheckSocket(socket, __LINE__);
    CheckPointer(address, __LINE__);
    if (socket->handle == INVALID_SOCKET) return 0;
    socket->lastError = 0;
    if (port < 0 || port > 65535) {
        // A port in 16 bits would quietly connect to another one.
        LogPrint("Socket connect to invalid port (%d)\n", port);
        socket->lastError = WSAEINVAL;
        return 0;
    }

    uint8_t target[4] = {address[0], address[1], address[2], address[3]};
    if (target[0] == 0 && target[1] == 0 && target[2] == 0) {
        if (target[3] == 2) target[3] = 0;  // the any-address
        if (target[3] == 1 || target[3] == 3) memset(target, 0xFF, sizeof target);
    }
    sockaddr_in peer;
    memset(&peer, 0, sizeof peer);
    peer.sin_family = AF_INET;
    peer.sin_port = NetworkPort(port);
    memcpy(&peer.sin_addr, target, sizeof target);

    int wasBlocking = socket->blocking;
    if (!SocketSetBlocking(socket, 0)) {
        SocketSetBlocking(socket, wasBlocking);
        return 0;
    }
    if (gWinsock.connect(socket->handle, reinterpret_cast<sockaddr*>(&peer), sizeof peer) ==
        SOCKET_ERROR) {
        SocketRecordError(socket);
        if (socket->lastError != kWouldBlock) {
            int32_t error = socket->lastError;
            SocketSetBlocking(socket, wasBlocking);
            socket->lastError = error;
            return 0;
        }
        socket->lastError = 0;
    }
    if (!wasBlocking) {
        // The connection completes later; the caller waits for it.
        memcpy(socket->remoteAddress, address, 4);
        socket->remotePort = port;
        return 1;
    }

    SocketSet writeSet, errorSet;
    SocketSetClear(&writeSet);
    SocketSetClear(&errorSet);
    SocketSetAdd(&writeSet, socket);
    SocketSetAdd(&errorSet, socket);
    int32_t ready = 0;
    int waited = SocketWait("Connect", nullptr, &writeSet, &errorSet, socket->connectTimeout,
                            &ready);
    SocketSetBlocking(socket, wasBlocking);
    if (!waited) return 0;
    if (ready == 0) {
        socket->lastError = SOCKET_TIMEOUT_CODE;
        LogPrint("Socket connect timeout (%d)\n", socket->connectTimeout);
        return 0;
    }
    if (SocketSetHas(&errorSet, socket) || !SocketSetHas(&writeSet, socket)) return 0;
    memcpy(socket->remoteAddress, target, 4);
    socket->remotePort = port;
    return 1;
}

int SocketSend(Socket* socket, const void* data, int32_t length, int32_t* sent) {
    CheckSocket(socket, __LINE__);
    CheckPointer(data, __LINE__);
    CheckPointer(sent, __LINE__);
    *sent = 0;
    if (socket->handle == INVALID_SOCKET) return 0;
    socket->lastError = 0;
    if (length < 0) {
        socket->lastError = WSAEINVAL;
        return 0;
    }
    int result = gWinsock.send(socket->handle, static_cast<const char*>(data), length, 0);
    if (result >= 0) {
        *sent = result;
        return 1;
    }
    SocketRecordError(socket);
    if (socket->lastError == kWouldBlock || socket->lastError == kNoBuffers) {
        socket->lastError = 0;
        return 1;
    }
    return 0;
}

int SocketWaitReadable(Socket* socket) {
    CheckSocket(socket, __LINE__);
    SocketSet readSet;
    SocketSetClear(&readSet);
    SocketSetAdd(&readSet, socket);
    int32_t ready = 0;
    if (!SocketWait("Read", &readSet, nullptr, nullptr, socket->readTimeout, &ready)) return 0;
    if (ready == 0) {
        socket->lastError = SOCKET_TIMEOUT_CODE;
        LogPrint("Socket Read timeout (%d)\n", socket->readTimeout);
        return 0;
    }
    return SocketSetHas(&readSet, socket);
}

int SocketRead(Socket* socket, void* buffer, int32_t length, int32_t* received) {
    CheckSocket(socket, __LINE__);
    CheckPointer(buffer, __LINE__);
    CheckPointer(received, __LINE__);
    *received = 0;
    if (socket->handle == INVALID_SOCKET) return 0;
    socket->lastError = 0;
    if (length == 0) return 1;
    if (length < 0) {
        socket->lastError = WSAEINVAL;
        return 0;
    }
    if (socket->blocking && !SocketWaitReadable(socket)) return 0;
    int result = gWinsock.recv(socket->handle, static_cast<char*>(buffer), length, 0);
    if (result > 0) {
        *received = result;
        return 1;
    }
    if (result == 0) return 0;  // the peer closed the connection; last error stays 0
    SocketRecordError(socket);
    if (socket->lastError == kWouldBlock) {
        socket->lastError = 0;
        return 1;
    }
    return 0;
}

int ResolveHost(HostAddress* address, const char* name) {
    CheckPointer(address, __LINE__);
    CheckPointer(name, __LINE__);
    memset(address, 0, sizeof *address);
    // An empty name would give the local machine's own addresses: no host is no host.
    if (name[0] == '\0') return 0;
    uint32_t quad = 0;
    if (StrToIPv4(name, &quad)) {
        StrCopyN(address->name, name, sizeof address->name);
        memcpy(address->address, &quad, 4);
        return 1;
    }
    if (gWinsock.resolve == nullptr) return 0;
    hostent* entry = gWinsock.resolve(name);
    if (entry == nullptr || entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr ||
        entry->h_length != 4)
        return 0;
    if (entry->h_name != nullptr) StrCopyN(address->name, entry->h_name, sizeof address->name);
    memcpy(address->address, entry->h_addr_list[0], 4);
    return 1;
}

int ResolveUrl(HostAddress* address, const char* url) {
    CheckPointer(address, __LINE__);
    CheckPointer(url, __LINE__);
    char scheme[20], host[kHostCapacity + 1], path[10], file[10], user[80], password[80];
    int32_t port = 0;
    ParseUrl(url, scheme, sizeof scheme, host, sizeof host, &port, path, sizeof path, file,
             sizeof file, user, sizeof user, password, sizeof password);
    // One byte more than a host may take: a longer host shows as cut and is refused rather
    // than looked up under a name it does not have.
    if (StrLen(host) >= kHostCapacity) {
        memset(address, 0, sizeof *address);
        LogPrint("Host name too long in URL '%s'\n", url);
        return 0;
    }
    if (!ResolveHost(address, host)) return 0;
    address->port = port;
    return 1;
}
