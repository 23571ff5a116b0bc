// The update check on the real Win32 interface under Wine: the HTTP client against a
// scripted server of the test's own on 127.0.0.1, with the user's proxy setting in the
// test prefix pointing at that server, at nothing, or at the real proxy (tinyproxy, started
// by ctest); the fetch and the download over real sockets; dialog 100 and every box driven
// by the window-driving helper; the downloaded installer run for real.
#include <gtest/gtest.h>

#include <string.h>

#include <atomic>
#include <string>
#include <vector>

#include "fixtures/fixture-test.h"
#include "fixtures/url-scheme.h"
#include "socket/test_log.h"
#include "tessel/socket.h"
#include "tessel/tsl-core.h"
#include "tessel/tsl-str.h"
#include "update/document.h"
#include "update/signing.h"
#include "update/update-test.h"
#include "vacate/http.h"
#include "vacate/resource.h"
#include "vacate/script.h"
#include "vacate/shell.h"
#include "vacate/update.h"

using updatetest::HttpServer;
using updatetest::InstallerArguments;
using updatetest::InstallerWishes;
using updatetest::Ok;
using updatetest::Piece;
using updatetest::ProxySetting;
using updatetest::Record;
using updatetest::Reply;
using updatetest::Respond;
using updatetest::SignedRecord;

namespace {

class UpdateEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        SocketStartup();
        ProgressWindowCreate();
    }
    void TearDown() override {
        ProgressWindowDestroy();
        SocketCleanup();
    }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new UpdateEnvironment);

const char kCaption[] = "Electronic Update...";
const char kCheckAgent[] = "Quorvex Update Check Uninstall (www.quorvex.example)";
const char kDownloadAgent[] = "Quorvex Update Download Uninstall (www.quorvex.example)";
const char kKey[] = "QuorvexTest Updater";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The request's header line that starts with `name` (e.g. "Host: "), without its line end.
std::string HeaderLine(const std::string& request, const std::string& name) {
    size_t at = request.find("\r\n" + name);
    if (at == std::string::npos) return std::string();
    at += 2;
    return request.substr(at, request.find("\r\n", at) - at);
}

std::string RequestLine(const std::string& request) {
    return request.substr(0, request.find("\r\n"));
}

// A product for the update check: its names and version, its update address and a folder
// of its own as its install path.
class Product {
public:
    explicit Product(const std::string& url = "", const char* version = "1.60 Release")
        : folder(fixture::TempFolder(), "update") {
        context = ScriptContext{};
        StrCopy(context.companyName, "QuorvexTest");
        StrCopy(context.productName, "Updater");
        StrCopy(context.productVersion, version);
        StrCopyN(context.updateUrl, url.c_str(), sizeof context.updateUrl);
        StrCopy(context.installPath, folder.path.c_str());
        context.runMode = RUN_MODE_UPDATE;
    }
    fixture::ScratchFolder folder;
    ScriptContext context;
};

// The response of a request read to its end with the socket layer, then the connection
// released as the update check releases it.
std::string ReadToEnd(Socket** socket) {
    std::string data;
    char chunk[4096];
    int32_t got = 0;
    while (SocketRead(*socket, chunk, sizeof chunk, &got)) data.append(chunk, got);
    SocketShutdown(*socket);
    SocketClose(*socket);
    SocketDestroy(socket);
    return data;
}

// Opens a request as the update check does (method GET, no body) and, when it opened,
// sends it and reads the response. The request header is left in `header`.
int Request(const std::string& url, int useProxy, std::string* header, std::string* response) {
    char buffer[1024];
    Socket* socket = nullptr;
    int32_t length = -1;
    int opened = HttpOpenRequest(url.c_str(), "Agent 7", "GET", 0, useProxy, &socket, buffer,
                                 sizeof buffer, &length);
    if (!opened) {
        EXPECT_EQ(nullptr, socket);
        return 0;
    }
    *header = std::string(buffer, length);
    EXPECT_EQ(1, HttpSendAll(socket, buffer, length));
    *response = ReadToEnd(&socket);
    return 1;
}

TEST(Http, DirectRequestCarriesThePathTheHostTheAgentAndClose) {
    HttpServer server;
    server.Serve(Ok("hello"));
    ProxySetting noProxy(0, "127.0.0.1:9");
    std::string url = server.Url("/dir/info.txt?product=a");
    size_t mark = testlog::Mark();
    std::string header;
    std::string response;
    ASSERT_EQ(1, Request(url, 1, &header, &response));

    std::string expected = "GET /dir/info.txt?product=a HTTP/1.0\r\nUser-Agent: Agent 7\r\n"
                           "Host: " + server.HostPort() + "\r\nConnection: close\r\n\r\n";
    EXPECT_EQ(expected, header);
    ASSERT_EQ(1u, server.Requests().size());
    EXPECT_EQ(expected, server.Requests()[0]);
    EXPECT_TRUE(Contains(response, "\r\n\r\nhello"));
    std::string log = testlog::Since(mark);
    EXPECT_TRUE(Contains(log, "Contacting '" + server.HostPort() + "' '/dir/info.txt?product=a'\n"));
    EXPECT_TRUE(Contains(log, "Proxy Disabled (0x00000000) : None\n"));

    // A URL without a path asks for "/".
    ASSERT_EQ(1, Request("http://" + server.HostPort(), 0, &header, &response));
    EXPECT_EQ("GET / HTTP/1.0", RequestLine(server.Requests()[1]));
}

TEST(Http, ProxyOfTheUserSettingsGetsTheWholeUrl) {
    // The test's server stands in for the proxy: the URL's own host does not even exist.
    HttpServer proxy;
    proxy.Serve(Ok("via proxy"));
    const std::string url = "http://update.quorvex.example/info.txt?v=2";
    ProxySetting setting(1, "ftp=127.0.0.1:21;HTTP=" + proxy.HostPort() + ";https=127.0.0.1:443");
    size_t mark = testlog::Mark();
    std::string header;
    std::string response;
    ASSERT_EQ(1, Request(url, 1, &header, &response));
    EXPECT_TRUE(Contains(testlog::Since(mark),
                         "Proxy Enabled (0x00000001) : " + proxy.HostPort() + "\n"));
    ASSERT_EQ(1u, proxy.Requests().size());
    EXPECT_EQ("GET " + url + " HTTP/1.0", RequestLine(proxy.Requests()[0]));
    EXPECT_EQ("Host: update.quorvex.example", HeaderLine(proxy.Requests()[0], "Host: "));
    EXPECT_TRUE(Contains(response, "via proxy"));

    // Asked to go straight, the request goes to the URL's host, which does not resolve.
    mark = testlog::Mark();
    EXPECT_EQ(0, Request("http:///info.txt", 0, &header, &response));
    EXPECT_TRUE(Contains(testlog::Since(mark), "Proxy Disabled (0x00000000) : None\n"));
    EXPECT_TRUE(Contains(testlog::Since(mark), "Unable to get machine for URL 'http:///info.txt'\n"));
    EXPECT_EQ(1u, proxy.Requests().size());
}

TEST(Http, ProxyThatIsOffEmptyUnnamedOrNotThereIsLogged) {
    HttpServer server;
    server.Serve(Ok("direct"));
    std::string url = server.Url("/x");
    std::string header;
    std::string response;
    struct Case {
        int32_t enable;
        std::string value;
        int opened;
        std::string logged;
    };
    sockettest::RefusingPort refusing;
    const Case cases[] = {
        // Switched on without a server, or a server switched off: straight to the server.
        {1, "", 1, "Proxy Disabled (0x00000001) : None\n"},
        {0, "127.0.0.1:1", 1, "Proxy Disabled (0x00000000) : None\n"},
        {-1, "", 1, "Proxy Disabled (0x00000000) : None\n"},
        // Entries for other protocols only: the whole value up to ';', which is no host.
        {1, "https=127.0.0.1:1;ftp=127.0.0.1:2", 0,
         "Unable to get machine for URL 'https=127.0.0.1:1'\n"},
        // No port: port 0, which no connection reaches.
        {1, "127.0.0.1", 0, "Unable to connect to machine 127.0.0.1:0 for URL '" + url + "'\n"},
        // A proxy that does not listen.
        {1, "127.0.0.1:" + std::to_string(refusing.Port()), 0,
         "Unable to connect to machine 127.0.0.1:" + std::to_string(refusing.Port()) +
             " for URL '" + url + "'\n"},
    };
    for (const Case& c : cases) {
        ProxySetting setting(c.enable, c.value);
        size_t mark = testlog::Mark();
        EXPECT_EQ(c.opened, Request(url, 1, &header, &response)) << c.value;
        EXPECT_TRUE(Contains(testlog::Since(mark), c.logged)) << c.value << testlog::Since(mark);
        if (c.opened) EXPECT_TRUE(Contains(response, "direct")) << c.value;
    }
}

