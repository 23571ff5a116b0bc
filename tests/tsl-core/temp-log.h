// Test helper: a unique temporary folder, and the Tessel log started into a file inside it.
// The destructor shuts the core down, turns logging off and removes the folder.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <process.h>
#define TSL_TEST_PID _getpid()
#else
#include <unistd.h>
#define TSL_TEST_PID getpid()
#endif

#include "tessel/tsl-core.h"

namespace tsltest {

class TempDir {
public:
    TempDir() {
        static std::atomic<int> serial{0};
        auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() /
                ("tsl-test-" + std::to_string(TSL_TEST_PID) + "-" + std::to_string(serial++) + "-" +
                 std::to_string(ticks % 1000000));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Whole file as bytes ("" when it does not exist).
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The file's text with CR LF turned into LF, as the log's text mode stores it on Win32.
inline std::string ReadText(const std::string& path) {
    std::string bytes = ReadFile(path), text;
    for (size_t i = 0; i < bytes.size(); ++i)
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) text += bytes[i];
    return text;
}

// The core started with its log in a fresh folder.
class TempLog {
public:
    explicit TempLog(uint32_t flags, const char* name = "debug.log") : path_(dir_.File(name)) {
        CoreStartup(path_.c_str(), flags);
    }
    ~TempLog() {
        Stop();
        LogConfigure(nullptr, 0);
    }
    void Stop() {
        if (running_) CoreShutdown();
        running_ = false;
    }
    const std::string& Path() const { return path_; }
    std::string Text() const { return ReadText(path_); }
    const TempDir& Dir() const { return dir_; }

private:
    TempDir dir_;
    std::string path_;
    bool running_ = true;
};

}  // namespace tsltest
