// A small reader of Windows executables (PE files) for the tests: the header fields, the
// libraries and functions imported, and the manifest and version resources. Portable: it reads
// the file's bytes by their documented offsets, so a Linux test can check the 32-bit
// programs that ship even where they cannot run, and a Win32 test the program it starts.
#pragma once

#include <stdint.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace pe {

constexpr uint16_t kMachineI386 = 0x14c;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMagicPe32 = 0x10b;
constexpr uint16_t kSubsystemGui = 2;
constexpr uint16_t kSubsystemConsole = 3;

// One function an image imports: its library (upper case) and its name, or "#<ordinal>".
struct Import {
    std::string library;
    std::string name;
};

struct Image {
    std::string error;  // empty when the file reads as an image
    uint16_t machine = 0;
    uint16_t magic = 0;  // 0x10b PE32, 0x20b PE32+
    uint16_t subsystem = 0;
    uint16_t osVersion[2] = {};         // the version of Windows the image asks for
    uint16_t subsystemVersion[2] = {};  // the version of the subsystem it asks for
    uint64_t imageBase = 0;
    uint32_t imageSize = 0;
    std::vector<std::string> imports;             // upper case, in file order
    std::vector<Import> functions;                // every function imported, in file order
    std::string manifest;                         // the first RT_MANIFEST resource
    bool hasVersion = false;                      // VS_VERSION_INFO with its fixed part
    std::map<std::string, std::string> strings;  // the version resource's string values
};

namespace detail {

class Bytes {
public:
    explicit Bytes(const std::string& data) : data_(data) {}
    bool Has(uint64_t offset, uint64_t size) const {
        return offset <= data_.size() && size <= data_.size() - offset;
    }
    uint32_t U16(uint64_t at) const { return Has(at, 2) ? Byte(at) | Byte(at + 1) << 8 : 0; }
    uint32_t U32(uint64_t at) const { return Has(at, 4) ? U16(at) | U16(at + 2) << 16 : 0; }
    std::string Text(uint64_t at) const {  // zero-terminated 8-bit text
        std::string text;
        while (Has(at, 1) && data_[at] != '\0') text += data_[at++];
        return text;
    }
    // UTF-16 text of `units` code units, or up to its zero when units < 0; ASCII only is
    // kept as is, anything else becomes '?'.
    std::string Wide(uint64_t at, int64_t units, uint64_t* end = nullptr) const {
        std::string text;
        for (int64_t i = 0; units < 0 || i < units; i++, at += 2) {
            if (!Has(at, 2)) break;
            uint32_t unit = U16(at);
            if (units < 0 && unit == 0) {
                at += 2;
                break;
            }
            if (unit != 0) text += unit < 0x80 ? static_cast<char>(unit) : '?';
        }
        if (end) *end = at;
        return text;
    }
    std::string Slice(uint64_t at, uint64_t size) const {
        return Has(at, size) ? data_.substr(at, size) : std::string();
    }

private:
    uint32_t Byte(uint64_t at) const { return static_cast<uint8_t>(data_[at]); }
    const std::string& data_;
};

inline uint64_t Align4(uint64_t at) { return (at + 3) & ~uint64_t(3); }

// The version resource's string values: every node of its tree holds its length, its
// value's length and type, its key and its value, and its children up to its length.
inline void VersionNode(const Bytes& b, uint64_t at, uint64_t limit, Image* image, int depth) {
    uint32_t length = b.U16(at), valueLength = b.U16(at + 2), type = b.U16(at + 4);
    if (length < 6 || at + length > limit || depth > 8) return;
    uint64_t end = at + length, cursor;
    std::string key = b.Wide(at + 6, -1, &cursor);
    cursor = Align4(cursor);
    if (depth == 0) {
        image->hasVersion = key == "VS_VERSION_INFO" && valueLength >= 52 &&
                            b.U32(cursor) == 0xFEEF04BDu;
        cursor = Align4(cursor + valueLength);
    } else if (type == 1 && valueLength > 0 && key != "StringFileInfo" &&
               key != "VarFileInfo" && depth == 3) {
        image->strings[key] = b.Wide(cursor, valueLength);
        return;
    } else {
        cursor = Align4(cursor + (type == 1 ? 2 * uint64_t(valueLength) : valueLength));
    }
    while (cursor + 6 <= end) {
        uint32_t child = b.U16(cursor);
        if (child == 0) break;
        VersionNode(b, cursor, end, image, depth + 1);
        cursor = Align4(cursor + child);
    }
}

}  // namespace detail

