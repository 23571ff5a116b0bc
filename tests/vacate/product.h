// A sample product for the uninstaller's tests: a folder of files in the temporary folder,
// its product key below HKEY_CURRENT_USER, its uninstall entry below HKEY_LOCAL_MACHINE,
// a Start-menu group with shortcuts, and the script that describes it. Everything it made
// is removed again when it goes, whatever the uninstaller left.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/fixture-test.h"
#include "tools/vacate-pack/vacatepack.h"

namespace product {

constexpr const char* kCompany = "QuorvexTest";
constexpr const char* kUninstallRoot = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

inline bool KeyExists(HKEY root, const std::string& subkey) {
    HKEY key;
    if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Stores a value of any type with exactly the bytes given (a string without its
// terminator, a number as a string, ...).
inline void SetValue(HKEY root, const std::string& subkey, const char* name, DWORD type,
                     const std::string& bytes) {
    HKEY key;
    RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

inline void SetString(HKEY root, const std::string& subkey, const char* name,
                      const std::string& value) {
    SetValue(root, subkey, name, REG_SZ, std::string(value.c_str(), value.size() + 1));
}

using fixture::DeleteKeyTree;

// The user's Start-menu programs folder, ending in a backslash.
inline std::string ProgramsFolder() {
    char path[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, path, CSIDL_PROGRAMS, TRUE);
    std::string folder = path;
    if (!folder.empty() && folder.back() != '\\') folder += '\\';
    return folder;
}

// 1 when the reboot queue holds the deletion of `path`.
inline bool IsPendingDelete(const std::string& path) { return fixture::QueuedForRestart(path); }

// One installed sample product. Its name is unique, so its keys, folder and group are too.
class Sample {
public:
    explicit Sample(const char* prefix = "product")
        : name(fixture::UniqueName(prefix)),
          folder(fixture::TempFolder() + name + "\\"),
          registryPath("Software\\QuorvexTest\\" + name),
          uninstallKey(std::string(kUninstallRoot) + kCompany + " " + name),
          group(name + " Group") {
        CreateDirectoryA(folder.c_str(), nullptr);
    }

    ~Sample() {
        fixture::RemoveTree(folder.substr(0, folder.size() - 1));
        fixture::RemoveTree(ProgramsFolder() + group);
        DeleteKeyTree(HKEY_CURRENT_USER, registryPath);
        DeleteKeyTree(HKEY_LOCAL_MACHINE, uninstallKey);
    }
    Sample(const Sample&) = delete;
    Sample& operator=(const Sample&) = delete;

    // Creates a file of the product (folders included) and returns its full path.
    std::string AddFile(const std::string& relative, const std::string& text = "data") const {
        return fixture::MakeBelow(folder, relative, text);
    }

    // The product key with its "Install Path", and the system's uninstall entry.
    void Register(const std::string& installPath) const {
        SetString(HKEY_CURRENT_USER, registryPath, "Install Path", installPath);
        SetString(HKEY_LOCAL_MACHINE, uninstallKey, "DisplayName", name);
    }
    void Register() const { Register(folder); }

    // A shortcut file of the product's Start-menu group.
    std::string AddShortcut(const std::string& item) const {
        std::string groupFolder = ProgramsFolder() + group;
        CreateDirectoryA(groupFolder.c_str(), nullptr);
        std::string path = groupFolder + "\\" + item + ".lnk";
        fixture::WriteAll(path, "shortcut");
        return path;
    }

    // The naming commands every script of the product starts with.
    std::string Header() const {
        return std::string("COMPANY NAME:") + kCompany + "\nPRODUCT NAME:" + name +
               "\nPRODUCT VERSION:1.0\nREGISTRY PATH:" + registryPath + "\nINSTALL DIR:" + name +
               "\nINSTALL PATH:\n";
    }

    std::string name;
    std::string folder;  // ends in a backslash
    std::string registryPath;
    std::string uninstallKey;
    std::string group;
};

// The script bytes of a source; fails the calling test when the builder refuses it.
inline PackBytes Script(const std::string& source) {
    PackBytes bytes;
    std::string error;
    if (!PackScript(source, "test", &bytes, &error)) ADD_FAILURE() << error;
    return bytes;
}

inline bool WriteBytes(const std::string& path, const PackBytes& bytes) {
    std::string error;
    return PackWriteFile(path.c_str(), bytes, &error) == 1;
}

}  // namespace product
