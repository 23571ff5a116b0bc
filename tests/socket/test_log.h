// The socket tests' log: the library starts with its log going to a file of the test
// process's own, so a test can check the lines an operation wrote. Line ends are read
// back as "\n" whatever the file stores.
#pragma once

#include <stdio.h>

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "tessel/tsl-core.h"

namespace testlog {

inline std::string& Path() {
    static std::string path;
    return path;
}

// Starts the library with the log in a unique file; call once before the tests run.
inline void Start(const char* testName) {
    char name[64];
#ifdef _WIN32
    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof folder, folder);
    snprintf(name, sizeof name, "%s-%lu.log", testName, GetCurrentProcessId());
    Path() = std::string(folder) + name;
#else
    snprintf(name, sizeof name, "/%s-%d.log", testName, static_cast<int>(getpid()));
    Path() = std::string(TSL_TEST_BINARY_DIR) + name;
#endif
    remove(Path().c_str());
    // Append mode: a child process that writes to the same file never empties it.
    CoreStartup(Path().c_str(), TSL_LOG_FILE | TSL_LOG_APPEND);
    MemInit(0x7FFFFFFF);
}

// Ends the library and removes the log file.
inline void Stop() {
    MemShutdown();
    CoreShutdown();
    remove(Path().c_str());
}

// Everything logged so far.
inline std::string Text() {
    std::string text;
    FILE* f = fopen(Path().c_str(), "rb");
    if (f == nullptr) return text;
    int c;
    while ((c = fgetc(f)) != EOF)
        if (c != '\r') text += static_cast<char>(c);
    fclose(f);
    return text;
}

// A position in the log, and what was logged after it.
inline size_t Mark() { return Text().size(); }
inline std::string Since(size_t mark) {
    std::string text = Text();
    return mark < text.size() ? text.substr(mark) : std::string();
}

}  // namespace testlog
