// Download benchmark: a file of 100 MB served by a loopback server (this program started
// again with -serve, so that the server shares a process with neither side) is downloaded
// by UpdateDownload, as the update check downloads a new installer: logging off, the
// progress window there, the update buffer of 1,024,000 bytes. Every round, against the same
// server, measures:
//   - the unsigned download (a package without "UPDATE KEY");
//   - the signed download (with "UPDATE KEY": every block hashed as it arrives, the
//     signature checked at the end);
//   - CryptoAPI hashing the same 100 MB alone (SHA-256, blocks of the buffer's size);
//   - the floor, a minimal program that sends the same request and writes what it receives
//     to a file with plain recv and WriteFile calls into a buffer of the same size.
// Each download is timed from its connect to its file's close (the floor reports its own).
// Targets: signed <= 1.1x (unsigned + hashing alone), so no second pass over the file;
// unsigned >= 0.90x the floor's throughput. Then both downloads again from the same server
// paced to 12.5 MB/s (a 100 Mbit/s line): signed >= 0.95x the unsigned throughput.
//
//   bench-update [-megabytes N] [-rounds N (even; default 10)] [-paced-rounds N (default 2)]
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

constexpr int64_t kLinePace = 12500000;  // bytes a second of a 100 Mbit/s line

int64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The served file's bytes, the same megabyte over and over.
const std::string& Megabyte() {
    static const std::string megabyte(1 << 20, 'u');
    return megabyte;
}

// Hashes `size` bytes of the served file from memory in pieces of `piece` bytes into
// `digest`, and ends it unless `keep`. The seconds, or -1 when the system's hashing failed.
double TimeHash(int64_t size, const std::vector<char>& piece, SignatureDigest* digest,
                bool keep) {
    LARGE_INTEGER start = Now();
    int ok = SignatureDigestBegin(digest);
    for (int64_t left = size; ok && left > 0; left -= static_cast<int64_t>(piece.size()))
        ok = SignatureDigestAdd(digest, piece.data(),
                                static_cast<int32_t>(std::min<int64_t>(left, piece.size())));
    uint8_t value[SIGNATURE_DIGEST_SIZE];
    if (!keep || !ok) ok = SignatureDigestEnd(digest, ok ? value : nullptr) && ok;
    LARGE_INTEGER end = Now();
    return ok ? Seconds(start, end) : -1;
}

// A new key into the context, and the offer of the signed file as the new-version dialog
// leaves it for the download: its address, version and signature.
bool PrepareSigned(ScriptContext* context, int64_t size, const std::vector<char>& piece,
                   const std::string& url) {
    uint8_t privateBlob[SIGNATURE_PRIVATE_MAX];
    int32_t privateLength = 0;
    char why[SIGNATURE_WHY_SIZE] = "";
    SignatureDigest digest;
    char signature[SIGNATURE_TEXT_SIZE];
    StrCopy(context->companyName, "Quorvex");
    StrCopy(context->productName, "Bench");
    StrCopy(context->productVersion, "1.0");
    if (!SignatureMakeKeys(privateBlob, &privateLength, context->updateKey, why) ||
        TimeHash(size, piece, &digest, true) < 0)
        return false;
    const int signedFile = SignatureSign(&digest, privateBlob, privateLength, "Bench", "2.0",
                                         signature, why);
    SignatureDigestEnd(&digest, nullptr);
    if (!signedFile) return false;
    // The new-version dialog is answered with the download; the progress window is left be.
    windriver::BoxAnswerer dialog(
        [](const std::string&, const std::string&) { return IDOK; }, GetCurrentProcessId(),
        [](HWND window) {
            return GetDlgItem(window, IDC_UPDATE_DOWNLOAD) != nullptr ? IDC_UPDATE_DOWNLOAD : 0;
        });
    std::string document = updatetest::SignedRecord("Quorvex Bench", "2.0", "", url, signature);
    return UpdateParseInfo(context, &document[0]) && UpdateCurrentChoice()->accepted;
}

