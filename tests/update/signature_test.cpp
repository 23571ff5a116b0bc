// Signed updates' pure parts on both targets: the hexadecimal text of keys and signatures,
// and the checks of the key blobs' headers that come before the system's cryptography
// sees a byte of them.
#include <gtest/gtest.h>

#include <ctype.h>
#include <string.h>

#include <string>
#include <vector>

#include "update/signing.h"
#include "vacate/signature.h"

using signtest::Hex;
using signtest::PrivateBlob;
using signtest::PublicBlob;
using signtest::PutLe32;

namespace {

struct Decoded {
    int ok;
    std::string bytes;
    std::string why;
};

Decoded Decode(const std::string& text, int32_t capacity = SIGNATURE_BLOB_MAX) {
    std::vector<uint8_t> out(capacity + 1, 0xEE);
    int32_t length = -1;
    const char* why = "";
    Decoded d;
    d.ok = SignatureHexDecode(text.c_str(), out.data(), capacity, &length, &why);
    EXPECT_EQ(0xEE, out[capacity]) << "written past the capacity";
    d.bytes.assign(out.begin(), out.begin() + length);
    d.why = why;
    return d;
}

TEST(SignatureHex, PairsOfDigitsInEitherCaseAndNothingElse) {
    Decoded d = Decode("00ff7Aa0C3");
    EXPECT_EQ(1, d.ok);
    EXPECT_EQ(std::string("\x00\xff\x7a\xa0\xc3", 5), d.bytes);

    struct Case {
        const char* text;
        const char* why;
    } refused[] = {
        {"", "empty"},          {"0", "an odd number of digits"}, {"abc", "an odd number of digits"},
        {"0g", "not hexadecimal"}, {" 00", "not hexadecimal"},    {"00 ", "not hexadecimal"},
        {"0x00", "not hexadecimal"}, {"00\xE9" "0", "not hexadecimal"},
    };
    for (const Case& c : refused) {
        d = Decode(c.text);
        EXPECT_EQ(0, d.ok) << c.text;
        EXPECT_EQ("", d.bytes) << c.text;
        EXPECT_EQ(c.why, d.why) << c.text;
    }
    // Exactly the capacity fits; one byte more does not.
    EXPECT_EQ(1, Decode(std::string(8, 'a'), 4).ok);
    d = Decode(std::string(10, 'a'), 4);
    EXPECT_EQ(0, d.ok);
    EXPECT_EQ("too long", d.why);
}

TEST(SignatureHex, EncodingRoundTripsAndNeedsRoomForItsTerminator) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    std::vector<char> text(2 * bytes.size() + 1, 'x');
    ASSERT_EQ(1, SignatureHexEncode(reinterpret_cast<const uint8_t*>(bytes.data()), 256,
                                    text.data(), static_cast<int32_t>(text.size())));
    EXPECT_EQ(Hex(bytes), text.data());
    EXPECT_EQ(bytes, Decode(text.data()).bytes);

    EXPECT_EQ(0, SignatureHexEncode(reinterpret_cast<const uint8_t*>(bytes.data()), 256,
                                    text.data(), static_cast<int32_t>(text.size()) - 1));
    EXPECT_STREQ("", text.data());
}

struct Checked {
    int ok;
    int32_t modulusBytes;
    std::string why;
};

Checked Check(int (*check)(const uint8_t*, int32_t, int32_t*, const char**),
              const std::string& blob) {
    Checked c{};
    const char* why = "";
    c.ok = check(reinterpret_cast<const uint8_t*>(blob.data()), static_cast<int32_t>(blob.size()),
                 &c.modulusBytes, &why);
    c.why = why;
    return c;
}
Checked CheckPublic(const std::string& blob) { return Check(SignatureKeyCheck, blob); }
Checked CheckPrivate(const std::string& blob) { return Check(SignaturePrivateKeyCheck, blob); }

