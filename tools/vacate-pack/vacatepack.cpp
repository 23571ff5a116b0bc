// The package builder. Scripts are checked against the same keyword table the uninstaller
// registers, scrambled with the reader's own step, and read back through the reader and
// the interpreter themselves, so that what `dump` shows is what the uninstaller sees.
#include "tools/vacate-pack/vacatepack.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <type_traits>
#include <utility>

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

// The file list of an installed product's folder.
//
// Order: a folder's subfolders come first, in name order, each listed the same way, then
// the folder's own files in name order (names compared byte by byte, so the output is the
// same on every machine). The uninstaller tidies a folder once a file of another folder
// comes, removing it and then its parents while each is empty; in this order every
// folder's files come together and after everything below it, so each folder is empty,
// and goes, at its own tidy-up. The top folder's files come last, next to the uninstaller
// itself, which is deleted after the list.
//
// Links are never followed: a link to a file (or a broken one) is listed as a file, since
// deleting it removes the link, which is what keeps its folder from being empty. A link to
// a folder is refused: the uninstaller deletes files only and would leave it, and with it
// its folder, behind; and following it could leave the tree or go round in a loop.
namespace {

namespace fs = std::filesystem;

struct ListWalk {
    const KeywordSpec* entry;  // "FILE LIST"
    std::vector<std::string> items;
    std::string* error;
    std::string emptyFolder;  // the first folder below the top that holds nothing
};

struct ListEntry {
    std::string name;   // as the item spells it
    std::string shown;  // the entry's path for messages
    fs::path path;
    bool folder;
};

int ListRefuse(ListWalk* walk, const std::string& shown, const std::string& message) {
    *walk->error = shown + ": " + message;
    return 0;
}

// The entry's name as an item spells it; 0 when a character of it lies outside 0x20..0x7F,
// the bytes a list item is made of. `shown` gets the name for messages either way (where
// the system's names are wide, other characters as '?').
int EntryName(const fs::path& path, std::string* name, std::string* shown) {
    int plain = 1;
    name->clear();
    shown->clear();
    const fs::path file = path.filename();
    for (const auto unit : file.native()) {
        const uint32_t code = static_cast<std::make_unsigned_t<fs::path::value_type>>(unit);
        if (code < 0x20 || code > 0x7F) plain = 0;
        *name += static_cast<char>(code & 0x7F);
        const bool raw = sizeof unit == 1 || code < 0x80;
        *shown += raw ? static_cast<char>(unit) : '?';
    }
    return plain;
}

// What the uninstaller (or Windows) would take the name of a listed entry for, other than
// the name; "" when nothing. `top` is set for the entries of the listed folder itself,
// whose names start their items.
std::string NameProblem(const std::string& name, bool top) {
    if (name.find(',') != std::string::npos)
        return "a ',' in its name would split it into two items of 'FILE LIST'";
    if (PathLeavesFolder(name.c_str())) return std::string("its name") + kOutside;
    for (char c : name)
        if (strchr("\\/<>:\"|?*", c) != nullptr)
            return std::string("a '") + c + "' in its name cannot be in a Windows file name";
    // Windows drops a trailing dot or blank, so the item would name another file.
    if (name.back() == '.' || name.back() == ' ')
        return "its name ends in '" + name.substr(name.size() - 1) +
               "', which Windows drops, naming another file";
    if (top && ScriptPathCodesEnd(name.c_str()) != name.c_str())
        return "its name starts with '$', which the uninstaller reads as a path code";
    return "";
}

// The entries of one folder, sorted by name, each name checked.
int ListEntries(ListWalk* walk, const fs::path& path, const std::string& shown, bool top,
                std::vector<ListEntry>* entries) {
    std::error_code failed;
    fs::directory_iterator it(path, failed);
    while (!failed && it != fs::directory_iterator()) {
        ListEntry entry;
        entry.path = it->path();
        const bool plain = EntryName(entry.path, &entry.name, &entry.shown);
        entry.shown = shown + "/" + entry.shown;
        if (!plain)
            return ListRefuse(walk, entry.shown,
                              "its name holds a character outside 0x20..0x7F, where the "
                              "uninstaller's list would end");
        const std::string problem = NameProblem(entry.name, top);
        if (!problem.empty()) return ListRefuse(walk, entry.shown, problem);

        std::error_code unknown;
        const fs::file_status status = it->symlink_status(unknown);
        if (unknown)
            return ListRefuse(walk, entry.shown, "cannot be examined (" + unknown.message() + ")");
        entry.folder = fs::is_directory(status);
        if (fs::is_symlink(status) && fs::is_directory(fs::status(entry.path, unknown)))
            return ListRefuse(walk, entry.shown,
                              "is a link to a folder, which the uninstaller would neither "
                              "follow nor delete; copy the folder in or leave the link out");
        entries->push_back(entry);
        it.increment(failed);
    }
    if (failed) return ListRefuse(walk, shown, "cannot be read (" + failed.message() + ")");

    std::sort(entries->begin(), entries->end(),
              [](const ListEntry& a, const ListEntry& b) { return a.name < b.name; });
    // Names that differ in letter case alone name one file on Windows.
    std::vector<std::pair<std::string, size_t>> folded;
    for (size_t i = 0; i < entries->size(); ++i) {
        std::string name = (*entries)[i].name;
        for (char& c : name)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        folded.emplace_back(name, i);
    }
    std::sort(folded.begin(), folded.end());
    for (size_t i = 1; i < folded.size(); ++i)
        if (folded[i].first == folded[i - 1].first)
            return ListRefuse(walk, (*entries)[folded[i].second].shown,
                              "names the same file as '" + (*entries)[folded[i - 1].second].name +
                                  "' on Windows, where letter case does not count");
    return 1;
}

// Lists the files below `path`, whose items start with `prefix` (empty, or ending in '\').
int ListFolder(ListWalk* walk, const fs::path& path, const std::string& prefix,
               const std::string& shown) {
    std::vector<ListEntry> entries;
    if (!ListEntries(walk, path, shown, prefix.empty(), &entries)) return 0;
    if (entries.empty() && !prefix.empty() && walk->emptyFolder.empty()) walk->emptyFolder = shown;
    for (const ListEntry& entry : entries)
        if (entry.folder && !ListFolder(walk, entry.path, prefix + entry.name + "\\", entry.shown))
            return 0;
    for (const ListEntry& entry : entries) {
        if (entry.folder) continue;
        const std::string item = prefix + entry.name;
        const std::string problem = CheckListItem(*walk->entry, item);
        if (!problem.empty()) return ListRefuse(walk, entry.shown, "its item" + problem);
        walk->items.push_back(item);
    }
    return 1;
}

}  // namespace