// One download by the update check, signed or not, from the server at `port`; its seconds,
// or -1 when it failed or the file is not whole.
double TimeUpdateDownload(ScriptContext* context, int port, int signedUpdate, int64_t size,
                          char* buffer) {
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/bench/setup.exe";
    const std::string saved = std::string(context->installPath) + "setup.exe";
    context->signedUpdates = signedUpdate;
    LARGE_INTEGER start = Now();
    int ok = UpdateDownload(context, url.c_str(), 0, buffer, UPDATE_BUFFER_SIZE);
    LARGE_INTEGER end = Now();
    UpdateReleaseDownload();
    ok = ok && FileSize(saved) == size;
    DeleteFileA(saved.c_str());
    return ok ? Seconds(start, end) : -1;
}

// One download by the floor program, which reports its own seconds in `result`.
double TimeFloor(const std::string& work, int port, int64_t size) {
    const std::string file = work + "floor.bin";
    const std::string result = work + "floor.txt";
    windriver::Process floor;
    double seconds = -1;
    if (floor.Start("\"" + windriver::BesideSelf("bench-update-floor.exe") + "\" " +
                    std::to_string(port) + " \"" + file + "\" \"" + result + "\" " +
                    std::to_string(UPDATE_BUFFER_SIZE)) &&
        floor.Wait(600000) == 0) {
        FILE* f = fopen(result.c_str(), "r");
        if (f != nullptr) {
            if (fscanf(f, "%lf", &seconds) != 1) seconds = -1;
            fclose(f);
        }
    }
    if (FileSize(file) < size) seconds = -1;
    DeleteFileA(file.c_str());
    DeleteFileA(result.c_str());
    return seconds;
}

