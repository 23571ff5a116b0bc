// The uninstaller's HTTP/1.0 client: one request per connection, straight to the server or
// through the web proxy of the user's Internet settings, always with "Connection: close" so
// that the end of the response is the end of the connection. The URL split, the proxy text
// and the request header are pure and build on every target; opening the connection and
// sending are the Win32 side (windows/http.cpp).
#pragma once

#include <stdint.h>

constexpr int HTTP_URL_SIZE = 320;    // host and path buffers; a URL has at most 319 characters
constexpr int HTTP_PROXY_SIZE = 120;  // the "ProxyServer" value and the proxy taken from it

// The registry values of the user's proxy, below HKEY_CURRENT_USER.
constexpr char HTTP_PROXY_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Splits a URL into its host and its path, each into HTTP_URL_SIZE bytes. The host is the
// text after the first "://" (the whole URL when it has none) up to the first '/'; the path
// is the rest from that '/' on, query included, and empty when there is no '/'. A URL of
// HTTP_URL_SIZE characters or more, or one holding a control byte or 0x7F, is refused whole
// (0, both empty): a cut one would name another document.
int HttpSplitUrl(const char* url, char* host, char* path);

// The proxy named by a "ProxyServer" value: the text after its first "http=" (letter case
// ignored) when it has one, else the whole value, in both cases up to the first ';'. `out`
// holds HTTP_PROXY_SIZE bytes; a longer proxy text is refused (0, `out` empty).
int HttpProxyText(const char* value, char* out);

// The request target: through a proxy the URL as given, otherwise the path ("/" when the
// URL has none).
const char* HttpTarget(const char* url, const char* path, int viaProxy);

// Formats the request header into `buffer` (`size` bytes): the request line, "User-Agent:"
// when `userAgent` is given and not empty, "Host:", "Content-Length:" when `bodyLength` is
// above 0, and "Connection: close" with the empty line that ends the header. Stores its
// length. 0 when the header does not fit (the buffer then holds no header): a cut header
// is never sent.
int HttpFormatHeader(char* buffer, int size, const char* method, const char* target,
                     const char* userAgent, const char* host, int32_t bodyLength,
                     int32_t* length);

#ifdef _WIN32
struct Socket;

// Resolves and connects to the URL's server, or with `useProxy` 1 to the user's proxy when
// one is switched on, and formats the request header into `buffer`. On 1 `*socket` is the
// caller's connected stream socket (to be shut down, closed and destroyed) and `*headerLength`
// the header's length; on 0 there is no socket. Moves the progress bar to 0, 20 and 40.
int HttpOpenRequest(const char* url, const char* userAgent, const char* method,
                    int32_t bodyLength, int useProxy, Socket** socket, char* buffer,
                    int32_t bufferSize, int32_t* headerLength);

// Hands every byte of `data` to SocketSend; 0 as soon as one send fails.
int HttpSendAll(Socket* socket, const char* data, int32_t length);

// One read of the response: takes what has arrived at once and waits (up to the socket's
// read time-out, in slices of a tenth of a second that pass the progress window's messages
// on) only when nothing has. A wait before every read costs as much as the read under Wine.
// Leaves the socket non-blocking. 1 with the bytes received (at least one, unless `length`
// is 0); 0 at the end of the response (last error 0), on an error, after the time-out (last
// error 1460), or once the progress window's Cancel was pressed (last error WSAEINTR).
int HttpRead(Socket* socket, char* buffer, int32_t length, int32_t* received);
#endif
