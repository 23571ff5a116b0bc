// Socket layer, portable part: the texts of Winsock error codes and the splitting of URLs
// into scheme, user, password, host, port, path and file name. Neither needs the system,
// so both build and are tested on the host as well.
#include "tessel/socket.h"

#include <array>

#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"

static const char kSrc[] = "socket";

namespace {

struct ErrorText {
    int32_t code;
    const char* text;
};

// Searched from the first entry to the last; the first matching code gives the text.
constexpr std::array<ErrorText, 64> kErrorTexts = {{
    {0, "No Error"},
    {10013, "Permission denied"},
    {10048, "Address already in use"},
    {10049, "Cannot assign requested address"},
    {10047, "Address family not supported by protocol family"},
    {10037, "Operation already in progress"},
    {10009, "Bad file number"},
    {10103, "Cancelled"},
    {10053, "Software caused connection abort"},
    {10061, "Connection refused"},
    {10054, "Connection reset by peer"},
    {10039, "Destination address required"},
    {10101, "Graceful shutdown in progress"},
    {10069, "Disk quota"},
    {10014, "Bad address"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10036, "Operation now in progress"},
    {10004, "Interrupted function call"},
    {10022, "Invalid argument"},
    {10104, "Invalid proctable"},
    {10105, "Invalid provider"},
    {10056, "Socket is already connected"},
    {10062, "Loop"},
    {10024, "Too many open files"},
    {10040, "Message too long"},
    {10063, "Name too long"},
    {10050, "Network is down"},
    {10052, "Network dropped connection on reset"},
    {10051, "Network is unreachable"},
    {10055, "No buffer space available"},
    {10102, "No more"},
    {10042, "Bad protocol option"},
    {10057, "Socket is not connected"},
    {10066, "Directory not empty"},
    {10038, "Socket operation on non-socket"},
    {10045, "Operation not supported"},
    {10046, "Protocol family not supported"},
    {10067, "Too many processes"},
    {10043, "Protocol not supported"},
    {10041, "Protocol wrong type for socket"},
    {10106, "Provider failed to init"},
    {10112, "Refused"},
    {10071, "Remote"},
    {10058, "Cannot send after socket shutdown"},
    {10044, "Socket type not supported"},
    {10070, "Stale"},
    {10060, "Connection timed out"},
    {10059, "Too many references"},
    {10068, "Too many users"},
    {10035, "Resource temporarily unavailable"},
    {11001, "Host not found"},
    {10093, "Successful WSAStartup not yet performed"},
    {11004, "Valid name, no data record of requested type"},
    {11003, "This is a non-recoverable error"},
    {10108, "Service not found"},
    {10107, "Network subsystem call failed"},
    {10091, "Network subsystem is unavailable"},
    {11002, "Non-authoritative host not found"},
    {10109, "Type not found"},
    {10092, "WINSOCK.DLL version out of range"},
    {10111, "Cancelled"},
    {10110, "No more"},
    {SOCKET_TIMEOUT_CODE, "Timeout"},
}};

constexpr int kUrlWorkSize = 512;   // a URL is split in a copy of at most 511 characters
constexpr int kSchemeMaxOffset = 10; // "://" further in does not end a scheme

struct DefaultPort {
    const char* scheme;
    int32_t port;
};
constexpr std::array<DefaultPort, 5> kDefaultPorts = {{
    {"http", 80}, {"https", 443}, {"ftp", 21}, {"telnet", 23}, {"shout", 8000}}};

// A part of the work buffer: `length` characters from offset `start`.
struct Span {
    int start;
    int length;
};

// Copies a span into an output of `size` bytes, cut to fit and terminated. An output with
// no room at all (size below 1) is left alone.
void CopySpan(char* out, int size, const char* work, Span span) {
    if (size < 1) return;
    int length = span.length < size - 1 ? span.length : size - 1;
    for (int i = 0; i < length; ++i) out[i] = work[span.start + i];
    out[length] = '\0';
}

// Offset of the first `c` in work[from, to), or -1.
int FindFirst(const char* work, int from, int to, char c) {
    for (int i = from; i < to; ++i)
        if (work[i] == c) return i;
    return -1;
}

// Offset of the last `c` in work[from, to), or -1.
int FindLast(const char* work, int from, int to, char c) {
    for (int i = to - 1; i >= from; --i)
        if (work[i] == c) return i;
    return -1;
}

// The port written in a URL, or 0 when there is none usable. Texts that AtoI would refuse
// and values that are no port number count as no port and are logged.
int32_t UrlPortValue(const char* text) {
    int64_t value = 0;
    if (!AtoIChecked(text, &value)) {
        LogPrint("URL port too long (%s), no port taken\n", text);
        return 0;
    }
    // More than five digits are no port, even where the 64-bit value wraps into range.
    if (AtoIDigits(text) > 5 || value < 0 || value > 65535) {
        LogPrint("URL port out of range (%s), no port taken\n", text);
        return 0;
    }
    return static_cast<int32_t>(value);
}

int32_t SchemeDefaultPort(const char* work, Span scheme) {
    char name[kSchemeMaxOffset + 1];
    CopySpan(name, sizeof name, work, scheme);
    for (const DefaultPort& d : kDefaultPorts)
        if (StrEqualNoCase(name, d.scheme)) return d.port;
    return 0;
}

}  // namespace