// Proxy values of another type or too long for their buffer name no proxy: the request
// goes straight to the server, never to a host made of a number's bytes or a cut name.
TEST(Http, ProxyValuesOfTheWrongTypeOrSizeGoStraightToTheServer) {
    HttpServer server;
    server.Serve(Ok("direct"));
    std::string url = server.Url("/x");
    std::string header;
    std::string response;
    const std::string on("\x01\x00\x00\x00", 4);
    const std::string proxy = "127.0.0.1:1";
    struct Case {
        const char* what;
        DWORD enableType;
        std::string enable;
        DWORD serverType;
        std::string value;
    };
    const Case cases[] = {
        {"switch as text", REG_SZ, std::string("1\0", 2), REG_SZ, proxy + '\0'},
        {"switch of two bytes", REG_BINARY, std::string("\x01\x00", 2), REG_SZ, proxy + '\0'},
        {"server as a number", REG_DWORD, on, REG_DWORD, on},
        {"server longer than its buffer", REG_DWORD, on, REG_SZ,
         "127.0.0.1:1" + std::string(200, '1') + '\0'},
        {"server without its terminator", REG_DWORD, on, REG_BINARY, proxy},
    };
    for (const Case& c : cases) {
        ProxySetting setting(c.enableType, c.enable, c.serverType, c.value);
        size_t mark = testlog::Mark();
        EXPECT_EQ(1, Request(url, 1, &header, &response)) << c.what << testlog::Since(mark);
        EXPECT_TRUE(Contains(testlog::Since(mark), "Proxy Disabled (0x")) << c.what;
        EXPECT_TRUE(Contains(response, "direct")) << c.what;
    }
}

TEST(Http, ReadTakesWhatCameAndWaitsNoLongerThanTheReadTimeOut) {
    HttpServer server;
    server.Serve({Reply{{Piece{"HTTP/1.0 200 OK\r\n\r\nabc"}, Piece{"def", 1200}}},
                  Reply{{Piece{"never", 20000}}}});
    char buffer[1024];
    Socket* socket = nullptr;
    int32_t length = 0;
    ASSERT_EQ(1, HttpOpenRequest(server.Url("/").c_str(), nullptr, "GET", 0, 0, &socket, buffer,
                                 sizeof buffer, &length));
    ASSERT_EQ(1, HttpSendAll(socket, buffer, length));
    std::string response;
    int32_t got = 0;
    while (HttpRead(socket, buffer, sizeof buffer, &got)) response.append(buffer, got);
    EXPECT_EQ("HTTP/1.0 200 OK\r\n\r\nabcdef", response);
    EXPECT_EQ(0, socket->lastError);  // the server's close
    SocketShutdown(socket);
    SocketDestroy(&socket);

    // A server that stays silent: the read ends after the socket's read time-out.
    ASSERT_EQ(1, HttpOpenRequest(server.Url("/").c_str(), nullptr, "GET", 0, 0, &socket, buffer,
                                 sizeof buffer, &length));
    ASSERT_EQ(1, HttpSendAll(socket, buffer, length));
    socket->readTimeout = 1500;
    size_t mark = testlog::Mark();
    DWORD start = GetTickCount();
    EXPECT_EQ(0, HttpRead(socket, buffer, sizeof buffer, &got));
    DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 1400u);
    EXPECT_LT(waited, 4000u);
    EXPECT_EQ(SOCKET_TIMEOUT_CODE, socket->lastError);
    EXPECT_TRUE(Contains(testlog::Since(mark), "Socket Read timeout (1500)\n"));
    SocketShutdown(socket);
    SocketDestroy(&socket);
}

TEST(Http, OverlongUrlIsRefusedBeforeAnyConnection) {
    HttpServer server;
    server.Serve(Ok("x"));
    std::string url = server.Url("/") + std::string(HTTP_URL_SIZE, 'a');
    std::string header;
    std::string response;
    EXPECT_EQ(0, Request(url, 0, &header, &response));
    Sleep(100);
    EXPECT_EQ(0, server.Accepted());
}

// ---------------------------------------------------------------------------
// Fetching the version document
// ---------------------------------------------------------------------------

struct Fetched {
    int result;
    std::string text;
};

Fetched Fetch(Product& product, const std::string& url, int32_t size = UPDATE_BUFFER_SIZE) {
    std::vector<char> buffer(size, 'Z');
    int result = UpdateFetchInfo(&product.context, url.c_str(), 0, buffer.data(), size);
    return Fetched{result, result ? std::string(buffer.data()) : std::string()};
}

TEST(Fetch, WholeResponseAsOneTextWhateverItsPieces) {
    HttpServer server;
    Product product;
    std::string document = Record(kKey, "2.0", "http://p/", "http://d/setup.exe");
    std::string head = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(document.size());
    // One write; the header in two writes after a slow start; many small writes.
    std::vector<Reply> replies = {Ok(document)};
    replies.push_back(Reply{{Piece{head.substr(0, 10), 1500}, Piece{head.substr(10) + "\r\n\r\n", 200},
                             Piece{document}}});
    Reply small;
    std::string whole = head + "\r\n\r\n" + document;
    for (size_t at = 0; at < whole.size(); at += 9) small.pieces.push_back(Piece{whole.substr(at, 9), 5});
    replies.push_back(small);
    server.Serve(replies);

    for (size_t i = 0; i < replies.size(); ++i) {
        size_t mark = testlog::Mark();
        Fetched fetched = Fetch(product, server.Url("/info.txt"));
        EXPECT_EQ(1, fetched.result) << i;
        EXPECT_TRUE(Contains(fetched.text, "\r\n\r\n" + document)) << i;
        EXPECT_TRUE(Contains(testlog::Since(mark), "Recieved -> 0 [")) << i;
    }
    std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ("GET /info.txt HTTP/1.0", RequestLine(requests[0]));
    EXPECT_EQ(std::string("User-Agent: ") + kCheckAgent, HeaderLine(requests[0], "User-Agent: "));
    EXPECT_EQ("Host: " + server.HostPort(), HeaderLine(requests[0], "Host: "));
    EXPECT_EQ("Connection: close", HeaderLine(requests[0], "Connection: "));
}

TEST(Fetch, ClosedAtOnceOrLargerThanTheBufferFails) {
    HttpServer server;
    Product product;
    server.Serve(Reply{{}, Reply::kAtOnce});
    EXPECT_EQ(0, Fetch(product, server.Url("/info.txt")).result);

    // The buffer keeps one byte for the text's end: a response of size - 1 bytes fits,
    // one byte more does not (and no read of nothing spins for ever).
    const std::string head = "HTTP/1.0 200 OK\r\n\r\n";
    std::string fits = head + std::string(UPDATE_BUFFER_SIZE - 1 - head.size(), 'd');
    server.Serve({Reply{{Piece{fits}}}, Reply{{Piece{fits + "d"}}}});
    Fetched fetched = Fetch(product, server.Url("/big"));
    EXPECT_EQ(1, fetched.result);
    EXPECT_EQ(fits.size(), fetched.text.size());
    size_t mark = testlog::Mark();
    EXPECT_EQ(0, Fetch(product, server.Url("/bigger")).result);
    EXPECT_TRUE(Contains(testlog::Since(mark), "Update information too large (1024000 bytes or more)\n"));
}

