// The cache tuner as a user meets it: the real spd.exe, copied into a folder of its own for
// each test (so "spd.dat" and "debug.log" are its own), started as a process and driven
// through its windows. The system's settings it touches (system.ini's "vcache" section, the
// "FS Templates" key) and its configuration key are saved before each test and put back
// after it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fixtures/fixture-test.h"
#include "support/windriver.h"
#include "vacate/product.h"

namespace spdtest {

constexpr char kTemplates[] = "Software\\Microsoft\\Windows\\CurrentVersion\\FS Templates";
constexpr char kConfigKey[] = "Software\\Quorvex\\Spindrel";
constexpr char kTitle[] = "Quorvex Spindrel (www.quorvex.example)";
constexpr char kCaption[] = "Spindrel...";
constexpr char kCurrent[] = "* Current Settings";
constexpr DWORD kWaitMs = 15000;

// The top of the file-cache sliders on this machine, as the program takes it from the same
// memory status: half the physical memory in kilobytes, at most 524288 (the ceiling of the
// 9x line's disk cache).
inline int32_t CacheTop() {
    uint64_t total = 0;
    MEMORYSTATUSEX extended = {};
    extended.dwLength = sizeof extended;
    MEMORYSTATUS plain = {};
    plain.dwLength = sizeof plain;
    if (!fixture::NineX() && GlobalMemoryStatusEx(&extended)) {
        total = extended.ullTotalPhys;
    } else {
        GlobalMemoryStatus(&plain);
        total = plain.dwTotalPhys;
    }
    return total >> 11 > 524288 ? 524288 : static_cast<int32_t>(total >> 11);
}

// The physical memory the programs started meanwhile are shown (through TSL_PHYSICAL_MEMORY,
// which they inherit), for the life of the object.
class ShownMemory {
public:
    explicit ShownMemory(uint64_t bytes) {
        SetEnvironmentVariableA("TSL_PHYSICAL_MEMORY", std::to_string(bytes).c_str());
    }
    ~ShownMemory() { SetEnvironmentVariableA("TSL_PHYSICAL_MEMORY", nullptr); }
    ShownMemory(const ShownMemory&) = delete;
    ShownMemory& operator=(const ShownMemory&) = delete;
};

// ---------------------------------------------------------------------------
// The registry and system.ini, saved and put back
// ---------------------------------------------------------------------------

// A key with its values and subkeys, as read (exists false when there is no key).
struct KeyTree {
    bool exists = false;
    std::map<std::string, std::pair<DWORD, std::string>> values;
    std::map<std::string, KeyTree> subkeys;
};

inline KeyTree ReadTree(HKEY root, const std::string& path) {
    KeyTree tree;
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return tree;
    tree.exists = true;
    for (DWORD i = 0;; ++i) {
        char name[512];
        DWORD nameSize = sizeof name;
        BYTE data[4096];
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) !=
            ERROR_SUCCESS)
            break;
        tree.values[name] = {type, std::string(reinterpret_cast<char*>(data), dataSize)};
    }
    for (DWORD i = 0;; ++i) {
        char name[512];
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        tree.subkeys[name] = ReadTree(root, path + "\\" + name);
    }
    RegCloseKey(key);
    return tree;
}

inline void WriteTree(HKEY root, const std::string& path, const KeyTree& tree) {
    if (!tree.exists) return;
    HKEY key;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    for (const auto& value : tree.values)
        RegSetValueExA(key, value.first.c_str(), 0, value.second.first,
                       reinterpret_cast<const BYTE*>(value.second.second.data()),
                       static_cast<DWORD>(value.second.second.size()));
    RegCloseKey(key);
    for (const auto& sub : tree.subkeys) WriteTree(root, path + "\\" + sub.first, sub.second);
}

inline bool SameTree(const KeyTree& a, const KeyTree& b) {
    if (a.exists != b.exists || a.values != b.values || a.subkeys.size() != b.subkeys.size())
        return false;
    for (const auto& sub : a.subkeys) {
        auto other = b.subkeys.find(sub.first);
        if (other == b.subkeys.end() || !SameTree(sub.second, other->second)) return false;
    }
    return true;
}

inline std::string IniPath() {
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, MAX_PATH);
    std::string path = folder;
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path + "system.ini";
}