// The server's side: the file at full speed on one port and paced on another, until the
// port file has been removed.
int Serve(int64_t size, const char* portFile) {
    WSADATA data;
    if (WSAStartup(0x0101, &data) != 0) return 3;
    {
        // The response: its header, then the same megabyte over and over.
        const std::string& megabyte = Megabyte();
        const std::string head =
            "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
            std::to_string(size);
        updatetest::Reply reply{{updatetest::Piece{head + "\r\n\r\n"},
                                 updatetest::Piece{megabyte, 0, size >> 20},
                                 updatetest::Piece{megabyte.substr(0, size % (1 << 20))}}};
        updatetest::HttpServer fast;
        updatetest::HttpServer paced;
        fast.Serve(reply);
        reply.bytesPerSecond = kLinePace;
        paced.Serve(reply);
        if (fast.Port() == 0 || paced.Port() == 0) return 4;
        // Written under another name first, so the reader never sees half of it.
        const std::string partial = std::string(portFile) + ".part";
        FILE* f = fopen(partial.c_str(), "w");
        if (f == nullptr) return 5;
        fprintf(f, "%d %d\n", fast.Port(), paced.Port());
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

// Reads the ports the server wrote, waiting for them up to ten seconds; false when none came.
bool ServerPorts(const std::string& portFile, int* fast, int* paced) {
    for (int i = 0; i < 200; ++i) {
        FILE* f = fopen(portFile.c_str(), "r");
        if (f != nullptr) {
            const int read = fscanf(f, "%d %d", fast, paced);
            fclose(f);
            if (read == 2) return true;
        }
        Sleep(50);
    }
    return false;
}

double GeometricMean(const std::vector<double>& values) {
    double logSum = 0;
    for (double value : values) logSum += log(value);
    return exp(logSum / values.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "-serve") == 0) return Serve(_atoi64(argv[2]), argv[3]);
    int megabytes = 100;
    int rounds = 10;
    int pacedRounds = 2;
    for (int i = 1; i + 1 < argc; ++i) {
        if (strcmp(argv[i], "-megabytes") == 0) megabytes = atoi(argv[i + 1]);
        if (strcmp(argv[i], "-rounds") == 0) rounds = atoi(argv[i + 1]);
        if (strcmp(argv[i], "-paced-rounds") == 0) pacedRounds = atoi(argv[i + 1]);
    }
    rounds += rounds % 2;  // both orders equally often
    pacedRounds += pacedRounds % 2;
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
    int port = 0;
    int pacedPort = 0;
    if (!ServerPorts(portFile, &port, &pacedPort)) {
        fprintf(stderr, "bench-update: no loopback server\n");
        return 1;
    }
    ScriptContext* context = new ScriptContext{};
    StrCopy(context->installPath, work.c_str());
    std::vector<char> buffer(UPDATE_BUFFER_SIZE);
    // The bytes the server sends, in blocks of the update buffer's size, for hashing alone.
    std::vector<char> piece(UPDATE_BUFFER_SIZE, 'u');
    int status = 0;
    if (!PrepareSigned(context, size, piece,
                       "http://127.0.0.1:" + std::to_string(port) + "/bench/setup.exe")) {
        fprintf(stderr, "bench-update: no key or signature for the signed download\n");
        status = 1;
    }

    printf("Download of %d MB from 127.0.0.1, buffer %d bytes, %d rounds, %d paced rounds\n",
           megabytes, UPDATE_BUFFER_SIZE, rounds, pacedRounds);
    std::vector<double> unsignedTimes, signedTimes, hashTimes, floorTimes;
    std::vector<double> signedRatios, floorRatios, pacedRatios;
    SignatureDigest digest;
    // Round 0 warms up and is not counted; the order of the four measurements turns round
    // from one round to the next, and each round's run back to back, so that a change of the
    // machine's load between rounds shows in all of them.
    for (int r = 0; r <= rounds && status == 0; ++r) {
        double t[4] = {-1, -1, -1, -1};  // unsigned, signed, hashing alone, floor
        for (int step = 0; step < 4; ++step) {
            const int which = r % 2 == 0 ? step : 3 - step;
            if (which == 0) t[0] = TimeUpdateDownload(context, port, 0, size, buffer.data());
            if (which == 1) t[1] = TimeUpdateDownload(context, port, 1, size, buffer.data());
            if (which == 2) t[2] = TimeHash(size, piece, &digest, false);
            if (which == 3) t[3] = TimeFloor(work, port, size);
        }
        if (t[0] < 0 || t[1] < 0 || t[2] < 0 || t[3] < 0) {
            fprintf(stderr, "bench-update: a download or the hashing failed\n");
            status = 1;
        }
        if (status != 0 || r == 0) continue;
        printf("  round %d: unsigned %.3f s (%.0f MB/s), signed %.3f s, hashing alone %.3f s, "
               "floor %.3f s; signed / (unsigned + hashing) %.2fx, floor / unsigned %.2fx\n",
               r, t[0], megabytes / t[0], t[1], t[2], t[3], t[1] / (t[0] + t[2]), t[3] / t[0]);
        fflush(stdout);
        unsignedTimes.push_back(t[0]);
        signedTimes.push_back(t[1]);
        hashTimes.push_back(t[2]);
        floorTimes.push_back(t[3]);
        signedRatios.push_back(t[1] / (t[0] + t[2]));
        floorRatios.push_back(t[3] / t[0]);
    }
    // Paced to a line's speed: the hashing should hide in the waits for the network.
    for (int r = 0; r < pacedRounds && status == 0; ++r) {
        double u = -1;
        double s = -1;
        for (int step = 0; step < 2; ++step) {
            if ((step + r) % 2 == 0)
                u = TimeUpdateDownload(context, pacedPort, 0, size, buffer.data());
            else
                s = TimeUpdateDownload(context, pacedPort, 1, size, buffer.data());
        }
        if (u < 0 || s < 0) {
            fprintf(stderr, "bench-update: a paced download failed\n");
            status = 1;
            break;
        }
        printf("  paced round %d: unsigned %.3f s (%.2f MB/s), signed %.3f s (%.2f MB/s), "
               "signed throughput %.3fx\n",
               r + 1, u, megabytes / u, s, megabytes / s, u / s);
        fflush(stdout);
        pacedRatios.push_back(u / s);
    }
    if (status == 0) {
        // Whichever goes first in a round is a little slower; over an even number of rounds
        // each order came equally often, and the geometric mean of the rounds' ratios weighs
        // them alike.
        printf("median: unsigned %.3f s, signed %.3f s, hashing alone %.3f s (%.0f MB/s), "
               "floor %.3f s\n",
               Median(unsignedTimes), Median(signedTimes), Median(hashTimes),
               megabytes / Median(hashTimes), Median(floorTimes));
        printf("signed / (unsigned + hashing alone): %.3fx (target <= 1.10x)\n",
               GeometricMean(signedRatios));
        printf("unsigned throughput of the floor's: %.2fx (target >= 0.90x)\n",
               GeometricMean(floorRatios));
        printf("paced to 12.5 MB/s, signed throughput of the unsigned: %.3fx (target >= 0.95x)\n",
               GeometricMean(pacedRatios));
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
