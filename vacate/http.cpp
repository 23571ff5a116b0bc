// The HTTP client's pure parts: the URL split into host and path, the proxy text of a
// "ProxyServer" value, and the request header.
#include "vacate/http.h"

#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"

static const char kSrc[] = "http";

// 1 when every byte of the text can stand in a request line as it is: no control byte (a
// line end would start another header line) and no 0x7F, at which the formatter's text
// conversion stops.
static int RequestText(const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        const unsigned char byte = static_cast<unsigned char>(*p);
        if (byte < 0x20 || byte == 0x7F) return 0;
    }
    return 1;
}

int HttpSplitUrl(const char* url, char* host, char* path) {
    TSL_NOT_NULL(kSrc, url);
    TSL_NOT_NULL(kSrc, host);
    TSL_NOT_NULL(kSrc, path);
    host[0] = '\0';
    path[0] = '\0';
    if (StrLen(url) >= HTTP_URL_SIZE || !RequestText(url)) return 0;

    const char* start = nullptr;
    start = StrFindNoCase(url, "://", &start) ? start + 3 : url;
    StrCopy(host, start);
    char* slash = nullptr;
    if (StrFindChar(host, '/', &slash)) {
        StrCopy(path, slash);
        *slash = '\0';
    }
    return 1;
}

int HttpProxyText(const char* value, char* out) {
    TSL_NOT_NULL(kSrc, value);
    TSL_NOT_NULL(kSrc, out);
    out[0] = '\0';
    const char* start = nullptr;
    start = StrFindNoCase(value, "http=", &start) ? start + 5 : value;
    int length = 0;
    while (start[length] != '\0' && start[length] != ';') ++length;
    if (length >= HTTP_PROXY_SIZE) return 0;
    for (int i = 0; i < length; ++i) out[i] = start[i];
    out[length] = '\0';
    return 1;
}

const char* HttpTarget(const char* url, const char* path, int viaProxy) {
    TSL_NOT_NULL(kSrc, url);
    TSL_NOT_NULL(kSrc, path);
    if (viaProxy) return url;
    return path[0] != '\0' ? path : "/";
}

int HttpFormatHeader(char* buffer, int size, const char* method, const char* target,
                     const char* userAgent, const char* host, int32_t bodyLength,
                     int32_t* length) {
    TSL_NOT_NULL(kSrc, buffer);
    TSL_NOT_NULL(kSrc, method);
    TSL_NOT_NULL(kSrc, target);
    TSL_NOT_NULL(kSrc, host);
    TSL_NOT_NULL(kSrc, length);
    *length = 0;
    if (size < 1) return 0;

    // Each line goes behind the last one, bounded by the room left. The formatter cannot
    // tell a cut line from one that fills the room exactly, so the header must leave at
    // least one byte over to count as whole.
    int used = StrPrintf(buffer, size, "%s %s HTTP/1.0\r\n", method, target);
    if (userAgent != nullptr && userAgent[0] != '\0')
        used += StrPrintf(buffer + used, size - used, "User-Agent: %s\r\n", userAgent);
    used += StrPrintf(buffer + used, size - used, "Host: %s\r\n", host);
    if (bodyLength > 0)
        used += StrPrintf(buffer + used, size - used, "Content-Length: %d\r\n", bodyLength);
    used += StrPrintf(buffer + used, size - used, "Connection: close\r\n\r\n");
    if (used >= size - 1) {
        buffer[0] = '\0';
        return 0;
    }
    *length = used;
    return 1;
}