TEST(SignatureKey, PublicBlobHeaderIsCheckedFieldByField) {
    // The sizes the system makes: 2,048 bits give the 276-byte blob.
    EXPECT_EQ(276u, PublicBlob(2048).size());
    Checked c = CheckPublic(PublicBlob(2048));
    EXPECT_EQ(1, c.ok) << c.why;
    EXPECT_EQ(256, c.modulusBytes);
    EXPECT_EQ(128, CheckPublic(PublicBlob(1024, SIGNATURE_CALG_RSA_KEYX)).modulusBytes);

    auto with = [](size_t at, uint32_t value) {
        std::string blob = PublicBlob(2048);
        PutLe32(&blob, at, value);
        return blob;
    };
    std::string wrongType = PublicBlob(2048);
    wrongType[0] = SIGNATURE_PRIVATEKEYBLOB;
    std::string wrongVersion = PublicBlob(2048);
    wrongVersion[1] = 1;
    const struct {
        std::string blob;
        const char* why;
    } refused[] = {
        {wrongType, "not a key blob of this kind"},
        {wrongVersion, "not version 2"},
        {with(4, 0x6610), "not an RSA key"},  // an AES key
        {with(8, SIGNATURE_MAGIC_PRIVATE), "no RSA magic"},
        {with(12, 0), "bit length does not fit the blob"},
        {with(12, 2047), "bit length does not fit the blob"},
        {with(12, 4096), "bit length does not fit the blob"},
        {with(12, 2040), "bit length and blob length disagree"},
        {PublicBlob(2048).substr(0, 275), "bit length and blob length disagree"},
        {PublicBlob(2048) + "x", "bit length and blob length disagree"},
        {PublicBlob(2048).substr(0, 19), "shorter than a key header"},
        {"", "shorter than a key header"},
        // A private key is no public key.
        {PrivateBlob(2048), "not a key blob of this kind"},
    };
    for (const auto& r : refused) {
        c = CheckPublic(r.blob);
        EXPECT_EQ(0, c.ok) << r.why;
        EXPECT_EQ(0, c.modulusBytes) << r.why;
        EXPECT_EQ(r.why, c.why);
    }
}

TEST(SignatureKey, PrivateBlobHeaderAndLength) {
    EXPECT_EQ(1172u, PrivateBlob(2048).size());
    Checked c = CheckPrivate(PrivateBlob(2048));
    EXPECT_EQ(1, c.ok) << c.why;
    EXPECT_EQ(256, c.modulusBytes);
    EXPECT_EQ(0, CheckPrivate(PrivateBlob(2048).substr(0, 1171)).ok);
    EXPECT_EQ(0, CheckPrivate(PublicBlob(2048)).ok);
    std::string wrongMagic = PrivateBlob(2048);
    PutLe32(&wrongMagic, 8, SIGNATURE_MAGIC_PUBLIC);
    EXPECT_EQ("no RSA magic", CheckPrivate(wrongMagic).why);
}

TEST(SignatureKey, TextOfTheUpdateKeyAndOfTheSignature) {
    uint8_t blob[SIGNATURE_BLOB_MAX];
    int32_t length = 0;
    int32_t modulusBytes = 0;
    const char* why = "";
    // Letter case does not matter.
    std::string text = Hex(PublicBlob(2048));
    for (char& ch : text) ch = static_cast<char>(tolower(ch));
    ASSERT_EQ(1, SignatureKeyParse(text.c_str(), blob, &length, &modulusBytes, &why)) << why;
    EXPECT_EQ(276, length);
    EXPECT_EQ(256, modulusBytes);
    EXPECT_EQ(0, memcmp(blob, PublicBlob(2048).data(), 276));

    // 3,072 bits still fit the field's text; 4,096 bits do not.
    EXPECT_EQ(1, SignatureKeyParse(Hex(PublicBlob(3072)).c_str(), blob, &length, &modulusBytes,
                                   &why));
    EXPECT_EQ(0, SignatureKeyParse(Hex(PublicBlob(4096)).c_str(), blob, &length, &modulusBytes,
                                   &why));
    EXPECT_STREQ("too long", why);
    EXPECT_EQ(0, SignatureKeyParse(Hex(PublicBlob(2048)).substr(2).c_str(), blob, &length,
                                   &modulusBytes, &why));
    EXPECT_EQ(0, length);
    EXPECT_EQ(0, modulusBytes);

    // A signature has exactly as many bytes as the key's modulus.
    uint8_t signature[SIGNATURE_BLOB_MAX];
    EXPECT_EQ(1, SignatureParse(std::string(512, 'e').c_str(), 256, signature, &length, &why));
    EXPECT_EQ(256, length);
    for (const std::string& bad : {std::string(510, 'e'), std::string(514, 'e')}) {
        EXPECT_EQ(0, SignatureParse(bad.c_str(), 256, signature, &length, &why));
        EXPECT_STREQ("not as long as the key's signatures", why);
        EXPECT_EQ(0, length);
    }
    EXPECT_EQ(0, SignatureParse("", 256, signature, &length, &why));
    EXPECT_STREQ("empty", why);
}

}  // namespace
