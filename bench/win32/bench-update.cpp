// Download benchmark: a file of 100 MB served by a loopback server (this program started
// again with -serve, so that the server shares a process with neither side) is downloaded
// by UpdateDownload, as the update check downloads a new installer: logging off, the
// progress window there, the update buffer of 1,024,000 bytes. In the same run the floor, a
// minimal program that sends the same request and writes what it receives to a file with
// plain recv and WriteFile calls into a buffer of the same size, downloads it too. Each side
// measures from its connect to its file's close; the geometric mean of the rounds' ratios is
// the download's throughput against the floor's. With -signed the package carries an
// "UPDATE KEY" and the record a signature of the file, so that every download is also read
// back whole and checked (SHA-256, RSA) before it counts, as in a signed update.
//
//   bench-update [-megabytes N] [-rounds N (even; default 10)] [-signed]
//   bench-update -serve <bytes> <port file>   (the server; ends when the port file goes)
#include <windows.h>
#include <winsock.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "bench-clock.h"
#include "support/windriver.h"
#include "tessel/socket.h"
#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "update/document.h"
#include "update/update-test.h"
#include "vacate/resource.h"
#include "vacate/script.h"
#include "vacate/shell.h"
#include "vacate/signature.h"
#include "vacate/update.h"

using bench::Median;
using bench::Now;
using bench::Seconds;