// ---------------------------------------------------------------------------
// Downloading the installer
// ---------------------------------------------------------------------------

const std::string& FixtureInstaller() {
    static const std::string bytes = fixture::ReadAll(fixture::FixturePath("fx-installer.exe"));
    return bytes;
}

const std::string kInstaller = std::string("MZ\x90\0\x03", 5) + std::string(70000, 'i') + "\r\n\r\nend";

int Download(Product& product, const std::string& url, int32_t size = UPDATE_BUFFER_SIZE) {
    std::vector<char> buffer(size, 'Z');
    return UpdateDownload(&product.context, url.c_str(), 0, buffer.data(), size);
}

// The names of the files in a folder, in the order the system lists them.
std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &entry);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &entry))
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    return names;
}

TEST(Download, SavesTheBodyIntoTheProductsFolder) {
    HttpServer server;
    Product product;
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                       "content-length: " + std::to_string(kInstaller.size());
    std::vector<Reply> replies = {
        Respond(head, kInstaller),
        // Without a size, the close ends the file.
        Respond("HTTP/1.0 200 OK", kInstaller),
        // The size in the first part of a header that ends in a later write.
        Reply{{Piece{head + "\r\nX-A: 1"}, Piece{"\r\nX-B: 2\r", 300}, Piece{"\n\r\n" + kInstaller, 300}}},
    };
    server.Serve(replies);
    const std::string saved = product.folder.path + "setup-2.0.exe";
    for (size_t i = 0; i < replies.size(); ++i) {
        DeleteFileA(saved.c_str());
        size_t mark = testlog::Mark();
        EXPECT_EQ(1, Download(product, server.Url("/files/setup-2.0.exe"))) << i;
        UpdateReleaseDownload();
        EXPECT_EQ(kInstaller, fixture::ReadAll(saved)) << i;
        EXPECT_EQ(std::vector<std::string>{"setup-2.0.exe"}, FilesIn(product.folder.path)) << i;
        EXPECT_STREQ(saved.c_str(), UpdateCurrentChoice()->savePath);
        std::string log = testlog::Since(mark);
        EXPECT_TRUE(Contains(log, "Save to -> [" + saved + "]\n")) << i;
        if (i != 1) EXPECT_TRUE(Contains(log, "Filesize = 70012 (68k)\n")) << i;
    }
    std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ("GET /files/setup-2.0.exe HTTP/1.0", RequestLine(requests[0]));
    EXPECT_EQ(std::string("User-Agent: ") + kDownloadAgent, HeaderLine(requests[0], "User-Agent: "));
}

// A download aimed at a file the product has: until it is complete, nothing of the product's
// is touched, and a failed one leaves no file of its own behind.
TEST(Download, WrongSizeOrErrorStatusFailsAndReplacesNothing) {
    HttpServer server;
    Product product;
    const std::string own = product.folder.path + "uninstall.exe";
    const std::string ownBytes = FixtureInstaller();
    fixture::WriteAll(own, ownBytes);
    struct Case {
        Reply reply;
        const char* logged;
    };
    const Case cases[] = {
        {Respond("HTTP/1.0 404 Not Found\r\nContent-Length: 9", "Not found"),
         "Download refused by the server (status 404)\n"},
        {Respond("HTTP/1.0 200 OK\r\nContent-Length: 1300", std::string(300, 'x')),
         "Sizes to not match (1300 != 300)\n"},
        {Respond("HTTP/1.0 200 OK\r\nContent-Length: 100", kInstaller), "Sizes to not match (100 != "},
    };
    for (const Case& c : cases) {
        server.Serve(c.reply);
        size_t mark = testlog::Mark();
        EXPECT_EQ(0, Download(product, server.Url("/uninstall.exe"))) << c.logged;
        EXPECT_TRUE(Contains(testlog::Since(mark), c.logged)) << c.logged << testlog::Since(mark);
        EXPECT_TRUE(ownBytes == fixture::ReadAll(own)) << c.logged;
        EXPECT_EQ(std::vector<std::string>{"uninstall.exe"}, FilesIn(product.folder.path));
    }
}

// A connection reset in the middle of an announced body is a failed download, and nothing
// of it stays. (Wine reports a reset to the reader as a normal close, so that a body without
// a size counts as broken off only on Windows; the handling of that case is tested with the
// response's pure reader.)
TEST(Download, AResetInTheMiddleOfTheBodyFails) {
    const int port = updatetest::ResetServerPort();
    ASSERT_NE(0, port) << "the resetting peer runs only when ctest starts this test";
    Product product;
    size_t mark = testlog::Mark();
    EXPECT_EQ(0, Download(product, "http://127.0.0.1:" + std::to_string(port) + "/sized/setup.exe"));
    std::string log = testlog::Since(mark);
    EXPECT_TRUE(Contains(log, "Sizes to not match (100000 != 30000)")) << log;
    EXPECT_TRUE(FilesIn(product.folder.path).empty());
}

TEST(Download, NamesAndSavePathsOutsideTheProductsFolderAreRefusedUnasked) {
    HttpServer server;
    server.Serve(Ok("x"));
    Product product;
    const std::string refused[] = {
        server.Url("/dl/"),           server.Url("/.."),
        server.Url("/$1evil.exe"),    server.Url("/a\\..\\..\\evil.exe"),
        server.Url("/c:evil.exe"),    server.Url("/con"),
        server.Url("/CON .exe"),      server.Url("/COM\xB9"),
        server.Url("/") + std::string(SCRIPT_PATH_SIZE - product.folder.path.size(), 'n'),
    };
    for (const std::string& url : refused) {
        size_t mark = testlog::Mark();
        EXPECT_EQ(0, Download(product, url)) << url;
        EXPECT_TRUE(Contains(testlog::Since(mark), "No ")) << url << testlog::Since(mark);
    }
    // Without an install path the save path would be relative to wherever the current
    // folder is.
    product.context.installPath[0] = '\0';
    EXPECT_EQ(0, Download(product, server.Url("/setup.exe")));
    Sleep(100);
    EXPECT_EQ(0, server.Accepted());
}

// ---------------------------------------------------------------------------
// The new-version dialog and the whole check
// ---------------------------------------------------------------------------

// Answers the update check's windows in this process: questions with the answers given,
// in order (No once they are used up), notices with OK, and the new-version dialog with
// `dialog` (called while the dialog is open; it gives the button to press, 0 for later).
class Answers {
public:
    using DialogAction = std::function<int(HWND dialog)>;
    Answers(std::vector<int> questions, DialogAction dialog)
        : questions_(std::move(questions)),
          dialog_(std::move(dialog)),
          answerer_([this](const std::string&, const std::string& text) { return Box(text); },
                    GetCurrentProcessId(), [this](HWND window) { return Dialog(window); }) {}
    Answers(std::vector<int> questions, int dialogButton)
        : Answers(std::move(questions), [dialogButton](HWND) { return dialogButton; }) {}

    // What was shown, in order: each box's text, "dialog" for the new-version dialog.
    std::vector<std::string> Shown() {
        std::vector<std::string> shown;
        for (const windriver::Answer& a : answerer_.Answers()) {
            EXPECT_EQ(kCaption, a.caption);
            shown.push_back(a.text.compare(0, 17, "A new version of ") == 0 ? "dialog" : a.text);
        }
        return shown;
    }
    std::vector<windriver::Answer> All() { return answerer_.Answers(); }

private:
    int Box(const std::string& text) {
        if (text.find('?') == std::string::npos) return IDOK;
        size_t i = next_++;
        return i < questions_.size() ? questions_[i] : IDNO;
    }
    int Dialog(HWND window) {
        if (GetDlgItem(window, IDC_UPDATE_DOWNLOAD) == nullptr) return 0;  // the progress window
        return dialog_(window);
    }
    std::vector<int> questions_;
    std::atomic<size_t> next_{0};
    DialogAction dialog_;
    windriver::BoxAnswerer answerer_;
};

