// Reads Wine's relay trace of a test run (tests/support/version-run) and checks every call
// that the programs themselves made, one whose return address lies in a program's image,
// against the table of system functions: on the version the run's prefix reported, each
// must be exported there as a working function, neither missing nor only a stub; on the 9x
// line no file may be opened with delete sharing, which those systems refuse. Wine itself
// implements every function in every version, so the trace is what shows that a program
// took the road its system allows.
//
//   relay-check <version> <trace> <program.exe>... [--not <name.exe>...]
//
// The trace must carry process ids (+pid) and the loader's lines (+loaddll), which name each
// process's program: the processes of the programs named after --not (the test itself, which
// also runs at the programs' image base) are left out. Exit code 0 when the programs made
// calls and none was refused, else 1.
#include <stdio.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "shipped/api-table.h"
#include "shipped/pe-image.h"
#include "shipped/relay-trace.h"

namespace {

// Functions reached through another library's export, which the trace names by the
// function that implements them, and the 64-bit names of 32-bit ones.
struct Alias {
    const char* implementation;
    const char* name;
};
constexpr Alias kAliases[] = {
    {"RtlInitializeCriticalSection", "InitializeCriticalSection"},
    {"RtlEnterCriticalSection", "EnterCriticalSection"},
    {"RtlLeaveCriticalSection", "LeaveCriticalSection"},
    {"RtlDeleteCriticalSection", "DeleteCriticalSection"},
    {"RtlGetLastWin32Error", "GetLastError"},
    {"RtlSetLastWin32Error", "SetLastError"},
    // The x86-64 build's own names of what the 32-bit programs call by their 32-bit names.
    {"GetWindowLongPtrA", "GetWindowLongA"},
    {"SetWindowLongPtrA", "SetWindowLongA"},
};

const api::Row* RowOf(const relay::Call& call) {
    std::string library = call.library;
    for (char& c : library) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    library += ".DLL";
    if (const api::Row* row = api::Find(library.c_str(), call.name.c_str())) return row;
    for (const Alias& alias : kAliases)
        if (call.name == alias.implementation) return api::Find(nullptr, alias.name);
    return nullptr;
}

struct Range {
    std::string path;
    uint64_t from;
    uint64_t to;
};

constexpr uint64_t kShareDelete = 0x4;  // FILE_SHARE_DELETE

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: relay-check <version> <trace> <program.exe>...\n");
        return 2;
    }
    const api::System* system = api::FindSystem(argv[1]);
    if (system == nullptr) {
        fprintf(stderr, "relay-check: unknown version '%s'\n", argv[1]);
        return 2;
    }
    std::vector<Range> programs;
    std::vector<std::string> others;
    for (int i = 3; i < argc; i++) {
        if (std::string(argv[i]) == "--not" && i + 1 < argc) {
            others.push_back(relay::Lower(argv[++i]));
            continue;
        }
        const pe::Image image = pe::Read(pe::ReadFile(argv[i]));
        if (!image.error.empty() || image.imageSize == 0) {
            fprintf(stderr, "relay-check: %s: %s\n", argv[i], image.error.c_str());
            return 2;
        }
        programs.push_back({argv[i], image.imageBase, image.imageBase + image.imageSize});
    }
    std::ifstream trace(argv[2]);
    if (!trace) {
        fprintf(stderr, "relay-check: cannot read %s\n", argv[2]);
        return 2;
    }

    long calls = 0;
    std::map<std::string, long> refused;  // function and why -> first line
    std::map<std::string, long> functions;
    std::map<std::string, std::string> processImage;  // process id -> its program's file name
    std::string line;
    for (long number = 1; std::getline(trace, line); number++) {
        std::string process, image;
        if (relay::ParseImageLoaded(line, &process, &image)) {
            processImage.emplace(process, image);
            continue;
        }
        relay::Call call;
        if (!relay::ParseCall(line, &call)) continue;
        const auto found = processImage.find(call.process);
        if (found != processImage.end() &&
            std::find(others.begin(), others.end(), found->second) != others.end())
            continue;
        bool ours = false;
        for (const Range& range : programs)
            ours = ours || (call.returnAddress >= range.from && call.returnAddress < range.to);
        if (!ours) continue;
        ++calls;
        ++functions[call.name];
        const api::Row* row = RowOf(call);
        std::string why;
        if (row == nullptr)
            why = "not in the table";
        else if (!api::Exports(*row, *system))
            why = std::string("missing on ") + system->name;
        else if (!api::Works(*row, *system))
            why = std::string("only a stub on ") + system->name;
        else if (system->nineX && call.name == "CreateFileA" && call.arguments.size() > 2 &&
                 (relay::ArgumentValue(call.arguments[2]) & kShareDelete) != 0)
            why = std::string("delete sharing, refused on ") + system->name;
        if (!why.empty()) refused.emplace(call.library + "." + call.name + ": " + why, number);
    }

    printf("relay-check (%s): %ld calls of the programs to %zu functions\n", system->name, calls,
           functions.size());
    for (const auto& entry : refused)
        printf("  refused: %s (first at line %ld)\n", entry.first.c_str(), entry.second);
    if (calls == 0) printf("  no call of the programs in the trace: nothing was checked\n");
    return calls > 0 && refused.empty() ? 0 : 1;
}
