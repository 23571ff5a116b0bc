// Lines of Wine's relay trace (WINEDEBUG=+relay), taken apart for relay-check: a call into a
// system library reads
//     0020:0024:Call KERNEL32.CreateFileA(0063f5c8 "C:\\x.txt",80000000,00000001,...) ret=004012f0
// (process and thread ids first when the trace has +pid); strings follow an argument's value
// in quotes, with a backslash before a quote or backslash of their own. Portable.
#pragma once

#include <stdint.h>

#include <ctype.h>

#include <string>
#include <vector>

namespace relay {

struct Call {
    std::string process;  // the process id the line starts with (+pid), or empty
    std::string library;  // as the trace names it ("KERNEL32", "ntdll")
    std::string name;
    std::vector<std::string> arguments;  // each as it stands, its string included
    uint64_t returnAddress = 0;
};

inline bool HexValue(const std::string& text, size_t at, uint64_t* value) {
    *value = 0;
    size_t digits = 0;
    for (; at < text.size(); at++, digits++) {
        const char c = text[at];
        int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (v < 0) break;
        *value = *value << 4 | static_cast<uint64_t>(v);
    }
    return digits > 0 && digits <= 16;
}

// The value an argument starts with (its hexadecimal digits).
inline uint64_t ArgumentValue(const std::string& argument) {
    uint64_t value = 0;
    HexValue(argument, 0, &value);
    return value;
}

// A "Call" line of a function (not the trace's own lines for DLL entry points and TLS
// callbacks); false for any other line.
inline bool ParseCall(const std::string& line, Call* call) {
    *call = Call();
    const size_t at = line.find(":Call ");
    if (at == std::string::npos) return false;
    const size_t nameAt = at + 6;
    const size_t open = line.find('(', nameAt);
    const size_t ret = line.rfind(") ret=");
    if (open == std::string::npos || ret == std::string::npos || ret < open) return false;
    const size_t colon = line.find(':');
    if (colon != std::string::npos && colon < at) call->process = line.substr(0, colon);
    const std::string qualified = line.substr(nameAt, open - nameAt);
    const size_t dot = qualified.find('.');
    if (dot == std::string::npos || qualified.find(' ') != std::string::npos) return false;
    call->library = qualified.substr(0, dot);
    call->name = qualified.substr(dot + 1);
    if (!HexValue(line, ret + 6, &call->returnAddress)) return false;
    // Arguments: split at the commas outside strings.
    std::string current;
    bool quoted = false;
    for (size_t i = open + 1; i < ret; i++) {
        const char c = line[i];
        if (quoted && c == '\\' && i + 1 < ret) {
            current += c;
            current += line[++i];
            continue;
        }
        if (c == '"') quoted = !quoted;
        if (c == ',' && !quoted) {
            call->arguments.push_back(current);
            current.clear();
            continue;
        }
        current += c;
    }
    if (!current.empty() || !call->arguments.empty()) call->arguments.push_back(current);
    return true;
}

inline std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// The loader's line for an image of the program's own (+loaddll):
//     0020:0024:trace:loaddll:build_module Loaded L"Z:\\build\\spd.exe" at 00400000: native
// gives the process id and the image's file name in lower case; false for any other line
// (also for libraries and for the system's own programs, which are "builtin").
inline bool ParseImageLoaded(const std::string& line, std::string* process, std::string* name) {
    static const char kMarker[] = ":trace:loaddll:build_module Loaded L\"";
    static const char kNative[] = ": native";
    const size_t at = line.find(kMarker);
    if (at == std::string::npos || line.find("\" at ", at) == std::string::npos ||
        line.size() < sizeof kNative ||
        line.compare(line.size() - (sizeof kNative - 1), sizeof kNative - 1, kNative) != 0)
        return false;
    const size_t start = at + sizeof kMarker - 1;
    const size_t end = line.find("\" at ", start);
    std::string path = line.substr(start, end - start);
    const size_t slash = path.find_last_of("\\/");
    *name = Lower(slash == std::string::npos ? path : path.substr(slash + 1));
    const size_t colon = line.find(':');
    *process = colon < at ? line.substr(0, colon) : std::string();
    return name->size() > 4 && name->compare(name->size() - 4, 4, ".exe") == 0;
}

}  // namespace relay