// Reads an image from its bytes; `error` says what is not as an image has it.
inline Image Read(const std::string& data) {
    Image image;
    detail::Bytes b(data);
    if (!b.Has(0, 64) || data.compare(0, 2, "MZ") != 0) {
        image.error = "no MZ header";
        return image;
    }
    const uint64_t nt = b.U32(0x3c);
    if (!b.Has(nt, 24) || data.compare(nt, 4, std::string("PE\0\0", 4)) != 0) {
        image.error = "no PE signature";
        return image;
    }
    image.machine = static_cast<uint16_t>(b.U16(nt + 4));
    const uint32_t sectionCount = b.U16(nt + 6), optionalSize = b.U16(nt + 20);
    const uint64_t optional = nt + 24;
    image.magic = static_cast<uint16_t>(b.U16(optional));
    image.subsystem = static_cast<uint16_t>(b.U16(optional + 68));
    const bool plus = image.magic == 0x20b;
    image.imageBase = plus ? (uint64_t(b.U32(optional + 28)) << 32 | b.U32(optional + 24))
                           : b.U32(optional + 28);
    image.osVersion[0] = static_cast<uint16_t>(b.U16(optional + 40));
    image.osVersion[1] = static_cast<uint16_t>(b.U16(optional + 42));
    image.subsystemVersion[0] = static_cast<uint16_t>(b.U16(optional + 48));
    image.subsystemVersion[1] = static_cast<uint16_t>(b.U16(optional + 50));
    image.imageSize = b.U32(optional + 56);
    const uint64_t directories = optional + (plus ? 112 : 96);
    const uint32_t directoryCount = b.U32(optional + (plus ? 108 : 92));
    const uint64_t sections = optional + optionalSize;
    if (!b.Has(sections, 40 * uint64_t(sectionCount))) {
        image.error = "section table outside the file";
        return image;
    }
    auto fileOffset = [&](uint32_t rva) -> uint64_t {
        for (uint32_t i = 0; i < sectionCount; i++) {
            uint64_t s = sections + 40 * uint64_t(i);
            uint32_t address = b.U32(s + 12), raw = b.U32(s + 16), pointer = b.U32(s + 20);
            if (rva >= address && rva - address < raw) return pointer + uint64_t(rva - address);
        }
        return 0;
    };
    auto directory = [&](uint32_t index) -> uint32_t {
        return index < directoryCount ? b.U32(directories + 8 * uint64_t(index)) : 0;
    };

    // Imports: descriptors of 20 bytes, the library's name at +12, up to an empty one. Each
    // names its lookup table (at +0; the address table at +16 where there is none): entries
    // of 4 bytes (8 in PE32+) up to a zero one, an ordinal where the top bit is set, else
    // the address of a hint of 2 bytes and the function's name.
    if (uint64_t at = fileOffset(directory(1))) {
        for (;; at += 20) {
            uint32_t name = b.U32(at + 12);
            if (!b.Has(at, 20) || name == 0) break;
            std::string library = b.Text(fileOffset(name));
            for (char& c : library) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
            image.imports.push_back(library);
            const uint32_t table = b.U32(at) != 0 ? b.U32(at) : b.U32(at + 16);
            const uint64_t entrySize = plus ? 8 : 4;
            uint64_t entry = fileOffset(table);
            for (int n = 0; entry != 0 && n < 65536 && b.Has(entry, entrySize); n++) {
                const uint64_t value = plus ? (uint64_t(b.U32(entry + 4)) << 32 | b.U32(entry))
                                            : b.U32(entry);
                if (value == 0) break;
                const bool byOrdinal = plus ? (value >> 63) != 0 : (value >> 31) != 0;
                const uint64_t hint = byOrdinal ? 0 : fileOffset(static_cast<uint32_t>(value));
                image.functions.push_back(
                    {library, byOrdinal ? "#" + std::to_string(value & 0xFFFF)
                                        : hint != 0 ? b.Text(hint + 2) : std::string("?")});
                entry += entrySize;
            }
        }
    }

    // Resources: type, name and language levels; the first entry of each level below the
    // type is taken (the programs hold one manifest and one version resource).
    const uint32_t resourceRva = directory(2);
    const uint64_t root = fileOffset(resourceRva);
    auto entryOf = [&](uint64_t dir, int64_t id) -> int64_t {  // the entry's offset word
        uint32_t named = b.U16(dir + 12), ids = b.U16(dir + 14);
        for (uint32_t i = 0; i < named + ids; i++) {
            uint64_t e = dir + 16 + 8 * uint64_t(i);
            if (!b.Has(e, 8)) break;
            if (id < 0 || (i >= named && b.U32(e) == uint64_t(id))) return b.U32(e + 4);
        }
        return -1;
    };
    auto resource = [&](int type) -> std::pair<uint64_t, uint64_t> {
        if (root == 0) return {0, 0};
        int64_t offset = entryOf(root, type);
        for (int level = 0; level < 2 && offset >= 0 && (offset & 0x80000000); level++)
            offset = entryOf(root + (offset & 0x7fffffff), -1);
        if (offset < 0 || (offset & 0x80000000)) return {0, 0};
        uint64_t data = root + uint64_t(offset);
        return {fileOffset(b.U32(data)), b.U32(data + 4)};
    };
    auto manifest = resource(24);
    if (manifest.first) image.manifest = b.Slice(manifest.first, manifest.second);
    auto version = resource(16);
    if (version.first && b.Has(version.first, version.second))
        detail::VersionNode(b, version.first, version.first + version.second, &image, 0);
    return image;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace pe
