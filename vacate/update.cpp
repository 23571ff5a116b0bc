// The update check's pure parts: the version document's scan, the version number, the
// installer's file name and the download's response handling. Everything here reads bytes
// that came from a server, so every read is bounded by what was received.
#include "vacate/update.h"

#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"

static const char kSrc[] = "update";

namespace {

constexpr char kHeaderEnd[] = "\r\n\r\n";
constexpr int kHeaderEndLength = 4;
constexpr char kLengthField[] = "Content-Length:";
constexpr int kLengthFieldLength = 15;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Offset of the first `needle` in data[from, to), or -1. The data may hold zero bytes.
int32_t FindBytes(const char* data, int32_t from, int32_t to, const char* needle,
                  int32_t needleLength, bool ignoreCase) {
    for (int32_t at = from; at + needleLength <= to; ++at) {
        int32_t i = 0;
        while (i < needleLength && (ignoreCase ? Upper(data[at + i]) == Upper(needle[i])
                                               : data[at + i] == needle[i]))
            ++i;
        if (i == needleLength) return at;
    }
    return -1;
}

// The status code of a status line "HTTP/x.y NNN ..." at the start of the header
// (`length` bytes); 0 when the header does not start with one.
int32_t StatusCode(const char* header, int32_t length) {
    if (FindBytes(header, 0, length < 5 ? length : 5, "HTTP/", 5, true) != 0) return 0;
    int32_t at = 5;
    while (at < length && header[at] != ' ' && header[at] != '\r') ++at;
    while (at < length && header[at] == ' ') ++at;
    if (at + 3 > length || !IsDigit(header[at]) || !IsDigit(header[at + 1]) ||
        !IsDigit(header[at + 2]))
        return 0;
    if (at + 3 < length && header[at + 3] != ' ' && header[at + 3] != '\r') return 0;
    return (header[at] - '0') * 100 + (header[at + 1] - '0') * 10 + (header[at + 2] - '0');
}

bool Fail(UpdateTransfer* transfer) {
    transfer->failed = 1;
    return false;
}

// The "Content-Length:" of the header of `end` bytes (letter case ignored): 1 with `*sized`
// (0 when the header has none) and `*size`; 0 with `why` when it is there but no size.
int HeaderSize(const char* header, int32_t end, int32_t* sized, int64_t* size,
               const char** why) {
    *sized = 0;
    *size = 0;
    const int32_t field = FindBytes(header, 0, end, kLengthField, kLengthFieldLength, true);
    if (field < 0) return 1;
    // The number follows after blanks and control characters, within the header.
    int32_t at = field + kLengthFieldLength;
    while (at < end && static_cast<unsigned char>(header[at]) <= 0x20) ++at;
    int64_t value = 0;
    if (!AtoIChecked(header + at, &value)) {
        *why = "Download size cannot be read";
        return 0;
    }
    // More than ten digits are out of range even where the 64-bit value wrapped into it.
    if (value < 0 || value > UPDATE_DOWNLOAD_MAX || AtoIDigits(header + at) > 10) {
        *why = "Download size out of range";
        return 0;
    }
    *sized = 1;
    *size = value;
    return 1;
}

// The header has ended at `end` (the offset of its "\r\n\r\n"): its status and size.
bool ReadHeader(UpdateTransfer* transfer, const char* buffer, int32_t end) {
    transfer->headerSeen = 1;
    transfer->bodyStart = end + kHeaderEndLength;
    transfer->status = StatusCode(buffer, end);

    const char* why = "";
    if (!HeaderSize(buffer, end, &transfer->sized, &transfer->expected, &why)) {
        LogPrint("%s\n", why);
        return Fail(transfer);
    }
    if (transfer->sized)
        LogPrint("Filesize = %d (%dk)\n", static_cast<int32_t>(transfer->expected),
                 static_cast<int32_t>(transfer->expected / 1024));
    // Only a success carries the installer; an error page is no file to run.
    if (transfer->status < 200 || transfer->status > 299) {
        LogPrint("Download refused by the server (status %d)\n", transfer->status);
        return Fail(transfer);
    }
    return true;
}

// True for the names the system keeps for devices ("CON", "COM1", "lpt9.txt" ...), with
// or without an extension, in any letter case. The system drops the blanks at the end of the
// name before its extension ("CON .exe" is CON) and takes the superscript digits of the
// ANSI code page for port numbers ("COM\xB9").
bool IsDeviceName(const char* name) {
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$", "CONIN$",
                                           "CONOUT$"};
    char base[8];
    int kept = 0;  // the name before its extension, without the blanks at its end
    for (int at = 0; name[at] != '\0' && name[at] != '.'; ++at) {
        if (name[at] == ' ') continue;
        if (at >= static_cast<int>(sizeof base) - 1) return false;
        while (kept < at) base[kept++] = ' ';
        base[kept++] = Upper(name[at]);
    }
    base[kept] = '\0';
    for (const char* device : kDevices)
        if (StrEqual(base, device)) return true;
    if (kept != 4 || (!StrStartsWith(base, "COM") && !StrStartsWith(base, "LPT"))) return false;
    const unsigned char port = static_cast<unsigned char>(base[3]);
    return IsDigit(base[3]) || port == 0xB9 || port == 0xB2 || port == 0xB3;
}