const char* SocketErrorText(int32_t code) {
    for (const ErrorText& e : kErrorTexts)
        if (e.code == code) return e.text;
    LogPrint("\nUnknown (%d) (0x%.8X)\n", code, static_cast<uint32_t>(code));
    return "Unknown error code";
}

int ParseUrl(const char* url, char* scheme, int schemeSize, char* host, int hostSize,
             int32_t* port, char* path, int pathSize, char* file, int fileSize, char* user,
             int userSize, char* password, int passwordSize) {
    TSL_NOT_NULL(kSrc, url);
    TSL_NOT_NULL(kSrc, scheme);
    TSL_NOT_NULL(kSrc, host);
    TSL_NOT_NULL(kSrc, port);
    TSL_NOT_NULL(kSrc, path);
    TSL_NOT_NULL(kSrc, file);
    TSL_NOT_NULL(kSrc, user);
    TSL_NOT_NULL(kSrc, password);

    char work[kUrlWorkSize];
    int end = 0;
    while (end < kUrlWorkSize - 1 && url[end] != '\0') {
        work[end] = url[end];
        ++end;
    }
    work[end] = '\0';

    const Span none = {0, 0};
    CopySpan(scheme, schemeSize, work, none);
    CopySpan(host, hostSize, work, none);
    CopySpan(path, pathSize, work, none);
    CopySpan(file, fileSize, work, none);
    CopySpan(user, userSize, work, none);
    CopySpan(password, passwordSize, work, none);
    *port = 0;

    // Scheme: the text before a "://" that starts early enough.
    Span schemeSpan = none;
    int start = 0;
    const char* separator = nullptr;
    if (StrFind(work, "://", &separator) && separator - work <= kSchemeMaxOffset) {
        schemeSpan = {0, static_cast<int>(separator - work)};
        start = schemeSpan.length + 3;
    }
    CopySpan(scheme, schemeSize, work, schemeSpan);

    // Path and file name; the authority ends at the first '/'.
    int authorityEnd = end;
    int firstSlash = FindFirst(work, start, end, '/');
    if (firstSlash >= 0) {
        int lastSlash = FindLast(work, 0, end, '/');
        CopySpan(path, pathSize, work, {firstSlash, lastSlash + 1 - firstSlash});
        CopySpan(file, fileSize, work, {lastSlash + 1, end - lastSlash - 1});
        authorityEnd = firstSlash;
        work[authorityEnd] = '\0';
    }

    // User information before an '@': user, then ':' and password.
    int hostStart = start;
    int at = FindFirst(work, start, authorityEnd, '@');
    if (at >= 0) {
        int colon = FindFirst(work, start, at, ':');
        if (colon >= 0) {
            CopySpan(user, userSize, work, {start, colon - start});
            CopySpan(password, passwordSize, work, {colon + 1, at - colon - 1});
        } else {
            CopySpan(user, userSize, work, {start, at - start});
        }
        hostStart = at + 1;
    }

    // Host, and the port after a ':'.
    int colon = FindFirst(work, hostStart, authorityEnd, ':');
    if (colon >= 0) {
        CopySpan(host, hostSize, work, {hostStart, colon - hostStart});
        *port = UrlPortValue(work + colon + 1);
    } else {
        CopySpan(host, hostSize, work, {hostStart, authorityEnd - hostStart});
    }

    if (*port == 0 && schemeSpan.length > 0) *port = SchemeDefaultPort(work, schemeSpan);
    return 1;
}
