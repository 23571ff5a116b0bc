// The update check of the uninstaller's "-Update" mode. The pure parts build on every
// target: the version document's scan with its fields, the version number, the installer's
// file name taken from its address, and the download's response handling, fed read by read
// whatever the chunking. The Win32 side (windows/update.cpp) asks the user, fetches,
// shows the new-version dialog, downloads and runs the installer.
#pragma once

#include <stdint.h>

#include "vacate/signature.h"

constexpr int32_t UPDATE_BUFFER_SIZE = 1024000;  // request header, then the whole response
constexpr int UPDATE_FIELD_SIZE = 320;           // names, addresses, unknown fields
constexpr int UPDATE_VERSION_SIZE = 80;
constexpr int UPDATE_AGENT_SIZE = 320;
constexpr char UPDATE_TAG = 0x16;  // starts a tagged field of the version document

// The record of the version document the scan stands on. A '1' field (a new record) empties
// the name, the version text and the page address but keeps the version number and the
// download address of the record before it. The signature belongs to the record that
// carries it: a '1' empties it too, so a record never takes another record's signature.
struct UpdateRecord {
    char name[UPDATE_FIELD_SIZE];          // '1'
    char version[UPDATE_VERSION_SIZE];     // '2', cut to its number
    double number;                         // the version number of the '2' field
    char page[UPDATE_FIELD_SIZE];          // '3': the product's web page
    char download[UPDATE_FIELD_SIZE];      // '4': the new installer's address
    char signature[SIGNATURE_TEXT_SIZE];   // '5': the installer's signature, as hex text
};

// Copies the field at `*cursor`, every byte from 0x20 up to the first one below it, into
// `destination` and leaves the cursor on that byte. 0 when the field has `capacity` bytes
// or more (`destination` is then empty).
int UpdateReadField(const char** cursor, char* destination, int capacity);

// The leading run of digits and '.' of `text`, read as a real number; the text is cut right
// after the run. An empty run gives 0. 0 (and the number 0) when the run is too long to be
// read, 70 characters or more; such a text is no version.
int UpdateVersionNumber(double* number, char* text);

// 1 when `text` is a plain decimal number: digits, at most one point with digits on both
// sides, and at most UPDATE_VERSION_DIGITS digits in all, so that its reading as a real
// number is exact enough to tell it from every other such number. Versions compare as real
// numbers, and "1.7.5" reads as 17.5: a signed record's version must be of this form.
constexpr int UPDATE_VERSION_DIGITS = 15;
int UpdateVersionPlain(const char* text);

// Scans the zero-terminated response (header and body alike) for the record whose name
// equals `productKey` (letter case ignored) and its '0' end. 1 with the record found; 0
// when there is none, or a field does not fit its capacity, or a version is no number.
int UpdateScanInfo(const char* text, const char* productKey, UpdateRecord* record);

// The installer's file name, the text after the last '/' of its address (the whole address
// when no '/' follows its first character), into `name` (UPDATE_FIELD_SIZE bytes). 0 (and
// `name` empty) when the name could make the save path leave the product's folder or name
// no plain file there: empty, a path variable ('$' first), a separator, ':', another
// character a file name cannot hold, only dots and blanks, a trailing dot or blank, or a
// device name.
int UpdateFileName(const char* address, char* name);

// The download's own file in the product's folder while it arrives, "~update-<process>-
// <tick>.part" (`program` 0), and the same name ending in ".exe" (`program` 1) for a checked
// installer that does not keep the server's name. `name` holds UPDATE_FIELD_SIZE bytes.
int UpdateStagedName(char* name, uint32_t process, uint32_t tick, int program);
// 1 when `name` has exactly the form of a download's file while it arrives (letter case
// ignored): what a process that died during a download leaves behind. The wildcard lists
// them for FindFirstFile, with names of other forms among them.
int UpdateIsStagedName(const char* name);
constexpr char UPDATE_STAGED_WILDCARD[] = "~update-*.part";
// 1 when the server's name can stay the installer's: it ends in ".exe" (any letter case).
int UpdateIsProgramName(const char* name);

// The longest a response may take from its request on: UPDATE_DEADLINE_MS, and a second more
// for every UPDATE_DEADLINE_RATE bytes of `bytes`, its announced size (or, without one, what
// has come so far: a response must keep that rate on average).
constexpr int32_t UPDATE_DEADLINE_MS = 20000;
constexpr int32_t UPDATE_DEADLINE_RATE = 1024;
int64_t UpdateDeadlineMs(int64_t bytes);