constexpr char kStagedPrefix[] = "~update-";
constexpr char kStagedExtension[] = ".part";
constexpr char kProgramExtension[] = ".exe";

// Steps over the run of digits at `*at`; false when there is none.
bool SkipDigits(const char** at) {
    const char* start = *at;
    while (IsDigit(**at)) ++*at;
    return *at > start;
}

}  // namespace

int UpdateReadField(const char** cursor, char* destination, int capacity) {
    TSL_NOT_NULL(kSrc, cursor);
    TSL_NOT_NULL(kSrc, *cursor);
    TSL_NOT_NULL(kSrc, destination);
    if (capacity < 1) TSL_FAIL(kSrc, "Invalid field capacity (%d)\n", capacity);
    const char* at = *cursor;
    int length = 0;
    while (static_cast<unsigned char>(at[length]) >= 0x20) {
        if (length == capacity - 1) {
            destination[0] = '\0';
            return 0;
        }
        destination[length] = at[length];
        ++length;
    }
    destination[length] = '\0';
    *cursor = at + length;
    return 1;
}

int UpdateVersionNumber(double* number, char* text) {
    TSL_NOT_NULL(kSrc, number);
    TSL_NOT_NULL(kSrc, text);
    *number = 0.0;
    int length = 0;
    while (IsDigit(text[length]) || text[length] == '.') ++length;
    text[length] = '\0';
    // A run too long for AtoF is refused by its checked form instead of ending the process.
    return AtoFChecked(text, number);
}

int UpdateVersionPlain(const char* text) {
    TSL_NOT_NULL(kSrc, text);
    int digits = 0;
    int points = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (IsDigit(*p)) {
            ++digits;
            continue;
        }
        // A point needs a digit before it and one after it.
        if (*p != '.' || points++ > 0 || p == text || !IsDigit(p[1])) return 0;
    }
    return digits > 0 && digits <= UPDATE_VERSION_DIGITS;
}

int UpdateScanInfo(const char* text, const char* productKey, UpdateRecord* record) {
    TSL_NOT_NULL(kSrc, text);
    TSL_NOT_NULL(kSrc, productKey);
    TSL_NOT_NULL(kSrc, record);
    *record = UpdateRecord{};
    char unknown[UPDATE_FIELD_SIZE];
    const char* p = text;
    while (*p != '\0') {
        if (*p != UPDATE_TAG) {
            ++p;
            continue;
        }
        const char tag = p[1];
        if (tag == '\0') return 0;
        if (tag == '0') {
            if (StrEqualNoCase(record->name, productKey)) return 1;
            ++p;  // on from the tag itself
            continue;
        }
        p += 2;
        char* field = unknown;
        int capacity = UPDATE_FIELD_SIZE;
        switch (tag) {
            case '1':
                record->name[0] = '\0';
                record->version[0] = '\0';
                record->page[0] = '\0';
                record->signature[0] = '\0';  // it signed the record before, if any
                field = record->name;
                break;
            case '2':
                field = record->version;
                capacity = UPDATE_VERSION_SIZE;
                break;
            case '3': field = record->page; break;
            case '4': field = record->download; break;
            case '5':
                field = record->signature;
                capacity = SIGNATURE_TEXT_SIZE;
                break;
            default: break;
        }
        if (!UpdateReadField(&p, field, capacity)) {
            LogPrint("Update field '%c' too long (%d bytes or more)\n", tag, capacity);
            return 0;
        }
        if (tag == '2' && !UpdateVersionNumber(&record->number, record->version)) {
            LogPrint("Update version is no number '%s'\n", record->version);
            return 0;
        }
        if (field == unknown) LogPrint("Unknown '%s'\n", unknown);
    }
    return 0;
}

