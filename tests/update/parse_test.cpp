// The update check's pure parts on both targets: the HTTP client's URL split, proxy text and
// request header; the version document's scan with its fields and capacities; the version
// number; the installer's file name; and the download's response handling over any chunking.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "socket/test_log.h"
#include "update/document.h"
#include "tessel/tsl-core.h"
#include "vacate/http.h"
#include "vacate/signature.h"
#include "vacate/update.h"

using updatetest::Field;
using updatetest::Record;
using updatetest::SignedRecord;

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// ---------------------------------------------------------------------------
// HTTP client
// ---------------------------------------------------------------------------

struct Split {
    int ok;
    std::string host;
    std::string path;
};

Split SplitUrl(const std::string& url) {
    char host[HTTP_URL_SIZE];
    char path[HTTP_URL_SIZE];
    memset(host, 'x', sizeof host);
    memset(path, 'x', sizeof path);
    int ok = HttpSplitUrl(url.c_str(), host, path);
    return Split{ok, host, path};
}

TEST(Http, UrlSplitsIntoHostAndPath) {
    Split s = SplitUrl("http://www.quorvex.example/update/info.txt?product=a b");
    EXPECT_EQ(1, s.ok);
    EXPECT_EQ("www.quorvex.example", s.host);
    EXPECT_EQ("/update/info.txt?product=a b", s.path);

    // The port and user stay in the host; no "://" means the host starts the URL.
    s = SplitUrl("HTTP://u:p@127.0.0.1:8080/x");
    EXPECT_EQ("u:p@127.0.0.1:8080", s.host);
    EXPECT_EQ("/x", s.path);
    s = SplitUrl("127.0.0.1:3128/a/b");
    EXPECT_EQ("127.0.0.1:3128", s.host);
    EXPECT_EQ("/a/b", s.path);
    s = SplitUrl("http://host.example");
    EXPECT_EQ(1, s.ok);
    EXPECT_EQ("host.example", s.host);
    EXPECT_EQ("", s.path);
}

TEST(Http, UrlOf320CharactersOrWithControlBytesIsRefused) {
    std::string base = "http://h/";
    std::string longest = base + std::string(HTTP_URL_SIZE - 1 - base.size(), 'a');
    Split s = SplitUrl(longest);
    EXPECT_EQ(1, s.ok);
    EXPECT_EQ("/" + std::string(HTTP_URL_SIZE - 1 - base.size(), 'a'), s.path);

    for (const std::string& bad :
         {longest + "a", std::string("http://h/a\r\nX-Evil: 1"), std::string("http://h/a\x7F" "b")}) {
        s = SplitUrl(bad);
        EXPECT_EQ(0, s.ok) << bad;
        EXPECT_EQ("", s.host);
        EXPECT_EQ("", s.path);
    }
}

std::string Proxy(const char* value, int* ok = nullptr) {
    char out[HTTP_PROXY_SIZE];
    int result = HttpProxyText(value, out);
    if (ok != nullptr) *ok = result;
    return out;
}

TEST(Http, ProxyTextFromTheProxyServerValue) {
    EXPECT_EQ("proxy.example:8080", Proxy("ftp=f:21;http=proxy.example:8080;https=s:443"));
    EXPECT_EQ("p:1", Proxy("HTTP=p:1"));
    EXPECT_EQ("127.0.0.1:3128", Proxy("127.0.0.1:3128"));
    // Without an "http=" entry the whole value counts, up to its first ';'.
    EXPECT_EQ("https=s:443", Proxy("https=s:443;ftp=f:21"));
    EXPECT_EQ("", Proxy(""));
    int ok = 1;
    EXPECT_EQ("", Proxy(std::string(HTTP_PROXY_SIZE, 'p').c_str(), &ok));
    EXPECT_EQ(0, ok);
}

std::string Header(const char* target, const char* agent, int32_t body, int size = 512,
                   int* ok = nullptr) {
    std::vector<char> buffer(size, 'x');
    int32_t length = -1;
    int result = HttpFormatHeader(buffer.data(), size, "GET", target, agent, "h.example:81",
                                  body, &length);
    if (ok != nullptr) *ok = result;
    std::string text = buffer.data();
    EXPECT_EQ(result ? static_cast<int32_t>(text.size()) : 0, length);
    return text;
}

