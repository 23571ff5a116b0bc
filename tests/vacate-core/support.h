// Shared pieces of the uninstaller engine's tests (host and Win32): a started core that
// logs to a file the tests read back, unique temporary folders, file helpers, and a
// record of the message boxes shown (answered on Win32, read from standard error on the
// host, where the library prints them).
#pragma once

#include <stdint.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tools/vacate-pack/vacatepack.h"

namespace vt {

// The text logged since this object was made, with "\n" line ends.
class LogTail {
public:
    LogTail();
    std::string Text() const;

private:
    uintmax_t start_;
};

// Allocator blocks in use now; tests compare it before and after to find leaks.
int32_t BlocksInUse();

// A unique, empty folder for one test, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string Path(const std::string& name) const;

private:
    std::filesystem::path dir_;
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);

// Message boxes shown while it lives, each as "caption\ntext\n". On Win32 each box is
// answered with `button` (an OS_ID* value); on the host the library answers them itself.
class Boxes {
public:
    explicit Boxes(int button);
    ~Boxes();
    Boxes(const Boxes&) = delete;
    Boxes& operator=(const Boxes&) = delete;
    // Waits (Win32) until n boxes were seen, then gives what they showed.
    std::string Seen(size_t n);

private:
    struct State;
    State* state_;
};

}  // namespace vt
