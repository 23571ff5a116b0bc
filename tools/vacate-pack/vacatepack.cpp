// The package builder. Scripts are checked against the same keyword table the uninstaller
// registers, scrambled with the reader's own step, and read back through the reader and
// the interpreter themselves, so that what `dump` shows is what the uninstaller sees.
#include "tools/vacate-pack/vacatepack.h"

#include <stdio.h>

#include <filesystem>
#include <initializer_list>

#ifdef _WIN32
#include <windows.h>
#endif

#include "tessel/tsl-core.h"
#include "vacate/command.h"
#include "vacate/ffs.h"
#include "vacate/keywords.h"
#include "vacate/paths.h"
#include "vacate/script.h"
#include "vacate/signature.h"

namespace {

const char kLineEnd[] = "\r\n";
// Padding between the script and the trailer: text the interpreter passes over.
const uint8_t kPadding = '\n';
// Archive and script sizes are 32-bit signed in the reader.
const uint64_t kMaxPackedSize = 0x7FFFFFFE;
// Padding bytes tried; a handful is always enough, as only 4 of 256 values collide.
const size_t kMaxPadding = 64;

std::string HexByte(uint8_t byte) {
    const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[byte >> 4] + digits[byte & 0xF];
}

int Refuse(std::string* error, const std::string& sourceName, int line,
           const std::string& message) {
    *error = sourceName + ":" + std::to_string(line) + ": " + message;
    return 0;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

bool IsBlank(const std::string& line) {
    return line.find_first_not_of(" \t") == std::string::npos;
}

// The first byte outside 0x20..0x7F, which would end a field early; -1 when there is none.
int BadByte(const std::string& text) {
    for (char c : text) {
        const uint8_t byte = static_cast<uint8_t>(c);
        if (byte < 0x20 || byte > 0x7F) return byte;
    }
    return -1;
}

// A name the uninstaller passes over because it climbs out of its folder: a ".." part
// after its path codes.
const char kOutside[] = " reaches outside its folder (a '..' part), the uninstaller passes it over";

bool LeavesFolder(const std::string& name) {
    return PathLeavesFolder(ScriptPathCodesEnd(name.c_str())) != 0;
}

// A key for signed updates: the hex text of an RSA public-key blob.
bool IsPublicKey(const std::string& text, const char** why) {
    uint8_t blob[SIGNATURE_BLOB_MAX];
    int32_t length = 0;
    int32_t modulusBytes = 0;
    return SignatureKeyParse(text.c_str(), blob, &length, &modulusBytes, why) != 0;
}

// Checks one item of a list (its bytes already checked) against its table entry; "" when
// the uninstaller reads it as written, else what it would misread, said of the item
// (" is empty ...").
std::string CheckListItem(const KeywordSpec& entry, const std::string& item) {
    // An empty item reads as the install folder itself.
    if (item.empty()) return " is empty (the uninstaller would take the install folder for it)";
    if (item.size() > static_cast<size_t>(SCRIPT_ITEM_SIZE - 1))
        return " is " + std::to_string(item.size()) + " bytes long, the uninstaller keeps " +
               std::to_string(SCRIPT_ITEM_SIZE - 1);
    if ((entry.inside & 1) && LeavesFolder(item)) return kOutside;
    return "";
}

std::string Quoted(const std::string& keyword) {
    return "'" + keyword + "'";
}

// Checks one command's data against its table entry; "" when the uninstaller reads it as
// written, else what it would misread.
std::string CheckData(const KeywordSpec& entry, const std::string& data) {
    const std::string name = Quoted(entry.keyword);
    if (entry.shape == KW_NONE) {
        if (!data.empty()) return name + " takes no data";
        return "";
    }
    if (entry.shape == KW_LINE) {
        // The line is passed over whole; tabs stay in it.
        for (const std::string& part : Split(data, '\t')) {
            const int bad = BadByte(part);
            if (bad >= 0)
                return "byte " + HexByte(static_cast<uint8_t>(bad)) + " in the data of " + name +
                       " is outside 0x20..0x7F";
        }
        return "";
    }
    const std::vector<std::string> fields = Split(data, '\t');
    if (entry.shape == KW_LIST) {
        if (fields.size() != 1)
            return name + " takes one list field (items are separated by ','), found " +
                   std::to_string(fields.size()) + " fields";
        const int bad = BadByte(data);
        if (bad >= 0)
            return "byte " + HexByte(static_cast<uint8_t>(bad)) + " in the list of " + name +
                   " is outside 0x20..0x7F";
        const std::vector<std::string> items = Split(data, ',');
        for (size_t i = 0; i < items.size(); ++i) {
            const std::string problem = CheckListItem(entry, items[i]);
            if (!problem.empty()) return "item " + std::to_string(i + 1) + " of " + name + problem;
        }
        return "";
    }
    if (fields.size() != static_cast<size_t>(entry.fieldCount))
        return name + " takes " + std::to_string(entry.fieldCount) + " field(s), found " +
               std::to_string(fields.size());
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::string which = "field " + std::to_string(i + 1) + " of " + name;
        const int bad = BadByte(fields[i]);
        if (bad >= 0)
            return "byte " + HexByte(static_cast<uint8_t>(bad)) + " in " + which +
                   " is outside 0x20..0x7F";
        const size_t keep = static_cast<size_t>(entry.capacity[i] - 1);
        if (fields[i].size() > keep)
            return which + " is " + std::to_string(fields[i].size()) +
                   " bytes long, the uninstaller keeps " + std::to_string(keep);
        if ((entry.inside >> i & 1) && LeavesFolder(fields[i])) return which + kOutside;
        const char* why = "";
        if ((entry.publicKey >> i & 1) && !IsPublicKey(fields[i], &why))
            return which + " is no public key (" + why +
                   "); give the text that 'vacate-pack keygen' printed";
    }
    return "";
}

void AppendText(PackBytes* bytes, const std::string& text) {
    bytes->insert(bytes->end(), text.begin(), text.end());
}

// The dump's handler: reads a command by its table entry with the uninstaller's readers and
// capacities, and writes it back in source form.
std::string* gDumpOut = nullptr;

int DumpCommand(const KeywordSpec& entry, ScriptContext* context, const char* data,
                int32_t* consumed) {
    std::string& out = *gDumpOut;
    out += entry.keyword;
    out += ':';
    switch (entry.shape) {
        case KW_FIELDS:
            for (int i = 0; i < entry.fieldCount; ++i) {
                std::vector<char> field(static_cast<size_t>(entry.capacity[i]));
                ScriptReadField(context, data, consumed, field.data(), entry.capacity[i]);
                if (i > 0) out += '\t';
                out += field.data();
            }
            break;
        case KW_LIST: {
            const char* cursor = nullptr;
            int32_t count = 0;
            ScriptReadList(context, data, consumed, &cursor, &count);
            char item[SCRIPT_ITEM_SIZE];
            for (int32_t i = 0; i < count; ++i) {
                ScriptListItem(&cursor, item);
                if (i > 0) out += ',';
                out += item;
            }
            break;
        }
        case KW_LINE: {
            const int32_t before = *consumed;
            ScriptSkipLine(context, data, consumed);
            out.append(data + before, static_cast<size_t>(*consumed - before));
            break;
        }
        case KW_NONE:
            break;
    }
    out += '\n';
    return 1;
}

// The keyword of the command that starts at `command` (its 0x16), for messages.
std::string KeywordAt(const ScriptContext* context, const char* command) {
    std::string keyword;
    const char* end = context->script + context->scriptSize;
    for (const char* p = command + 1;
         p < end && *p != ':' && keyword.size() < static_cast<size_t>(SCRIPT_KEYWORD_MAX); ++p)
        keyword += *p;
    return keyword;
}

}  // namespace

