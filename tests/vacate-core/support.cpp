#include "support.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <atomic>
#include <fstream>
#include <sstream>

#include "tessel/tsl-core.h"

#ifdef _WIN32
#include "support/windriver.h"
#else
#include <unistd.h>
#endif

namespace vt {

namespace fs = std::filesystem;

namespace {

unsigned long ProcessId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

fs::path LogPath() {
    static const fs::path path =
        fs::temp_directory_path() / ("vacate-core-" + std::to_string(ProcessId()) + ".log");
    return path;
}

// The core is started once for the whole test program, logging to a file of its own.
class CoreEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(CoreStartup(LogPath().string().c_str(), TSL_LOG_FILE | TSL_LOG_VERBOSE));
        ASSERT_TRUE(MemInit(0x7FFFFFFF));
    }
    void TearDown() override {
        MemShutdown();
        CoreShutdown();
        std::error_code ignored;
        fs::remove(LogPath(), ignored);
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new CoreEnvironment);

std::atomic<unsigned> gDirCount{0};

}  // namespace

LogTail::LogTail() {
    std::error_code ignored;
    start_ = fs::exists(LogPath()) ? fs::file_size(LogPath(), ignored) : 0;
}

std::string LogTail::Text() const {
    const std::string all = ReadBytes(LogPath().string());
    std::string text;
    // The log file is written in text mode: lines end in CR LF on Win32.
    for (size_t i = static_cast<size_t>(start_); i < all.size(); ++i)
        if (!(all[i] == '\r' && i + 1 < all.size() && all[i + 1] == '\n')) text += all[i];
    return text;
}

int32_t BlocksInUse() {
    MemStats stats{};
    MemGetStats(&stats);
    return stats.blocks;
}

TempDir::TempDir() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "vacate-core-" + std::to_string(ProcessId()) + "-" +
                       std::to_string(gDirCount++) + "-" + (test ? test->name() : "x");
    for (char& c : name)
        if (c == '/') c = '-';
    dir_ = fs::temp_directory_path() / name;
    fs::remove_all(dir_);
    fs::create_directories(dir_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

std::string TempDir::Path(const std::string& name) const {
    return (dir_ / name).string();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

#ifdef _WIN32
struct Boxes::State {
    explicit State(int button)
        : answerer([button](const std::string&, const std::string&) { return button; }) {}
    windriver::BoxAnswerer answerer;
};

Boxes::Boxes(int button) : state_(new State(button)) {}
Boxes::~Boxes() {
    delete state_;
}

std::string Boxes::Seen(size_t n) {
    state_->answerer.WaitForAnswers(n, 10000);
    std::string seen;
    for (const windriver::Answer& answer : state_->answerer.Answers())
        seen += answer.caption + "\n" + answer.text + "\n";
    return seen;
}
#else
struct Boxes::State {
    bool capturing;
};

Boxes::Boxes(int) : state_(new State{true}) {
    ::testing::internal::CaptureStderr();
}
Boxes::~Boxes() {
    if (state_->capturing) ::testing::internal::GetCapturedStderr();
    delete state_;
}

std::string Boxes::Seen(size_t) {
    if (!state_->capturing) return std::string();
    state_->capturing = false;
    return ::testing::internal::GetCapturedStderr();
}
#endif

}  // namespace vt
