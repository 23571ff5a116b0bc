// The demo's installation side: installs a sample product the way its installation
// package would, so that the packed uninstaller has something real to remove, and reports
// afterwards what is left of it.
//
//   demo-product install <packed uninstaller> <fixture folder>
//       Copies the product's files into "C:\Program Files\Quorvex Demo" (nested folders, a
//       program with a window, a component DLL, a helper program, the uninstaller), makes a
//       Start-menu group with two shortcuts, writes the product key with "Install Path" and
//       the system's uninstall entry, registers the component and starts the product.
//   demo-product report
//       Prints what is left of the product and the reboot queue. Exit code 0 when nothing
//       of the product is left.
//   demo-product update-report
//       After the update check: prints whether the product is still in place, the installer
//       the check saved into its folder, and the arguments that installer ran with (its
//       record "installer-ran.txt" in the product's folder). Exit code 0 when the product is
//       whole and the installer ran with "-Quiet".
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

const char kFolder[] = "C:\\Program Files\\Quorvex Demo\\";
const char kGroup[] = "Quorvex Demo";
const char kProductKey[] = "Software\\Quorvex\\Demo Product";
const char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvex Demo Product";
const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";

// The product's files: the programs copied from the fixtures, and texts written in place.
const char* const kPrograms[] = {"bin\\demo.exe", "bin\\demo-com.dll", "cleanup.exe",
                                 "uninstall.exe"};
const char* const kTexts[] = {"data\\settings.txt", "data\\samples\\one.txt",
                              "data\\samples\\two.txt", "data\\samples\\more\\three.txt",
                              "docs\\readme.txt", "docs\\license.txt"};
// What the update demo's server offers, and where its stand-in installer records its run.
const char kNewInstaller[] = "demo-setup-2.0.exe";
const char kInstallerRecord[] = "installer-ran.txt";

std::string ProgramsFolder() {
    char path[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, path, CSIDL_PROGRAMS, TRUE);
    return path;
}

void MakeFolders(const std::string& file) {
    for (size_t at = 3; at < file.size(); ++at)
        if (file[at] == '\\') CreateDirectoryA(file.substr(0, at).c_str(), nullptr);
}

bool WriteText(const std::string& path, const std::string& text) {
    MakeFolders(path);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return written == text.size();
}

bool Copy(const std::string& from, const std::string& to) {
    MakeFolders(to);
    if (CopyFileA(from.c_str(), to.c_str(), FALSE)) return true;
    printf("  cannot copy %s (%lu)\n", from.c_str(), GetLastError());
    return false;
}

bool Shortcut(const std::string& target, const std::string& linkPath) {
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return false;
    link->SetPath(target.c_str());
    IPersistFile* file = nullptr;
    bool ok = false;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, wide, MAX_PATH);
        ok = SUCCEEDED(file->Save(wide, TRUE));
        file->Release();
    }
    link->Release();
    return ok;
}