int PackScript(const std::string& source, const std::string& sourceName, PackBytes* script,
               std::string* error) {
    script->clear();
    bool installDirSeen = false;
    bool doneSeen = false;
    const std::vector<std::string> lines = Split(source, '\n');
    for (size_t index = 0; index < lines.size(); ++index) {
        const int number = static_cast<int>(index) + 1;
        std::string line = lines[index];
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (IsBlank(line) || line[0] == '#') continue;

        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            return Refuse(error, sourceName, number, "no ':' after the keyword");
        const std::string keyword = line.substr(0, colon);
        const std::string data = line.substr(colon + 1);
        const KeywordSpec* entry =
            keyword.find('\0') == std::string::npos ? KeywordSpecFind(keyword.c_str()) : nullptr;
        if (entry == nullptr)
            return Refuse(error, sourceName, number, "unknown keyword " + Quoted(keyword));
        const std::string problem = CheckData(*entry, data);
        if (!problem.empty()) return Refuse(error, sourceName, number, problem);

        // "INSTALL PATH" builds the install path from the install folder.
        const std::string canonical = entry->keyword;
        if (canonical == "INSTALL DIR") installDirSeen = true;
        if (canonical == "INSTALL PATH" && !installDirSeen)
            return Refuse(error, sourceName, number,
                          "'INSTALL PATH' comes before 'INSTALL DIR', which it is built from");
        // "DONE" runs the update check: a key after it would let unsigned installers run.
        if (canonical == "DONE") doneSeen = true;
        if (canonical == "UPDATE KEY" && doneSeen)
            return Refuse(error, sourceName, number,
                          "'UPDATE KEY' comes after 'DONE', whose update check would not know it");

        script->push_back(static_cast<uint8_t>(SCRIPT_COMMAND));
        AppendText(script, keyword);
        script->push_back(':');
        AppendText(script, data);
        AppendText(script, kLineEnd);
    }
    if (script->size() > kMaxPackedSize) return Refuse(error, sourceName, 1, "script too large");
    return 1;
}

