// Fuzz target for the download's response handling: the fuzzer chooses the buffer's size,
// where each read ends and whether the connection breaks off, then the response bytes. The
// buffer is a heap block of exactly its size, so no read or write may leave it. A download
// that counts as complete must have had a 2xx status, and its file must be exactly the
// response's bytes after the header's end (all of them, or the announced size, which may be
// 0, with nothing read past it).
//
// Input: 2 bytes buffer size (little-endian, 2..4097), 1 byte flags (bit 0: broken off),
// 1 byte N, N bytes of read lengths (each 1..256, repeating), then the response.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "tessel/tsl-core.h"
#include "vacate/update.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool started = false;
    if (!started) {
        MemInit(0x7FFFFFFF);
        started = true;
    }
    if (size < 4) return 0;
    const int32_t bufferSize = 2 + ((data[0] | (data[1] << 8)) % 4096);
    const int brokenOff = data[2] & 1;
    const size_t readCount = data[3];
    if (size < 4 + readCount) return 0;
    const uint8_t* reads = data + 4;
    const std::string response(reinterpret_cast<const char*>(data + 4 + readCount),
                               size - 4 - readCount);

    std::vector<char> buffer(bufferSize);
    UpdateTransfer transfer;
    UpdateTransferBegin(&transfer, bufferSize);
    std::string file;
    size_t next = 0;
    size_t read = 0;
    int32_t offset = 0;
    int32_t room = 0;
    while (next < response.size() && !UpdateTransferDone(&transfer) &&
           UpdateTransferRoom(&transfer, &offset, &room)) {
        if (offset < 0 || room < 1 || offset + room > bufferSize - 1) abort();
        size_t take = readCount > 0 ? 1 + reads[read++ % readCount] : response.size();
        if (take > static_cast<size_t>(room)) take = room;
        if (take > response.size() - next) take = response.size() - next;
        memcpy(buffer.data() + offset, response.data() + next, take);
        next += take;
        int32_t bodyAt = -1;
        int32_t bodyLength = -1;
        if (!UpdateTransferTake(&transfer, buffer.data(), static_cast<int32_t>(take), &bodyAt,
                                &bodyLength))
            break;
        if (bodyLength < 0 || (bodyLength > 0 && bodyAt + bodyLength > bufferSize - 1)) abort();
        if (transfer.headerSeen) file.append(buffer.data() + bodyAt, bodyLength);
    }
    if (!UpdateTransferResult(&transfer, brokenOff)) return 0;

    const size_t end = response.find("\r\n\r\n");
    if (end == std::string::npos || transfer.status < 200 || transfer.status > 299) abort();
    const std::string body = response.substr(end + 4, file.size());
    if (file != body) abort();
    if (transfer.sized ? static_cast<int64_t>(file.size()) != transfer.expected
                       : (brokenOff || next != response.size()))
        abort();
    return 0;
}