namespace {

int64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// One download by the update check; its seconds, or -1 when it failed.
double TimeUpdateDownload(ScriptContext* context, const std::string& url, char* buffer) {
    LARGE_INTEGER start = Now();
    int ok = UpdateDownload(context, url.c_str(), 0, buffer, UPDATE_BUFFER_SIZE);
    LARGE_INTEGER end = Now();
    UpdateReleaseDownload();
    return ok ? Seconds(start, end) : -1;
}

// The served file's bytes, the same megabyte over and over.
const std::string& Megabyte() {
    static const std::string megabyte(1 << 20, 'u');
    return megabyte;
}

// For -signed: a new key into the context, and the signature of the file the server sends
// offered for the download as the new-version dialog offers it.
bool PrepareSigned(ScriptContext* context, const std::string& work, int64_t size,
                   const std::string& url, char* buffer) {
    uint8_t privateBlob[SIGNATURE_PRIVATE_MAX];
    int32_t privateLength = 0;
    char why[SIGNATURE_WHY_SIZE] = "";
    if (!SignatureMakeKeys(privateBlob, &privateLength, context->updateKey, why)) return false;
    context->signedUpdates = 1;
    const std::string copy = work + "signed.bin";
    FILE* f = fopen(copy.c_str(), "wb");
    if (f == nullptr) return false;
    for (int64_t left = size; left > 0; left -= static_cast<int64_t>(Megabyte().size()))
        fwrite(Megabyte().data(), 1, static_cast<size_t>(std::min<int64_t>(left, 1 << 20)), f);
    fclose(f);
    char signature[SIGNATURE_TEXT_SIZE];
    const int signedFile = SignatureSignFile(copy.c_str(), privateBlob, privateLength, buffer,
                                             UPDATE_BUFFER_SIZE, signature, why);
    DeleteFileA(copy.c_str());
    if (!signedFile) return false;
    // The new-version dialog is answered with the download; the progress window is left be.
    windriver::BoxAnswerer dialog(
        [](const std::string&, const std::string&) { return IDOK; }, GetCurrentProcessId(),
        [](HWND window) {
            return GetDlgItem(window, IDC_UPDATE_DOWNLOAD) != nullptr ? IDC_UPDATE_DOWNLOAD : 0;
        });
    StrCopy(context->companyName, "Quorvex");
    StrCopy(context->productName, "Bench");
    StrCopy(context->productVersion, "1.0");
    std::string document = updatetest::SignedRecord("Quorvex Bench", "2.0", "", url, signature);
    return UpdateParseInfo(context, &document[0]) && UpdateCurrentChoice()->accepted;
}

// One download by the floor program, which reports its own seconds in `result`.
double TimeFloor(const std::string& floorExe, int port, const std::string& file,
                 const std::string& result) {
    windriver::Process floor;
    if (!floor.Start("\"" + floorExe + "\" " + std::to_string(port) + " \"" + file + "\" \"" +
                     result + "\" " + std::to_string(UPDATE_BUFFER_SIZE)))
        return -1;
    if (floor.Wait(600000) != 0) return -1;
    FILE* f = fopen(result.c_str(), "r");
    double seconds = -1;
    if (f != nullptr) {
        if (fscanf(f, "%lf", &seconds) != 1) seconds = -1;
        fclose(f);
    }
    return seconds;
}

// The server's side: serves until its port file has been removed.
int Serve(int64_t size, const char* portFile) {
    WSADATA data;
    if (WSAStartup(0x0101, &data) != 0) return 3;
    {
        // The response: its header, then the same megabyte over and over.
        updatetest::HttpServer server;
        const std::string& megabyte = Megabyte();
        const std::string head =
            "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
            std::to_string(size);
        server.Serve(updatetest::Reply{{updatetest::Piece{head + "\r\n\r\n"},
                                        updatetest::Piece{megabyte, 0, size >> 20},
                                        updatetest::Piece{megabyte.substr(0, size % (1 << 20))}}});
        if (server.Port() == 0) return 4;
        // Written under another name first, so the reader never sees half of it.
        const std::string partial = std::string(portFile) + ".part";
        FILE* f = fopen(partial.c_str(), "w");
        if (f == nullptr) return 5;
        fprintf(f, "%d\n", server.Port());
        fclose(f);
        if (!MoveFileExA(partial.c_str(), portFile, MOVEFILE_REPLACE_EXISTING)) return 5;
        for (DWORD start = GetTickCount();
             GetFileAttributesA(portFile) != INVALID_FILE_ATTRIBUTES &&
             GetTickCount() - start < 1800000;)
            Sleep(50);
    }
    WSACleanup();
    return 0;
}

// Reads the port the server wrote, waiting for it up to ten seconds; 0 when none came.
int ServerPort(const std::string& portFile) {
    for (int i = 0; i < 200; ++i) {
        int port = 0;
        FILE* f = fopen(portFile.c_str(), "r");
        if (f != nullptr) {
            if (fscanf(f, "%d", &port) != 1) port = 0;
            fclose(f);
        }
        if (port != 0) return port;
        Sleep(50);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "-serve") == 0) return Serve(_atoi64(argv[2]), argv[3]);
    int megabytes = 100;
    int rounds = 10;
    bool signedUpdate = false;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "-signed") == 0) signedUpdate = true;
        if (i + 1 >= argc) continue;
        if (strcmp(argv[i], "-megabytes") == 0) megabytes = atoi(argv[i + 1]);
        if (strcmp(argv[i], "-rounds") == 0) rounds = atoi(argv[i + 1]);
    }
    rounds += rounds % 2;  // both orders equally often
    // As the uninstaller runs: logging off, the allocator without limit, the progress window.
    CoreStartup("bench.log", 0);
    MemInit(0x7FFFFFFF);
    SocketStartup();
    ProgressWindowCreate();
    ProgressWindowShow(1);

    const int64_t size = static_cast<int64_t>(megabytes) * 1024 * 1024;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string work = std::string(temp) + "vacate-bench-update-" +
                       std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(work.c_str(), nullptr);
    const std::string portFile = work + "port.txt";
    windriver::Process serverProcess;
    serverProcess.Start("\"" + windriver::BesideSelf("bench-update.exe") + "\" -serve " +
                        std::to_string(size) + " \"" + portFile + "\"");
    const int port = ServerPort(portFile);
    if (port == 0) {
        fprintf(stderr, "bench-update: no loopback server\n");
        return 1;
    }
    ScriptContext* context = new ScriptContext{};
    StrCopy(context->installPath, work.c_str());
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/bench/setup.exe";
    const std::string saved = work + "setup.exe";
    const std::string floorFile = work + "floor.bin";
    const std::string floorResult = work + "floor.txt";
    const std::string floorExe = windriver::BesideSelf("bench-update-floor.exe");
    std::vector<char> buffer(UPDATE_BUFFER_SIZE);
    if (signedUpdate && !PrepareSigned(context, work, size, url, buffer.data())) {
        fprintf(stderr, "bench-update: no key or signature for the signed download\n");
        return 1;
    }

    printf("Download of %d MB from 127.0.0.1, buffer %d bytes, %d rounds%s\n", megabytes,
           UPDATE_BUFFER_SIZE, rounds,
           signedUpdate ? ", every download's signature checked" : "");
    std::vector<double> update;
    std::vector<double> floor;
    std::vector<double> ratios;
    int status = 0;
    // Round 0 warms up and is not counted; the side that goes first alternates, and each
    // round's two downloads run back to back, so that a change of the machine's load between
    // rounds shows in both.
    for (int r = 0; r <= rounds && status == 0; ++r) {
        double u = -1;
        double f = -1;
        for (int side = 0; side < 2; ++side) {
            if ((side + r) % 2 == 0) {
                u = TimeUpdateDownload(context, url, buffer.data());
                if (u < 0 || FileSize(saved) != size) {
                    fprintf(stderr, "bench-update: the download failed or is incomplete\n");
                    status = 1;
                }
                DeleteFileA(saved.c_str());
            } else {
                f = TimeFloor(floorExe, port, floorFile, floorResult);
                if (f < 0 || FileSize(floorFile) < size) {
                    fprintf(stderr, "bench-update: the floor program failed\n");
                    status = 1;
                }
                DeleteFileA(floorFile.c_str());
                DeleteFileA(floorResult.c_str());
            }
        }
        if (status != 0 || r == 0) continue;
        printf("  round %d: UpdateDownload %.3f s (%.0f MB/s), floor %.3f s (%.0f MB/s), %.2fx\n",
               r, u, megabytes / u, f, megabytes / f, f / u);
        fflush(stdout);
        update.push_back(u);
        floor.push_back(f);
        ratios.push_back(f / u);
    }
    if (status == 0) {
        // Whichever side goes first in a round is a little slower; over an even number of
        // rounds each side went first equally often, and the geometric mean of the rounds'
        // ratios weighs both orders alike.
        double logSum = 0;
        for (double ratio : ratios) logSum += log(ratio);
        printf("median: UpdateDownload %.3f s, floor %.3f s\n", Median(update), Median(floor));
        // A signed download reads the file back whole and hashes it: no target of its own,
        // its cost shows against the same command without -signed.
        printf("throughput of the floor's: %.2fx (geometric mean of the %d rounds' ratios); %s\n",
               exp(logSum / ratios.size()), static_cast<int>(ratios.size()),
               signedUpdate ? "signed, compare with the unsigned run" : "target >= 0.90x");
    }

    DeleteFileA(portFile.c_str());
    serverProcess.Wait(10000);
    RemoveDirectoryA(work.c_str());
    delete context;
    ProgressWindowDestroy();
    SocketCleanup();
    MemShutdown();
    CoreShutdown();
    return status;
}
