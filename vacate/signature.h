// Signed updates: a package whose script carries "UPDATE KEY" (the maker's RSA public key)
// runs a downloaded installer only when the signature of its version record ('5') checks
// out against that key. What is signed is the update message: the product's name, the
// version the record offers and the SHA-256 of the installer, so that an installer signed
// for another product or another version does not check out. Keys and signatures travel
// as hexadecimal text: the key is the system's public-key blob as it is exported, the
// signature the bytes the system's signing call gives (SHA-256 of the message, RSA). The
// pure parts here (hex text, the blobs' headers, the message) build on every target; the
// system's cryptography is on the Win32 side (windows/signature.cpp).
#pragma once

#include <stdint.h>

constexpr int SIGNATURE_TEXT_SIZE = 1024;  // "UPDATE KEY" and the '5' field, with terminator
constexpr int32_t SIGNATURE_BLOB_MAX = (SIGNATURE_TEXT_SIZE - 1) / 2;  // bytes the text holds
constexpr int32_t SIGNATURE_PRIVATE_MAX = 4096;  // a private-key file's bytes at most
constexpr int SIGNATURE_KEY_BITS = 2048;         // the size of the keys the builder makes

// The blob header of the system's RSA keys: blob type, version, key algorithm, then the
// RSA magic, the modulus's bit length and the public exponent; the modulus follows.
constexpr uint8_t SIGNATURE_PUBLICKEYBLOB = 0x06;
constexpr uint8_t SIGNATURE_PRIVATEKEYBLOB = 0x07;
constexpr uint8_t SIGNATURE_BLOB_VERSION = 2;
constexpr uint32_t SIGNATURE_CALG_RSA_SIGN = 0x00002400;
constexpr uint32_t SIGNATURE_CALG_RSA_KEYX = 0x0000A400;
constexpr uint32_t SIGNATURE_MAGIC_PUBLIC = 0x31415352;   // "RSA1"
constexpr uint32_t SIGNATURE_MAGIC_PRIVATE = 0x32415352;  // "RSA2"
constexpr int32_t SIGNATURE_HEADER_SIZE = 20;

constexpr int32_t SIGNATURE_DIGEST_SIZE = 32;  // SHA-256
// The update message: the tag "vacate update" and a zero byte, the product's name and a zero
// byte, the version text and a zero byte, then the installer's SHA-256 (32 bytes). Names
// and versions are zero-terminated texts, so the zero bytes keep the parts apart.
constexpr char SIGNATURE_MESSAGE_TAG[] = "vacate update";
constexpr int32_t SIGNATURE_MESSAGE_MAX = 512;  // room for the longest name and version

// Lays out the update message in `out` (SIGNATURE_MESSAGE_MAX bytes) and gives its length.
// 0 (with `why` set) for an empty name or version, or one that does not fit.
int SignatureMessage(const char* productName, const char* version,
                     const uint8_t digest[SIGNATURE_DIGEST_SIZE], uint8_t* out,
                     int32_t* length, const char** why);

// Decodes hexadecimal text (pairs of digits, letter case ignored, nothing else) into `out`
// of `capacity` bytes. 1 with `*length` set; 0 (and `*length` 0) for empty text, any other
// character, an odd count of digits or more bytes than fit. `why`, when not null, gets a
// short reason for the log or the builder's message.
int SignatureHexDecode(const char* text, uint8_t* out, int32_t capacity, int32_t* length,
                       const char** why);

// Writes `length` bytes as upper-case hexadecimal text into `text` of `capacity` bytes;
// 0 (and `text` empty) when the text and its terminator do not fit.
int SignatureHexEncode(const uint8_t* bytes, int32_t length, char* text, int32_t capacity);

// Checks the header of an RSA public-key blob of `length` bytes: type PUBLICKEYBLOB,
// version 2, algorithm RSA signature or key exchange, magic "RSA1", a bit length that is a
// whole number of bytes and the blob's length that the bit length gives. 1 with
// `*modulusBytes` (the size of the signatures it checks); 0 with `why` set.
int SignatureKeyCheck(const uint8_t* blob, int32_t length, int32_t* modulusBytes,
                      const char** why);

