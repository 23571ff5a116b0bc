// The cache tuner's demo (scripts/demo spd): prepares a machine's cache settings and a few
// presets, prints the settings in force, and, when no person is at a display, drives the
// real spd.exe through one apply as a person would.
//
//   demo-spd prepare <spd folder>   a "vcache" section in system.ini, the templates key and
//                                   the presets in <spd folder>\spd.dat
//   demo-spd report                 system.ini's "vcache" section and the template in force
//   demo-spd drive <preset>         waits for spd's window, selects the preset, presses
//                                   "Apply Changes", answers its question Yes and leaves
//                                   through "Exit"; prints each step and each message box
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "spd/cache.h"
#include "spd/settings.h"
#include "spd-core/preset_bytes.h"
#include "support/windriver.h"
#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"

namespace {

const char kTitle[] = "Quorvex Spindrel (www.quorvex.example)";
const DWORD kWaitMs = 30000;

std::string IniPath() {
    char path[CACHE_INI_PATH_SIZE];
    CacheIniPath(path);
    return path;
}

void SetTemplate(const char* name, DWORD nameCache, DWORD pathCache) {
    std::string path = std::string(CACHE_TEMPLATES_KEY) + "\\" + name;
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "NameCache", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&nameCache), 4);
    RegSetValueExA(key, "PathCache", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&pathCache), 4);
    RegCloseKey(key);
}

int Prepare(const char* folder) {
    std::string ini = IniPath();
    WritePrivateProfileStringA("vcache", "minfilecache", "2048", ini.c_str());
    WritePrivateProfileStringA("vcache", "maxfilecache", "16384", ini.c_str());
    WritePrivateProfileStringA("vcache", "chunksize", "512", ini.c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());

    SetTemplate("Desktop", 677, 32);
    SetTemplate("Mobile", 337, 16);
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, CACHE_TEMPLATES_KEY, 0, KEY_ALL_ACCESS, &key) ==
        ERROR_SUCCESS) {
        RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>("Desktop"), 8);
        RegCloseKey(key);
    }

    // The presets through the program's own store, so the file is what spd writes.
    const uint32_t all = CS_MIN_SET | CS_MAX_SET | CS_CHUNK_SET | CS_TEMPLATE_ACTIVE;
    CacheSettings presets[] = {
        presetbytes::Named("Desktop Publishing", all, 4096, 24576, 1024, 2048, 64),
        presetbytes::Named("Gaming", all | CS_PERCENT, 5, 25, 25, 50, 50),
        presetbytes::Named("Low Memory", CS_MIN_SET | CS_MAX_SET, 512, 4096, 512, 337, 16),
    };
    for (const CacheSettings& preset : presets) PresetAdd(&preset);
    std::string path = std::string(folder) + "\\spd.dat";
    int saved = PresetSaveFile(path.c_str());
    PresetFreeAll();
    printf("presets: %s (%s)\n", path.c_str(), saved ? "written" : "NOT written");
    return saved ? 0 : 1;
}

int Report() {
    std::string ini = IniPath();
    printf("%s [vcache]:\n", ini.c_str());
    char section[4096] = {};
    GetPrivateProfileSectionA("vcache", section, sizeof section, ini.c_str());
    if (section[0] == '\0') printf("  (empty)\n");
    for (const char* line = section; *line != '\0'; line += strlen(line) + 1)
        printf("  %s\n", line);

    char inForce[320] = {};
    DWORD size = sizeof inForce - 1;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, CACHE_TEMPLATES_KEY, 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        printf("template in force: (no templates key)\n");
        return 0;
    }
    RegQueryValueExA(key, "", nullptr, nullptr, reinterpret_cast<BYTE*>(inForce), &size);
    RegCloseKey(key);
    std::string path = std::string(CACHE_TEMPLATES_KEY) + "\\" + inForce;
    DWORD nameCache = 0;
    DWORD pathCache = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        size = 4;
        RegQueryValueExA(key, "NameCache", nullptr, nullptr, reinterpret_cast<BYTE*>(&nameCache),
                         &size);
        size = 4;
        RegQueryValueExA(key, "PathCache", nullptr, nullptr, reinterpret_cast<BYTE*>(&pathCache),
                         &size);
        RegCloseKey(key);
    }
    printf("template in force: \"%s\" (NameCache %lu, PathCache %lu)\n", inForce,
           static_cast<unsigned long>(nameCache), static_cast<unsigned long>(pathCache));
    return 0;
}

