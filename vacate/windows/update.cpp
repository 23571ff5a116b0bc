// The update check of "-Update": asks the user, fetches the version document from the
// product's update address (through the user's proxy, then directly, then on the user's
// word again), compares versions, offers the new version in dialog 100, downloads the
// installer into the product's folder and runs it with "-Quiet". Every box and the dialog
// are captioned "Electronic Update...".
#include <windows.h>

#include <shellapi.h>

#include "tessel/maker.h"
#include "tessel/platform.h"
#include "tessel/socket.h"
#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "tessel/winhelpr.h"
#include "vacate/http.h"
#include "vacate/paths.h"
#include "vacate/program.h"
#include "vacate/prompt.h"
#include "vacate/remove.h"
#include "vacate/resource.h"
#include "vacate/script.h"
#include "vacate/shell.h"
#include "vacate/signature.h"
#include "vacate/update.h"

static const char kSrc[] = "update";

namespace {

constexpr char kCaption[] = "Electronic Update...";
constexpr int kQuestionSize = 120;
constexpr int kMessageSize = 320;
constexpr int kDialogLineSize = 80;

// The download state, from the dialog to the download.
UpdateChoice gChoice;

// What the open dialog shows and opens.
struct DialogTexts {
    const ScriptContext* context;
    const char* version;
    const char* page;
};
DialogTexts gDialog;

// "Quorvex Update Check Uninstall (www.quorvex.example)" and its "Download" sibling.
void FormatAgent(char* agent, const char* kind) {
    StrPrintf(agent, UPDATE_AGENT_SIZE, "%s Update %s %s (%s)", MakerName, kind, ProgramName,
              MakerWebHost);
}

// Opens the request for `address` with the user agent of `kind` ("Check" or "Download")
// and sends it. The connection, or null when none opened; `*sent` is 0 (and logged) when
// the request did not go out whole.
Socket* StartRequest(const char* address, const char* kind, int useProxy, char* buffer,
                     int32_t size, int* sent) {
    *sent = 0;
    char agent[UPDATE_AGENT_SIZE];
    FormatAgent(agent, kind);
    Socket* socket = nullptr;
    int32_t headerLength = 0;
    if (!HttpOpenRequest(address, agent, "GET", 0, useProxy, &socket, buffer, size,
                         &headerLength))
        return nullptr;
    *sent = HttpSendAll(socket, buffer, headerLength);
    if (!*sent) LogPrint("Unable to output header (%s)\n", SocketLastErrorText(socket));
    return socket;
}

void ReleaseConnection(Socket** socket) {
    SocketShutdown(*socket);
    SocketClose(*socket);
    SocketDestroy(socket);
}

// The security calls of the NT line: the 9x line keeps no DACLs and only stubs them.
struct SecurityCalls {
    BOOL(WINAPI* initializeAcl)(ACL*, DWORD, DWORD);
    BOOL(WINAPI* addAllowedAce)(ACL*, DWORD, DWORD, void*);
    BOOL(WINAPI* initializeDescriptor)(SECURITY_DESCRIPTOR*, DWORD);
    BOOL(WINAPI* setDescriptorDacl)(SECURITY_DESCRIPTOR*, BOOL, ACL*, BOOL);
    BOOL(WINAPI* getObjectSecurity)(HANDLE, SECURITY_INFORMATION, SECURITY_DESCRIPTOR*, DWORD,
                                    DWORD*);
    BOOL(WINAPI* setObjectSecurity)(HANDLE, SECURITY_INFORMATION, SECURITY_DESCRIPTOR*);
};
SecurityCalls gSecurity;
int gSecurityAsked = 0;

template <typename Fn>
int FindSecurity(const char* name, Fn* slot) {
    return PlatformFind("advapi32.dll", name, PLATFORM_NT, slot);
}

// 1 where the system keeps DACLs on files (looked up once).
int FileSecurity() {
    if (!gSecurityAsked) {
        gSecurityAsked = 1;
        SecurityCalls calls = {};
        if (FindSecurity("InitializeAcl", &calls.initializeAcl) &&
            FindSecurity("AddAccessAllowedAce", &calls.addAllowedAce) &&
            FindSecurity("InitializeSecurityDescriptor", &calls.initializeDescriptor) &&
            FindSecurity("SetSecurityDescriptorDacl", &calls.setDescriptorDacl) &&
            FindSecurity("GetKernelObjectSecurity", &calls.getObjectSecurity) &&
            FindSecurity("SetKernelObjectSecurity", &calls.setObjectSecurity))
            gSecurity = calls;
    }
    return gSecurity.initializeAcl != nullptr;
}

// The three well-known SIDs, laid out as the system lays out a SID: revision 1, the count of
// subauthorities, the identifier authority (six bytes, big-endian), then the subauthorities
// (little-endian): Everyone S-1-1-0, Administrators S-1-5-32-544 and SYSTEM S-1-5-18.
struct WellKnownSid {
    BYTE revision;
    BYTE count;
    BYTE authority[6];
    DWORD subauthority[2];
};
constexpr WellKnownSid kEveryone = {1, 1, {0, 0, 0, 0, 0, 1}, {0, 0}};
constexpr WellKnownSid kAdministrators = {1, 2, {0, 0, 0, 0, 0, 5}, {32, 544}};
constexpr WellKnownSid kSystem = {1, 1, {0, 0, 0, 0, 0, 5}, {18, 0}};

// The download's own file in the product's folder while it arrives and is checked: a new
// name that no file has, created exclusively, shared with readers and with renaming (its
// own, once it is in order) but never with writers. Nothing of the product's is touched
// until then.
struct Staged {
    HANDLE file;
    char path[SCRIPT_PATH_SIZE];
    DWORD tick;  // of its name
};

int StageCreate(ScriptContext* context, Staged* staged) {
    staged->file = INVALID_HANDLE_VALUE;
    staged->path[0] = '\0';
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
        char name[UPDATE_FIELD_SIZE];
        staged->tick = GetTickCount() + attempt;
        UpdateStagedName(name, GetCurrentProcessId(), staged->tick, 0);
        int flags = 0;
        if (!TranslatePath(context, name, staged->path, &flags)) break;
        // The 9x line refuses an open that asks for delete sharing, and keeps no DACLs.
        staged->file = CreateFileA(staged->path,
                                   GENERIC_READ | GENERIC_WRITE | (FileSecurity() ? WRITE_DAC : 0),
                                   FILE_SHARE_READ | PlatformShareDelete(), nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        if (staged->file != INVALID_HANDLE_VALUE) return 1;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    LogPrint("Unable to open file '%s'\n", staged->path);
    return 0;
}

// Removes the staged file (while it is still open: it goes when the handle closes).
void StageDiscard(Staged* staged) {
    if (staged->file == INVALID_HANDLE_VALUE) return;
    if (!DeleteFileA(staged->path))
        LogPrint("Unable to remove the download '%s' (0x%.8X)\n", staged->path,
                 static_cast<unsigned>(GetLastError()));
    CloseHandle(staged->file);
    staged->file = INVALID_HANDLE_VALUE;
}

// Writes a part of the body into the staged file and, when signed, into its hash.
int StageWrite(Staged* staged, SignatureDigest* digest, const char* bytes, int32_t length) {
    DWORD written = 0;
    if (length > 0 && (!WriteFile(staged->file, bytes, static_cast<DWORD>(length), &written,
                                  nullptr) ||
                       written != static_cast<DWORD>(length))) {
        LogPrint("Unable to write file '%s' (0x%.8X)\n", staged->path,
                 static_cast<unsigned>(GetLastError()));
        return 0;
    }
    return digest == nullptr || SignatureDigestAdd(digest, bytes, length);
}

// A DACL that lets everyone read and run a file and nobody write it; administrators and the
// system may still delete it and set its DACL.
struct ReadOnlySecurity {
    SECURITY_DESCRIPTOR descriptor;
    DWORD acl[64];
};

int MakeReadOnly(ReadOnlySecurity* security) {
    const WellKnownSid* sids[] = {&kEveryone, &kAdministrators, &kSystem};
    ACL* acl = reinterpret_cast<ACL*>(security->acl);
    if (!FileSecurity() || !gSecurity.initializeAcl(acl, sizeof security->acl, ACL_REVISION))
        return 0;
    for (const WellKnownSid* sid : sids) {
        const DWORD rights = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE |
                             (sid == &kEveryone ? 0 : DELETE | WRITE_DAC);
        WellKnownSid copy = *sid;
        if (!gSecurity.addAllowedAce(acl, ACL_REVISION, rights, &copy)) return 0;
    }
    return gSecurity.initializeDescriptor(&security->descriptor, SECURITY_DESCRIPTOR_REVISION) &&
           gSecurity.setDescriptorDacl(&security->descriptor, TRUE, acl, FALSE);
}

// The file's own DACL into `own` (a self-relative security descriptor of `size` bytes).
int GetOwnSecurity(HANDLE file, DWORD* own, DWORD size) {
    DWORD needed = 0;
    return FileSecurity() &&
           gSecurity.getObjectSecurity(file, DACL_SECURITY_INFORMATION,
                                       reinterpret_cast<SECURITY_DESCRIPTOR*>(own), size,
                                       &needed);
}

int SetSecurity(HANDLE file, void* descriptor) {
    return FileSecurity() &&
           gSecurity.setObjectSecurity(file, DACL_SECURITY_INFORMATION,
                                       static_cast<SECURITY_DESCRIPTOR*>(descriptor));
}

// The same file: volume, size and, where the system keeps it across a rename, its index
// (the 9x line's FAT index is the place of the file's directory entry, which a new name may
// move).
bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    const bool sameIndex = a.nFileIndexHigh == b.nFileIndexHigh &&
                           a.nFileIndexLow == b.nFileIndexLow;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           (sameIndex || !PlatformUnicode()) && a.nFileSizeHigh == b.nFileSizeHigh &&
           a.nFileSizeLow == b.nFileSizeLow;
}

// Gives the checked download the name `finalPath`, which no file may have (a file of the
// product's is never replaced), and holds it open against writers until it has run. The
// writing handle must close before the installer can start; until the holding handle is
// open, the file's DACL lets nobody write it, and the holding handle then gives it its own
// DACL back. The holding handle must reach the very file that was written (same volume, file
// index and size).
int StagePlace(Staged* staged, const char* finalPath, void** held) {
    DWORD own[1024];  // the file's own DACL, as a self-relative security descriptor
    ReadOnlySecurity readOnly;
    const bool guarded = GetOwnSecurity(staged->file, own, sizeof own) &&
                         MakeReadOnly(&readOnly) &&
                         SetSecurity(staged->file, &readOnly.descriptor);
    if (!FileSecurity())
        LogPrint("This system keeps no DACLs: the download '%s' is guarded by its handles only\n",
                 staged->path);
    else if (!guarded)
        LogPrint("Unable to keep writers from the download '%s' by its DACL (0x%.8X)\n",
                 staged->path, static_cast<unsigned>(GetLastError()));
    BY_HANDLE_FILE_INFORMATION written;
    if (!GetFileInformationByHandle(staged->file, &written)) {
        LogPrint("Unable to read the download '%s' (0x%.8X)\n", staged->path,
                 static_cast<unsigned>(GetLastError()));
        return 0;
    }
    // A file open without delete sharing cannot be renamed, and the 9x line shares no delete:
    // there the writing handle closes first (the system keeps no DACLs to guard the file in
    // between either way).
    const bool renameWhileOpen = PlatformShareDelete() != 0;
    if (!renameWhileOpen) {
        CloseHandle(staged->file);
        staged->file = INVALID_HANDLE_VALUE;
    }
    // MoveFile (every Windows has it) never replaces a file.
    if (!MoveFileA(staged->path, finalPath)) {
        LogPrint("Unable to give the download the name '%s' (0x%.8X)\n", finalPath,
                 static_cast<unsigned>(GetLastError()));
        if (guarded) SetSecurity(staged->file, own);
        if (!renameWhileOpen) DeleteFileA(staged->path);
        return 0;
    }
    if (renameWhileOpen) CloseHandle(staged->file);
    staged->file = INVALID_HANDLE_VALUE;
    HANDLE file = CreateFileA(finalPath, GENERIC_READ | (guarded ? WRITE_DAC : 0),
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    BY_HANDLE_FILE_INFORMATION holding;
    if (file == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file, &holding) ||
        !SameFile(written, holding)) {
        LogPrint("Unable to hold the download '%s' as it was checked (0x%.8X)\n", finalPath,
                 static_cast<unsigned>(GetLastError()));
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        return 0;
    }
    if (guarded && !SetSecurity(file, own))
        LogPrint("Unable to give the download '%s' its own DACL back (0x%.8X)\n", finalPath,
                 static_cast<unsigned>(GetLastError()));
    *held = file;
    return 1;
}

// The deadline of one response, counted from its request on: no read waits longer than it
// leaves.
struct Deadline {
    DWORD start;
    int32_t silence;  // the socket's own read time-out, for one wait
};

void DeadlineBegin(Deadline* deadline, const Socket* socket) {
    deadline->start = GetTickCount();
    deadline->silence = socket->readTimeout;
}

int64_t DeadlineLeft(const Deadline* deadline, int64_t limitMs) {
    return limitMs - static_cast<int64_t>(GetTickCount() - deadline->start);
}

// Before a read: 1 with the socket's read time-out cut to what the deadline leaves; 0 once
// it has passed.
int DeadlineRead(const Deadline* deadline, Socket* socket, int64_t limitMs) {
    const int64_t left = DeadlineLeft(deadline, limitMs);
    if (left <= 0) return 0;
    socket->readTimeout =
        left < deadline->silence ? static_cast<int32_t>(left) : deadline->silence;
    return 1;
}

// Reads the response into the staged file (and the hash), as UpdateTransfer takes it apart,
// until its announced body is in, its deadline has passed or the user cancels (`*cancelled`).
// 1 when the file came complete from a 2xx response.
int Receive(Socket* socket, Staged* staged, SignatureDigest* digest, char* buffer,
            int32_t size, int* cancelled) {
    ProgressWindowSet(60);
    UpdateTransfer transfer;
    UpdateTransferBegin(&transfer, size);
    Deadline deadline;
    DeadlineBegin(&deadline, socket);
    int32_t at = 0;
    int32_t room = 0;
    int32_t got = 0;
    int saved = 1;
    while (!UpdateTransferDone(&transfer) && UpdateTransferRoom(&transfer, &at, &room) &&
           DeadlineRead(&deadline, socket, UpdateTransferDeadlineMs(&transfer)) &&
           HttpRead(socket, buffer + at, room, &got)) {
        int32_t bodyAt = 0;
        int32_t bodyLength = 0;
        if (!UpdateTransferTake(&transfer, buffer, got, &bodyAt, &bodyLength)) break;
        if (!transfer.headerSeen) continue;
        if (transfer.percent >= 0) ProgressWindowSet(transfer.percent);
        if (!StageWrite(staged, digest, buffer + bodyAt, bodyLength)) {
            saved = 0;
            break;
        }
        LogPrint("Recieved -> [%d / %d]\n", bodyLength, static_cast<int32_t>(transfer.written));
    }
    // The announced size or the server's close ends a download normally; a reset, a time-out,
    // the deadline or the user breaks it off.
    const int64_t limit = UpdateTransferDeadlineMs(&transfer);
    const int late = !UpdateTransferDone(&transfer) && DeadlineLeft(&deadline, limit) <= 0;
    *cancelled = socket->lastError == WSAEINTR;
    if (*cancelled)
        LogPrint("Download cancelled by the user\n");
    else if (late)
        LogPrint("Download past its deadline (%d s)\n", static_cast<int32_t>(limit / 1000));
    else if (socket->lastError != 0)
        LogPrint("Download read failed (%s)\n", SocketLastErrorText(socket));
    return saved && UpdateTransferResult(&transfer, late || socket->lastError != 0);
}

typedef int (*UpdatePhase)(ScriptContext* context, const char* address, int useProxy,
                           char* buffer, int32_t size);

// Phase 0 through the proxy, phase 1 directly, phase 2 asks whether to try again, which
// leads to phase 1 once more. 1 as soon as a phase succeeded.
int RunPhases(ScriptContext* context, const char* address, UpdatePhase phase,
              const char* logLine, const char* question, char* buffer) {
    int p = 0;
    int r = 0;
    for (;;) {
        LogPrint(logLine, p);
        if (p == 0)
            r = phase(context, address, 1, buffer, UPDATE_BUFFER_SIZE);
        else if (p == 1)
            r = phase(context, address, 0, buffer, UPDATE_BUFFER_SIZE);
        else if (AskYesNo(question, kCaption))
            p = 0;
        // A download the user cancelled is not tried again.
        if (r == 1 || gChoice.cancelled || ++p >= 3) return r;
    }
}

// The record's page comes from the server, and this process runs as administrator: the
// shell gets a web address only, never a program or a document to open, and none with a
// quote that could end the address in the browser's command line.
void OpenPage(HWND dialog, const char* page) {
    const char* quote = nullptr;
    if ((!StrStartsWithNoCase(page, "http://") && !StrStartsWithNoCase(page, "https://")) ||
        StrFindChar(page, '"', &quote)) {
        LogPrint("Not a web address, not opened '%s'\n", page);
        return;
    }
    HINSTANCE opened = ShellExecuteA(dialog, "open", page, nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<uintptr_t>(opened) <= 32)
        LogPrint("Unable to open the web page '%s' (%d)\n", page,
                 static_cast<int>(reinterpret_cast<uintptr_t>(opened)));
}

INT_PTR CALLBACK UpdateDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowTextA(dialog, kCaption);
        WinCenter(dialog, GetParent(dialog));
        const ScriptContext* c = gDialog.context;
        char line[kDialogLineSize];
        StrPrintf(line, sizeof line, "A new version of %s %s is available!", c->companyName,
                  c->productName);
        DlgSetText(dialog, IDC_UPDATE_LINE1, line, kDialogLineSize);
        StrPrintf(line, sizeof line, "Current version %s - New version %s", c->productVersion,
                  gDialog.version);
        DlgSetText(dialog, IDC_UPDATE_LINE2, line, kDialogLineSize);
        SetForegroundWindow(dialog);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_UPDATE_WEBPAGE:
            OpenPage(dialog, gDialog.page);
            return TRUE;
        case IDC_UPDATE_DOWNLOAD:
            EndDialog(dialog, 1);
            return TRUE;
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

const UpdateChoice* UpdateCurrentChoice() { return &gChoice; }

int UpdateReleaseDownload() {
    if (gChoice.checkedFile != nullptr) CloseHandle(static_cast<HANDLE>(gChoice.checkedFile));
    gChoice.checkedFile = nullptr;
    return 1;
}

int UpdateCheck(ScriptContext* context) {
    TSL_NOT_NULL(kSrc, context);
    if (context->updateUrl[0] == '\0') return 1;
    char question[kQuestionSize];
    StrPrintf(question, sizeof question,
              "Would you like to check for an update to %s %s electronically?",
              context->companyName, context->productName);
    if (!AskYesNo(question, kCaption)) return 1;

    UpdateReleaseDownload();
    gChoice = UpdateChoice{};
    char* buffer = static_cast<char*>(MemAlloc(UPDATE_BUFFER_SIZE, MEM_DEFAULT, kSrc, __LINE__));
    ProgressWindowSet(0);
    ProgressWindowShow(1);
    int r = RunPhases(context, context->updateUrl, UpdateFetchInfo, "Update on phase %d\n",
                      "There was a problem checking with the update server, would you like "
                      "to try again?",
                      buffer);
    ProgressWindowShow(0);

    if (r == 1) {
        if (!UpdateParseInfo(context, buffer))
            ShowProblem("Unable to retrieve version info from update server, please check the "
                        "website.",
                        kCaption);
        if (gChoice.accepted && context->signedUpdates && !SignatureAvailable()) {
            // Unchecked it is never run: the user gets it from the product's page instead.
            char text[2 * kMessageSize];
            StrPrintf(text, sizeof text,
                      "The new version of %s %s is signed, and this system cannot check its "
                      "signature (SHA-256 in the system's cryptography comes with Windows XP "
                      "SP3). Nothing was downloaded: please get the new version from the "
                      "product's web page.",
                      context->companyName, context->productName);
            ShowProblem(text, kCaption);
        } else if (gChoice.accepted) {
            ProgressWindowSet(0);
            ProgressWindowShow(1);
            r = RunPhases(context, gChoice.download, UpdateDownload,
                          "Update download on phase %d\n",
                          "There was a problem downloading the update, would you like to try "
                          "again?",
                          buffer);
            ProgressWindowShow(0);
            if (r == 1) {
                uint32_t exitCode = 0;
                if (RunProgramFile(gChoice.savePath, "-Quiet", &exitCode) && exitCode == 1)
                    ShowProblem("Successfully updated program to latest version!", kCaption);
                else
                    ShowProblem("Error attempting to update, please go to the site for the "
                                "latest version.",
                                kCaption);
                UpdateReleaseDownload();
            }
        }
    }
    MemFree(buffer, UPDATE_BUFFER_SIZE, MEM_DEFAULT, kSrc, __LINE__);
    if (r == 0 && !gChoice.cancelled)
        ShowProblem("Unable to contact the update server, please try again later.", kCaption);
    return 1;
}

int UpdateRemoveStaged(ScriptContext* context, RemovalRun* run) {
    TSL_NOT_NULL(kSrc, context);
    TSL_NOT_NULL(kSrc, run);
    char path[SCRIPT_PATH_SIZE];
    int flags = 0;
    if (!TranslatePath(context, UPDATE_STAGED_WILDCARD, path, &flags) || !PathIsAbsolute(path))
        return 0;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(path, &found);
    if (find == INVALID_HANDLE_VALUE) return 1;
    do {
        // The wildcard matches other names too (short names among them): only the exact
        // form counts.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            !UpdateIsStagedName(found.cFileName) ||
            !TranslatePath(context, found.cFileName, path, &flags))
            continue;
        LogPrint("Download left behind '%s'\n", path);
        RemovalRunFile(run, path);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return 1;
}

int UpdateFetchInfo(ScriptContext* context, const char* address, int useProxy, char* buffer,
                    int32_t size) {
    TSL_NOT_NULL(kSrc, context);
    TSL_NOT_NULL(kSrc, address);
    TSL_NOT_NULL(kSrc, buffer);
    int sent = 0;
    Socket* socket = StartRequest(address, "Check", useProxy, buffer, size, &sent);
    if (socket == nullptr) return 0;

    int result = 0;
    if (sent) {
        ProgressWindowSet(60);
        // The whole response goes into the buffer as one text, one byte kept for its end;
        // its announced size or the server's close ends it, or its deadline.
        int32_t used = 0;
        int32_t got = 0;
        buffer[0] = '\0';
        Deadline deadline;
        DeadlineBegin(&deadline, socket);
        while (used < size - 1 && !UpdateResponseComplete(buffer, used) &&
               DeadlineRead(&deadline, socket, UpdateDeadlineMs(used)) &&
               HttpRead(socket, buffer + used, size - 1 - used, &got)) {
            LogPrint("Recieved -> %d [%d]\n", used, got);
            used += got;
            buffer[used] = '\0';
        }
        const int complete = UpdateResponseComplete(buffer, used);
        // A full buffer: one more byte tells a document that fits exactly from one that is
        // too large.
        char extra = 0;
        char line[UPDATE_FIELD_SIZE];
        const int64_t limit = UpdateDeadlineMs(used);
        if (!complete && DeadlineLeft(&deadline, limit) <= 0) {
            LogPrint("Update information past its deadline (%d s)\n",
                     static_cast<int32_t>(limit / 1000));
        } else if (!complete && used == size - 1 && HttpRead(socket, &extra, 1, &got)) {
            LogPrint("Update information too large (%d bytes or more)\n", size);
        } else if (used > 0) {
            // An error page (of a proxy, say) is no version document: the phase failed.
            const int32_t status = UpdateStatus(buffer, used, line, sizeof line);
            result = status >= 200 && status <= 299;
            if (!result) LogPrint("Update information refused (%s)\n", line);
        }
    }
    ProgressWindowSet(80);
    ReleaseConnection(&socket);
    return result;
}

int UpdateParseInfo(ScriptContext* context, char* buffer) {
    TSL_NOT_NULL(kSrc, context);
    TSL_NOT_NULL(kSrc, buffer);
    char key[UPDATE_FIELD_SIZE];
    StrPrintf(key, sizeof key, "%s %s", context->companyName, context->productName);
    // The product version is cut to its number for the rest of the run.
    double current = 0.0;
    if (!UpdateVersionNumber(&current, context->productVersion))
        LogPrint("Product version is no number '%s'\n", context->productVersion);

    UpdateRecord record;
    if (!UpdateScanInfo(buffer, key, &record)) return 0;
    // The signature binds the version text, so the comparison must read it exactly as the
    // maker meant it: "1.7.5" would read as 17.5 and let an older installer in as newer.
    if (context->signedUpdates && !UpdateVersionPlain(record.version)) {
        LogPrint("Update version '%s' of a signed record is no plain decimal number\n",
                 record.version);
        return 0;
    }
    LogPrint("Match: %f %f\n", current, record.number);
    if (record.number > current) {
        UpdateDialog(context, record.version, record.page, record.download);
        StrCopy(gChoice.signature, record.signature);
    } else {
        char text[kMessageSize];
        StrPrintf(text, sizeof text, "You are running the latest version of %s %s.",
                  context->companyName, context->productName);
        ShowProblem(text, kCaption);
    }
    return 1;
}

int UpdateDialog(ScriptContext* context, const char* version, const char* page,
                 const char* download) {
    TSL_NOT_NULL(kSrc, context);
    TSL_NOT_NULL(kSrc, version);
    TSL_NOT_NULL(kSrc, page);
    TSL_NOT_NULL(kSrc, download);
    gDialog = DialogTexts{context, version, page};
    UpdateReleaseDownload();
    gChoice = UpdateChoice{};
    // A cut address would name another file, a cut version another version: none is kept
    // instead.
    if (StrLen(download) < UPDATE_FIELD_SIZE)
        StrCopy(gChoice.download, download);
    else
        LogPrint("Download address too long '%s'\n", download);
    if (StrLen(version) < UPDATE_VERSION_SIZE) StrCopy(gChoice.version, version);

    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_UPDATE),
                                     nullptr, UpdateDialogProc, 0);
    if (result == -1)
        LogPrint("Unable to show the update dialog (0x%.8X)\n",
                 static_cast<unsigned>(GetLastError()));
    if (result == 1) gChoice.accepted = 1;
    gDialog = DialogTexts{};
    return 1;
}