int UpdateFileName(const char* address, char* name) {
    TSL_NOT_NULL(kSrc, address);
    TSL_NOT_NULL(kSrc, name);
    name[0] = '\0';
    const char* start = address;
    for (const char* p = address + (address[0] != '\0' ? 1 : 0); *p != '\0'; ++p)
        if (*p == '/') start = p + 1;
    if (!StrCopyN(name, start, UPDATE_FIELD_SIZE)) {
        name[0] = '\0';
        return 0;
    }

    int length = StrLen(name);
    bool onlyDots = true;
    bool bad = length == 0 || name[0] == '$' || IsDeviceName(name);
    for (int i = 0; i < length && !bad; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7F) bad = true;
        for (const char* q = "\\/:*?\"<>|"; *q != '\0'; ++q)
            if (c == static_cast<unsigned char>(*q)) bad = true;
        if (c != '.' && c != ' ') onlyDots = false;
    }
    if (!bad && (onlyDots || name[length - 1] == '.' || name[length - 1] == ' ')) bad = true;
    if (bad) {
        name[0] = '\0';
        return 0;
    }
    return 1;
}

int UpdateStagedName(char* name, uint32_t process, uint32_t tick, int program) {
    TSL_NOT_NULL(kSrc, name);
    StrPrintf(name, UPDATE_FIELD_SIZE, "%s%u-%u%s", kStagedPrefix, static_cast<unsigned>(process),
              static_cast<unsigned>(tick), program ? kProgramExtension : kStagedExtension);
    return 1;
}

int UpdateIsStagedName(const char* name) {
    TSL_NOT_NULL(kSrc, name);
    if (!StrStartsWithNoCase(name, kStagedPrefix)) return 0;
    const char* at = name + sizeof kStagedPrefix - 1;
    if (!SkipDigits(&at) || *at++ != '-' || !SkipDigits(&at)) return 0;
    return StrEqualNoCase(at, kStagedExtension);
}

int UpdateIsProgramName(const char* name) {
    TSL_NOT_NULL(kSrc, name);
    const int length = StrLen(name);
    const int extension = sizeof kProgramExtension - 1;
    return length > extension && StrEqualNoCase(name + length - extension, kProgramExtension);
}

int64_t UpdateDeadlineMs(int64_t bytes) {
    return UPDATE_DEADLINE_MS + (bytes > 0 ? bytes : 0) * 1000 / UPDATE_DEADLINE_RATE;
}

int UpdateResponseComplete(const char* response, int32_t length) {
    TSL_NOT_NULL(kSrc, response);
    const int32_t end = FindBytes(response, 0, length, kHeaderEnd, kHeaderEndLength, false);
    if (end < 0) return 0;
    int32_t sized = 0;
    int64_t size = 0;
    const char* why = "";
    return HeaderSize(response, end, &sized, &size, &why) && sized &&
           length - (end + kHeaderEndLength) >= size;
}

int32_t UpdateStatus(const char* response, int32_t length, char* line, int capacity) {
    TSL_NOT_NULL(kSrc, response);
    TSL_NOT_NULL(kSrc, line);
    if (capacity < 1) TSL_FAIL(kSrc, "Invalid line capacity (%d)\n", capacity);
    int used = 0;
    while (used < length && used < capacity - 1 && response[used] != '\r' &&
           response[used] != '\n' && response[used] != '\0') {
        line[used] = response[used];
        ++used;
    }
    line[used] = '\0';
    return StatusCode(response, length);
}