const char kAsk[] = "Would you like to check for an update to QuorvexTest Updater electronically?";
const char kRetryCheck[] =
    "There was a problem checking with the update server, would you like to try again?";
const char kRetryDownload[] =
    "There was a problem downloading the update, would you like to try again?";
const char kUpdated[] = "Successfully updated program to latest version!";
const char kNotUpdated[] = "Error attempting to update, please go to the site for the latest version.";
const char kNoContact[] = "Unable to contact the update server, please try again later.";
const char kNoInfo[] = "Unable to retrieve version info from update server, please check the website.";
const char kLatest[] = "You are running the latest version of QuorvexTest Updater.";

using Shown = std::vector<std::string>;

// The shell's web browser, for the time of a test: fx-browser, which records the address it
// was asked to open.
struct Browser {
    explicit Browser(const std::string& record)
        : http("http", Command(record)), https("https", Command(record)) {}
    static std::string Command(const std::string& record) {
        return "\"" + fixture::FixturePath("fx-browser.exe") + "\" \"" + record + "\" \"%1\"";
    }
    bool Registered() const { return http.Registered() && https.Registered(); }
    fixture::UrlScheme http;
    fixture::UrlScheme https;
};

TEST(Dialog, ShowsBothVersionsOpensThePageAndStaysOpenUntilTheDownloadIsChosen) {
    Product product;
    fixture::ScratchFolder scratch(fixture::TempFolder(), "page");
    std::string record = scratch.path + "opened.txt";
    Browser browser(record);
    ASSERT_TRUE(browser.Registered());
    std::string page = "HTTPS://www.quorvex.example/updater?from=dialog";

    // The context's version is cut to its number by the check before the dialog shows.
    StrCopy(product.context.productVersion, "1.60");
    RECT shown = {};
    bool pressed = false;
    bool openWhilePageOpened = false;
    Answers answers({}, [&](HWND dialog) {
        if (!pressed) {
            GetWindowRect(dialog, &shown);
            pressed = windriver::PressButton(dialog, IDC_UPDATE_WEBPAGE);
            return 0;
        }
        if (!fixture::Exists(record)) return 0;
        openWhilePageOpened = IsWindow(dialog) != 0;
        return IDC_UPDATE_DOWNLOAD;
    });
    ASSERT_EQ(1, UpdateDialog(&product.context, "2.05", page.c_str(), "http://d.example/s.exe"));

    std::vector<windriver::Answer> all = answers.All();
    ASSERT_EQ(1u, all.size());
    EXPECT_EQ(kCaption, all[0].caption);
    EXPECT_EQ("A new version of QuorvexTest Updater is available!\n"
              "Current version 1.60 - New version 2.05\n",
              all[0].text);
    EXPECT_EQ(page, fixture::ReadAll(record));
    EXPECT_TRUE(openWhilePageOpened);
    EXPECT_EQ(1, UpdateCurrentChoice()->accepted);
    EXPECT_STREQ("http://d.example/s.exe", UpdateCurrentChoice()->download);

    // Centred on the desktop.
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    EXPECT_NEAR((desktop.left + desktop.right) / 2, (shown.left + shown.right) / 2, 1);
    EXPECT_NEAR((desktop.top + desktop.bottom) / 2, (shown.top + shown.bottom) / 2, 1);
}

// The record's page comes from the server and the check runs as administrator: only a web
// address reaches the shell. A program of the product's folder, a file address, and a quote
// that would end the address in the browser's command line open nothing.
TEST(Dialog, ThePageButtonOpensWebAddressesOnly) {
    Product product;
    const std::string evil = product.folder.path + "evil.exe";
    ASSERT_TRUE(fixture::WriteAll(evil, FixtureInstaller()));
    const std::string ran = product.folder.path + "evil-ran.txt";
    InstallerWishes wishes(ran, 1);
    const std::string opened = product.folder.path + "opened.txt";
    Browser browser(opened);
    ASSERT_TRUE(browser.Registered());
    // The page's button, then Escape.
    auto pressFor = [&product](const std::string& page) {
        bool pressed = false;
        Answers answers({}, [&pressed](HWND dialog) {
            if (pressed) return IDCANCEL;
            pressed = windriver::PressButton(dialog, IDC_UPDATE_WEBPAGE);
            return 0;
        });
        UpdateDialog(&product.context, "2.05", page.c_str(), "http://d/s.exe");
    };
    for (const std::string& page : {evil, "file:///" + evil, "http://p.example/\" \"" + evil}) {
        size_t mark = testlog::Mark();
        pressFor(page);
        EXPECT_TRUE(Contains(testlog::Since(mark), "Not a web address, not opened '" + page + "'\n"))
            << page;
    }
    // Once a web address has opened, a program started before it would have run as well.
    pressFor("hTTp://p.example/updater");
    ASSERT_TRUE(fixture::WaitForFile(opened, 60000));
    EXPECT_EQ("hTTp://p.example/updater", fixture::ReadAll(opened));
    EXPECT_FALSE(fixture::Exists(ran));
}

TEST(Dialog, EnterEscapeAndCloseDeclineTheDownload) {
    Product product;
    for (int command : {IDOK, IDCANCEL, -1}) {
        Answers answers({}, [command](HWND dialog) {
            if (command == -1) PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            return command == -1 ? 0 : command;
        });
        ASSERT_EQ(1, UpdateDialog(&product.context, "9", "", "http://d/s.exe"));
        EXPECT_EQ(0, UpdateCurrentChoice()->accepted) << command;
    }
}

// A server for the whole check: the version document at /info.txt, then the installer
// (the installer fixture's bytes) at /setup.exe.
struct UpdateServer {
    explicit UpdateServer(const std::string& version = "2.05") {
        std::string installer = fixture::ReadAll(fixture::FixturePath("fx-installer.exe"));
        document = Record("Quorvex Other", "9.0", "http://o/", "http://o/o.exe") +
                   Record("QUORVEXTEST updater", version + " (beta)", "http://p.example/",
                          server.Url("/setup.exe"));
        server.Serve({Ok(document), Ok(installer, "application/octet-stream")});
    }
    HttpServer server;
    std::string document;
};

TEST(Check, NewerVersionIsDownloadedAndItsInstallerRunQuietly) {
    for (int exitCode : {1, 0}) {
        UpdateServer update;
        Product product(update.server.Url("/info.txt"));
        std::string record = product.folder.path + "installer-ran.txt";
        InstallerWishes wishes(record, exitCode);
        ProxySetting noProxy(0, "");
        Answers answers({IDYES}, IDC_UPDATE_DOWNLOAD);
        size_t mark = testlog::Mark();
        EXPECT_EQ(1, UpdateCheck(&product.context));

        EXPECT_EQ((Shown{kAsk, "dialog", exitCode == 1 ? kUpdated : kNotUpdated}), answers.Shown());
        EXPECT_EQ("Current version 1.60 - New version 2.05\n",
                  answers.All()[1].text.substr(answers.All()[1].text.find('\n') + 1));
        const std::string saved = product.folder.path + "setup.exe";
        EXPECT_EQ(fixture::ReadAll(fixture::FixturePath("fx-installer.exe")), fixture::ReadAll(saved));
        EXPECT_EQ("-Quiet", InstallerArguments(record));
        std::vector<std::string> requests = update.server.Requests();
        ASSERT_EQ(2u, requests.size());
        EXPECT_EQ(std::string("User-Agent: ") + kCheckAgent, HeaderLine(requests[0], "User-Agent: "));
        EXPECT_EQ("GET /setup.exe HTTP/1.0", RequestLine(requests[1]));
        EXPECT_EQ(std::string("User-Agent: ") + kDownloadAgent, HeaderLine(requests[1], "User-Agent: "));
        std::string log = testlog::Since(mark);
        EXPECT_TRUE(Contains(log, "Update on phase 0\n"));
        EXPECT_TRUE(Contains(log, "Match: 1.6"));
        EXPECT_TRUE(Contains(log, "Update download on phase 0\n"));
        EXPECT_FALSE(Contains(log, "phase 1"));
        EXPECT_STREQ("1.60", product.context.productVersion);
    }
}

