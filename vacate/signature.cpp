// The pure parts of signed updates: hexadecimal text, the headers of the system's RSA key
// blobs and the update message that a signature covers. The key comes from the package's script and the signature from the update
// server, so both are read strictly: every byte is accounted for and no length is taken
// on trust.
#include "vacate/signature.h"

#include "tessel/tsl-core.h"

static const char kSrc[] = "signature";

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int Refuse(const char** why, const char* reason) {
    if (why != nullptr) *why = reason;
    return 0;
}

// A key blob of either kind: the header, then `wholes` numbers of the modulus's n bytes and
// `halves` numbers of n / 2 bytes. 1 with n in `*modulusBytes`.
int BlobCheck(const uint8_t* blob, int32_t length, uint8_t type, uint32_t magic,
              uint32_t wholes, uint32_t halves, int32_t* modulusBytes, const char** why) {
    TSL_NOT_NULL(kSrc, blob);
    TSL_NOT_NULL(kSrc, modulusBytes);
    *modulusBytes = 0;
    if (length < SIGNATURE_HEADER_SIZE) return Refuse(why, "shorter than a key header");
    if (blob[0] != type) return Refuse(why, "not a key blob of this kind");
    if (blob[1] != SIGNATURE_BLOB_VERSION) return Refuse(why, "not version 2");
    const uint32_t algorithm = Le32(blob + 4);
    if (algorithm != SIGNATURE_CALG_RSA_SIGN && algorithm != SIGNATURE_CALG_RSA_KEYX)
        return Refuse(why, "not an RSA key");
    if (Le32(blob + 8) != magic) return Refuse(why, "no RSA magic");
    const uint32_t bits = Le32(blob + 12);
    const uint32_t n = bits / 8;
    if (bits == 0 || bits % 8 != 0 || n > static_cast<uint32_t>(length) ||
        (halves > 0 && n % 2 != 0))
        return Refuse(why, "bit length does not fit the blob");
    if (static_cast<uint64_t>(length - SIGNATURE_HEADER_SIZE) !=
        static_cast<uint64_t>(wholes) * n + static_cast<uint64_t>(halves) * (n / 2))
        return Refuse(why, "bit length and blob length disagree");
    *modulusBytes = static_cast<int32_t>(n);
    return 1;
}

}  // namespace

int SignatureHexDecode(const char* text, uint8_t* out, int32_t capacity, int32_t* length,
                       const char** why) {
    TSL_NOT_NULL(kSrc, text);
    TSL_NOT_NULL(kSrc, out);
    TSL_NOT_NULL(kSrc, length);
    *length = 0;
    if (text[0] == '\0') return Refuse(why, "empty");
    int32_t count = 0;
    for (const char* p = text; *p != '\0'; p += 2) {
        const int high = HexDigit(p[0]);
        if (high < 0) return Refuse(why, "not hexadecimal");
        if (p[1] == '\0') return Refuse(why, "an odd number of digits");
        const int low = HexDigit(p[1]);
        if (low < 0) return Refuse(why, "not hexadecimal");
        if (count == capacity) return Refuse(why, "too long");
        out[count++] = static_cast<uint8_t>(high << 4 | low);
    }
    *length = count;
    return 1;
}

int SignatureHexEncode(const uint8_t* bytes, int32_t length, char* text, int32_t capacity) {
    TSL_NOT_NULL(kSrc, bytes);
    TSL_NOT_NULL(kSrc, text);
    if (capacity < 1) TSL_FAIL(kSrc, "Invalid text capacity (%d)\n", capacity);
    text[0] = '\0';
    if (length < 0 || length > (capacity - 1) / 2) return 0;
    static const char kDigits[] = "0123456789ABCDEF";
    for (int32_t i = 0; i < length; ++i) {
        text[2 * i] = kDigits[bytes[i] >> 4];
        text[2 * i + 1] = kDigits[bytes[i] & 0xF];
    }
    text[2 * length] = '\0';
    return 1;
}

int SignatureKeyCheck(const uint8_t* blob, int32_t length, int32_t* modulusBytes,
                      const char** why) {
    return BlobCheck(blob, length, SIGNATURE_PUBLICKEYBLOB, SIGNATURE_MAGIC_PUBLIC, 1, 0,
                     modulusBytes, why);
}

// The modulus and the private exponent of n bytes, the two primes, their two exponents and
// the coefficient of n / 2 bytes each.
int SignaturePrivateKeyCheck(const uint8_t* blob, int32_t length, int32_t* modulusBytes,
                             const char** why) {
    return BlobCheck(blob, length, SIGNATURE_PRIVATEKEYBLOB, SIGNATURE_MAGIC_PRIVATE, 2, 5,
                     modulusBytes, why);
}

int SignatureKeyParse(const char* text, uint8_t* blob, int32_t* length, int32_t* modulusBytes,
                      const char** why) {
    TSL_NOT_NULL(kSrc, modulusBytes);
    *modulusBytes = 0;
    if (!SignatureHexDecode(text, blob, SIGNATURE_BLOB_MAX, length, why)) return 0;
    if (SignatureKeyCheck(blob, *length, modulusBytes, why)) return 1;
    *length = 0;
    return 0;
}

int SignatureParse(const char* text, int32_t modulusBytes, uint8_t* signature, int32_t* length,
                   const char** why) {
    if (!SignatureHexDecode(text, signature, SIGNATURE_BLOB_MAX, length, why)) return 0;
    if (*length == modulusBytes) return 1;
    *length = 0;
    return Refuse(why, "not as long as the key's signatures");
}

int SignatureMessage(const char* productName, const char* version,
                     const uint8_t digest[SIGNATURE_DIGEST_SIZE], uint8_t* out,
                     int32_t* length, const char** why) {
    TSL_NOT_NULL(kSrc, productName);
    TSL_NOT_NULL(kSrc, version);
    TSL_NOT_NULL(kSrc, digest);
    TSL_NOT_NULL(kSrc, out);
    TSL_NOT_NULL(kSrc, length);
    *length = 0;
    if (productName[0] == '\0') return Refuse(why, "no product name");
    if (version[0] == '\0') return Refuse(why, "no version");
    int32_t used = 0;
    // Each text goes in with its zero byte.
    const char* const texts[] = {SIGNATURE_MESSAGE_TAG, productName, version};
    for (const char* text : texts) {
        do {
            if (used == SIGNATURE_MESSAGE_MAX - SIGNATURE_DIGEST_SIZE)
                return Refuse(why, "name or version too long");
            out[used++] = static_cast<uint8_t>(*text);
        } while (*text++ != '\0');
    }
    for (int32_t i = 0; i < SIGNATURE_DIGEST_SIZE; ++i) out[used++] = digest[i];
    *length = used;
    return 1;
}