TEST(Http, RequestHeaderLinesInTheirOrder) {
    EXPECT_EQ("GET /a?b HTTP/1.0\r\nUser-Agent: Agent 1\r\nHost: h.example:81\r\n"
              "Connection: close\r\n\r\n",
              Header("/a?b", "Agent 1", 0));
    EXPECT_EQ("GET / HTTP/1.0\r\nHost: h.example:81\r\nContent-Length: 12\r\n"
              "Connection: close\r\n\r\n",
              Header("/", nullptr, 12));
    EXPECT_EQ("GET / HTTP/1.0\r\nHost: h.example:81\r\nConnection: close\r\n\r\n",
              Header("/", "", -1));

    // Straight to the server the target is the path; through a proxy the whole URL.
    EXPECT_STREQ("/", HttpTarget("http://h", "", 0));
    EXPECT_STREQ("/p", HttpTarget("http://h/p", "/p", 0));
    EXPECT_STREQ("http://h", HttpTarget("http://h", "", 1));
}

TEST(Http, HeaderThatDoesNotFitIsNotCut) {
    std::string whole = Header("/", "A", 0);
    int ok = 0;
    EXPECT_EQ(whole, Header("/", "A", 0, static_cast<int>(whole.size()) + 2, &ok));
    EXPECT_EQ(1, ok);
    EXPECT_EQ("", Header("/", "A", 0, static_cast<int>(whole.size()) + 1, &ok));
    EXPECT_EQ(0, ok);
    EXPECT_EQ("", Header("/", "A", 0, 8, &ok));
    EXPECT_EQ(0, ok);
}

// ---------------------------------------------------------------------------
// Version document
// ---------------------------------------------------------------------------

TEST(UpdateField, ReadsUpToTheFirstByteBelow0x20AndKeepsItsCapacity) {
    std::string text = "ab\xE9\x7F cd\x16next";
    const char* cursor = text.c_str();
    char out[16];
    ASSERT_EQ(1, UpdateReadField(&cursor, out, sizeof out));
    EXPECT_STREQ("ab\xE9\x7F cd", out);
    EXPECT_EQ('\x16', *cursor);

    // capacity - 1 bytes fit; capacity bytes do not.
    std::string fits(UPDATE_VERSION_SIZE - 1, '7');
    cursor = fits.c_str();
    char version[UPDATE_VERSION_SIZE];
    EXPECT_EQ(1, UpdateReadField(&cursor, version, sizeof version));
    EXPECT_EQ(fits, version);
    std::string full(UPDATE_VERSION_SIZE, '7');
    cursor = full.c_str();
    EXPECT_EQ(0, UpdateReadField(&cursor, version, sizeof version));
    EXPECT_STREQ("", version);
}

TEST(UpdateVersion, LeadingRunOfDigitsAndPointsCutsTheText) {
    char text[40] = "1.60 Release";
    double number = -1;
    EXPECT_EQ(1, UpdateVersionNumber(&number, text));
    EXPECT_DOUBLE_EQ(1.6, number);
    EXPECT_STREQ("1.60", text);

    char none[] = "beta";
    EXPECT_EQ(1, UpdateVersionNumber(&number, none));
    EXPECT_EQ(0.0, number);
    EXPECT_STREQ("", none);

    // Versions are real numbers: 1.10 is older than 1.9.
    char older[] = "1.10";
    char newer[] = "1.9";
    double a = 0;
    double b = 0;
    UpdateVersionNumber(&a, older);
    UpdateVersionNumber(&b, newer);
    EXPECT_LT(a, b);

    // A run of 70 characters would end the process in AtoF: it is no version.
    std::string run69 = "1." + std::string(67, '5');
    std::string run70 = run69 + "5";
    EXPECT_EQ(1, UpdateVersionNumber(&number, &run69[0]));
    EXPECT_NEAR(1.5555, number, 0.001);
    EXPECT_EQ(0, UpdateVersionNumber(&number, &run70[0]));
    EXPECT_EQ(0.0, number);
}

