// Signed updates on the system's own cryptography: RSA keys and SHA-256 signatures in a
// verification context of the enhanced RSA and AES provider. The uninstaller checks a
// downloaded installer here; the package builder makes key pairs and signs installers with
// the same file reading and the same blob formats.
#include <windows.h>

#include <wincrypt.h>

#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "vacate/signature.h"

static const char kSrc[] = "signature";

namespace {

// SHA-256, which the headers name only for systems from XP SP3 on (the program is built for
// XP); the enhanced RSA and AES provider has it there, and on older systems it does not
// open at all, so that no installer runs unchecked.
constexpr ALG_ID kSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;  // ALG_SID_SHA_256

// The provider, key and hash of one operation, released in reverse order when it ends.
struct Crypto {
    HCRYPTPROV provider = 0;
    HCRYPTKEY key = 0;
    HCRYPTHASH hash = 0;
    ~Crypto() {
        if (hash != 0) CryptDestroyHash(hash);
        if (key != 0) CryptDestroyKey(key);
        if (provider != 0) CryptReleaseContext(provider, 0);
    }
};

// Logs the reason an operation failed, gives it to the caller when asked (`why` holds
// SIGNATURE_WHY_SIZE bytes) and returns 0.
int Fail(char* why, const char* format, ...) {
    char text[SIGNATURE_WHY_SIZE];
    va_list arguments;
    va_start(arguments, format);
    StrVPrintf(text, sizeof text, format, arguments);
    va_end(arguments);
    LogPrint("%s\n", text);
    if (why != nullptr) StrCopy(why, text);
    return 0;
}

unsigned LastError() { return static_cast<unsigned>(GetLastError()); }

int OpenProvider(Crypto* crypto, char* why) {
    if (CryptAcquireContextA(&crypto->provider, nullptr, MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES,
                             CRYPT_VERIFYCONTEXT))
        return 1;
    crypto->provider = 0;
    return Fail(why, "Unable to open the RSA and AES provider (0x%.8X)", LastError());
}

// Opens a file for reading while nobody else may write, rename or delete it.
HANDLE OpenLocked(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// The SHA-256 hash of an open file from where it stands to its end, read in pieces of at
// most `size` bytes through `buffer`.
int HashFile(Crypto* crypto, HANDLE file, const char* path, char* buffer, int32_t size,
             char* why) {
    if (!CryptCreateHash(crypto->provider, kSha256, 0, 0, &crypto->hash)) {
        crypto->hash = 0;
        return Fail(why, "Unable to make a SHA-256 hash (0x%.8X)", LastError());
    }
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, static_cast<DWORD>(size), &got, nullptr))
            return Fail(why, "Unable to read '%s' (0x%.8X)", path, LastError());
        if (got == 0) return 1;
        if (!CryptHashData(crypto->hash, reinterpret_cast<const BYTE*>(buffer), got, 0))
            return Fail(why, "Unable to hash '%s' (0x%.8X)", path, LastError());
    }
}

// Imports a key blob (`keyName` for messages) and hashes the file at `path`, opened for
// reading only and locked against writers; on 1 the file is left open in `*file` for the
// caller to close.
int HashWithKey(Crypto* crypto, const uint8_t* blob, int32_t length, const char* keyName,
                const char* path, char* buffer, int32_t size, HANDLE* file, char* why) {
    *file = INVALID_HANDLE_VALUE;
    if (!OpenProvider(crypto, why)) return 0;
    if (!CryptImportKey(crypto->provider, blob, static_cast<DWORD>(length), 0, 0, &crypto->key)) {
        crypto->key = 0;
        return Fail(why, "%s refused by the provider (0x%.8X)", keyName, LastError());
    }
    HANDLE opened = OpenLocked(path);
    if (opened == INVALID_HANDLE_VALUE)
        return Fail(why, "Unable to open '%s' (0x%.8X)", path, LastError());
    if (!HashFile(crypto, opened, path, buffer, size, why)) {
        CloseHandle(opened);
        return 0;
    }
    *file = opened;
    return 1;
}

int CheckBuffer(const char* buffer, int32_t size) {
    TSL_NOT_NULL(kSrc, buffer);
    if (size < 1) TSL_FAIL(kSrc, "Invalid read buffer size (%d)\n", size);
    return 1;
}

}  // namespace