// The same checks for a private-key blob (type PRIVATEKEYBLOB, magic "RSA2", the modulus,
// the two primes, their three exponents and coefficient, and the private exponent).
int SignaturePrivateKeyCheck(const uint8_t* blob, int32_t length, int32_t* modulusBytes,
                             const char** why);

// The text of "UPDATE KEY": decoded into `blob` (SIGNATURE_BLOB_MAX bytes) and checked.
// 1 with the blob's length and the modulus's bytes; 0 with `why` set.
int SignatureKeyParse(const char* text, uint8_t* blob, int32_t* length, int32_t* modulusBytes,
                      const char** why);

// The text of a '5' field: decoded into `signature` (SIGNATURE_BLOB_MAX bytes); it must
// have exactly the key's `modulusBytes`. 1 with its length; 0 with `why` set.
int SignatureParse(const char* text, int32_t modulusBytes, uint8_t* signature, int32_t* length,
                   const char** why);

#ifdef _WIN32
// A SHA-256 hash computed by the system's cryptography as bytes come, in a context of the
// RSA and AES provider type (whatever the provider's name on the system). A plain record:
// zero-filled it holds nothing; SignatureDigestEnd releases what Begin took. Signing and
// checking take a digest whose bytes are all in and work in its context.
struct SignatureDigest {
    uintptr_t provider;
    uintptr_t hash;
};
// 1 when this system can check signatures at all: its cryptography (CryptoAPI) has a provider
// of the RSA and AES type that makes SHA-256 hashes (Windows XP SP3 and later; never the
// 9x line, NT 4.0 or 2000 as they shipped). Where it cannot, a signed update is refused.
int SignatureAvailable();
int SignatureDigestBegin(SignatureDigest* digest);
int SignatureDigestAdd(SignatureDigest* digest, const void* bytes, int32_t length);
// Gives the hash value into `value` (SIGNATURE_DIGEST_SIZE bytes; null to give nothing)
// and releases the digest. 0 when there was no value to give.
int SignatureDigestEnd(SignatureDigest* digest, uint8_t* value);
// Begins `digest` with the bytes of the file at `path`, read in pieces through `buffer`
// (`size` bytes). On 0 the digest holds nothing.
int SignatureFileDigest(const char* path, char* buffer, int32_t size, SignatureDigest* digest,
                        char* why);

// Checks the signature text of a '5' field against the key text of "UPDATE KEY" for the
// update message of this product, version and installer digest. 0, logged with the reason,
// when the key, the signature or the message do not check out (a signature of the earlier
// form, over the installer's bytes alone, is named as such). The digest stays the caller's.
int SignatureCheck(SignatureDigest* digest, const char* keyText, const char* signatureText,
                   const char* productName, const char* version);

// What a failed key or signing operation gives its caller (and logs): the reason, with the
// system's error code where there is one. Buffers for it hold SIGNATURE_WHY_SIZE bytes.
constexpr int SIGNATURE_WHY_SIZE = 320;

// A new key pair of SIGNATURE_KEY_BITS bits: the private-key blob into `privateBlob`
// (SIGNATURE_PRIVATE_MAX bytes) with its length, the public key as the text of
// "UPDATE KEY" into `publicText` (SIGNATURE_TEXT_SIZE bytes). 0 on failure, with `why`
// set when it is not null.
int SignatureMakeKeys(uint8_t* privateBlob, int32_t* privateLength, char* publicText,
                      char* why);

// The signature text (SIGNATURE_TEXT_SIZE bytes) for the '5' field: the update message of
// the product, the version and the installer's digest, signed with the private-key blob.
// 0 on failure, with `why` set when it is not null. The digest stays the caller's.
int SignatureSign(SignatureDigest* digest, const uint8_t* privateBlob, int32_t privateLength,
                  const char* productName, const char* version, char* signatureText,
                  char* why);
#endif