// What a signed record may offer: a version whose reading as a real number is what it says.
TEST(UpdateVersion, PlainDecimalNumbersOnly) {
    const struct {
        const char* text;
        int plain;
    } cases[] = {
        {"2", 1},      {"2.05", 1},  {"1.10", 1},   {"0.5", 1}, {"123456789012345", 1},
        {"1.7.5", 0},  {"2..0", 0},  {".5", 0},     {"2.", 0},  {"", 0},
        {"2.0 beta", 0}, {"-2.0", 0}, {"1234567890.123456", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(c.plain, UpdateVersionPlain(c.text)) << c.text;
}

TEST(UpdateScan, FindsTheProductsRecordBehindTheHeaderInAnyLetterCase) {
    std::string document = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" +
                           Record("Quorvex Other", "9.0", "http://o/", "http://o/o.exe") +
                           Record("QUORVEX demo", "2.50 (beta)", "http://p/", "http://d/s.exe") +
                           Record("Quorvex Later", "3.0", "http://l/", "http://l/l.exe");
    UpdateRecord record;
    ASSERT_EQ(1, UpdateScanInfo(document.c_str(), "Quorvex Demo", &record));
    EXPECT_STREQ("QUORVEX demo", record.name);
    EXPECT_STREQ("2.50", record.version);
    EXPECT_DOUBLE_EQ(2.5, record.number);
    EXPECT_STREQ("http://p/", record.page);
    EXPECT_STREQ("http://d/s.exe", record.download);

    EXPECT_EQ(0, UpdateScanInfo(document.c_str(), "Quorvex Missing", &record));
    EXPECT_EQ(0, UpdateScanInfo("", "Quorvex Demo", &record));
    // A tag byte at the very end of the text.
    EXPECT_EQ(0, UpdateScanInfo("\x16", "Quorvex Demo", &record));
}

TEST(UpdateScan, NewRecordKeepsTheLastVersionNumberAndDownloadAddress) {
    // The second record has no '2' and no '4' field of its own.
    std::string document = Record("A x", "4.5", "http://a/", "http://a/a.exe") +
                           Field('1', "B y") + Field('3', "http://b/") + Field('0', "");
    UpdateRecord record;
    ASSERT_EQ(1, UpdateScanInfo(document.c_str(), "b Y", &record));
    EXPECT_STREQ("", record.version);
    EXPECT_DOUBLE_EQ(4.5, record.number);
    EXPECT_STREQ("http://b/", record.page);
    EXPECT_STREQ("http://a/a.exe", record.download);
}

TEST(UpdateScan, UnknownFieldsAreLoggedAndOverlongFieldsFailTheScan) {
    size_t mark = testlog::Mark();
    std::string document = Field('1', "Q P") + Field('9', "extra text") + Field('2', "1.5") +
                           Field('0', "");
    UpdateRecord record;
    EXPECT_EQ(1, UpdateScanInfo(document.c_str(), "Q P", &record));
    EXPECT_TRUE(Contains(testlog::Since(mark), "Unknown 'extra text'\n"));

    struct Case {
        char tag;
        int capacity;
    } cases[] = {{'1', UPDATE_FIELD_SIZE}, {'2', UPDATE_VERSION_SIZE}, {'3', UPDATE_FIELD_SIZE},
                 {'4', UPDATE_FIELD_SIZE}, {'7', UPDATE_FIELD_SIZE}};
    for (const Case& c : cases) {
        // Texts of capacity - 1 and of capacity bytes; a version starts with its number.
        auto text = [](int length) { return "2.5" + std::string(length - 3, 'b'); };
        std::string fits = Field('1', "Q P") + Field(c.tag, text(c.capacity - 1)) +
                           Field('0', "");
        std::string tooLong = Field('1', "Q P") + Field(c.tag, text(c.capacity)) +
                              Field('0', "");
        // A '1' field that fits renames the record; the scan still runs to its end.
        EXPECT_EQ(c.tag == '1' ? 0 : 1, UpdateScanInfo(fits.c_str(), "Q P", &record)) << c.tag;
        EXPECT_EQ(0, UpdateScanInfo(tooLong.c_str(), "Q P", &record)) << c.tag;
    }

    // A version whose number run is too long for AtoF.
    std::string bad = Field('1', "Q P") + Field('2', std::string(70, '9')) + Field('0', "");
    EXPECT_EQ(0, UpdateScanInfo(bad.c_str(), "Q P", &record));
}

TEST(UpdateScan, SignatureHasItsOwnCapacityAndBelongsToItsRecordOnly) {
    // A record's signature passes neither to the record after it, ended by its '0' or not,
    // nor from a '5' field written before a record's '1'.
    const std::string signature = std::string(SIGNATURE_TEXT_SIZE - 1, 'a');
    size_t mark = testlog::Mark();
    std::string document = SignedRecord("A x", "4.5", "http://a/", "http://a/a.exe", "AAAA") +
                           Record("B y", "5.0", "http://b/", "http://b/b.exe") +
                           Field('5', signature) + "\r\n" +
                           Record("C z", "6.0", "http://c/", "http://c/c.exe") +
                           Field('1', "D Other") + Field('5', "AABBCC") +
                           Record("E w", "7.0", "http://e/", "http://e/e.exe") +
                           SignedRecord("F v", "8.0", "http://f/", "http://f/f.exe", signature);
    UpdateRecord record;
    for (const char* unsigned_ : {"b Y", "c Z", "e W"}) {
        ASSERT_EQ(1, UpdateScanInfo(document.c_str(), unsigned_, &record));
        EXPECT_STREQ("", record.signature) << unsigned_;
    }
    ASSERT_EQ(1, UpdateScanInfo(document.c_str(), "a X", &record));
    EXPECT_STREQ("AAAA", record.signature);
    ASSERT_EQ(1, UpdateScanInfo(document.c_str(), "f V", &record));
    EXPECT_EQ(signature, record.signature);
    EXPECT_FALSE(Contains(testlog::Since(mark), "Unknown"));

    // 1,024 bytes of text do not fit.
    std::string tooLong = SignedRecord("A x", "4.5", "http://a/", "http://a/a.exe",
                                       signature + "a");
    mark = testlog::Mark();
    EXPECT_EQ(0, UpdateScanInfo(tooLong.c_str(), "A x", &record));
    EXPECT_TRUE(Contains(testlog::Since(mark), "Update field '5' too long (1024 bytes or more)\n"));
}

// The update message a signature covers, byte for byte as the README gives it: makers'
// signatures and shipped uninstallers depend on it never changing.
TEST(UpdateMessage, TagNameVersionAndDigestEachInItsPlace) {
    uint8_t digest[SIGNATURE_DIGEST_SIZE];
    for (int i = 0; i < SIGNATURE_DIGEST_SIZE; ++i) digest[i] = static_cast<uint8_t>(0xA0 + i);
    uint8_t out[SIGNATURE_MESSAGE_MAX];
    int32_t length = -1;
    const char* why = "";
    ASSERT_EQ(1, SignatureMessage("Demo Product", "2.05", digest, out, &length, &why));
    const std::string expected = std::string("vacate update\0Demo Product\0" "2.05\0", 32) +
                                 std::string(reinterpret_cast<char*>(digest), sizeof digest);
    EXPECT_EQ(expected, std::string(reinterpret_cast<char*>(out), length));

    // The longest name and version a script and a record hold fit; nothing is left out.
    const std::string name(159, 'n');
    const std::string version(79, '9');
    EXPECT_EQ(1, SignatureMessage(name.c_str(), version.c_str(), digest, out, &length, &why));
    EXPECT_EQ(14 + 160 + 80 + 32, length);
    EXPECT_EQ(0, SignatureMessage("", "2.0", digest, out, &length, &why));
    EXPECT_STREQ("no product name", why);
    EXPECT_EQ(0, SignatureMessage("Demo", "", digest, out, &length, &why));
    EXPECT_STREQ("no version", why);
    EXPECT_EQ(0, length);
}

// ---------------------------------------------------------------------------
// The installer's file name
// ---------------------------------------------------------------------------

std::string FileName(const char* address, int* ok) {
    char name[UPDATE_FIELD_SIZE];
    memset(name, 'x', sizeof name);
    *ok = UpdateFileName(address, name);
    return name;
}

TEST(UpdateFile, NameIsTheLastPartOfTheAddress) {
    int ok = 0;
    EXPECT_EQ("setup-2.0.exe", FileName("http://h.example/dl/setup-2.0.exe", &ok));
    EXPECT_EQ(1, ok);
    EXPECT_EQ("setup.exe", FileName("setup.exe", &ok));
    EXPECT_EQ(1, ok);
    EXPECT_EQ("COM10", FileName("http://h/COM10", &ok));
    EXPECT_EQ(1, ok);
    EXPECT_EQ("CONSOLE .exe", FileName("http://h/CONSOLE .exe", &ok));
    EXPECT_EQ(1, ok);
}

TEST(UpdateFile, NamesThatLeaveTheFolderOrNameNoPlainFileAreRefused) {
    const char* refused[] = {
        "http://h/dl/",          "http://h/..",          "http://h/.",
        "http://h/...",          "http://h/a\\..\\b.exe", "http://h/c:evil.exe",
        "http://h/$1evil.exe",   "/setup.exe",           "http://h/a?x=b.exe",
        "http://h/setup.exe.",   "http://h/setup.exe ",  "http://h/con",
        "http://h/Nul.tar.gz",   "http://h/com1.exe",    "http://h/LPT9",
        "http://h/tab\there",    "http://h/a*b",         "",
        // Device names: blanks before the extension and superscript digits make no file.
        "http://h/CON .exe",     "http://h/NUL .txt",    "http://h/COM1 .exe",
        "http://h/COM\xB9",      "http://h/lpt\xB2.txt", "http://h/com3     .gz",
        "http://h/CONIN$",       "http://h/conout$.x",   "http://h/COM0",
    };
    for (const char* address : refused) {
        int ok = 1;
        EXPECT_EQ("", FileName(address, &ok)) << address;
        EXPECT_EQ(0, ok) << address;
    }
}

// What an uninstall removes from the product's folder: the download's own files only, of
// exactly the form it names them.
TEST(UpdateFile, StagedNamesOfExactlyTheirForm) {
    char name[UPDATE_FIELD_SIZE];
    UpdateStagedName(name, 4012, 4294967295u, 0);
    EXPECT_EQ(1, UpdateIsStagedName(name));
    EXPECT_EQ(1, UpdateIsStagedName("~UPDATE-1-2.PART"));
    for (const char* kept : {"~update-1-2.part.txt", "~update--2.part", "~update-1-.part",
                             "~update-1-2-3.part", "~update-1-2.exe", "update-1-2.part",
                             "~update-1 -2.part", "x~update-1-2.part", "~update-a-2.part"})
        EXPECT_EQ(0, UpdateIsStagedName(kept)) << kept;
}

// ---------------------------------------------------------------------------
// The download's response
// ---------------------------------------------------------------------------

// A response fed read by read as the download reads it: each read takes at most the next
// of `chunks` bytes (the last one repeats), the room left and what is left of the response;
// the end of the response is the server's close (a reset with `brokenOff`).
struct Fed {
    int result;
    std::string body;  // the body parts handed out, in order
    UpdateTransfer transfer;
    std::vector<double> percents;
};

Fed Feed(const std::string& response, const std::vector<int32_t>& chunks, int32_t size,
         int brokenOff = 0) {
    std::vector<char> buffer(size, 'Z');
    Fed fed{};
    UpdateTransferBegin(&fed.transfer, size);
    size_t next = 0;
    size_t read = 0;
    for (;;) {
        int32_t at = -1;
        int32_t room = -1;
        // Nothing is read past the announced body.
        if (UpdateTransferDone(&fed.transfer) || !UpdateTransferRoom(&fed.transfer, &at, &room))
            break;
        if (next >= response.size()) break;
        int32_t take = chunks[std::min(read++, chunks.size() - 1)];
        take = std::min<int32_t>({take, room, static_cast<int32_t>(response.size() - next)});
        memcpy(buffer.data() + at, response.data() + next, take);
        next += take;
        int32_t bodyAt = -1;
        int32_t bodyLength = -1;
        if (!UpdateTransferTake(&fed.transfer, buffer.data(), take, &bodyAt, &bodyLength)) break;
        EXPECT_EQ('\0', buffer[at + take]);
        if (!fed.transfer.headerSeen) {
            EXPECT_EQ(0, bodyLength);
            continue;
        }
        EXPECT_LE(bodyAt + bodyLength, size - 1);
        fed.body.append(buffer.data() + bodyAt, bodyLength);
        fed.percents.push_back(fed.transfer.percent);
    }
    fed.result = UpdateTransferResult(&fed.transfer, brokenOff);
    return fed;
}

const std::string kBody = "MZ\x90\0\x03 installer bytes \r\n\r\n and more\0 end";

std::string Response(const std::string& head, const std::string& body = kBody) {
    return head + "\r\n\r\n" + body;
}

TEST(UpdateTransfer, BodyAndSizeWhateverTheReadsAndBuffer) {
    std::string response = Response("HTTP/1.0 200 OK\r\nCONTENT-length:   " +
                                    std::to_string(kBody.size()) + "\r\nServer: t");
    // Every split of the response into two reads, then reads of a byte each, in a large
    // and in a small buffer.
    for (int32_t size : {4096, 80}) {
        for (size_t first = 1; first <= response.size(); ++first) {
            Fed fed = Feed(response, {static_cast<int32_t>(first), 7}, size);
            EXPECT_EQ(1, fed.result) << size << " " << first;
            EXPECT_EQ(kBody, fed.body) << size << " " << first;
            EXPECT_EQ(static_cast<int64_t>(kBody.size()), fed.transfer.expected);
        }
        Fed fed = Feed(response, {1}, size);
        EXPECT_EQ(1, fed.result);
        EXPECT_EQ(kBody, fed.body);
    }
}

TEST(UpdateTransfer, ProgressMovesFrom60By40TimesWhatWasWrittenBefore) {
    std::string body(100, 'b');
    std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100";
    Fed fed = Feed(Response(head, body), {static_cast<int32_t>(head.size()) + 4 + 25, 25}, 4096);
    EXPECT_EQ(1, fed.result);
    EXPECT_EQ((std::vector<double>{60.0, 70.0, 80.0, 90.0}), fed.percents);
    // Without a size the bar is left alone.
    fed = Feed(Response("HTTP/1.0 200 OK", body), {30}, 4096);
    EXPECT_EQ(1, fed.result);
    EXPECT_EQ(-1.0, fed.percents.back());
}

TEST(UpdateTransfer, SizeDecidesCompletenessAndOnlyASizeCanTellABreak) {
    std::string body(50, 'b');
    size_t mark = testlog::Mark();
    EXPECT_EQ(0, Feed(Response("HTTP/1.0 200 OK\r\nContent-Length: 60", body), {9}, 4096).result);
    EXPECT_TRUE(Contains(testlog::Since(mark), "Sizes to not match (60 != 50)\n"));
    mark = testlog::Mark();
    Fed longer = Feed(Response("HTTP/1.0 200 OK\r\nContent-Length: 40", body), {9}, 4096);
    EXPECT_EQ(0, longer.result);
    EXPECT_TRUE(Contains(testlog::Since(mark), "Sizes to not match (40 != 4"));
    EXPECT_EQ(1, Feed(Response("HTTP/1.0 200 OK\r\nContent-Length: 50", body), {9}, 4096,
                      1).result);

    // Zero is a size: an empty body, and nothing after the header.
    EXPECT_EQ(1, Feed(Response("HTTP/1.0 200 OK\r\nContent-Length: 0", ""), {9}, 4096).result);
    EXPECT_EQ(0, Feed(Response("HTTP/1.0 200 OK\r\nContent-Length: 0", body), {9}, 4096).result);

    // No size: the close completes the file, a reset does not.
    EXPECT_EQ(1, Feed(Response("HTTP/1.0 200 OK", body), {9}, 4096).result);
    EXPECT_EQ(0, Feed(Response("HTTP/1.0 200 OK", body), {9}, 4096, 1).result);
    // A response that ends before its header did is nothing.
    EXPECT_EQ(0, Feed("HTTP/1.0 200 OK\r\nContent-Len", {9}, 4096).result);
    // "Content-Length:" in the body is no size.
    Fed inBody = Feed(Response("HTTP/1.0 200 OK", "Content-Length: 3\r\n"), {4}, 4096);
    EXPECT_EQ(1, inBody.result);
    EXPECT_EQ(0, inBody.transfer.expected);
}

// A response ends with its announced body, whatever the server sends after it (the
// connection may stay open); without a size, only the server's close ends it.
TEST(UpdateTransfer, EndsWithTheAnnouncedBody) {
    const std::string more = "bytes after the announced body";
    struct Case {
        const char* head;
        std::string body;
        bool sized;
    } cases[] = {
        {"HTTP/1.0 200 OK\r\nContent-Length: 5", "abcde", true},
        {"HTTP/1.0 200 OK\r\ncontent-length:0", "", true},
        {"HTTP/1.0 200 OK", "abcde", false},
    };
    for (const Case& c : cases) {
        const std::string whole = Response(c.head, c.body);
        const std::string response = whole + more;
        // The version request, complete from the announced body's last byte on.
        for (size_t n = 0; n <= response.size(); ++n)
            EXPECT_EQ(c.sized && n >= whole.size() ? 1 : 0,
                      UpdateResponseComplete(response.data(), static_cast<int32_t>(n)))
                << c.head << " " << n;
        // The download, read byte by byte.
        Fed fed = Feed(response, {1}, 4096);
        EXPECT_EQ(1, fed.result) << c.head;
        EXPECT_EQ(c.sized ? c.body : c.body + more, fed.body) << c.head;
    }
}

TEST(UpdateTransfer, ErrorStatusesAndUnreadableSizesFail) {
    const std::string bad[] = {
        "HTTP/1.0 404 Not Found\r\nContent-Length: 32",
        "HTTP/1.1 301 Moved\r\nLocation: http://x/",
        "HTTP/1.0 500",
        "<html>no status line",
        "HTTP/1.0 2000 OK",
        "HTTP/1.0 200 OK\r\nContent-Length: " + std::string(70, '1'),
        "HTTP/1.0 200 OK\r\nContent-Length: 4294967396",
        // 2^64 + 100: the 64-bit value wraps to 100, which the body below would match.
        "HTTP/1.0 200 OK\r\nContent-Length: 18446744073709551716",
        "HTTP/1.0 200 OK\r\nContent-Length: -5",
    };
    for (const std::string& head : bad) {
        Fed fed = Feed(Response(head), {13}, 4096);
        EXPECT_EQ(0, fed.result) << head;
        EXPECT_EQ("", fed.body) << head;
        EXPECT_EQ(1, fed.transfer.failed) << head;
    }
    size_t mark = testlog::Mark();
    Feed(Response(bad[0]), {13}, 4096);
    EXPECT_TRUE(Contains(testlog::Since(mark), "Download refused by the server (status 404)\n"));
    // 69 digits still read (as a size out of range, not as a fatal error).
    mark = testlog::Mark();
    Feed(Response("HTTP/1.0 200 OK\r\nContent-Length: " + std::string(69, '1')), {13}, 4096);
    EXPECT_TRUE(Contains(testlog::Since(mark), "Download size out of range\n"));
}

TEST(UpdateTransfer, FullBufferEndsTheDownload) {
    // A header that has not ended when the buffer is full.
    std::string endless = "HTTP/1.0 200 OK\r\nX: " + std::string(200, 'x');
    size_t mark = testlog::Mark();
    Fed fed = Feed(endless, {64}, 100);
    EXPECT_EQ(0, fed.result);
    EXPECT_EQ(1, fed.transfer.failed);
    EXPECT_TRUE(Contains(testlog::Since(mark), "Download header fills the buffer (100 bytes)\n"));

    // A header that ends on the last free byte leaves no room for the body.
    std::string head = "HTTP/1.0 200 OK\r\nX: ";
    head += std::string(99 - head.size() - 4, 'x');
    fed = Feed(Response(head, "body"), {1000}, 100);
    EXPECT_EQ(99, fed.transfer.bodyStart);
    EXPECT_EQ(0, fed.result);
    // One byte more room and the body comes through.
    fed = Feed(Response(head, "body"), {1000}, 101);
    EXPECT_EQ(1, fed.result);
    EXPECT_EQ("body", fed.body);
}

}  // namespace