int SignatureVerifyFile(const char* path, const char* keyText, const char* signatureText,
                        char* buffer, int32_t size, void** held) {
    TSL_NOT_NULL(kSrc, path);
    TSL_NOT_NULL(kSrc, keyText);
    TSL_NOT_NULL(kSrc, signatureText);
    TSL_NOT_NULL(kSrc, held);
    CheckBuffer(buffer, size);
    *held = nullptr;

    uint8_t blob[SIGNATURE_BLOB_MAX];
    int32_t blobLength = 0;
    int32_t modulusBytes = 0;
    const char* why = "";
    if (!SignatureKeyParse(keyText, blob, &blobLength, &modulusBytes, &why))
        return Fail(nullptr, "Update key cannot be read (%s)", why);
    if (signatureText[0] == '\0') return Fail(nullptr, "Update signature missing");
    uint8_t signature[SIGNATURE_BLOB_MAX];
    int32_t signatureLength = 0;
    if (!SignatureParse(signatureText, modulusBytes, signature, &signatureLength, &why))
        return Fail(nullptr, "Update signature cannot be read (%s)", why);

    Crypto crypto;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (!HashWithKey(&crypto, blob, blobLength, "Update key", path, buffer, size, &file, nullptr))
        return 0;
    if (!CryptVerifySignatureA(crypto.hash, signature, static_cast<DWORD>(signatureLength),
                               crypto.key, nullptr, 0)) {
        const unsigned error = LastError();
        CloseHandle(file);
        return Fail(nullptr, "Update signature does not match '%s' (0x%.8X)", path, error);
    }
    LogPrint("Update signature checks out '%s'\n", path);
    *held = file;
    return 1;
}

int SignatureRelease(void** held) {
    TSL_NOT_NULL(kSrc, held);
    if (*held != nullptr) CloseHandle(static_cast<HANDLE>(*held));
    *held = nullptr;
    return 1;
}

int SignatureMakeKeys(uint8_t* privateBlob, int32_t* privateLength, char* publicText,
                      char* why) {
    TSL_NOT_NULL(kSrc, privateBlob);
    TSL_NOT_NULL(kSrc, privateLength);
    TSL_NOT_NULL(kSrc, publicText);
    *privateLength = 0;
    publicText[0] = '\0';
    Crypto crypto;
    if (!OpenProvider(&crypto, why)) return 0;
    if (!CryptGenKey(crypto.provider, AT_SIGNATURE,
                     static_cast<DWORD>(SIGNATURE_KEY_BITS) << 16 | CRYPT_EXPORTABLE,
                     &crypto.key)) {
        crypto.key = 0;
        return Fail(why, "Unable to make a %d-bit RSA key (0x%.8X)", SIGNATURE_KEY_BITS,
                    LastError());
    }
    uint8_t publicBlob[SIGNATURE_BLOB_MAX];
    DWORD publicLength = sizeof publicBlob;
    DWORD length = SIGNATURE_PRIVATE_MAX;
    if (!CryptExportKey(crypto.key, 0, PUBLICKEYBLOB, 0, publicBlob, &publicLength) ||
        !CryptExportKey(crypto.key, 0, PRIVATEKEYBLOB, 0, privateBlob, &length))
        return Fail(why, "Unable to export the new key (0x%.8X)", LastError());
    // What was made must be what the builder and the uninstaller read back.
    int32_t publicBytes = 0;
    int32_t privateBytes = 0;
    const char* reason = "";
    if (!SignatureKeyCheck(publicBlob, static_cast<int32_t>(publicLength), &publicBytes,
                           &reason) ||
        !SignaturePrivateKeyCheck(privateBlob, static_cast<int32_t>(length), &privateBytes,
                                  &reason) ||
        !SignatureHexEncode(publicBlob, static_cast<int32_t>(publicLength), publicText,
                            SIGNATURE_TEXT_SIZE)) {
        SecureZeroMemory(privateBlob, length);
        return Fail(why, "The new key has an unexpected form (%s)", reason);
    }
    *privateLength = static_cast<int32_t>(length);
    return 1;
}

int SignatureSignFile(const char* path, const uint8_t* privateBlob, int32_t privateLength,
                      char* buffer, int32_t size, char* signatureText, char* why) {
    TSL_NOT_NULL(kSrc, path);
    TSL_NOT_NULL(kSrc, privateBlob);
    TSL_NOT_NULL(kSrc, signatureText);
    CheckBuffer(buffer, size);
    signatureText[0] = '\0';
    int32_t modulusBytes = 0;
    const char* reason = "";
    if (!SignaturePrivateKeyCheck(privateBlob, privateLength, &modulusBytes, &reason))
        return Fail(why, "Not a private key (%s)", reason);
    if (modulusBytes > SIGNATURE_BLOB_MAX)
        return Fail(why, "Key too large: its signatures would not fit the '5' field");

    Crypto crypto;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (!HashWithKey(&crypto, privateBlob, privateLength, "Private key", path, buffer, size,
                     &file, why))
        return 0;
    CloseHandle(file);

    // The key sits in the place its algorithm gives it.
    const DWORD slot = privateBlob[4] == (SIGNATURE_CALG_RSA_KEYX & 0xFF) &&
                               privateBlob[5] == (SIGNATURE_CALG_RSA_KEYX >> 8 & 0xFF)
                           ? AT_KEYEXCHANGE
                           : AT_SIGNATURE;
    uint8_t signature[SIGNATURE_BLOB_MAX];
    DWORD length = sizeof signature;
    if (!CryptSignHashA(crypto.hash, slot, nullptr, 0, signature, &length))
        return Fail(why, "Unable to sign '%s' (0x%.8X)", path, LastError());
    SignatureHexEncode(signature, static_cast<int32_t>(length), signatureText,
                       SIGNATURE_TEXT_SIZE);
    return 1;
}