void ShowRows(HWND window) {
    static const struct {
        const char* label;
        int field;
        int check;
    } rows[] = {{"Minimum Disk Cache", 1001, 1020}, {"Maximum Disk Cache", 1002, 1021},
                {"Chunk Size", 1003, 1022},        {"Name Cache", 1004, 1023},
                {"Directory Cache", 1005, 1023}};
    for (const auto& row : rows)
        printf("  %-19s %8s Kb  %s\n", row.label, windriver::ControlText(window, row.field).c_str(),
               windriver::CheckState(window, row.check) == BST_CHECKED ? "active" : "off");
}

int Drive(const char* preset) {
    HWND window = windriver::WaitForWindow(kTitle, "#32770", kWaitMs);
    if (window == nullptr) {
        printf("demo-spd: no Spindrel window within %lu s\n", kWaitMs / 1000);
        return 1;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    // Yes to the apply question only; No to any other question, OK to notices.
    windriver::BoxAnswerer answerer(
        [](const std::string& caption, const std::string& text) {
            int button = text == "Apply the current settings?" ? IDYES
                         : text.find('?') != std::string::npos ? IDNO
                                                               : IDOK;
            printf("dialog \"%s\": %s\n  -> %s\n", caption.c_str(), text.c_str(),
                   button == IDYES ? "Yes" : button == IDNO ? "No" : "OK");
            fflush(stdout);
            return button;
        },
        pid);
    Sleep(500);  // the window's own start-up is done when it is shown
    printf("window \"%s\"; presets:", windriver::WindowText(window).c_str());
    for (const std::string& item : windriver::ComboItems(window, 1000))
        printf(" [%s]", item.c_str());
    printf("\nshown: %s\n", windriver::ComboSelectedText(window, 1000).c_str());
    ShowRows(window);
    if (!windriver::SelectComboText(window, 1000, preset)) {
        printf("demo-spd: no preset \"%s\"\n", preset);
        return 1;
    }
    printf("selected: %s\n", preset);
    ShowRows(window);
    printf("pressing \"Apply Changes\"\n");
    fflush(stdout);
    windriver::PressButton(window, 1024);
    if (!answerer.WaitForAnswers(1, kWaitMs)) {
        printf("demo-spd: no question after \"Apply Changes\"\n");
        return 1;
    }
    // The settings are written once the question has gone and the window answers again.
    auto boxOpen = [&] {
        for (HWND w : windriver::TopLevelWindows(pid))
            if (w != window && windriver::ClassName(w) == "#32770" && IsWindowVisible(w))
                return true;
        return false;
    };
    for (int i = 0; i < 300 && boxOpen(); ++i) Sleep(100);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kWaitMs, &ignored);
    printf("pressing \"Exit\"\n");
    windriver::PressButton(window, IDCANCEL);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process != nullptr) {
        WaitForSingleObject(process, kWaitMs);
        CloseHandle(process);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CoreStartup("demo-spd.log", 0);
    MemInit(0x7FFFFFFF);
    int result = 2;
    if (argc == 3 && strcmp(argv[1], "prepare") == 0) result = Prepare(argv[2]);
    if (argc == 2 && strcmp(argv[1], "report") == 0) result = Report();
    if (argc == 3 && strcmp(argv[1], "drive") == 0) result = Drive(argv[2]);
    if (result == 2) printf("usage: demo-spd prepare <folder> | report | drive <preset>\n");
    MemShutdown();
    CoreShutdown();
    return result;
}