TEST(Check, CurrentOrMissingRecordEndsWithItsNoticeAndNothingIsDownloaded) {
    struct Case {
        std::string document;
        Shown shown;
    };
    const Case cases[] = {
        // 1.6 is the same number as 1.60.
        {Record(kKey, "1.6", "http://p/", "http://d/s.exe"), {kAsk, kLatest}},
        {Record("Quorvex Other", "9.0", "http://p/", "http://d/s.exe"), {kAsk, kNoInfo}},
        {Record(kKey, std::string(80, '3'), "http://p/", "http://d/s.exe"), {kAsk, kNoInfo}},
    };
    for (const Case& c : cases) {
        HttpServer server;
        server.Serve(Ok(c.document));
        Product product(server.Url("/info.txt"));
        ProxySetting noProxy(0, "");
        Answers answers({IDYES}, IDC_UPDATE_DOWNLOAD);
        EXPECT_EQ(1, UpdateCheck(&product.context));
        EXPECT_EQ(c.shown, answers.Shown());
        EXPECT_EQ(1u, server.Requests().size());
    }
}

TEST(Check, NothingIsAskedWithoutAnAddressAndNothingFetchedOnNo) {
    HttpServer server;
    server.Serve(Ok("x"));
    {
        Product silent;
        Answers none({IDYES}, IDC_UPDATE_DOWNLOAD);
        EXPECT_EQ(1, UpdateCheck(&silent.context));
        Sleep(200);
        EXPECT_TRUE(none.Shown().empty());
    }
    {
        Product product(server.Url("/info.txt"));
        Answers declined({IDNO}, IDC_UPDATE_DOWNLOAD);
        EXPECT_EQ(1, UpdateCheck(&product.context));
        EXPECT_EQ((Shown{kAsk}), declined.Shown());
        Sleep(100);
        EXPECT_EQ(0, server.Accepted());
    }
    // A declined download ends without a word more.
    UpdateServer update;
    Product offered(update.server.Url("/info.txt"));
    ProxySetting noProxy(0, "");
    Answers escape({IDYES}, IDCANCEL);
    EXPECT_EQ(1, UpdateCheck(&offered.context));
    EXPECT_EQ((Shown{kAsk, "dialog"}), escape.Shown());
    EXPECT_EQ(1u, update.server.Requests().size());
}

TEST(Check, FailedPhasesAskAgainAndRetryDirectly) {
    ProxySetting noProxy(0, "");
    {
        // No server: the proxy phase and the direct phase fail; Yes tries directly again.
        sockettest::RefusingPort nobody;
        Product product("http://127.0.0.1:" + std::to_string(nobody.Port()) + "/info.txt");
        Answers answers({IDYES, IDYES, IDNO}, IDC_UPDATE_DOWNLOAD);
        size_t mark = testlog::Mark();
        EXPECT_EQ(1, UpdateCheck(&product.context));
        EXPECT_EQ((Shown{kAsk, kRetryCheck, kRetryCheck, kNoContact}), answers.Shown());
        std::string log = testlog::Since(mark);
        std::string phases;
        for (size_t at = log.find("Update on phase "); at != std::string::npos;
             at = log.find("Update on phase ", at + 1))
            phases += log[at + 16];
        EXPECT_EQ("01212", phases);
    }
    // The installer is refused with 404: the download phases fail the same way, and
    // nothing is saved or run.
    UpdateServer update;
    update.server.Serve({Ok(update.document), Respond("HTTP/1.0 404 Not Found", "gone")});
    Product offered(update.server.Url("/info.txt"));
    Answers refused({IDYES, IDNO}, IDC_UPDATE_DOWNLOAD);
    EXPECT_EQ(1, UpdateCheck(&offered.context));
    EXPECT_EQ((Shown{kAsk, "dialog", kRetryDownload, kNoContact}), refused.Shown());
    EXPECT_EQ(3u, update.server.Requests().size());
    EXPECT_FALSE(fixture::Exists(offered.folder.path + "setup.exe"));
}

// A proxy that does not listen, or answers with an error page of its own (no version
// document, no installer), fails its phase: the direct attempt follows, for both requests.
TEST(Check, ProxyThatFailsIsFollowedByTheDirectAttempt) {
    sockettest::RefusingPort deadProxy;
    const char* const statuses[] = {nullptr, "407 Proxy Authentication Required", "502 Bad Gateway"};
    for (const char* status : statuses) {
        SCOPED_TRACE(status != nullptr ? status : "not listening");
        UpdateServer update;
        Product product(update.server.Url("/info.txt"));
        std::string record = product.folder.path + "installer-ran.txt";
        InstallerWishes wishes(record, 1);
        HttpServer errorProxy;
        if (status != nullptr)
            errorProxy.Serve(Respond(std::string("HTTP/1.0 ") + status + "\r\nContent-Length: 5",
                                     "error"));
        ProxySetting proxy(1, status != nullptr ? errorProxy.HostPort()
                                                : "127.0.0.1:" + std::to_string(deadProxy.Port()));
        Answers answers({IDYES}, IDC_UPDATE_DOWNLOAD);
        size_t mark = testlog::Mark();
        EXPECT_EQ(1, UpdateCheck(&product.context));
        EXPECT_EQ((Shown{kAsk, "dialog", kUpdated}), answers.Shown());
        std::string log = testlog::Since(mark);
        EXPECT_TRUE(Contains(log, "Update on phase 1\n"));
        EXPECT_TRUE(Contains(log, "Update download on phase 1\n"));
        EXPECT_EQ(2u, update.server.Requests().size());
        if (status == nullptr) continue;
        EXPECT_TRUE(Contains(log, std::string("Update information refused (HTTP/1.0 ") + status + ")\n"))
            << log;
        EXPECT_EQ(2u, errorProxy.Requests().size());
    }
}

TEST(Check, ThroughTheRealProxy) {
    const int proxyPort = updatetest::RealProxyPort();
    ASSERT_NE(0, proxyPort) << "the real proxy runs only when ctest starts this test";
    UpdateServer update;
    Product product(update.server.Url("/info.txt"));
    std::string record = product.folder.path + "installer-ran.txt";
    InstallerWishes wishes(record, 1);
    ProxySetting proxy(1, "http=127.0.0.1:" + std::to_string(proxyPort) + ";ftp=127.0.0.1:1");
    Answers answers({IDYES}, IDC_UPDATE_DOWNLOAD);
    size_t mark = testlog::Mark();
    EXPECT_EQ(1, UpdateCheck(&product.context));
    EXPECT_EQ((Shown{kAsk, "dialog", kUpdated}), answers.Shown());
    EXPECT_TRUE(Contains(testlog::Since(mark), "Proxy Enabled (0x00000001) : 127.0.0.1:" +
                                                   std::to_string(proxyPort) + "\n"));
    EXPECT_FALSE(Contains(testlog::Since(mark), "phase 1"));

    // The proxy was asked for the whole URLs and passed on the URL's host and the agents.
    std::string proxyLog = fixture::ReadAll(updatetest::RealProxyFile("tinyproxy.log"));
    for (const char* path : {"/info.txt", "/setup.exe"})
        EXPECT_TRUE(Contains(proxyLog, "GET " + update.server.Url(path) + " HTTP/1.0")) << path;
    std::vector<std::string> requests = update.server.Requests();
    ASSERT_EQ(2u, requests.size());
    for (const std::string& request : requests) {
        EXPECT_TRUE(Contains(HeaderLine(request, "Via: "), "tinyproxy")) << request;
        EXPECT_EQ("Host: " + update.server.HostPort(), HeaderLine(request, "Host: "));
    }
    EXPECT_EQ(std::string("User-Agent: ") + kCheckAgent, HeaderLine(requests[0], "User-Agent: "));
    EXPECT_EQ(std::string("User-Agent: ") + kDownloadAgent, HeaderLine(requests[1], "User-Agent: "));
    EXPECT_EQ("-Quiet", InstallerArguments(record));
}

// ---------------------------------------------------------------------------
// The end of a response
// ---------------------------------------------------------------------------

