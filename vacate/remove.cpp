// The text side of the reboot queue of Windows 95 and 98: a "NUL=" line in the "[Rename]"
// section of "wininit.ini" deletes that file at the next start of Windows.
#include "vacate/remove.h"

#include <string.h>

#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"

static const char kSrc[] = "winhelpr";

static const char kNulPrefix[] = "NUL=";
static const char kLineEnd[] = "\r\n";
static const int32_t kHeaderLength = sizeof(WININIT_HEADER) - 1;

static char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Offset just behind the first "[Rename]\r\n" in the text (letter case ignored), or -1.
// The text is bounded by its length, not by a terminator: the old file may hold 0 bytes.
static int32_t FindHeaderEnd(const char* text, int32_t length) {
    for (int32_t at = 0; at + kHeaderLength <= length; ++at) {
        int32_t i = 0;
        while (i < kHeaderLength && FoldAscii(text[at + i]) == FoldAscii(WININIT_HEADER[i])) ++i;
        if (i == kHeaderLength) return at + kHeaderLength;
    }
    return -1;
}

static void Append(char* out, int32_t* length, const char* bytes, int32_t count) {
    memcpy(out + *length, bytes, static_cast<size_t>(count));
    *length += count;
}

int32_t WininitRewriteSize(int32_t oldLength, const char* path) {
    TSL_NOT_NULL(kSrc, path);
    if (oldLength < 0) oldLength = 0;
    const int64_t size = static_cast<int64_t>(oldLength) + kHeaderLength +
                         (sizeof kNulPrefix - 1) + StrLen(path) + (sizeof kLineEnd - 1) + 1;
    return size > 0x7FFFFFFF ? -1 : static_cast<int32_t>(size);
}

int WininitRewrite(const char* old, int32_t oldLength, const char* path, char* out,
                   int32_t outSize, int32_t* outLength) {
    TSL_NOT_NULL(kSrc, path);
    TSL_NOT_NULL(kSrc, out);
    TSL_NOT_NULL(kSrc, outLength);
    if (oldLength > 0) TSL_NOT_NULL(kSrc, old);
    *outLength = 0;
    const int32_t need = WininitRewriteSize(oldLength, path);
    if (oldLength < 0 || need < 0 || outSize < need) {
        LogPrint("Unable to queue '%s' in wininit.ini (%d bytes of %d)\n", path, outSize, need);
        if (outSize > 0) out[0] = '\0';
        return 0;
    }

    int32_t headerEnd = oldLength > 0 ? FindHeaderEnd(old, oldLength) : -1;
    int32_t length = 0;
    if (headerEnd < 0) {
        Append(out, &length, WININIT_HEADER, kHeaderLength);
        headerEnd = 0;
    } else {
        Append(out, &length, old, headerEnd);
    }
    Append(out, &length, kNulPrefix, sizeof kNulPrefix - 1);
    Append(out, &length, path, StrLen(path));
    Append(out, &length, kLineEnd, sizeof kLineEnd - 1);
    if (oldLength > headerEnd) Append(out, &length, old + headerEnd, oldLength - headerEnd);
    out[length] = '\0';
    *outLength = length;
    return 1;
}