int PackListFolder(const char* folder, std::string* line, std::string* error) {
    line->clear();
    std::string shown = folder;
    while (shown.size() > 1 && (shown.back() == '/' || shown.back() == '\\')) shown.pop_back();
    std::error_code failed;
    const fs::path root(folder);
    const fs::file_status status = fs::status(root, failed);
    if (status.type() == fs::file_type::not_found) {
        *error = shown + ": no such folder";
        return 0;
    }
    if (!fs::is_directory(status)) {
        *error = shown + (failed ? ": cannot be examined (" + failed.message() + ")"
                                 : ": not a folder");
        return 0;
    }
    ListWalk walk{KeywordSpecFind("FILE LIST"), {}, error, {}};
    if (walk.entry == nullptr) {
        *error = "the keyword table has no 'FILE LIST'";
        return 0;
    }
    if (!ListFolder(&walk, root, "", shown)) return 0;
    if (walk.items.empty()) {
        *error = shown + ": holds no files, there is nothing to list";
        return 0;
    }
    // The uninstaller tidies only the folders it deleted a file from: an empty one, and with
    // it every folder above, would survive the uninstall.
    if (!walk.emptyFolder.empty()) {
        *error = walk.emptyFolder +
                 ": an empty folder, which the uninstaller would leave behind with the folders "
                 "above it (it removes only folders it deleted a file from)";
        return 0;
    }
    std::string text = std::string(walk.entry->keyword) + ":";
    for (size_t i = 0; i < walk.items.size(); ++i) text += (i > 0 ? "," : "") + walk.items[i];
    // The line as `build` checks it, so that what `list` prints `build` takes.
    PackBytes script;
    if (!PackScript(text + "\n", shown, &script, error)) return 0;
    *line = text;
    return 1;
}
