// Fuzz target for the version document: any bytes as the fetched response, scanned for a
// product's record. The text lies in a heap block of exactly its length and terminator, so
// a read past it is caught by the address sanitizer; every field found must be terminated
// inside its capacity, the signature goes through the download check's reading of it into
// a block of exactly its capacity, and the addresses found go through the HTTP client's URL
// split and the installer's file name as the update check would take them; a version that
// a signed record may offer reads whole.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <vector>

#include "tessel/tsl-core.h"
#include "vacate/http.h"
#include "vacate/signature.h"
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
        !Terminated(record.download, sizeof record.download) ||
        !Terminated(record.signature, sizeof record.signature))
        abort();

    // The signature as the download's check reads it for a 2,048-bit key.
    std::unique_ptr<uint8_t[]> signature(new uint8_t[SIGNATURE_BLOB_MAX]);
    int32_t length = -1;
    const char* why = nullptr;
    if (SignatureParse(record.signature, 256, signature.get(), &length, &why)
            ? length != 256
            : why == nullptr || length != 0)
        abort();
    // A version a signed record may offer is a number run whole: the reading keeps all of it.
    if (UpdateVersionPlain(record.version)) {
        char copy[UPDATE_VERSION_SIZE];
        memcpy(copy, record.version, sizeof copy);
        double number = 0;
        if (!UpdateVersionNumber(&number, copy) || strcmp(copy, record.version) != 0) abort();
    }
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
