// The package builder's key pairs and installer signatures. The cryptography is the
// system's (vacate/windows/signature.cpp, the same code the uninstaller checks with); the
// host build has none and says so.
#include "tools/vacate-pack/packsign.h"

#include <stdio.h>
#include <string.h>

#include <filesystem>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "tools/vacate-pack/vacatepack.h"
#include "vacate/script.h"
#include "vacate/signature.h"
#include "vacate/update.h"

namespace {

#ifdef _WIN32
// A file that did not exist before, written whole (removed again when the write fails).
int WriteNewFile(const char* path, const uint8_t* bytes, int32_t length, std::string* error) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        *error = std::string(path) + (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS
                                          ? ": exists already; a private key is never overwritten"
                                          : ": cannot be created");
        return 0;
    }
    DWORD written = 0;
    const bool wrote = WriteFile(file, bytes, static_cast<DWORD>(length), &written, nullptr) &&
                       written == static_cast<DWORD>(length);
    const bool closed = CloseHandle(file) != 0;
    if (!wrote || !closed) {
        DeleteFileA(path);
        *error = std::string(path) + ": write error";
        return 0;
    }
    return 1;
}

// The read buffer of signing: large pieces, as the uninstaller reads a download.
constexpr int32_t kReadSize = 1 << 20;
#else
int NeedsWindows(const char* command, std::string* error) {
    *error = std::string(command) +
             " needs the Windows build of vacate-pack, which signs with the system's "
             "cryptography (run the win32 build's vacate-pack.exe, under Wine on Linux)";
    return 0;
}
#endif

// What the uninstaller binds a signature to must be what it reads: the script's product
// name (a field of printable bytes) and the record's version number as its text, a plain
// decimal number that reads exactly.
int SignedFor(const char* productName, const char* version, std::string* error) {
    const size_t length = strlen(productName);
    bool printable = length > 0 && length < static_cast<size_t>(SCRIPT_TEXT_SIZE);
    for (size_t i = 0; i < length; ++i)
        printable = printable && productName[i] >= 0x20 && productName[i] < 0x7F;
    if (!printable) {
        *error = std::string("product name '") + productName +
                 "': not a PRODUCT NAME a script holds (1 to 159 printable characters)";
        return 0;
    }
    // Versions compare as real numbers: "1.7.5" would read as 17.5.
    if (!UpdateVersionPlain(version)) {
        *error = std::string("version '") + version +
                 "': not a plain decimal number (digits with at most one point, at most " +
                 std::to_string(UPDATE_VERSION_DIGITS) +
                 " digits, as the record's '2' field starts, e.g. 2.05)";
        return 0;
    }
    return 1;
}

}  // namespace

int PackKeygen(const char* privatePath, std::string* publicText, std::string* error) {
    publicText->clear();
#ifdef _WIN32
    std::error_code failed;
    if (std::filesystem::exists(privatePath, failed)) {
        *error = std::string(privatePath) + ": exists already; a private key is never overwritten";
        return 0;
    }
    uint8_t blob[SIGNATURE_PRIVATE_MAX];
    int32_t length = 0;
    char text[SIGNATURE_TEXT_SIZE];
    char why[SIGNATURE_WHY_SIZE];
    if (!SignatureMakeKeys(blob, &length, text, why)) {
        *error = why;
        return 0;
    }
    const int written = WriteNewFile(privatePath, blob, length, error);
    SecureZeroMemory(blob, sizeof blob);
    if (!written) return 0;
    *publicText = text;
    return 1;
#else
    (void)privatePath;
    return NeedsWindows("keygen", error);
#endif
}

int PackSign(const char* installerPath, const char* privatePath, const char* productName,
             const char* version, std::string* signatureText, std::string* error) {
    signatureText->clear();
    if (!SignedFor(productName, version, error)) return 0;
#ifdef _WIN32
    std::error_code failed;
    const uintmax_t size = std::filesystem::file_size(privatePath, failed);
    if (failed) {
        *error = std::string(privatePath) + ": cannot be opened";
        return 0;
    }
    if (size > static_cast<uintmax_t>(SIGNATURE_PRIVATE_MAX)) {
        *error = std::string(privatePath) + ": not a private key file (too large)";
        return 0;
    }
    PackBytes key;
    if (!PackReadFile(privatePath, &key, error)) return 0;
    int32_t modulusBytes = 0;
    const char* reason = "";
    if (!SignaturePrivateKeyCheck(key.data(), static_cast<int32_t>(key.size()), &modulusBytes,
                                  &reason)) {
        *error = std::string(privatePath) + ": not a private key file (" + reason + ")";
        return 0;
    }
    std::vector<char> buffer(kReadSize);
    SignatureDigest digest;
    char text[SIGNATURE_TEXT_SIZE];
    char why[SIGNATURE_WHY_SIZE] = "";
    int signedFile = SignatureFileDigest(installerPath, buffer.data(), kReadSize, &digest, why);
    if (signedFile) {
        signedFile = SignatureSign(&digest, key.data(), static_cast<int32_t>(key.size()),
                                   productName, version, text, why);
        SignatureDigestEnd(&digest, nullptr);
    }
    SecureZeroMemory(key.data(), key.size());
    if (!signedFile) {
        *error = why;
        return 0;
    }
    *signatureText = text;
    return 1;
#else
    (void)installerPath;
    (void)privatePath;
    return NeedsWindows("sign", error);
#endif
}

int PackSignCommand(int argc, char** argv, int* exitCode) {
    const bool keygen = argc == 3 && strcmp(argv[1], "keygen") == 0;
    const bool sign = argc == 6 && strcmp(argv[1], "sign") == 0;
    if (argc == 4 && strcmp(argv[1], "sign") == 0) {
        // The earlier form signed the installer alone, which uninstallers now refuse.
        fprintf(stderr, "vacate-pack: sign needs the product name and the version: sign "
                        "<installer> <private key file> <product name> <version>\n");
        *exitCode = 2;
        return 1;
    }
    if (!keygen && !sign) return 0;
    std::string text;
    std::string error;
    const int done = keygen ? PackKeygen(argv[2], &text, &error)
                            : PackSign(argv[2], argv[3], argv[4], argv[5], &text, &error);
    if (!done) {
        fprintf(stderr, "vacate-pack: %s\n", error.c_str());
        *exitCode = 1;
        return 1;
    }
    printf("%s\n", text.c_str());
    *exitCode = 0;
    return 1;
}