// 1 when the response in `response` (`length` bytes so far) is complete: its header has ended
// and the body its "Content-Length:" announces has come whole. A response without a size
// ends only with the connection.
int UpdateResponseComplete(const char* response, int32_t length);

// The status code of the response in `response` (`length` bytes: "HTTP/x.y NNN ..."), 0 when
// it does not start with a status line; its first line (cut to `capacity` - 1 bytes) goes
// into `line` for the log.
int32_t UpdateStatus(const char* response, int32_t length, char* line, int capacity);

// One download's response, read by read into one buffer: header bytes are kept until the
// header's end "\r\n\r\n" has come, then each read goes where the body began, behind the
// header. The status must be 2xx; "Content-Length:" (letter case ignored) gives the size.
struct UpdateTransfer {
    int32_t size;        // the buffer's size; one byte stays free for a terminator
    int32_t kept;        // response bytes at the buffer's start so far (the header's search)
    int32_t headerSeen;  // 1 once the header's end has come
    int32_t bodyStart;   // where the body begins in the buffer, once the header is seen
    int32_t status;      // the status code of the status line
    int32_t sized;       // 1 when the header announced the size ("Content-Length:")
    int64_t expected;    // the announced size (0 when none was announced)
    int64_t written;     // body bytes taken
    double percent;      // progress after the last read: 60..100, or -1 (no size known)
    int32_t failed;      // 1 once the download cannot be used (logged)
};

constexpr int64_t UPDATE_DOWNLOAD_MAX = 0x7FFFFFFF;  // bytes of one download at most

int UpdateTransferBegin(UpdateTransfer* transfer, int32_t bufferSize);
// Where the next read goes in the buffer and how many bytes it may take. 0 when the buffer
// is full before the header has ended (or leaves no room behind it): the download fails.
int UpdateTransferRoom(UpdateTransfer* transfer, int32_t* offset, int32_t* room);
// Takes `received` bytes read into the place UpdateTransferRoom gave and terminates them.
// Once the header is seen, `*bodyOffset` and `*bodyLength` give this read's part of the body
// (perhaps empty); before, the length is 0. 1 to read on; 0 to stop: the download failed
// (status, size) or its body ran past the announced size.
int UpdateTransferTake(UpdateTransfer* transfer, char* buffer, int32_t received,
                       int32_t* bodyOffset, int32_t* bodyLength);
// 1 once the announced body has come whole: nothing more is to be read.
int UpdateTransferDone(const UpdateTransfer* transfer);
// The download's deadline from its request on (UpdateDeadlineMs of its size, or without one
// of what came so far).
int64_t UpdateTransferDeadlineMs(const UpdateTransfer* transfer);
// The outcome once reading has stopped: 1 when the file is complete. `brokenOff` is 1 when
// the last read failed with an error instead of the server's close: a body without a size
// then cannot count as complete.
int UpdateTransferResult(const UpdateTransfer* transfer, int brokenOff);

#ifdef _WIN32
struct ScriptContext;

// What the new-version dialog left for the download.
struct UpdateChoice {
    char download[UPDATE_FIELD_SIZE];     // the installer's address
    char version[UPDATE_VERSION_SIZE];    // the version its record offers
    char signature[SIGNATURE_TEXT_SIZE];  // its record's '5' field
    char savePath[UPDATE_FIELD_SIZE];     // where UpdateDownload saved it
    int32_t accepted;                     // 1 when the user chose the download
    int32_t cancelled;                    // 1 when the user cancelled it during the download
    // The saved file, held open against writers from its check (complete, and with
    // "UPDATE KEY" its signature good) until it has run; null otherwise.
    void* checkedFile;
};
const UpdateChoice* UpdateCurrentChoice();
// Lets go of a downloaded file held since its check (UpdateCheck does after the run).
int UpdateReleaseDownload();

int UpdateCheck(ScriptContext* context);
// The uninstall's part: removes (as `run` removes the product's files) every file of the
// product's folder that a download whose process died left behind (UpdateIsStagedName).
struct RemovalRun;
int UpdateRemoveStaged(ScriptContext* context, RemovalRun* run);
int UpdateFetchInfo(ScriptContext* context, const char* address, int useProxy, char* buffer,
                    int32_t size);
int UpdateParseInfo(ScriptContext* context, char* buffer);
int UpdateDialog(ScriptContext* context, const char* version, const char* page,
                 const char* download);
int UpdateDownload(ScriptContext* context, const char* address, int useProxy, char* buffer,
                   int32_t size);
#endif