// Presses the progress window's Cancel once it shows and the download's own file is in
// `folder`.
class CancelOnceStaged {
public:
    explicit CancelOnceStaged(const std::string& folder)
        : answerer_([](const std::string&, const std::string&) { return 0; },
                    GetCurrentProcessId(), [folder](HWND window) {
                        HWND cancel = GetDlgItem(window, IDC_PROGRESS_CANCEL);
                        if (cancel == nullptr || !IsWindowVisible(cancel)) return 0;
                        for (const std::string& name : FilesIn(folder))
                            if (Contains(name, ".part")) return IDC_PROGRESS_CANCEL;
                        return 0;
                    }) {}
    bool Pressed() { return !answerer_.Answers().empty(); }

private:
    windriver::BoxAnswerer answerer_;
};

// A response ends with its announced body, whatever the server then does with the
// connection, and "Content-Length: 0" announces an empty one; one that trickles in ends at
// its deadline (from its size, or without one from what came), and the user's Cancel ends a
// download at once. Each ends before the server lets go; nothing of a failed download stays.
TEST(Download, EndsWithItsSizeItsDeadlineOrTheUsersCancel) {
    enum Via { kFetch, kDownload, kCheck };
    const std::string sized = "HTTP/1.0 200 OK\r\nContent-Length: ";
    const std::string document = Record(kKey, "2.05", "http://p/", "http://d/setup.exe");
    struct Case {
        const char* what;
        Via via;
        Reply reply;  // of the version request (kFetch) or of the download
        int result;   // of the fetch or the download; of the check: 1 when Cancel was pressed
        const char* logged;
    };
    const Case cases[] = {
        {"the body, the connection held", kDownload,
         updatetest::RespondAndHold(sized + std::to_string(kInstaller.size()), kInstaller, 30000),
         1, "Filesize = 70012 (68k)\n"},
        {"an empty body announced, then bytes", kDownload,
         updatetest::RespondAndHold(sized + "0", kInstaller, 30000), 0, "Sizes to not match (0 != "},
        {"a body that trickles past the deadline of its size", kDownload,
         updatetest::Trickle(sized + "100", std::string(40, 't'), 2000), 0,
         "Download past its deadline (20 s)\n"},
        {"the document, the connection held", kFetch,
         updatetest::RespondAndHold(sized + std::to_string(document.size()), document, 30000), 1,
         "Recieved -> 0 ["},
        {"a document without a size that trickles", kFetch,
         updatetest::Trickle("HTTP/1.0 200 OK", document, 1000), 0,
         "Update information past its deadline (20 s)\n"},
        {"a body without a size that trickles, cancelled", kCheck,
         updatetest::Trickle("HTTP/1.0 200 OK", std::string(40, 't'), 2000), 1,
         "Download cancelled by the user\n"},
    };
    ProxySetting noProxy(0, "");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HttpServer server;
        if (c.via == kCheck)
            server.Serve({Ok(Record(kKey, "2.05", "http://p/", server.Url("/setup.exe"))), c.reply});
        else
            server.Serve(c.reply);
        Product product(server.Url("/info.txt"));
        size_t mark = testlog::Mark();
        int result = 0;
        if (c.via == kFetch) {
            Fetched fetched = Fetch(product, server.Url("/info.txt"));
            result = fetched.result;
            if (result) EXPECT_TRUE(Contains(fetched.text, "\r\n\r\n" + document));
        } else if (c.via == kDownload) {
            result = Download(product, server.Url("/setup.exe"));
        } else {
            CancelOnceStaged cancel(product.folder.path);
            Answers answers({IDYES}, IDC_UPDATE_DOWNLOAD);
            EXPECT_EQ(1, UpdateCheck(&product.context));
            result = cancel.Pressed();
            // No question whether to try again, no notice, no other attempt.
            EXPECT_EQ((Shown{kAsk, "dialog"}), answers.Shown());
            EXPECT_EQ(2u, server.Requests().size());
        }
        // The server had not finished its reply (the check's document aside).
        EXPECT_EQ(c.via == kCheck ? 1 : 0, server.Finished());
        EXPECT_EQ(c.result, result);
        EXPECT_TRUE(Contains(testlog::Since(mark), c.logged)) << testlog::Since(mark);
        UpdateReleaseDownload();
        const bool saved = c.via == kDownload && c.result == 1;
        EXPECT_EQ(saved ? std::vector<std::string>{"setup.exe"} : std::vector<std::string>{},
                  FilesIn(product.folder.path));
        if (saved) EXPECT_TRUE(kInstaller == fixture::ReadAll(product.folder.path + "setup.exe"));
    }
}

// ---------------------------------------------------------------------------
// Signed updates: packages that carry "UPDATE KEY"
// ---------------------------------------------------------------------------

// The product of a package with the maker's key in its script.
struct SignedProduct : Product {
    explicit SignedProduct(const std::string& url = "", const std::string& key =
                                                             signtest::MakersKey().publicText)
        : Product(url) {
        context.signedUpdates = 1;
        StrCopyN(context.updateKey, key.c_str(), sizeof context.updateKey);
    }
};

// The version document offering 2.05 at `path` with the installer's signature (no '5'
// field when `signature` is null) after the text `before`, then the installer's bytes for
// every download after it.
void ServeSigned(HttpServer* server, const std::string* signature,
                 std::vector<std::string> installers, const std::string& before = "",
                 const char* path = "/setup.exe") {
    const std::string url = server->Url(path);
    std::vector<Reply> replies = {
        Ok(before + (signature != nullptr ? SignedRecord(kKey, "2.05", "http://p/", url, *signature)
                                          : Record(kKey, "2.05", "http://p/", url)))};
    for (const std::string& bytes : installers) replies.push_back(Ok(bytes, "application/octet-stream"));
    server->Serve(replies);
}

// The new-version dialog after the document's record, answered with the download, as the
// check has it before it downloads: the record's address and signature are the choice's.
void AcceptOffer(Product& product, const std::string& url, const std::string& signature) {
    Answers answers({}, IDC_UPDATE_DOWNLOAD);
    std::string document = SignedRecord(kKey, "2.05", "http://p/", url, signature);
    ASSERT_EQ(1, UpdateParseInfo(&product.context, &document[0]));
    ASSERT_EQ(1, UpdateCurrentChoice()->accepted);
    ASSERT_EQ(signature, UpdateCurrentChoice()->signature);
}

TEST(Signed, AnInstallerSignedWithTheMakersKeyRuns) {
    HttpServer server;
    const std::string signature = signtest::SignBytes(signtest::MakersKey(), FixtureInstaller());
    ASSERT_EQ(512u, signature.size());
    ServeSigned(&server, &signature, {FixtureInstaller()});
    SignedProduct product(server.Url("/info.txt"));
    std::string record = product.folder.path + "installer-ran.txt";
    InstallerWishes wishes(record, 1);
    ProxySetting noProxy(0, "");
    Answers answers({IDYES}, IDC_UPDATE_DOWNLOAD);
    size_t mark = testlog::Mark();
    EXPECT_EQ(1, UpdateCheck(&product.context));
    EXPECT_EQ((Shown{kAsk, "dialog", kUpdated}), answers.Shown());
    EXPECT_EQ("-Quiet", InstallerArguments(record));
    const std::string saved = product.folder.path + "setup.exe";
    EXPECT_TRUE(Contains(testlog::Since(mark), "Update signature checks out '" + saved + "'\n"));
    // It ran from the checked file, which is let go once it has run.
    EXPECT_EQ(nullptr, UpdateCurrentChoice()->checkedFile);
    EXPECT_TRUE(DeleteFileA(saved.c_str()));
}