int PackArchive(const PackBytes& host, const PackBytes& script, PackBytes* packed,
                std::string* error) {
    packed->clear();
    if (host.empty()) {
        // The tag's offset would be 0, which the reader takes for "no archive".
        *error = "the executable is empty";
        return 0;
    }
    const uint64_t offset = host.size();
    if (offset + sizeof FFS_TAG + script.size() + kMaxPadding + 4 > kMaxPackedSize) {
        *error = "the packed file would exceed 2 GB";
        return 0;
    }
    uint8_t trailer[4];
    for (int i = 0; i < 4; ++i) trailer[i] = static_cast<uint8_t>(offset >> (8 * i));

    // The reader de-scrambles the trailer with the payload. Where one of its bytes came out
    // as 0x16, the interpreter would take it for a command and stop the uninstall; padding
    // moves the trailer to positions where none does.
    PackBytes payload;
    bool clear = false;
    for (size_t padding = 0; !clear && padding <= kMaxPadding; ++padding) {
        payload = script;
        payload.insert(payload.end(), padding, kPadding);
        FfsScramble(payload.data(), static_cast<uint32_t>(payload.size()));
        payload.insert(payload.end(), trailer, trailer + 4);
        PackBytes seen = payload;
        FfsScramble(seen.data(), static_cast<uint32_t>(seen.size()));
        clear = true;
        for (size_t i = seen.size() - 4; i < seen.size(); ++i)
            if (seen[i] == static_cast<uint8_t>(SCRIPT_COMMAND)) clear = false;
    }
    if (!clear) {
        *error = "no padding keeps the trailer from reading as a command";
        return 0;
    }

    *packed = host;
    packed->insert(packed->end(), FFS_TAG, FFS_TAG + sizeof FFS_TAG);
    packed->insert(packed->end(), payload.begin(), payload.end());
    return 1;
}

