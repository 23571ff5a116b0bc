// The package builder: turns a readable script source into the "install.dat" bytes the
// uninstaller reads, appends them as an install archive to a copy of the uninstaller's
// executable, and reads the script of a packed uninstaller back in readable form.
//
// Source form: one command per line, the keyword, ':', then its fields separated by tabs;
// a list is one field whose items are separated by ','; a keyword without data has nothing
// after ':'. Blank lines and lines starting with '#' are passed over.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

using PackBytes = std::vector<uint8_t>;

// The script bytes of a source: each command is 0x16, the keyword, ':', each field followed
// by one separator (a tab between fields, a carriage return after the last) and a line
// feed. Refuses, with a message naming `sourceName` and the line, whatever the uninstaller
// would misread. 1 on success.
int PackScript(const std::string& source, const std::string& sourceName, PackBytes* script,
               std::string* error);

// A copy of the executable `host` with the archive appended: the tag, the scrambled script
// and the trailer holding the tag's offset. Blank padding goes between the script and the
// trailer when needed, so that no trailer byte reads as the start of a command.
int PackArchive(const PackBytes& host, const PackBytes& script, PackBytes* packed,
                std::string* error);

// Reads the script of the packed uninstaller at `path` the way the uninstaller reads it
// and gives it back in source form (keywords as the table spells them). Registers its own
// keyword handlers for the time of the call, so no other registry may be in place.
int PackDump(const char* path, std::string* source, std::string* error);

// Whole files. A file is written beside its path ("<path>.part") and renamed over it only
// once complete.
int PackReadFile(const char* path, PackBytes* bytes, std::string* error);
int PackWriteFile(const char* path, const PackBytes& bytes, std::string* error);

// The "FILE LIST" line (keyword, ':', the items; no line end) of every file below
// `folder`, each item its path relative to the folder with '\' between the parts. A
// folder's files come together, after the files of its subfolders (each listed the same
// way, in name order), in name order; so the uninstaller finds each folder empty when it
// tidies it. Refuses, naming the file, a name the uninstaller or Windows would read as
// another (a ',', a '..' part, characters outside 0x20..0x7F or that Windows names cannot
// hold, a leading '$', names differing in letter case alone), an item longer than the
// uninstaller keeps, a link to a folder, a line `PackScript` would refuse, a folder
// without files, and an empty folder below it (naming it), which the uninstaller would
// leave behind.
int PackListFolder(const char* folder, std::string* line, std::string* error);

// The program's commands, on files. The output may not be one of the inputs.
int PackBuildFiles(const char* sourcePath, const char* hostPath, const char* outPath,
                   std::string* error);
int PackScriptFiles(const char* sourcePath, const char* outPath, std::string* error);