TEST(Signed, TheCheckedFileIsHeldAgainstChangesUntilItIsLetGo) {
    HttpServer server;
    const std::string signature = signtest::SignBytes(signtest::MakersKey(), FixtureInstaller());
    server.Serve(Ok(FixtureInstaller(), "application/octet-stream"));
    SignedProduct product;
    const std::string saved = product.folder.path + "setup.exe";
    // The file is hashed in pieces of the buffer's size, far smaller than the file.
    for (int32_t size : {UPDATE_BUFFER_SIZE, 4096}) {
        AcceptOffer(product, server.Url("/setup.exe"), signature);
        ASSERT_EQ(1, Download(product, server.Url("/setup.exe"), size)) << size;
        ASSERT_NE(nullptr, UpdateCurrentChoice()->checkedFile);
        HANDLE writer = CreateFileA(saved.c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
        if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
        EXPECT_FALSE(DeleteFileA(saved.c_str()));
        EXPECT_FALSE(MoveFileA(saved.c_str(), (saved + ".moved").c_str()));
        // Reading it stays possible, as starting it does.
        EXPECT_EQ(FixtureInstaller(), fixture::ReadAll(saved));
        UpdateReleaseDownload();
        EXPECT_EQ(nullptr, UpdateCurrentChoice()->checkedFile);
        EXPECT_TRUE(DeleteFileA(saved.c_str()));
    }
}

// Each download aims at a file the product has, which must survive byte for byte: an
// installer changed on the way, signed with another key, for another product, for an older
// version offered as the newest, or in the earlier form (its bytes alone), or a signature
// that belongs to the record before, or none that can be read.
TEST(Signed, AnInstallerThatDoesNotCheckOutIsDeletedAndNeverRun) {
    using signtest::MakersKey;
    using signtest::SignBytes;
    std::string changed = FixtureInstaller();
    changed[changed.size() / 2] ^= 0x01;
    const std::string good = SignBytes(MakersKey(), FixtureInstaller());
    const std::string cut = good.substr(0, good.size() - 2);
    const std::string signatures[] = {
        SignBytes(MakersKey(), changed),
        SignBytes(signtest::OtherKey(), FixtureInstaller()),
        SignBytes(MakersKey(), FixtureInstaller(), "Other", "2.05"),
        SignBytes(MakersKey(), FixtureInstaller(), "Updater", "1.5"),
        signtest::SignBytesAlone(MakersKey(), FixtureInstaller()),
        "not a signature", good.substr(1), cut, good + "00"};
    struct Case {
        const char* what;
        const std::string* signature;  // null: no '5' field
        std::string installer;
        const char* logged;
        std::string before = "";  // document text before the product's record
    };
    const std::string otherRecord = updatetest::Field('1', "QuorvexTest Other") + "\r\n" +
                                    updatetest::Field('5', good) + "\r\n";
    const std::string mismatch = "Update signature does not match product 'Updater' version '2.05'";
    const std::vector<Case> cases = {
        {"a byte changed", &good, changed, mismatch.c_str()},
        {"another file's signature", &signatures[0], FixtureInstaller(), mismatch.c_str()},
        {"another key's signature", &signatures[1], FixtureInstaller(), mismatch.c_str()},
        {"another product's installer", &signatures[2], FixtureInstaller(), mismatch.c_str()},
        {"an older version as the newest", &signatures[3], FixtureInstaller(), mismatch.c_str()},
        {"the earlier form", &signatures[4], FixtureInstaller(),
         "Update signature of the earlier form (the installer's bytes alone) refused"},
        {"the record before's signature", nullptr, FixtureInstaller(), "Update signature missing\n",
         otherRecord},
        {"no '5' field", nullptr, FixtureInstaller(), "Update signature missing\n"},
        {"text", &signatures[5], FixtureInstaller(), "Update signature cannot be read (not hexadecimal)"},
        {"odd digits", &signatures[6], FixtureInstaller(),
         "Update signature cannot be read (an odd number of digits)"},
        {"one byte short", &signatures[7], FixtureInstaller(),
         "Update signature cannot be read (not as long as the key's signatures)"},
        {"one byte more", &signatures[8], FixtureInstaller(),
         "Update signature cannot be read (not as long as the key's signatures)"},
    };
    ProxySetting noProxy(0, "");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HttpServer server;
        ServeSigned(&server, c.signature, {c.installer}, c.before, "/uninstall.exe");
        SignedProduct product(server.Url("/info.txt"));
        const std::string own = product.folder.path + "uninstall.exe";
        ASSERT_TRUE(fixture::WriteAll(own, kInstaller));
        std::string record = product.folder.path + "installer-ran.txt";
        InstallerWishes wishes(record, 1);
        Answers answers({IDYES, IDNO}, IDC_UPDATE_DOWNLOAD);
        size_t mark = testlog::Mark();
        EXPECT_EQ(1, UpdateCheck(&product.context));
        // A failed download: both phases, the question, nothing run, the product's own file
        // as it was and no other file left.
        EXPECT_EQ((Shown{kAsk, "dialog", kRetryDownload, kNoContact}), answers.Shown());
        EXPECT_EQ(3u, server.Requests().size());
        EXPECT_TRUE(kInstaller == fixture::ReadAll(own));
        EXPECT_EQ(std::vector<std::string>{"uninstall.exe"}, FilesIn(product.folder.path));
        std::string log = testlog::Since(mark);
        EXPECT_TRUE(Contains(log, c.logged)) << log;
        // Under a name of its own: the product has a file of the server's name.
        EXPECT_TRUE(Contains(log, "Download for '" + product.folder.path + "~update-"));
        EXPECT_TRUE(Contains(log, "' not run and removed: its signature did not check out\n"));
        EXPECT_FALSE(Contains(log, "Update signature checks out"));
    }
}

// A complete download that checks out never takes the place of a file: it keeps the
// server's name only as a program (".exe") of a name no file of the folder has, and a name of
// its own otherwise; it runs as a program whatever the server named it, never through the
// shell's handler of a name.
TEST(Signed, TheDownloadReplacesNoFileAndRunsAsAProgram) {
    const std::string signature = signtest::SignBytes(signtest::MakersKey(), FixtureInstaller());
    struct Case {
        const char* path;  // of the download's address
        const char* kept;  // the saved file's name, null for a name of its own
    } cases[] = {{"/uninstall.exe", nullptr}, {"/setup.qx1", nullptr}, {"/Setup.EXE", "Setup.EXE"}};
    ProxySetting noProxy(0, "");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        HttpServer server;
        ServeSigned(&server, &signature, {FixtureInstaller()}, "", c.path);
        SignedProduct product(server.Url("/info.txt"));
        const std::string own = product.folder.path + "uninstall.exe";
        ASSERT_TRUE(fixture::WriteAll(own, kInstaller));
        const std::string record = product.folder.path + "installer-ran.txt";
        InstallerWishes wishes(record, 0);
        Answers answers({IDYES}, IDC_UPDATE_DOWNLOAD);
        EXPECT_EQ(1, UpdateCheck(&product.context));
        EXPECT_EQ((Shown{kAsk, "dialog", kNotUpdated}), answers.Shown());
        EXPECT_TRUE(kInstaller == fixture::ReadAll(own));
        if (!fixture::Exists(record)) {
            ADD_FAILURE() << "the installer did not run";
            continue;
        }
        // It ran from the file it was saved to, beside the product's own.
        const std::string ran = fixture::ReadAll(record);
        const std::string saved = ran.substr(0, ran.find("\r\n"));
        EXPECT_EQ(saved, UpdateCurrentChoice()->savePath);
        EXPECT_TRUE(FixtureInstaller() == fixture::ReadAll(saved));
        const std::string name = saved.substr(std::min(saved.size(), product.folder.path.size()));
        if (c.kept != nullptr)
            EXPECT_EQ(c.kept, name);
        else
            EXPECT_TRUE(name.rfind("~update-", 0) == 0 && name.size() > 12 &&
                        name.substr(name.size() - 4) == ".exe")
                << name;
        EXPECT_EQ(3u, FilesIn(product.folder.path).size());
    }
}

