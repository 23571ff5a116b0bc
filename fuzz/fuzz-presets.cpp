// Fuzz target: arbitrary bytes as the preset file "spd.dat". Whatever the bytes, loading must
// not read past them or write past a record, every name must end inside its field, and the
// list written back must load as the same list.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "spd/cache.h"
#include "tessel/tsl-core.h"

static void Check(bool holds) {
    if (!holds) abort();
}

struct Snapshot {
    uint32_t flags;
    char name[CS_NAME_SIZE];
    int32_t values[5];
};

static std::vector<Snapshot> List() {
    std::vector<Snapshot> all;
    CacheSettings* p = nullptr;
    for (PresetFirst(&p); p != nullptr; p = p->next) {
        Check(memchr(p->name, 0, sizeof p->name) != nullptr);
        Snapshot s{};
        s.flags = p->flags;
        memcpy(s.name, p->name, sizeof s.name);
        int32_t values[5] = {p->minFileCache, p->maxFileCache, p->chunkSize, p->nameCache,
                             p->pathCache};
        memcpy(s.values, values, sizeof values);
        all.push_back(s);
    }
    return all;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool started = false;
    if (!started) {
        MemInit(0x7FFFFFFF);
        started = true;
    }
    if (size > 1 << 20) return 0;
    // The bytes in a block of their own, so a read past them is caught.
    std::vector<uint8_t> input(data, data + size);
    PresetDecode(input.data(), static_cast<int32_t>(input.size()));
    std::vector<Snapshot> loaded = List();

    std::vector<uint8_t> written(static_cast<size_t>(PresetEncodedSize()));
    Check(PresetEncode(written.data(), static_cast<int32_t>(written.size())) == 1);
    PresetFreeAll();
    PresetDecode(written.data(), static_cast<int32_t>(written.size()));
    std::vector<Snapshot> again = List();
    Check(again.size() == loaded.size());
    for (size_t i = 0; i < loaded.size(); ++i) {
        Check(again[i].flags == loaded[i].flags);
        Check(strcmp(again[i].name, loaded[i].name) == 0);
        Check(memcmp(again[i].values, loaded[i].values, sizeof again[i].values) == 0);
    }
    PresetFreeAll();
    MemStats stats;
    MemGetStats(&stats);
    Check(stats.blocks == 0);
    return 0;
}