int UpdateTransferBegin(UpdateTransfer* transfer, int32_t bufferSize) {
    TSL_NOT_NULL(kSrc, transfer);
    if (bufferSize < 2) TSL_FAIL(kSrc, "Download buffer too small (%d)\n", bufferSize);
    *transfer = UpdateTransfer{};
    transfer->size = bufferSize;
    transfer->percent = -1.0;
    return 1;
}

int UpdateTransferRoom(UpdateTransfer* transfer, int32_t* offset, int32_t* room) {
    TSL_NOT_NULL(kSrc, transfer);
    TSL_NOT_NULL(kSrc, offset);
    TSL_NOT_NULL(kSrc, room);
    *offset = transfer->headerSeen ? transfer->bodyStart : transfer->kept;
    *room = transfer->size - 1 - *offset;
    if (*room > 0) return 1;
    // A read of nothing would succeed at once, for ever: a full buffer ends the download.
    LogPrint("Download header fills the buffer (%d bytes)\n", transfer->size);
    *room = 0;
    transfer->failed = 1;
    return 0;
}

int UpdateTransferTake(UpdateTransfer* transfer, char* buffer, int32_t received,
                       int32_t* bodyOffset, int32_t* bodyLength) {
    TSL_NOT_NULL(kSrc, transfer);
    TSL_NOT_NULL(kSrc, buffer);
    TSL_NOT_NULL(kSrc, bodyOffset);
    TSL_NOT_NULL(kSrc, bodyLength);
    *bodyOffset = 0;
    *bodyLength = 0;
    if (transfer->failed) return 0;
    const int32_t at = transfer->headerSeen ? transfer->bodyStart : transfer->kept;
    if (received < 0 || received > transfer->size - 1 - at)
        TSL_FAIL(kSrc, "Download read out of bounds (%d + %d of %d)\n", at, received,
                 transfer->size);
    const int32_t end = at + received;
    buffer[end] = '\0';

    if (!transfer->headerSeen) {
        // The header's end may straddle two reads: the search starts three bytes back.
        const int32_t from = transfer->kept > 3 ? transfer->kept - 3 : 0;
        const int32_t found = FindBytes(buffer, from, end, kHeaderEnd, kHeaderEndLength, false);
        transfer->kept = end;
        if (found < 0) return 1;
        if (!ReadHeader(transfer, buffer, found)) return 0;
    }

    const int64_t before = transfer->written;
    transfer->percent = transfer->sized && transfer->expected > 0
                            ? 60.0 + 40.0 * static_cast<double>(before) / transfer->expected
                            : -1.0;
    *bodyOffset = transfer->bodyStart;
    *bodyLength = end - transfer->bodyStart;
    transfer->written += *bodyLength;
    if (transfer->written > UPDATE_DOWNLOAD_MAX) {
        LogPrint("Download too large\n");
        transfer->failed = 1;
        return 0;
    }
    // A body longer than announced cannot be the file: no need to read the rest.
    if (transfer->sized && transfer->written > transfer->expected) return 0;
    return 1;
}

int UpdateTransferDone(const UpdateTransfer* transfer) {
    TSL_NOT_NULL(kSrc, transfer);
    return !transfer->failed && transfer->headerSeen && transfer->sized &&
           transfer->written == transfer->expected;
}

int64_t UpdateTransferDeadlineMs(const UpdateTransfer* transfer) {
    TSL_NOT_NULL(kSrc, transfer);
    return UpdateDeadlineMs(transfer->sized ? transfer->expected : transfer->written);
}

int UpdateTransferResult(const UpdateTransfer* transfer, int brokenOff) {
    TSL_NOT_NULL(kSrc, transfer);
    if (transfer->failed) return 0;
    if (!transfer->headerSeen) {
        LogPrint("Download ended before its header did\n");
        return 0;
    }
    if (!transfer->sized) {
        if (!brokenOff) return 1;
        LogPrint("Download broken off, its size unknown\n");
        return 0;
    }
    if (transfer->written == transfer->expected) return 1;
    LogPrint("Sizes to not match (%d != %d)\n", static_cast<int32_t>(transfer->expected),
             static_cast<int32_t>(transfer->written));
    return 0;
}
