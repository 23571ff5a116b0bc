// Signed updates on the system's own cryptography: RSA keys and SHA-256 signatures in a
// verification context of the RSA and AES provider type. The uninstaller hashes a download
// as it arrives and checks its signature here; the package builder makes key pairs and
// signs installers with the same message and the same blob formats.
#include <windows.h>

#include <wincrypt.h>

#include "tessel/platform.h"
#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "vacate/signature.h"

static const char kSrc[] = "signature";

namespace {

// CryptoAPI, found in the system's library at its first use: the first Windows 95 has none
// (it came with Internet Explorer 3.02 and Windows 95 OSR2), and importing it would keep the
// uninstaller from starting there at all. Where any call is missing, no provider opens, so
// that no installer runs unchecked.
struct CryptoCalls {
    BOOL(WINAPI* acquireContext)(HCRYPTPROV*, LPCSTR, LPCSTR, DWORD, DWORD);
    BOOL(WINAPI* releaseContext)(HCRYPTPROV, DWORD);
    BOOL(WINAPI* createHash)(HCRYPTPROV, ALG_ID, HCRYPTKEY, DWORD, HCRYPTHASH*);
    BOOL(WINAPI* hashData)(HCRYPTHASH, const BYTE*, DWORD, DWORD);
    BOOL(WINAPI* getHashParam)(HCRYPTHASH, DWORD, BYTE*, DWORD*, DWORD);
    BOOL(WINAPI* setHashParam)(HCRYPTHASH, DWORD, const BYTE*, DWORD);
    BOOL(WINAPI* destroyHash)(HCRYPTHASH);
    BOOL(WINAPI* importKey)(HCRYPTPROV, const BYTE*, DWORD, HCRYPTKEY, DWORD, HCRYPTKEY*);
    BOOL(WINAPI* destroyKey)(HCRYPTKEY);
    BOOL(WINAPI* verifySignature)(HCRYPTHASH, const BYTE*, DWORD, HCRYPTKEY, LPCSTR, DWORD);
    BOOL(WINAPI* signHash)(HCRYPTHASH, DWORD, LPCSTR, DWORD, BYTE*, DWORD*);
    BOOL(WINAPI* genKey)(HCRYPTPROV, ALG_ID, DWORD, HCRYPTKEY*);
    BOOL(WINAPI* exportKey)(HCRYPTKEY, HCRYPTKEY, DWORD, DWORD, BYTE*, DWORD*);
};
CryptoCalls gCrypto;
int gCryptoAsked = 0;

template <typename Fn>
int Find(const char* name, Fn* slot) {
    return PlatformFind("advapi32.dll", name, PLATFORM_ANY, slot);
}

// 1 when every call is there (looked up once).
int CryptoLoaded() {
    if (!gCryptoAsked) {
        gCryptoAsked = 1;
        CryptoCalls calls = {};
        if (Find("CryptAcquireContextA", &calls.acquireContext) &&
            Find("CryptReleaseContext", &calls.releaseContext) &&
            Find("CryptCreateHash", &calls.createHash) && Find("CryptHashData", &calls.hashData) &&
            Find("CryptGetHashParam", &calls.getHashParam) &&
            Find("CryptSetHashParam", &calls.setHashParam) &&
            Find("CryptDestroyHash", &calls.destroyHash) &&
            Find("CryptImportKey", &calls.importKey) && Find("CryptDestroyKey", &calls.destroyKey) &&
            Find("CryptVerifySignatureA", &calls.verifySignature) &&
            Find("CryptSignHashA", &calls.signHash) && Find("CryptGenKey", &calls.genKey) &&
            Find("CryptExportKey", &calls.exportKey))
            gCrypto = calls;
    }
    return gCrypto.acquireContext != nullptr;
}

// SHA-256, which the headers name only for systems from XP SP3 on (the program is built for
// XP); the RSA and AES provider type has it there, and on older systems no provider of the
// type opens at all, so that no installer runs unchecked.
constexpr ALG_ID kSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;  // ALG_SID_SHA_256

// The provider, key and hash of one operation, released in reverse order when it ends; a
// provider borrowed from a digest stays its digest's.
struct Crypto {
    HCRYPTPROV provider = 0;
    HCRYPTKEY key = 0;
    HCRYPTHASH hash = 0;
    bool borrowed = false;
    ~Crypto() {
        if (hash != 0) gCrypto.destroyHash(hash);
        if (key != 0) gCrypto.destroyKey(key);
        if (provider != 0 && !borrowed) gCrypto.releaseContext(provider, 0);
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

// The RSA and AES provider is asked for by its type: its name differs between systems
// (an older service pack's bears another), and any provider of the type does SHA-256.
int OpenProvider(HCRYPTPROV* provider, char* why) {
    *provider = 0;
    if (!CryptoLoaded())
        return Fail(why, "This system has no cryptography of its own (CryptoAPI) to check "
                         "signatures with");
    if (gCrypto.acquireContext(provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        return 1;
    *provider = 0;
    return Fail(why, "Unable to open an RSA and AES provider (0x%.8X)", LastError());
}

// A SHA-256 hash object of the provider; 0 with `*hash` 0 on failure.
int MakeHash(HCRYPTPROV provider, HCRYPTHASH* hash, char* why) {
    if (gCrypto.createHash(provider, kSha256, 0, 0, hash)) return 1;
    *hash = 0;
    return Fail(why, "Unable to make a SHA-256 hash (0x%.8X)", LastError());
}

// The hash of the update message for the product, version and installer digest.
int HashMessage(Crypto* crypto, const char* productName, const char* version,
                const uint8_t* digest, char* why) {
    uint8_t message[SIGNATURE_MESSAGE_MAX];
    int32_t length = 0;
    const char* reason = "";
    if (!SignatureMessage(productName, version, digest, message, &length, &reason))
        return Fail(why, "No update message to sign or check (%s)", reason);
    if (!MakeHash(crypto->provider, &crypto->hash, why)) return 0;
    if (gCrypto.hashData(crypto->hash, message, static_cast<DWORD>(length), 0)) return 1;
    return Fail(why, "Unable to hash the update message (0x%.8X)", LastError());
}

int ImportKey(Crypto* crypto, const uint8_t* blob, int32_t length, const char* keyName,
              char* why) {
    if (gCrypto.importKey(crypto->provider, blob, static_cast<DWORD>(length), 0, 0, &crypto->key))
        return 1;
    crypto->key = 0;
    return Fail(why, "%s refused by the provider (0x%.8X)", keyName, LastError());
}

int Verifies(Crypto* crypto, const uint8_t* signature, int32_t length) {
    return gCrypto.verifySignature(crypto->hash, signature, static_cast<DWORD>(length),
                                 crypto->key, nullptr, 0);
}

// The value of a digest whose bytes are all in, and its provider lent to `crypto`: a second
// provider would cost as much as hashing megabytes under Wine.
int DigestValue(SignatureDigest* digest, uint8_t* value, Crypto* crypto, char* why) {
    DWORD length = SIGNATURE_DIGEST_SIZE;
    if (digest->hash == 0 || !gCrypto.getHashParam(digest->hash, HP_HASHVAL, value, &length, 0) ||
        length != SIGNATURE_DIGEST_SIZE)
        return Fail(why, "No SHA-256 value to sign or check (0x%.8X)", LastError());
    crypto->provider = digest->provider;
    crypto->borrowed = true;
    return 1;
}

}  // namespace

int SignatureDigestBegin(SignatureDigest* digest) {
    TSL_NOT_NULL(kSrc, digest);
    *digest = SignatureDigest{};
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    if (!OpenProvider(&provider, nullptr)) return 0;
    if (!MakeHash(provider, &hash, nullptr)) {
        gCrypto.releaseContext(provider, 0);
        return 0;
    }
    digest->provider = provider;
    digest->hash = hash;
    return 1;
}

int SignatureAvailable() {
    SignatureDigest digest = {};
    const int available = SignatureDigestBegin(&digest);
    SignatureDigestEnd(&digest, nullptr);
    return available;
}

int SignatureDigestAdd(SignatureDigest* digest, const void* bytes, int32_t length) {
    TSL_NOT_NULL(kSrc, digest);
    TSL_NOT_NULL(kSrc, bytes);
    if (digest->hash == 0 || length < 0) return 0;
    if (gCrypto.hashData(digest->hash, static_cast<const BYTE*>(bytes), static_cast<DWORD>(length),
                      0))
        return 1;
    return Fail(nullptr, "Unable to hash the download (0x%.8X)", LastError());
}

int SignatureDigestEnd(SignatureDigest* digest, uint8_t* value) {
    TSL_NOT_NULL(kSrc, digest);
    Crypto lent;
    const int given = value != nullptr && DigestValue(digest, value, &lent, nullptr);
    if (digest->hash != 0) gCrypto.destroyHash(digest->hash);
    if (digest->provider != 0) gCrypto.releaseContext(digest->provider, 0);
    *digest = SignatureDigest{};
    return given;
}

int SignatureFileDigest(const char* path, char* buffer, int32_t size, SignatureDigest* digest,
                        char* why) {
    TSL_NOT_NULL(kSrc, path);
    TSL_NOT_NULL(kSrc, buffer);
    if (size < 1) TSL_FAIL(kSrc, "Invalid read buffer size (%d)\n", size);
    if (!SignatureDigestBegin(digest)) return Fail(why, "Unable to hash '%s'", path);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    int hashed = file != INVALID_HANDLE_VALUE
                     ? 1
                     : Fail(why, "Unable to open '%s' (0x%.8X)", path, LastError());
    for (DWORD got = 0; hashed;) {
        if (!ReadFile(file, buffer, static_cast<DWORD>(size), &got, nullptr))
            hashed = Fail(why, "Unable to read '%s' (0x%.8X)", path, LastError());
        else if (got == 0)
            break;
        else if (!SignatureDigestAdd(digest, buffer, static_cast<int32_t>(got)))
            hashed = Fail(why, "Unable to hash '%s'", path);
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!hashed) SignatureDigestEnd(digest, nullptr);
    return hashed;
}

int SignatureCheck(SignatureDigest* digest, const char* keyText, const char* signatureText,
                   const char* productName, const char* version) {
    TSL_NOT_NULL(kSrc, digest);
    TSL_NOT_NULL(kSrc, keyText);
    TSL_NOT_NULL(kSrc, signatureText);
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
    uint8_t value[SIGNATURE_DIGEST_SIZE];
    if (!DigestValue(digest, value, &crypto, nullptr) ||
        !ImportKey(&crypto, blob, blobLength, "Update key", nullptr) ||
        !HashMessage(&crypto, productName, version, value, nullptr))
        return 0;
    if (Verifies(&crypto, signature, signatureLength)) return 1;
    const unsigned error = LastError();
    // The earlier form signed the installer's bytes alone, bound to no product or version.
    gCrypto.destroyHash(crypto.hash);
    crypto.hash = 0;
    if (MakeHash(crypto.provider, &crypto.hash, nullptr) &&
        gCrypto.setHashParam(crypto.hash, HP_HASHVAL, value, 0) &&
        Verifies(&crypto, signature, signatureLength))
        return Fail(nullptr, "Update signature of the earlier form (the installer's bytes alone) "
                             "refused: the release must be signed again with its product and "
                             "version");
    return Fail(nullptr, "Update signature does not match product '%s' version '%s' (0x%.8X)",
                productName, version, error);
}

int SignatureMakeKeys(uint8_t* privateBlob, int32_t* privateLength, char* publicText,
                      char* why) {
    TSL_NOT_NULL(kSrc, privateBlob);
    TSL_NOT_NULL(kSrc, privateLength);
    TSL_NOT_NULL(kSrc, publicText);
    *privateLength = 0;
    publicText[0] = '\0';
    Crypto crypto;
    if (!OpenProvider(&crypto.provider, why)) return 0;
    if (!gCrypto.genKey(crypto.provider, AT_SIGNATURE,
                     static_cast<DWORD>(SIGNATURE_KEY_BITS) << 16 | CRYPT_EXPORTABLE,
                     &crypto.key)) {
        crypto.key = 0;
        return Fail(why, "Unable to make a %d-bit RSA key (0x%.8X)", SIGNATURE_KEY_BITS,
                    LastError());
    }
    uint8_t publicBlob[SIGNATURE_BLOB_MAX];
    DWORD publicLength = sizeof publicBlob;
    DWORD length = SIGNATURE_PRIVATE_MAX;
    if (!gCrypto.exportKey(crypto.key, 0, PUBLICKEYBLOB, 0, publicBlob, &publicLength) ||
        !gCrypto.exportKey(crypto.key, 0, PRIVATEKEYBLOB, 0, privateBlob, &length))
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

int SignatureSign(SignatureDigest* digest, const uint8_t* privateBlob, int32_t privateLength,
                  const char* productName, const char* version, char* signatureText, char* why) {
    TSL_NOT_NULL(kSrc, digest);
    TSL_NOT_NULL(kSrc, privateBlob);
    TSL_NOT_NULL(kSrc, signatureText);
    signatureText[0] = '\0';
    int32_t modulusBytes = 0;
    const char* reason = "";
    if (!SignaturePrivateKeyCheck(privateBlob, privateLength, &modulusBytes, &reason))
        return Fail(why, "Not a private key (%s)", reason);
    if (modulusBytes > SIGNATURE_BLOB_MAX)
        return Fail(why, "Key too large: its signatures would not fit the '5' field");

    Crypto crypto;
    uint8_t value[SIGNATURE_DIGEST_SIZE];
    if (!DigestValue(digest, value, &crypto, why) ||
        !ImportKey(&crypto, privateBlob, privateLength, "Private key", why) ||
        !HashMessage(&crypto, productName, version, value, why))
        return 0;
    // The key sits in the place its algorithm gives it.
    const DWORD slot = privateBlob[4] == (SIGNATURE_CALG_RSA_KEYX & 0xFF) &&
                               privateBlob[5] == (SIGNATURE_CALG_RSA_KEYX >> 8 & 0xFF)
                           ? AT_KEYEXCHANGE
                           : AT_SIGNATURE;
    uint8_t signature[SIGNATURE_BLOB_MAX];
    DWORD length = sizeof signature;
    if (!gCrypto.signHash(crypto.hash, slot, nullptr, 0, signature, &length))
        return Fail(why, "Unable to sign (0x%.8X)", LastError());
    SignatureHexEncode(signature, static_cast<int32_t>(length), signatureText,
                       SIGNATURE_TEXT_SIZE);
    return 1;
}