// Versions compare as real numbers, and a version with a second point reads as another
// number ("1.7.5" as 17.5, newer than 2.0): a signed product takes only a plain decimal number
// from its record, however well the installer is signed for that version text.
TEST(Signed, ARecordWhoseVersionIsNoPlainNumberIsRefused) {
    ProxySetting noProxy(0, "");
    for (const char* version : {"1.7.5", "2.0.1", "3..0", "1234567890.1234567"}) {
        SCOPED_TRACE(version);
        HttpServer server;
        const std::string signature =
            signtest::SignBytes(signtest::MakersKey(), FixtureInstaller(), "Updater", version);
        server.Serve({Ok(SignedRecord(kKey, version, "http://p/", server.Url("/setup.exe"),
                                      signature)),
                      Ok(FixtureInstaller(), "application/octet-stream")});
        SignedProduct product(server.Url("/info.txt"));
        StrCopy(product.context.productVersion, "2.0");
        const std::string record = product.folder.path + "installer-ran.txt";
        InstallerWishes wishes(record, 1);
        Answers answers({IDYES}, IDC_UPDATE_DOWNLOAD);
        size_t mark = testlog::Mark();
        EXPECT_EQ(1, UpdateCheck(&product.context));
        EXPECT_EQ((Shown{kAsk, kNoInfo}), answers.Shown());
        EXPECT_EQ(1u, server.Requests().size());
        EXPECT_FALSE(fixture::Exists(record));
        EXPECT_TRUE(Contains(testlog::Since(mark), std::string("Update version '") + version +
                                                       "' of a signed record is no plain "
                                                       "decimal number\n"));
    }
}

TEST(Signed, TheRetryQuestionCanFetchAnInstallerThatChecksOut) {
    // The first two downloads were tampered with on the way; the one after the question
    // was not.
    std::string changed = FixtureInstaller();
    changed[0] = 'Z';
    const std::string signature = signtest::SignBytes(signtest::MakersKey(), FixtureInstaller());
    HttpServer server;
    ServeSigned(&server, &signature, {changed, changed, FixtureInstaller()});
    SignedProduct product(server.Url("/info.txt"));
    std::string record = product.folder.path + "installer-ran.txt";
    InstallerWishes wishes(record, 1);
    ProxySetting noProxy(0, "");
    Answers answers({IDYES, IDYES}, IDC_UPDATE_DOWNLOAD);
    EXPECT_EQ(1, UpdateCheck(&product.context));
    EXPECT_EQ((Shown{kAsk, "dialog", kRetryDownload, kUpdated}), answers.Shown());
    EXPECT_EQ(4u, server.Requests().size());
    EXPECT_EQ("-Quiet", InstallerArguments(record));
}

TEST(Signed, AKeyThatCannotBeReadLetsNoInstallerRun) {
    HttpServer server;
    server.Serve(Ok(FixtureInstaller(), "application/octet-stream"));
    const std::string signature = signtest::SignBytes(signtest::MakersKey(), FixtureInstaller());
    const std::string key = signtest::MakersKey().publicText;
    for (const std::string& broken : {std::string(), key.substr(0, key.size() - 2), "0" + key}) {
        SignedProduct product("", broken);
        AcceptOffer(product, server.Url("/setup.exe"), signature);
        size_t mark = testlog::Mark();
        EXPECT_EQ(0, Download(product, server.Url("/setup.exe")));
        EXPECT_TRUE(Contains(testlog::Since(mark), "Update key cannot be read (")) << broken;
        EXPECT_FALSE(fixture::Exists(product.folder.path + "setup.exe"));
    }
}

// A text value of the machine's registry, set for the time of a test.
class MachineText {
public:
    MachineText(const std::string& key, const char* name, const std::string& value)
        : key_(key), name_(name) {
        char old[MAX_PATH] = "";
        DWORD size = sizeof old;
        HKEY opened;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, &opened) != 0) return;
        set_ = RegQueryValueExA(opened, name, nullptr, nullptr, reinterpret_cast<BYTE*>(old),
                                &size) == 0 &&
               Set(opened, value);
        old_ = old;
        RegCloseKey(opened);
    }
    ~MachineText() {
        HKEY opened;
        if (!set_ || RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_.c_str(), 0, KEY_ALL_ACCESS, &opened))
            return;
        Set(opened, old_);
        RegCloseKey(opened);
    }
    bool IsSet() const { return set_; }

private:
    bool Set(HKEY key, const std::string& value) {
        return RegSetValueExA(key, name_, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>(value.size() + 1)) == 0;
    }
    std::string key_;
    const char* name_;
    std::string old_;
    bool set_ = false;
};

// An older service pack registers the RSA and AES provider under another name: the type
// names "... (Prototype)", and nothing answers to the name of today's.
TEST(Signed, TheProviderIsFoundByItsTypeWhateverItsName) {
    HttpServer server;
    server.Serve(Ok(FixtureInstaller(), "application/octet-stream"));
    const std::string signature = signtest::SignBytes(signtest::MakersKey(), FixtureInstaller());
    const std::string providers = "Software\\Microsoft\\Cryptography\\Defaults\\Provider";
    const std::string name = "Microsoft Enhanced RSA and AES Cryptographic Provider";
    MachineText type(providers + " Types\\Type 024", "Name", name + " (Prototype)");
    MachineText gone(providers + "\\" + name, "Image Path", "no-such-provider.dll");
    ASSERT_TRUE(type.IsSet() && gone.IsSet());
    SignedProduct product;
    AcceptOffer(product, server.Url("/setup.exe"), signature);
    EXPECT_EQ(1, Download(product, server.Url("/setup.exe")));
    UpdateReleaseDownload();
}

// Before Windows XP SP3 the system's cryptography has no provider of the RSA and AES type,
// and with it no SHA-256: a signed update cannot be checked there, so it is refused with a
// notice, and nothing is downloaded or run.
TEST(Signed, WithoutSha256InTheSystemsCryptographyTheUpdateIsRefusedWithANotice) {
    const std::string signature = signtest::SignBytes(signtest::MakersKey(), FixtureInstaller());
    HttpServer server;
    ServeSigned(&server, &signature, {FixtureInstaller()});
    MachineText type("Software\\Microsoft\\Cryptography\\Defaults\\Provider Types\\Type 024",
                     "Name", "No Such Provider");
    ASSERT_TRUE(type.IsSet());
    SignedProduct product(server.Url("/info.txt"));
    std::string record = product.folder.path + "installer-ran.txt";
    InstallerWishes wishes(record, 1);
    ProxySetting noProxy(0, "");
    Answers answers({IDYES}, IDC_UPDATE_DOWNLOAD);
    EXPECT_EQ(1, UpdateCheck(&product.context));
    const std::string refused =
        "The new version of QuorvexTest Updater is signed, and this system cannot check its "
        "signature (SHA-256 in the system's cryptography comes with Windows XP SP3). Nothing "
        "was downloaded: please get the new version from the product's web page.";
    EXPECT_EQ((Shown{kAsk, "dialog", refused}), answers.Shown());
    EXPECT_EQ(1u, server.Requests().size());
    EXPECT_EQ(std::vector<std::string>{}, FilesIn(product.folder.path));
}

TEST(Signed, WithoutAnUpdateKeyASignatureIsNeitherCheckedNorNeeded) {
    const std::string good = signtest::SignBytes(signtest::MakersKey(), FixtureInstaller());
    const std::string garbage = "whatever the server says";
    ProxySetting noProxy(0, "");
    for (const std::string* signature : {&good, &garbage}) {
        HttpServer server;
        ServeSigned(&server, signature, {FixtureInstaller()});
        Product product(server.Url("/info.txt"));
        std::string record = product.folder.path + "installer-ran.txt";
        InstallerWishes wishes(record, 1);
        Answers answers({IDYES}, IDC_UPDATE_DOWNLOAD);
        size_t mark = testlog::Mark();
        EXPECT_EQ(1, UpdateCheck(&product.context));
        EXPECT_EQ((Shown{kAsk, "dialog", kUpdated}), answers.Shown());
        EXPECT_EQ("-Quiet", InstallerArguments(record));
        std::string log = testlog::Since(mark);
        EXPECT_FALSE(Contains(log, "Unknown '")) << log;
        EXPECT_FALSE(Contains(log, "signature")) << log;
    }
}

}  // namespace
