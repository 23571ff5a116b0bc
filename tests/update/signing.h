// Keys and signatures for the tests of signed updates: key blobs put together byte by byte
// as the system exports them (for the parsers, on every target), and on Win32 real key
// pairs and signatures, made with the system's cryptography through the signing side of
// the code under test.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "vacate/signature.h"

#ifdef _WIN32
#include <windows.h>

#include <wincrypt.h>

#include <gtest/gtest.h>

#include "fixtures/fixture-test.h"
#endif

namespace signtest {

inline void PutLe32(std::string* blob, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) (*blob)[at + i] = static_cast<char>(value >> (8 * i));
}

// A key blob of `bits` bits: type, version 2, reserved, algorithm, magic, bit length, the
// exponent 65537 and `body` bytes of numbers.
inline std::string Blob(uint8_t type, uint32_t magic, uint32_t bits, size_t body,
                        uint32_t algorithm) {
    std::string blob(SIGNATURE_HEADER_SIZE + body, '\0');
    blob[0] = static_cast<char>(type);
    blob[1] = SIGNATURE_BLOB_VERSION;
    PutLe32(&blob, 4, algorithm);
    PutLe32(&blob, 8, magic);
    PutLe32(&blob, 12, bits);
    PutLe32(&blob, 16, 65537);
    for (size_t i = 0; i < body; ++i) blob[SIGNATURE_HEADER_SIZE + i] = static_cast<char>(i * 7 + 1);
    return blob;
}

inline std::string PublicBlob(uint32_t bits, uint32_t algorithm = SIGNATURE_CALG_RSA_SIGN) {
    return Blob(SIGNATURE_PUBLICKEYBLOB, SIGNATURE_MAGIC_PUBLIC, bits, bits / 8, algorithm);
}

// The modulus and private exponent of n bytes, five numbers of n / 2.
inline std::string PrivateBlob(uint32_t bits) {
    return Blob(SIGNATURE_PRIVATEKEYBLOB, SIGNATURE_MAGIC_PRIVATE, bits, bits / 8 * 9 / 2,
                SIGNATURE_CALG_RSA_SIGN);
}

inline std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (char c : bytes) {
        text += kDigits[static_cast<uint8_t>(c) >> 4];
        text += kDigits[static_cast<uint8_t>(c) & 0xF];
    }
    return text;
}

#ifdef _WIN32
struct KeyPair {
    std::string publicText;
    std::vector<uint8_t> privateBlob;
};

inline KeyPair MakeKeyPair() {
    KeyPair pair;
    uint8_t blob[SIGNATURE_PRIVATE_MAX];
    int32_t length = 0;
    char text[SIGNATURE_TEXT_SIZE];
    char why[SIGNATURE_WHY_SIZE] = "";
    EXPECT_EQ(1, SignatureMakeKeys(blob, &length, text, why)) << why;
    pair.publicText = text;
    pair.privateBlob.assign(blob, blob + length);
    return pair;
}

// The maker's key and a key of somebody else, made once for the test program.
inline const KeyPair& MakersKey() {
    static const KeyPair pair = MakeKeyPair();
    return pair;
}
inline const KeyPair& OtherKey() {
    static const KeyPair pair = MakeKeyPair();
    return pair;
}

// The '5' field's text for a file, or for bytes (written into a file of their own), signed
// for a product and a version.
inline std::string SignFile(const KeyPair& key, const std::string& path,
                            const char* product = "Updater", const char* version = "2.05") {
    std::vector<char> buffer(65536);
    SignatureDigest digest;
    char text[SIGNATURE_TEXT_SIZE] = "";
    char why[SIGNATURE_WHY_SIZE] = "";
    EXPECT_EQ(1, SignatureFileDigest(path.c_str(), buffer.data(),
                                     static_cast<int32_t>(buffer.size()), &digest, why))
        << why;
    EXPECT_EQ(1, SignatureSign(&digest, key.privateBlob.data(),
                               static_cast<int32_t>(key.privateBlob.size()), product, version,
                               text, why))
        << why;
    SignatureDigestEnd(&digest, nullptr);
    return text;
}
inline std::string SignBytes(const KeyPair& key, const std::string& bytes,
                             const char* product = "Updater", const char* version = "2.05") {
    fixture::ScratchFolder scratch(fixture::TempFolder(), "sign");
    const std::string path = scratch.path + "signed.bin";
    EXPECT_TRUE(fixture::WriteAll(path, bytes));
    return SignFile(key, path, product, version);
}

// A signature of the earlier form: the SHA-256 of the installer's bytes alone, signed.
inline std::string SignBytesAlone(const KeyPair& key, const std::string& bytes) {
    HCRYPTPROV provider = 0;
    HCRYPTKEY imported = 0;
    HCRYPTHASH hash = 0;
    BYTE signature[SIGNATURE_BLOB_MAX];
    DWORD length = sizeof signature;
    const bool made =
        CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
        CryptImportKey(provider, key.privateBlob.data(),
                       static_cast<DWORD>(key.privateBlob.size()), 0, 0, &imported) &&
        CryptCreateHash(provider, ALG_CLASS_HASH | ALG_TYPE_ANY | 12, 0, 0, &hash) &&
        CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()),
                      static_cast<DWORD>(bytes.size()), 0) &&
        CryptSignHashA(hash, AT_SIGNATURE, nullptr, 0, signature, &length);
    EXPECT_TRUE(made) << GetLastError();
    if (hash != 0) CryptDestroyHash(hash);
    if (imported != 0) CryptDestroyKey(imported);
    if (provider != 0) CryptReleaseContext(provider, 0);
    return made ? Hex(std::string(reinterpret_cast<char*>(signature), length)) : "";
}
#endif

}  // namespace signtest