// The "vcache" section as it stands in the file (keys in lower case).
inline std::map<std::string, std::string> Vcache() {
    std::map<std::string, std::string> entries;
    std::string text = fixture::ReadAll(IniPath());
    bool inSection = false;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inSection = _stricmp(line.c_str(), "[vcache]") == 0;
            continue;
        }
        size_t equals = line.find('=');
        if (!inSection || equals == std::string::npos) continue;
        std::string key = line.substr(0, equals);
        for (char& c : key) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        entries[key] = line.substr(equals + 1);
    }
    return entries;
}

// Sets (or with null removes) the three entries, written through to the file.
inline void SetVcache(const char* min, const char* max, const char* chunk) {
    std::string path = IniPath();
    WritePrivateProfileStringA("vcache", "minfilecache", min, path.c_str());
    WritePrivateProfileStringA("vcache", "maxfilecache", max, path.c_str());
    WritePrivateProfileStringA("vcache", "chunksize", chunk, path.c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
}

inline void SetDword(HKEY root, const std::string& path, const char* name, DWORD value) {
    HKEY key;
    RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

// The templates key with `inForce` as the template in force and one template of that name
// with its two values.
inline void SetTemplate(const std::string& inForce, DWORD nameCache, DWORD pathCache) {
    product::DeleteKeyTree(HKEY_LOCAL_MACHINE, kTemplates);
    product::SetString(HKEY_LOCAL_MACHINE, kTemplates, "", inForce);
    SetDword(HKEY_LOCAL_MACHINE, std::string(kTemplates) + "\\" + inForce, "NameCache",
             nameCache);
    SetDword(HKEY_LOCAL_MACHINE, std::string(kTemplates) + "\\" + inForce, "PathCache",
             pathCache);
}

inline std::string TemplateInForce() {
    KeyTree tree = ReadTree(HKEY_LOCAL_MACHINE, kTemplates);
    auto value = tree.values.find("");
    if (value == tree.values.end()) return "<none>";
    std::string text = value->second.second;
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

// A 4-byte value of a key (-1 when it is missing or of another size).
inline long long DwordOf(HKEY root, const std::string& path, const char* name) {
    KeyTree tree = ReadTree(root, path);
    auto value = tree.values.find(name);
    if (value == tree.values.end() || value->second.second.size() != 4) return -1;
    int32_t number = 0;
    memcpy(&number, value->second.second.data(), 4);
    return number;
}

inline long long ConfigValue(const char* name) {
    return DwordOf(HKEY_CURRENT_USER, kConfigKey, name);
}

// Saves system.ini and both keys for the life of a test; the test starts without the
// templates key and the configuration key.
class SystemState {
public:
    SystemState()
        : ini_(fixture::ReadAll(IniPath())),
          templates_(ReadTree(HKEY_LOCAL_MACHINE, kTemplates)),
          config_(ReadTree(HKEY_CURRENT_USER, kConfigKey)) {
        product::DeleteKeyTree(HKEY_LOCAL_MACHINE, kTemplates);
        product::DeleteKeyTree(HKEY_CURRENT_USER, kConfigKey);
        SetVcache(nullptr, nullptr, nullptr);
    }
    ~SystemState() {
        if (ini_ != "<missing>") fixture::WriteAll(IniPath(), ini_);
        product::DeleteKeyTree(HKEY_LOCAL_MACHINE, kTemplates);
        WriteTree(HKEY_LOCAL_MACHINE, kTemplates, templates_);
        product::DeleteKeyTree(HKEY_CURRENT_USER, kConfigKey);
        WriteTree(HKEY_CURRENT_USER, kConfigKey, config_);
    }
    SystemState(const SystemState&) = delete;
    SystemState& operator=(const SystemState&) = delete;

private:
    std::string ini_;
    KeyTree templates_;
    KeyTree config_;
};

// ---------------------------------------------------------------------------
// The program
// ---------------------------------------------------------------------------

inline std::string SpdExe() {
    return windriver::BesideSelf("..\\..\\spd\\spd.exe");
}

// Waits until `done` holds; false after the time-out.
template <typename Done>
bool WaitFor(Done done, DWORD timeoutMs = kWaitMs) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);
    }
    return true;
}

