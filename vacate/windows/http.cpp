// The HTTP client's Win32 side: the user's proxy from the registry, resolution, the
// connection through the socket layer (with its connect time-out), the request header, and
// sending it whole.
#include <windows.h>

#include "tessel/registry.h"
#include "tessel/socket.h"
#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "vacate/http.h"
#include "vacate/shell.h"

static const char kSrc[] = "http";

namespace {

// The proxy to use with `useProxy` 1: `proxy` (HTTP_PROXY_SIZE bytes) receives it, empty
// when there is none; every outcome is logged.
void ReadProxy(int useProxy, char* proxy) {
    proxy[0] = '\0';
    RegKey* key = nullptr;
    if (useProxy != 1 || !RegKeyOpen(&key, REG_ROOT_CURRENT_USER, HTTP_PROXY_KEY)) {
        LogPrint("Proxy Disabled (0x%.8X) : None\n", 0u);
        return;
    }
    int32_t enable = 0;
    char server[HTTP_PROXY_SIZE] = {};
    // A missing value reads as 0 and as empty; a "ProxyServer" too long for its buffer is
    // not read at all rather than cut into another host's name.
    RegGetInt32(key, "ProxyEnable", &enable);
    RegGetString(key, "ProxyServer", server, sizeof server);
    RegKeyClose(&key);
    if (enable == 1 && server[0] != '\0' && HttpProxyText(server, proxy)) {
        LogPrint("Proxy Enabled (0x%.8X) : %s\n", static_cast<uint32_t>(enable), proxy);
        return;
    }
    proxy[0] = '\0';
    LogPrint("Proxy Disabled (0x%.8X) : None\n", static_cast<uint32_t>(enable));
}

constexpr DWORD kWaitSliceMs = 100;  // of a read's wait for data

void ReleaseSocket(Socket** socket) {
    SocketClose(*socket);
    SocketDestroy(socket);
}

}  // namespace

int HttpOpenRequest(const char* url, const char* userAgent, const char* method,
                    int32_t bodyLength, int useProxy, Socket** socket, char* buffer,
                    int32_t bufferSize, int32_t* headerLength) {
    TSL_NOT_NULL(kSrc, url);
    TSL_NOT_NULL(kSrc, method);
    TSL_NOT_NULL(kSrc, socket);
    TSL_NOT_NULL(kSrc, buffer);
    TSL_NOT_NULL(kSrc, headerLength);
    *socket = nullptr;
    *headerLength = 0;

    ProgressWindowSet(0);
    char host[HTTP_URL_SIZE];
    char path[HTTP_URL_SIZE];
    if (!HttpSplitUrl(url, host, path)) {
        LogPrint("Unusable URL (%d characters at most, no control bytes) '%s'\n",
                 HTTP_URL_SIZE - 1, url);
        return 0;
    }
    ProgressWindowSet(20);
    LogPrint("Contacting '%s' '%s'\n", host, path);

    char proxy[HTTP_PROXY_SIZE];
    ReadProxy(useProxy, proxy);
    const int viaProxy = proxy[0] != '\0';
    const char* resolved = viaProxy ? proxy : url;
    HostAddress address;
    if (!ResolveUrl(&address, resolved)) {
        LogPrint("Unable to get machine for URL '%s'\n", resolved);
        return 0;
    }

    ProgressWindowSet(40);
    Socket* connection = nullptr;
    SocketCreate(&connection);
    // A failed open leaves no handle, so the connect fails as well and is reported as such.
    SocketOpen(connection, SOCKET_KIND_STREAM);
    if (!SocketConnect(connection, address.address, address.port)) {
        LogPrint("Unable to connect to machine %d.%d.%d.%d:%d for URL '%s'\n",
                 address.address[0], address.address[1], address.address[2],
                 address.address[3], address.port, url);
        ReleaseSocket(&connection);
        return 0;
    }

    if (!HttpFormatHeader(buffer, bufferSize, method, HttpTarget(url, path, viaProxy),
                          userAgent, host, bodyLength, headerLength)) {
        LogPrint("Request header does not fit in %d bytes for URL '%s'\n", bufferSize, url);
        SocketShutdown(connection);
        ReleaseSocket(&connection);
        return 0;
    }
    *socket = connection;
    return 1;
}

int HttpSendAll(Socket* socket, const char* data, int32_t length) {
    TSL_NOT_NULL(kSrc, data);
    int32_t sent = 0;
    while (sent < length) {
        int32_t count = 0;
        if (!SocketSend(socket, data + sent, length - sent, &count)) return 0;
        if (count > 0) {
            sent += count;
            continue;
        }
        // Nothing went: wait for room, but no longer than a read would wait for data.
        SocketSet writable;
        SocketSetClear(&writable);
        SocketSetAdd(&writable, socket);
        int32_t ready = 0;
        if (!SocketWait("Send", nullptr, &writable, nullptr, socket->readTimeout, &ready) ||
            ready == 0)
            return 0;
    }
    return 1;
}

int HttpRead(Socket* socket, char* buffer, int32_t length, int32_t* received) {
    TSL_NOT_NULL(kSrc, received);
    *received = 0;
    if (!SocketSetBlocking(socket, 0)) return 0;
    // What has arrived is taken at once; only an empty socket waits, in short slices, so that
    // the progress window stays answerable and its Cancel ends the wait.
    const DWORD start = GetTickCount();
    for (;;) {
        if (ProgressWindowPoll()) {
            socket->lastError = WSAEINTR;
            return 0;
        }
        if (!SocketRead(socket, buffer, length, received)) return 0;
        if (*received > 0 || length == 0) return 1;
        const DWORD waited = GetTickCount() - start;
        if (waited >= static_cast<DWORD>(socket->readTimeout)) {
            socket->lastError = SOCKET_TIMEOUT_CODE;
            LogPrint("Socket Read timeout (%d)\n", socket->readTimeout);
            return 0;
        }
        SocketSet readable;
        SocketSetClear(&readable);
        SocketSetAdd(&readable, socket);
        const DWORD left = static_cast<DWORD>(socket->readTimeout) - waited;
        int32_t ready = 0;
        if (!SocketWait("Read", &readable, nullptr, nullptr,
                        static_cast<int32_t>(left < kWaitSliceMs ? left : kWaitSliceMs), &ready))
            return 0;
    }
}
