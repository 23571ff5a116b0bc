// Fuzz target for the version document: any bytes as the fetched response, scanned for a
// product's record. The text lies in a heap block of exactly its length and terminator, so
// a read past it is caught by the address sanitizer; every field found must be terminated
// inside its capacity, and the addresses found go through the HTTP client's URL split and
// the installer's file name as the update check would take them.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "tessel/tsl-core.h"
#include "vacate/http.h"
#include "vacate/update.h"

static bool Terminated(const char* field, size_t capacity) {
    return memchr(field, '\0', capacity) != nullptr;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool started = false;
    if (!started) {
        MemInit(0x7FFFFFFF);
        started = true;
    }
    std::vector<char> text(data, data + size);
    text.push_back('\0');

    UpdateRecord record;
    memset(&record, 0x5A, sizeof record);
    const int found = UpdateScanInfo(text.data(), "Quorvex Demo Product", &record);
    if (!Terminated(record.name, sizeof record.name) ||
        !Terminated(record.version, sizeof record.version) ||
        !Terminated(record.page, sizeof record.page) ||
        !Terminated(record.download, sizeof record.download))
        abort();
    if (!found) return 0;

    char host[HTTP_URL_SIZE];
    char path[HTTP_URL_SIZE];
    if (HttpSplitUrl(record.download, host, path) &&
        (strlen(host) >= sizeof host || strlen(path) >= sizeof path))
        abort();
    char name[UPDATE_FIELD_SIZE];
    if (UpdateFileName(record.download, name) &&
        (name[0] == '\0' || name[0] == '$' || strpbrk(name, "\\/:") != nullptr ||
         strcmp(name, "..") == 0))
        abort();
    return 0;
}