// One copy of spd.exe in a folder of its own, or in `folder` (ending in a backslash).
class Spindrel {
public:
    explicit Spindrel(const std::string& folder = "")
        : folder_(fixture::TempFolder(), "spd-test"),
          exe((folder.empty() ? folder_.path : folder) + "spd.exe"),
          datPath((folder.empty() ? folder_.path : folder) + "spd.dat"),
          logPath((folder.empty() ? folder_.path : folder) + "debug.log") {
        CopyFileA(SpdExe().c_str(), exe.c_str(), FALSE);
    }
    ~Spindrel() {
        answerer.reset();
        if (window != nullptr && IsWindow(window)) process.Kill();
        process.Wait(5000);
    }
    Spindrel(const Spindrel&) = delete;
    Spindrel& operator=(const Spindrel&) = delete;

    // Starts the program and waits for its main window (shown, unless `shown` is false) and
    // its log's first selection (unless `logged` is false); message boxes are answered by
    // `choose` (none: left alone).
    bool Start(windriver::BoxAnswerer::Chooser choose = nullptr, bool shown = true,
               const std::string& arguments = "-debug", bool logged = true) {
        if (!process.Start("\"" + exe + "\" " + arguments)) return false;
        if (choose) answerer = std::make_unique<windriver::BoxAnswerer>(choose, process.Pid());
        window = windriver::WaitForWindow(kTitle, "#32770", kWaitMs, process.Pid());
        if (window == nullptr) return false;
        if (shown && !WaitFor([this] { return IsWindowVisible(window) != 0; })) return false;
        return !logged || WaitFor([this] { return LogHas("Selected '"); });
    }

    // Leaves through "Exit" and waits for the process to end; its exit code.
    long Exit() {
        windriver::PressButton(window, IDCANCEL);
        long code = process.Wait(kWaitMs);
        window = nullptr;
        return code;
    }

    std::string Log() const { return fixture::ReadAll(logPath); }
    bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }
    bool WaitForLog(const std::string& text, DWORD timeoutMs = kWaitMs) const {
        return WaitFor([&] { return LogHas(text); }, timeoutMs);
    }
    int Count(const std::string& text) const {
        std::string log = Log();
        int n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++n;
        return n;
    }

    std::string Field(int id) const { return windriver::ControlText(window, id); }
    std::vector<std::string> Items() const { return windriver::ComboItems(window, 1000); }
    std::string Selected() const { return windriver::ComboSelectedText(window, 1000); }
    bool Select(const std::string& text) const {
        return windriver::SelectComboText(window, 1000, text);
    }

    // A dialog of the program (the name prompt, "Configure...").
    HWND WaitForDialog(const char* caption) const {
        return windriver::WaitForWindow(caption, "#32770", kWaitMs, process.Pid());
    }

    std::vector<windriver::Answer> Answers() const {
        return answerer ? answerer->Answers() : std::vector<windriver::Answer>();
    }
    bool WaitForAnswers(size_t n) const { return answerer && answerer->WaitForAnswers(n, kWaitMs); }

private:
    fixture::ScratchFolder folder_;

public:
    std::string exe;
    std::string datPath;
    std::string logPath;
    windriver::Process process;
    std::unique_ptr<windriver::BoxAnswerer> answerer;
    HWND window = nullptr;
};

// Runs the name prompt of "Add" with `name`, pressing Enter in its field.
inline void NamePrompt(const Spindrel& spd, const std::string& name) {
    windriver::PressButton(spd.window, 1018);
    HWND prompt = spd.WaitForDialog("Save Settings...");
    ASSERT_NE(prompt, nullptr);
    windriver::SetControlText(prompt, 1025, name.c_str());
    windriver::PressKey(GetDlgItem(prompt, 1025), VK_RETURN);
    ASSERT_TRUE(windriver::WaitForWindowGone(prompt, kWaitMs));
}

// Answers every question with `answer` and every notice with OK.
inline windriver::BoxAnswerer::Chooser AnswerAll(int answer) {
    return [answer](const std::string&, const std::string& text) {
        return text.find('?') != std::string::npos ? answer : IDOK;
    };
}

}  // namespace spdtest