int UpdateDownload(ScriptContext* context, const char* address, int useProxy, char* buffer,
                   int32_t size) {
    TSL_NOT_NULL(kSrc, context);
    TSL_NOT_NULL(kSrc, address);
    TSL_NOT_NULL(kSrc, buffer);

    UpdateReleaseDownload();
    gChoice.cancelled = 0;
    // The server names the file; only a plain name inside the product's folder is taken.
    char name[UPDATE_FIELD_SIZE];
    if (!UpdateFileName(address, name)) {
        LogPrint("No usable file name in the download address '%s'\n", address);
        return 0;
    }
    char path[SCRIPT_PATH_SIZE];
    int flags = 0;
    if (!TranslatePath(context, name, path, &flags) || !PathIsAbsolute(path)) {
        LogPrint("No save path in the product's folder for '%s'\n", name);
        return 0;
    }

    Staged staged;
    if (!StageCreate(context, &staged)) return 0;
    // The installer never takes the place of a file: it keeps the server's name only as a
    // program of a name that no file has, and otherwise its own file's name as a program.
    if (!UpdateIsProgramName(name) || GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        UpdateStagedName(name, GetCurrentProcessId(), staged.tick, 1);
        if (!TranslatePath(context, name, path, &flags)) {
            StageDiscard(&staged);
            return 0;
        }
    }
    StrCopy(gChoice.savePath, path);
    LogPrint("Save to -> [%s]\n", path);
    // With "UPDATE KEY" the bytes are hashed as they arrive, never read back.
    SignatureDigest digest = {};
    SignatureDigest* hashing = context->signedUpdates ? &digest : nullptr;
    int result = 0;
    int sent = 0;
    Socket* socket = nullptr;
    if (hashing == nullptr || SignatureDigestBegin(hashing))
        socket = StartRequest(address, "Download", useProxy, buffer, size, &sent);
    if (socket != nullptr) {
        // The user may cancel the download (not the rest of the check) from the progress
        // window.
        ProgressWindowOfferCancel(1);
        if (sent) result = Receive(socket, &staged, hashing, buffer, size, &gChoice.cancelled);
        ProgressWindowOfferCancel(0);
        ReleaseConnection(&socket);
    }
    if (hashing != nullptr) {
        if (result && SignatureCheck(hashing, context->updateKey, gChoice.signature,
                                     context->productName, gChoice.version)) {
            LogPrint("Update signature checks out '%s'\n", path);
        } else if (result) {
            LogPrint("Download for '%s' not run and removed: its signature did not check out\n",
                     path);
            result = 0;
        }
        SignatureDigestEnd(hashing, nullptr);
    }
    // Only now does the download get its name, with the very bytes that were checked.
    if (result) result = StagePlace(&staged, path, &gChoice.checkedFile);
    StageDiscard(&staged);
    return result;
}