int PackDump(const char* path, std::string* source, std::string* error) {
    source->clear();
    if (KeywordList() != nullptr) {
        *error = "a keyword registry is already in place";
        return 0;
    }
    if (!FfsOpen(path)) {
        *error = std::string(path) + ": no install archive (or a damaged one)";
        return 0;
    }
    ScriptContext* context = nullptr;
    if (!ScriptLoad(&context, "install.dat", RUN_MODE_UPDATE)) {
        FfsClose();
        *error = std::string(path) + ": the script could not be read from the archive";
        return 0;
    }
    gDumpOut = source;
    KeywordsRegisterTable<DumpCommand>();
    const int ran = ScriptRun(context, nullptr);
    if (!ran)
        *error = std::string(path) + ": the uninstaller stops at the command " +
                 Quoted(KeywordAt(context, context->position));
    KeywordsRelease();
    gDumpOut = nullptr;
    ScriptFree(&context);
    FfsClose();
    return ran;
}

int PackReadFile(const char* path, PackBytes* bytes, std::string* error) {
    bytes->clear();
    FILE* file = fopen(path, "rb");
    if (file == nullptr) {
        *error = std::string(path) + ": cannot be opened";
        return 0;
    }
    uint8_t block[65536];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0) bytes->insert(bytes->end(), block, block + got);
    const bool failed = ferror(file) != 0;
    fclose(file);
    if (failed) {
        *error = std::string(path) + ": read error";
        return 0;
    }
    return 1;
}

// Replaces `to` with `from`, whether `to` exists or not.
static bool ReplaceFile(const std::string& from, const char* to) {
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to, MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return rename(from.c_str(), to) == 0;
#endif
}

int PackWriteFile(const char* path, const PackBytes& bytes, std::string* error) {
    // Written beside the target and renamed over it only once complete: a failed write
    // leaves whatever was there as it was, and never half a file.
    const std::string part = std::string(path) + ".part";
    FILE* file = fopen(part.c_str(), "wb");
    if (file == nullptr) {
        *error = std::string(path) + ": cannot be created (" + part + ")";
        return 0;
    }
    const bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = fclose(file) == 0;
    if (!written || !closed) {
        remove(part.c_str());
        *error = std::string(path) + ": write error";
        return 0;
    }
    if (!ReplaceFile(part, path)) {
        remove(part.c_str());
        *error = std::string(path) + ": cannot be replaced";
        return 0;
    }
    return 1;
}

// Refuses an output that is one of the inputs (under any spelling of its path): it would
// be replaced by what was made of it.
static int CheckNotAnInput(const char* outPath, std::initializer_list<const char*> inputs,
                           std::string* error) {
    for (const char* input : inputs) {
        std::error_code failed;
        if (std::filesystem::equivalent(input, outPath, failed) && !failed) {
            *error = std::string(outPath) + ": is an input as well; the output must be another file";
            return 0;
        }
    }
    return 1;
}

static int ReadSource(const char* sourcePath, PackBytes* script, std::string* error) {
    PackBytes text;
    if (!PackReadFile(sourcePath, &text, error)) return 0;
    return PackScript(std::string(text.begin(), text.end()), sourcePath, script, error);
}

int PackBuildFiles(const char* sourcePath, const char* hostPath, const char* outPath,
                   std::string* error) {
    PackBytes script, host, packed;
    if (!CheckNotAnInput(outPath, {sourcePath, hostPath}, error)) return 0;
    if (!ReadSource(sourcePath, &script, error)) return 0;
    if (!PackReadFile(hostPath, &host, error)) return 0;
    if (!PackArchive(host, script, &packed, error)) {
        *error = std::string(hostPath) + ": " + *error;
        return 0;
    }
    return PackWriteFile(outPath, packed, error);
}

int PackScriptFiles(const char* sourcePath, const char* outPath, std::string* error) {
    PackBytes script;
    if (!CheckNotAnInput(outPath, {sourcePath}, error)) return 0;
    if (!ReadSource(sourcePath, &script, error)) return 0;
    return PackWriteFile(outPath, script, error);
}
