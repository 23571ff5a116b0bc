// Uninstall benchmark: a product of many small files in many folders, packed with the
// package builder, is uninstalled by vacate.exe (started as the relocated copy, logging off,
// every dialog answered at once). The wall time from the start of the copy to its final
// notice is compared, in the same run, with the floor: a minimal program deleting the same
// files and folders with plain delete calls. The quiet uninstall is timed too, as a
// deployment tool sees it: from the start of the installed uninstaller with "-Quiet" (which
// relocates itself and waits for its copy) to its exit.
//
//   bench-uninstall [-files N] [-folders N] [-rounds N]
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bench-clock.h"
#include "fixtures/fixture-test.h"
#include "support/windriver.h"
#include "tools/vacate-pack/vacatepack.h"

using bench::Median;
using bench::Now;
using bench::Seconds;

namespace {

const char kProductKey[] = "Software\\QuorvexBench\\Product";

// The product: `folders` folders of `files` files of 1 KB each.
bool MakeProduct(const std::string& root, int folders, int files) {
    CreateDirectoryA(root.c_str(), nullptr);
    std::string kilobyte(1024, 'q');
    char path[MAX_PATH];
    for (int d = 0; d < folders; ++d) {
        snprintf(path, sizeof path, "%s\\d%03d", root.c_str(), d);
        CreateDirectoryA(path, nullptr);
        for (int f = 0; f < files; ++f) {
            snprintf(path, sizeof path, "%s\\d%03d\\f%04d.dat", root.c_str(), d, f);
            HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (h == INVALID_HANDLE_VALUE) return false;
            DWORD written = 0;
            WriteFile(h, kilobyte.data(), 1024, &written, nullptr);
            CloseHandle(h);
        }
    }
    return true;
}

bool Gone(const std::string& root) {
    return GetFileAttributesA(root.c_str()) == INVALID_FILE_ATTRIBUTES;
}

std::string Script(int folders, int files) {
    std::string source =
        "COMPANY NAME:QuorvexBench\nPRODUCT NAME:Product\nREGISTRY PATH:" +
        std::string(kProductKey) + "\nINSTALL DIR:Product\nINSTALL PATH:\nFILE LIST:";
    char item[64];
    for (int d = 0; d < folders; ++d)
        for (int f = 0; f < files; ++f) {
            snprintf(item, sizeof item, "%sd%03d\\f%04d.dat", d + f == 0 ? "" : ",", d, f);
            source += item;
        }
    return source + "\nINSTALL:\nDONE:x\n";
}

void SetInstallPath(const std::string& folder) {
    HKEY key;
    RegCreateKeyExA(HKEY_CURRENT_USER, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    RegSetValueExA(key, "Install Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>(folder.size() + 1));
    RegCloseKey(key);
}

// Runs the packed uninstaller as the relocated copy; the seconds from its start to the
// final notice, or -1.
double TimeUninstall(const std::string& packed) {
    LARGE_INTEGER finalSeen = {};
    windriver::BoxAnswerer answerer(
        [&finalSeen](const std::string&, const std::string& text) {
            if (text.find("has been uninstalled!") != std::string::npos) finalSeen = Now();
            return text.find('?') != std::string::npos ? IDYES : IDOK;
        },
        0);
    LARGE_INTEGER start = Now();
    windriver::Process copy;
    if (!copy.Start("\"" + packed + "\" -Spawn")) return -1;
    if (copy.Wait(600000) != 0 || finalSeen.QuadPart == 0) return -1;
    return Seconds(start, finalSeen);
}

// The relocated copies a quiet run leaves in the temporary folder for the next restart.
std::vector<std::string> Copies(const std::string& temp) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((temp + "Del*.exe").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do names.push_back(temp + entry.cFileName);
    while (FindNextFileA(find, &entry));
    FindClose(find);
    return names;
}

// Runs the packed uninstaller as installed, with "-Quiet"; the seconds to its exit with 0,
// or -1. Its copy is deleted afterwards, and taken out of the reboot queue.
double TimeQuiet(const std::string& packed, const std::string& temp) {
    std::vector<std::string> before = Copies(temp);
    LARGE_INTEGER start = Now();
    windriver::Process first;
    if (!first.Start("\"" + packed + "\" -Quiet")) return -1;
    long code = first.Wait(600000);
    double seconds = Seconds(start, Now());
    for (const std::string& copy : Copies(temp))
        if (std::find(before.begin(), before.end(), copy) == before.end()) {
            for (int i = 0; i < 50 && !DeleteFileA(copy.c_str()); ++i) Sleep(100);
            fixture::ForgetPendingDeletion(copy);
        }
    return code == 0 ? seconds : -1;
}

double TimeFloor(const std::string& floorExe, const std::string& root, int folders, int files) {
    LARGE_INTEGER start = Now();
    windriver::Process floor;
    if (!floor.Start("\"" + floorExe + "\" \"" + root + "\" " + std::to_string(folders) + " " +
                     std::to_string(files)))
        return -1;
    if (floor.Wait(600000) != 0) return -1;
    return Seconds(start, Now());
}

}  // namespace

int main(int argc, char** argv) {
    int files = 10000;
    int folders = 100;
    int rounds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "-files") == 0) files = atoi(argv[i + 1]);
        if (strcmp(argv[i], "-folders") == 0) folders = atoi(argv[i + 1]);
        if (strcmp(argv[i], "-rounds") == 0) rounds = atoi(argv[i + 1]);
    }
    int perFolder = files / folders;

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string work = std::string(temp) + "vacate-bench-" + std::to_string(GetCurrentProcessId());
    std::string root = work + "\\Product";
    std::string packed = work + "\\uninstall.exe";
    CreateDirectoryA(work.c_str(), nullptr);

    PackBytes script;
    PackBytes host;
    PackBytes archive;
    std::string error;
    if (!PackScript(Script(folders, perFolder), "bench", &script, &error) ||
        !PackReadFile(windriver::BesideSelf("..\\..\\vacate\\vacate.exe").c_str(), &host, &error) ||
        !PackArchive(host, script, &archive, &error) ||
        !PackWriteFile(packed.c_str(), archive, &error)) {
        fprintf(stderr, "bench-uninstall: %s\n", error.c_str());
        return 1;
    }
    std::string floorExe = windriver::BesideSelf("bench-floor.exe");

    printf("Uninstall of %d files of 1 KB in %d folders, %d rounds\n", folders * perFolder,
           folders, rounds);
    std::vector<double> uninstall;
    std::vector<double> quiet;
    std::vector<double> floor;
    for (int r = 0; r < rounds; ++r) {
        if (!MakeProduct(root, folders, perFolder)) return 1;
        SetInstallPath(root + "\\");
        double u = TimeUninstall(packed);
        if (u < 0 || !Gone(root)) {
            fprintf(stderr, "bench-uninstall: the uninstall did not finish or left files\n");
            return 1;
        }
        if (!MakeProduct(root, folders, perFolder)) return 1;
        SetInstallPath(root + "\\");
        double q = TimeQuiet(packed, temp);
        if (q < 0 || !Gone(root)) {
            fprintf(stderr, "bench-uninstall: the quiet uninstall failed or left files\n");
            return 1;
        }
        if (!MakeProduct(root, folders, perFolder)) return 1;
        double f = TimeFloor(floorExe, root, folders, perFolder);
        if (f < 0 || !Gone(root)) {
            fprintf(stderr, "bench-uninstall: the floor program failed\n");
            return 1;
        }
        printf("  round %d: vacate %.3f s, quiet %.3f s, floor %.3f s\n", r + 1, u, q, f);
        fflush(stdout);
        uninstall.push_back(u);
        quiet.push_back(q);
        floor.push_back(f);
    }
    // Each ratio is taken within its round, whose runs follow one another closely: a
    // machine whose load changes between rounds moves the times, not the ratios.
    std::vector<double> uninstallRatio;
    std::vector<double> quietRatio;
    for (int r = 0; r < rounds; ++r) {
        uninstallRatio.push_back(uninstall[r] / floor[r]);
        quietRatio.push_back(quiet[r] / floor[r]);
    }
    printf("median: vacate %.3f s, floor %.3f s, ratio %.2fx (median of the rounds' ratios; "
           "target <= 1.30x)\n",
           Median(uninstall), Median(floor), Median(uninstallRatio));
    printf("median: quiet %.3f s, floor %.3f s, ratio %.2fx (median of the rounds' ratios; "
           "target <= 1.20x)\n",
           Median(quiet), Median(floor), Median(quietRatio));

    // The relocated copy is never made here (the copy is started directly); the product key
    // went with the uninstall.
    DeleteFileA(packed.c_str());
    RemoveDirectoryA(work.c_str());
    return 0;
}
