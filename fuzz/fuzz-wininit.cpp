// Fuzz target: the content of an existing "wininit.ini", any bytes (NUL included), and the
// path to queue (the input's first line). The rewrite must put the "NUL=" line right after
// the first "[Rename]" header line (letter case ignored), or a new section in front, keep
// every other byte in its order, and never write past the size it asked for.
#include <ctype.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "vacate/remove.h"

static void Check(bool holds) {
    if (!holds) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t feed = input.find('\n');
    std::string path = input.substr(0, feed == std::string::npos ? 0 : feed);
    path = path.c_str();  // a path ends at its first NUL
    const std::string old = feed == std::string::npos ? input : input.substr(feed + 1);

    const int32_t need = WininitRewriteSize(static_cast<int32_t>(old.size()), path.c_str());
    Check(need > 0);
    std::vector<char> out(static_cast<size_t>(need));
    int32_t length = -1;
    Check(WininitRewrite(old.data(), static_cast<int32_t>(old.size()), path.c_str(), out.data(),
                         need, &length) == 1);
    Check(length >= 0 && length < need && out[static_cast<size_t>(length)] == '\0');

    const std::string header = WININIT_HEADER;
    auto same = [](char a, char b) { return toupper(static_cast<unsigned char>(a)) ==
                                            toupper(static_cast<unsigned char>(b)); };
    auto at = std::search(old.begin(), old.end(), header.begin(), header.end(), same);
    const std::string line = "NUL=" + path + "\r\n";
    const std::string expected =
        at == old.end() ? header + line + old
                        : old.substr(0, static_cast<size_t>(at - old.begin()) + header.size()) +
                              line + old.substr(static_cast<size_t>(at - old.begin()) + header.size());
    Check(std::string(out.data(), static_cast<size_t>(length)) == expected);

    // Too small a buffer is refused, terminated, and nothing is written past it.
    std::vector<char> small(static_cast<size_t>(need - 1));
    Check(WininitRewrite(old.data(), static_cast<int32_t>(old.size()), path.c_str(), small.data(),
                         need - 1, &length) == 0);
    Check(length == 0 && small[0] == '\0');
    return 0;
}