void SetString(HKEY root, const char* subkey, const char* name, const std::string& value) {
    HKEY key;
    if (RegCreateKeyExA(root, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

bool KeyExists(HKEY root, const char* subkey) {
    HKEY key;
    if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

int Install(const std::string& uninstaller, std::string fixtures) {
    if (!fixtures.empty() && fixtures.back() != '\\') fixtures += '\\';
    std::string folder = kFolder;
    printf("Installing the sample product into %s\n", kFolder);
    const std::string sources[] = {fixtures + "fx-window.exe", fixtures + "fx-component.dll",
                                   fixtures + "fx-args.exe", uninstaller};
    bool ok = true;
    for (size_t i = 0; i < sizeof kPrograms / sizeof kPrograms[0]; ++i)
        ok = Copy(sources[i], folder + kPrograms[i]) && ok;
    for (const char* text : kTexts)
        ok = WriteText(folder + text, std::string("Demo file ") + text + "\r\n") && ok;

    std::string group = ProgramsFolder() + "\\" + kGroup;
    CreateDirectoryA(group.c_str(), nullptr);
    CoInitialize(nullptr);
    ok = Shortcut(folder + "bin\\demo.exe", group + "\\Demo Product.lnk") && ok;
    ok = Shortcut(folder + "docs\\readme.txt", group + "\\Read Me.lnk") && ok;
    CoUninitialize();
    printf("  Start-menu group %s with 2 shortcuts\n", group.c_str());

    SetString(HKEY_CURRENT_USER, kProductKey, "Install Path", folder);
    SetString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", "Quorvex Demo Product");
    SetString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", folder + "uninstall.exe");
    printf("  product key HKEY_CURRENT_USER\\%s, uninstall entry\n", kProductKey);

    HMODULE component = LoadLibraryA((folder + "bin\\demo-com.dll").c_str());
    auto entry = component != nullptr
                     ? reinterpret_cast<HRESULT(WINAPI*)()>(
                           reinterpret_cast<void*>(GetProcAddress(component, "DllRegisterServer")))
                     : nullptr;
    ok = entry != nullptr && SUCCEEDED(entry()) && ok;
    if (component != nullptr) FreeLibrary(component);
    printf("  component bin\\demo-com.dll registered\n");

    // The running product: its window closes when asked.
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string command =
        "\"" + folder + "bin\\demo.exe\" QuorvexDemoWindow \"Quorvex Demo Product\" 1";
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        for (int i = 0; i < 100 && FindWindowA("QuorvexDemoWindow", nullptr) == nullptr; ++i)
            Sleep(50);
    }
    bool running = FindWindowA("QuorvexDemoWindow", nullptr) != nullptr;
    printf("  product window %s\n", running ? "running" : "NOT running");
    return ok && running ? 0 : 1;
}

int ListLeft(const std::string& folder, int depth) {
    int left = 0;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        printf("  left: %s\\%s\n", folder.c_str(), name.c_str());
        ++left;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && depth < 8)
            left += ListLeft(folder + "\\" + name, depth + 1);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return left;
}

int Report() {
    int left = 0;
    std::string folder(kFolder, sizeof kFolder - 2);
    std::string group = ProgramsFolder() + "\\" + kGroup;
    printf("What is left of the product:\n");
    for (const std::string& place : {folder, group}) {
        if (GetFileAttributesA(place.c_str()) != INVALID_FILE_ATTRIBUTES) {
            printf("  left: %s\n", place.c_str());
            left += 1 + ListLeft(place, 0);
        }
    }
    if (KeyExists(HKEY_CURRENT_USER, kProductKey)) {
        printf("  left: HKEY_CURRENT_USER\\%s\n", kProductKey);
        ++left;
    }
    if (KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey)) {
        printf("  left: HKEY_LOCAL_MACHINE\\%s\n", kUninstallKey);
        ++left;
    }
    if (FindWindowA("QuorvexDemoWindow", nullptr) != nullptr) {
        printf("  left: the product's window\n");
        ++left;
    }
    if (left == 0) printf("  nothing\n");

    printf("Reboot queue (deleted at the next start of Windows):\n");
    HKEY key;
    int queued = 0;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD size = 0;
        DWORD type = 0;
        if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type, nullptr,
                             &size) == ERROR_SUCCESS &&
            size > 0) {
            std::vector<char> data(size + 2, '\0');
            RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, &type,
                             reinterpret_cast<BYTE*>(data.data()), &size);
            // Pairs of source and destination; an empty destination means delete.
            const char* at = data.data();
            while (*at != '\0') {
                const char* source = at;
                at += strlen(at) + 1;
                const char* destination = at;
                at += strlen(at) + 1;
                printf("  %s %s\n", *destination ? "rename" : "delete", source);
                ++queued;
            }
        }
        RegCloseKey(key);
    }
    if (queued == 0) printf("  empty\n");

    // The record the helper program left when the script ran it from its temporary copy.
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    FILE* record = fopen((std::string(temp) + "demo-cleanup.txt").c_str(), "r");
    if (record != nullptr) {
        printf("The helper program ran with the arguments:");
        char line[MAX_PATH];
        while (fgets(line, sizeof line, record) != nullptr) {
            line[strcspn(line, "\r\n")] = '\0';
            printf(" [%s]", line);
        }
        printf("\n");
        fclose(record);
    }
    return left == 0 ? 0 : 1;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int UpdateReport() {
    const std::string folder = kFolder;
    printf("The product after the update check:\n");
    int files = 0;
    int present = 0;
    auto look = [&](const char* name) {
        ++files;
        if (Exists(folder + name)) ++present;
    };
    for (const char* name : kPrograms) look(name);
    for (const char* name : kTexts) look(name);
    const bool key = KeyExists(HKEY_CURRENT_USER, kProductKey);
    printf("  %d of its %d files in %s, product key %s\n", present, files, kFolder,
           key ? "in place" : "MISSING");

    WIN32_FILE_ATTRIBUTE_DATA installer = {};
    const std::string saved = folder + kNewInstaller;
    const bool downloaded = GetFileAttributesExA(saved.c_str(), GetFileExInfoStandard, &installer);
    if (downloaded)
        printf("  the new installer saved by the check: %s (%lu bytes)\n", saved.c_str(),
               installer.nFileSizeLow);
    else
        printf("  no new installer in the product's folder\n");

    // The record: the installer's own path, then one argument per line.
    std::string arguments;
    FILE* record = fopen((folder + kInstallerRecord).c_str(), "r");
    if (record != nullptr) {
        char line[MAX_PATH];
        for (int n = 0; fgets(line, sizeof line, record) != nullptr; ++n) {
            line[strcspn(line, "\r\n")] = '\0';
            if (n > 0) arguments += std::string(arguments.empty() ? "" : " ") + "[" + line + "]";
        }
        fclose(record);
        printf("The new installer ran with the arguments: %s\n", arguments.c_str());
    } else {
        printf("The new installer did not run\n");
    }
    return present == files && key && downloaded && arguments == "[-Quiet]" ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "install") == 0) return Install(argv[2], argv[3]);
    if (argc == 2 && strcmp(argv[1], "report") == 0) return Report();
    if (argc == 2 && strcmp(argv[1], "update-report") == 0) return UpdateReport();
    fprintf(stderr,
            "usage: demo-product install <uninstaller> <fixture folder> | report | "
            "update-report\n");
    return 2;
}
