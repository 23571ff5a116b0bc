// Fuzz target for the formatter with outside text as its arguments: texts, 16-bit texts,
// bytes, addresses, numbers of every kind, widths and precisions, into an output buffer of a
// size taken from the input. The conversion letters stand in a fixed order (so that every
// argument matches its conversion); their flags, widths and precisions and the text around
// them come from the input as well. The output lies in a heap block of exactly its size, so
// a write past it is caught by the address sanitizer; it must come back terminated within
// it, with the length the formatter reports.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "tessel/tsl-str.h"

namespace {

// Reads the input front to back; past its end every read gives 0.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t U32() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(Byte()) << (8 * i);
        return value;
    }
    uint64_t U64() { return U32() | static_cast<uint64_t>(U32()) << 32; }
    // A run of bytes of a length given by the input, without NUL (a text ends at its first).
    std::string Text() {
        std::string text;
        for (size_t n = Byte(); n > 0 && at_ < size_; --n) {
            const char c = static_cast<char>(Byte());
            if (c != 0) text += c;
        }
        return text;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

void Check(bool holds) {
    if (!holds) abort();
}

// Flags in the order the formatter takes them, a width and a precision, as the input
// chooses; `maxWidth` bounds the width where it counts bytes to read ("%hex").
std::string Spec(Reader& in, int maxWidth = 400) {
    const uint8_t bits = in.Byte();
    std::string spec = "%";
    if (bits & 0x01) spec += '#';
    if (bits & 0x02) spec += '-';
    if (bits & 0x04) spec += '+';
    if (bits & 0x08) spec += '\'';
    if (bits & 0x10) spec += '0';
    if (bits & 0x20) spec += std::to_string(in.Byte() % (maxWidth + 1));
    if (bits & 0x40) {
        spec += '.';
        if (bits & 0x80) spec += std::to_string(in.Byte() % 40);
    }
    return spec;
}

// Text between conversions: a '%' is doubled so that it stays text.
std::string Literal(Reader& in) {
    std::string text;
    for (char c : in.Text()) {
        text += c;
        if (c == '%') text += '%';
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    const int outSize = static_cast<int>(in.Byte() | (in.Byte() & 0x03) << 8);  // 0..1023

    const std::string text = in.Text();
    const std::string upper = in.Text();
    std::vector<uint16_t> wide;
    for (size_t n = in.Byte(); n > 0; --n) wide.push_back(static_cast<uint16_t>(in.U32()));
    wide.push_back(0);  // a 16-bit text ends at a unit whose low byte is 0
    const std::string bytes = in.Text();
    const std::vector<unsigned char> hex(bytes.begin(), bytes.end());
    unsigned char address[4];
    for (unsigned char& b : address) b = in.Byte();
    const int32_t number = static_cast<int32_t>(in.U32());
    const uint32_t unsignedNumber = in.U32();
    const int64_t wideNumber = static_cast<int64_t>(in.U64());
    const uint64_t unsignedWide = in.U64();
    double real;
    const uint64_t realBits = in.U64();
    memcpy(&real, &realBits, sizeof real);
    const int character = static_cast<int8_t>(in.Byte());
    const int starWidth = static_cast<int32_t>(in.U32());
    const int starPrecision = static_cast<int32_t>(in.U32());
    const std::string starText = in.Text();

    std::string format = Literal(in);
    format += Spec(in) + "s" + Literal(in);
    format += Spec(in) + "S" + Literal(in);
    format += Spec(in) + "unicode" + Literal(in);
    format += Spec(in, static_cast<int>(hex.size())) + (in.Byte() & 1 ? "HEX" : "hex") + Literal(in);
    format += Spec(in) + "ipv4" + Literal(in);
    format += Spec(in) + "d" + Spec(in) + "u" + Spec(in) + "x" + Spec(in) + "X" + Literal(in);
    format += Spec(in) + "o" + Spec(in) + "b" + Spec(in) + "a" + Spec(in) + "c" + Literal(in);
    format += Spec(in) + "I64d" + Spec(in) + "I64u" + Spec(in) + "I64x" + Spec(in) + "ll";
    format += Spec(in) + "f" + Spec(in) + "p" + "%*.*s" + Literal(in);

    std::vector<char> block(outSize > 0 ? outSize : 1, '\x5A');
    char* out = static_cast<char*>(malloc(block.size()));
    memcpy(out, block.data(), block.size());
    const int length = StrPrintf(out, outSize, format.c_str(), text.c_str(), upper.c_str(),
                                 wide.data(), hex.data(), address, number, unsignedNumber,
                                 unsignedNumber, unsignedNumber, unsignedNumber, unsignedNumber,
                                 unsignedNumber, character, wideNumber, unsignedWide, unsignedWide,
                                 static_cast<long long>(wideNumber), real,
                                 static_cast<const void*>(text.c_str()), starWidth, starPrecision,
                                 starText.c_str());
    if (outSize < 1) {
        Check(length == 0);
    } else {
        Check(length >= 0 && length < outSize);
        Check(out[length] == '\0');
    }
    free(out);
    return 0;
}
