// The Win32 socket layer against real sockets: a server started by the test on 127.0.0.1
// (a thread using Winsock directly), time-outs, socket sets, host resolution, and the fatal
// checks of the object type and of null pointers in a child process.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "socket/listener.h"
#include "socket/test_log.h"
#include "support/windriver.h"
#include "tessel/socket.h"
#include "tessel/tsl-core.h"

using sockettest::Listener;
using sockettest::RefusingPort;

namespace {

const uint8_t kLoopback[4] = {127, 0, 0, 1};

// A Socket of the layer that is destroyed with the test.
struct TestSocket {
    Socket* s = nullptr;
    TestSocket() { SocketCreate(&s); }
    ~TestSocket() {
        if (s != nullptr) SocketDestroy(&s);
    }
    Socket* operator->() { return s; }
    operator Socket*() { return s; }
};

// Opens a stream socket and connects it to the loopback port.
bool Connect(TestSocket& socket, int port) {
    return SocketOpen(socket, SOCKET_KIND_STREAM) == 1 &&
           SocketConnect(socket, kLoopback, port) == 1;
}

// Reads until `length` bytes came or a read fails.
std::string ReadExactly(Socket* socket, int length) {
    std::string data;
    char buffer[64];
    while (static_cast<int>(data.size()) < length) {
        int32_t received = 0;
        int want = length - static_cast<int>(data.size());
        if (want > static_cast<int>(sizeof buffer)) want = sizeof buffer;
        if (!SocketRead(socket, buffer, want, &received)) break;
        data.append(buffer, received);
    }
    return data;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Socket, NewObjectDefaultsAndRelease) {
    MemStats before{};
    MemGetStats(&before);
    Socket* s = nullptr;
    ASSERT_EQ(1, SocketCreate(&s));
    ASSERT_NE(nullptr, s);
    EXPECT_STREQ("socket", s->tag);
    EXPECT_EQ(INVALID_SOCKET, s->handle);
    EXPECT_EQ(0, s->lastError);
    EXPECT_EQ(1, s->blocking);
    EXPECT_EQ(300000, s->readTimeout);
    EXPECT_EQ(300000, s->connectTimeout);
    EXPECT_EQ(0, s->kind);
    EXPECT_EQ(0, s->remotePort);
    ASSERT_EQ(1, SocketOpen(s, SOCKET_KIND_STREAM));
    // Destroying closes the open socket and returns the block.
    ASSERT_EQ(1, SocketDestroy(&s));
    EXPECT_EQ(nullptr, s);
    MemStats after{};
    MemGetStats(&after);
    EXPECT_EQ(before.blocks, after.blocks);
    EXPECT_EQ(before.bytes, after.bytes);
}

TEST(Socket, OpenCloseShutdownAndKinds) {
    TestSocket s;
    EXPECT_EQ(0, SocketShutdown(s));        // nothing open
    EXPECT_EQ(0, SocketSetBlocking(s, 0));  // nothing open
    EXPECT_EQ(1, SocketClose(s));           // closing a closed socket succeeds

    ASSERT_EQ(1, SocketOpen(s, SOCKET_KIND_STREAM));
    EXPECT_EQ(SOCKET_KIND_STREAM, s->kind);
    SOCKET first = s->handle;
    size_t mark = testlog::Mark();
    EXPECT_EQ(0, SocketOpen(s, 2));
    EXPECT_EQ(first, s->handle);
    EXPECT_EQ(SOCKET_KIND_STREAM, s->kind);
    EXPECT_EQ("Socket must be closed first!\n", testlog::Since(mark));

    ASSERT_EQ(1, SocketSetBlocking(s, 0));
    EXPECT_EQ(0, s->blocking);
    EXPECT_EQ(1, SocketSetBlocking(s, 7));  // any mode but 1 is non-blocking
    EXPECT_EQ(0, s->blocking);
    ASSERT_EQ(1, SocketClose(s));
    EXPECT_EQ(INVALID_SOCKET, s->handle);

    // An open restores blocking mode; a UDP socket is of kind 2.
    ASSERT_EQ(1, SocketOpen(s, 2));
    EXPECT_EQ(2, s->kind);
    EXPECT_EQ(1, s->blocking);
    ASSERT_EQ(1, SocketClose(s));

    mark = testlog::Mark();
    EXPECT_EQ(0, SocketOpen(s, 7));
    EXPECT_EQ(0, s->kind);
    EXPECT_EQ(INVALID_SOCKET, s->handle);
    EXPECT_EQ("Unknown socket protocol '7'\n", testlog::Since(mark));
}

TEST(Socket, ConnectSendReadAndShutDown) {
    Listener server(Listener::kEcho);
    ASSERT_NE(0, server.Port());
    TestSocket s;
    ASSERT_TRUE(Connect(s, server.Port())) << SocketLastErrorText(s);
    EXPECT_EQ(0, s->lastError);
    EXPECT_EQ(1, s->blocking);  // restored after the connection attempt
    EXPECT_EQ(0, memcmp(kLoopback, s->remoteAddress, 4));
    EXPECT_EQ(server.Port(), s->remotePort);

    int32_t sent = -1;
    ASSERT_EQ(1, SocketSend(s, "hello, server", 13, &sent));
    EXPECT_EQ(13, sent);
    EXPECT_EQ("hello, server", ReadExactly(s, 13));

    // A read of length 0 returns at once, even with nothing to read.
    char untouched[4] = {'x', 'x', 'x', 'x'};
    int32_t received = -1;
    EXPECT_EQ(1, SocketRead(s, untouched, 0, &received));
    EXPECT_EQ(0, received);
    EXPECT_EQ('x', untouched[0]);

    EXPECT_EQ(1, SocketShutdown(s));
    EXPECT_EQ(0, SocketSend(s, "late", 4, &sent));
    EXPECT_EQ(0, sent);
    EXPECT_NE(0, s->lastError);
    EXPECT_EQ(1, SocketClose(s));
    // Sends and reads on a closed socket fail without touching the Winsock layer.
    EXPECT_EQ(0, SocketSend(s, "late", 4, &sent));
    EXPECT_EQ(0, SocketRead(s, untouched, 4, &received));
}

TEST(Socket, ReadAfterThePeerClosedFailsWithoutError) {
    Listener server(Listener::kCloseAtOnce);
    ASSERT_NE(0, server.Port());
    TestSocket s;
    ASSERT_TRUE(Connect(s, server.Port())) << SocketLastErrorText(s);
    char buffer[16];
    int32_t received = -1;
    EXPECT_EQ(0, SocketRead(s, buffer, sizeof buffer, &received));
    EXPECT_EQ(0, received);
    EXPECT_EQ(0, s->lastError);
    EXPECT_STREQ("No Error", SocketLastErrorText(s));
}

TEST(Socket, RefusedConnection) {
    RefusingPort refusing;
    ASSERT_NE(0, refusing.Port());

    TestSocket blocking;
    ASSERT_EQ(1, SocketOpen(blocking, SOCKET_KIND_STREAM));
    EXPECT_EQ(0, SocketConnect(blocking, kLoopback, refusing.Port()));
    EXPECT_EQ(0, blocking->lastError);
    EXPECT_EQ(1, blocking->blocking);
    EXPECT_EQ(0, blocking->remotePort);

    // Non-blocking, the attempt is only started; the wait shows the socket in the error set.
    TestSocket pending;
    ASSERT_EQ(1, SocketOpen(pending, SOCKET_KIND_STREAM));
    ASSERT_EQ(1, SocketSetBlocking(pending, 0));
    ASSERT_EQ(1, SocketConnect(pending, kLoopback, refusing.Port()));
    EXPECT_EQ(0, pending->lastError);
    EXPECT_EQ(0, pending->blocking);
    SocketSet writeSet, errorSet;
    SocketSetClear(&writeSet);
    SocketSetClear(&errorSet);
    SocketSetAdd(&writeSet, pending);
    SocketSetAdd(&errorSet, pending);
    int32_t count = -1;
    ASSERT_EQ(1, SocketWait("Connect", nullptr, &writeSet, &errorSet, 5000, &count));
    EXPECT_GE(count, 1);
    EXPECT_EQ(1, SocketSetHas(&errorSet, pending));
    EXPECT_EQ(0, SocketSetHas(&writeSet, pending));
}

TEST(Socket, ConnectToAnInvalidPortIsRefused) {
    TestSocket s;
    ASSERT_EQ(1, SocketOpen(s, SOCKET_KIND_STREAM));
    EXPECT_EQ(0, SocketConnect(s, kLoopback, 65536 + 80));
    EXPECT_EQ(10022, s->lastError);
    EXPECT_EQ(0, SocketConnect(s, kLoopback, -1));
}

// A server whose queue of pending connections is full: the system drops further
// connection requests, so a connect to it gets no answer at all.
class FullListener {
public:
    FullListener() {
        listen_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in local = Listener::Loopback(0);
        int size = sizeof local;
        if (bind(listen_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
            listen(listen_, 1) != 0 ||
            getsockname(listen_, reinterpret_cast<sockaddr*>(&local), &size) != 0)
            return;
        port_ = ntohs(local.sin_port);
        sockaddr_in target = Listener::Loopback(port_);
        for (int i = 0; i < 4; ++i) {
            SOCKET filler = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            u_long nonBlocking = 1;
            ioctlsocket(filler, FIONBIO, &nonBlocking);
            connect(filler, reinterpret_cast<sockaddr*>(&target), sizeof target);
            fillers_.push_back(filler);
        }
        Sleep(200);
    }
    ~FullListener() {
        for (SOCKET s : fillers_) closesocket(s);
        closesocket(listen_);
    }
    int Port() const { return port_; }

private:
    SOCKET listen_ = INVALID_SOCKET;
    int port_ = 0;
    std::vector<SOCKET> fillers_;
};

TEST(Socket, ConnectTimeout) {
    FullListener server;
    ASSERT_NE(0, server.Port());
    TestSocket s;
    ASSERT_EQ(1, SocketOpen(s, SOCKET_KIND_STREAM));
    s->connectTimeout = 1500;
    size_t mark = testlog::Mark();
    DWORD start = GetTickCount();
    EXPECT_EQ(0, SocketConnect(s, kLoopback, server.Port()));
    DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(SOCKET_TIMEOUT_CODE, s->lastError);
    EXPECT_STREQ("Timeout", SocketLastErrorText(s));
    EXPECT_EQ(1, s->blocking);
    EXPECT_GE(elapsed, 1400u);  // both slices were waited
    EXPECT_EQ("Socket connect timeout (1500)\n", testlog::Since(mark));
}

TEST(Socket, ReadTimeoutWaitsThreeSlices) {
    Listener server(Listener::kSilent);
    ASSERT_NE(0, server.Port());
    TestSocket s;
    ASSERT_TRUE(Connect(s, server.Port())) << SocketLastErrorText(s);
    s->readTimeout = 2500;
    char buffer[16];
    int32_t received = -1;
    size_t mark = testlog::Mark();
    DWORD start = GetTickCount();
    EXPECT_EQ(0, SocketRead(s, buffer, sizeof buffer, &received));
    DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(0, received);
    EXPECT_EQ(1460, s->lastError);
    EXPECT_EQ("Socket Read timeout (2500)\n", testlog::Since(mark));
    // 1 s, 1 s and 0.5 s: the wait cannot end sooner (a little slack for the clock).
    EXPECT_GE(elapsed, 2400u);
}

TEST(SocketWait, EmptyOrAbsentSetsReturnAtOnce) {
    SocketSet readSet, writeSet;
    SocketSetClear(&readSet);
    SocketSetClear(&writeSet);
    int32_t count = -1;
    // Ten minutes of time-out: waiting at all would run into the test's time limit.
    EXPECT_EQ(1, SocketWait("Read", &readSet, &writeSet, nullptr, 600000, &count));
    EXPECT_EQ(0, count);
    count = -1;
    EXPECT_EQ(1, SocketWait("Read", nullptr, nullptr, nullptr, 600000, &count));
    EXPECT_EQ(0, count);
}

TEST(SocketWait, TimeoutEmptiesTheSetsAndDataFillsThem) {
    Listener server(Listener::kEcho);
    ASSERT_NE(0, server.Port());
    TestSocket s;
    ASSERT_TRUE(Connect(s, server.Port())) << SocketLastErrorText(s);

    SocketSet readSet, emptySet;
    SocketSetClear(&readSet);
    SocketSetClear(&emptySet);
    ASSERT_EQ(1, SocketSetAdd(&readSet, s));
    int32_t count = -1;
    DWORD start = GetTickCount();
    ASSERT_EQ(1, SocketWait("Read", &readSet, &emptySet, nullptr, 1500, &count));
    EXPECT_GE(GetTickCount() - start, 1400u);
    EXPECT_EQ(0, count);
    EXPECT_EQ(0u, readSet.count);
    EXPECT_EQ(0, SocketSetHas(&readSet, s));

    int32_t sent = 0;
    ASSERT_EQ(1, SocketSend(s, "ping", 4, &sent));
    SocketSetAdd(&readSet, s);
    ASSERT_EQ(1, SocketWait("Read", &readSet, &emptySet, nullptr, 5000, &count));
    EXPECT_EQ(1, count);
    EXPECT_EQ(1, SocketSetHas(&readSet, s));
    EXPECT_EQ("ping", ReadExactly(s, 4));
}

TEST(SocketWait, FailedSelectIsLogged) {
    TestSocket s;
    ASSERT_EQ(1, SocketOpen(s, SOCKET_KIND_STREAM));
    SocketSet readSet;
    SocketSetClear(&readSet);
    SocketSetAdd(&readSet, s);
    SocketClose(s);  // the set now holds a handle that is no socket any more
    int32_t count = -1;
    size_t mark = testlog::Mark();
    EXPECT_EQ(0, SocketWait("Probe", &readSet, nullptr, nullptr, 1000, &count));
    EXPECT_EQ(0, count);
    EXPECT_TRUE(Contains(testlog::Since(mark), "Select failed [Probe: ")) << testlog::Since(mark);
}

TEST(SocketSet, AddHasAndClear) {
    SocketSet set;
    memset(&set, 0x5A, sizeof set);
    ASSERT_EQ(1, SocketSetClear(&set));
    EXPECT_EQ(0u, set.count);
    for (SOCKET h : set.handles) ASSERT_EQ(0u, h);

    TestSocket a, b;
    EXPECT_EQ(0, SocketSetAdd(&set, nullptr));
    EXPECT_EQ(0, SocketSetAdd(&set, a));  // not open
    EXPECT_EQ(0, SocketSetHas(&set, a));
    ASSERT_EQ(1, SocketOpen(a, SOCKET_KIND_STREAM));
    ASSERT_EQ(1, SocketOpen(b, SOCKET_KIND_STREAM));
    EXPECT_EQ(1, SocketSetAdd(&set, a));
    EXPECT_EQ(1, SocketSetAdd(&set, a));
    EXPECT_EQ(1u, set.count);
    EXPECT_EQ(1, SocketSetHas(&set, a));
    EXPECT_EQ(0, SocketSetHas(&set, b));
    EXPECT_EQ(0, SocketSetHas(&set, nullptr));

    // A full set ignores further sockets and still reports success.
    for (uint32_t i = 1; i < 64; ++i) set.handles[i] = 100000 + i;
    set.count = 64;
    EXPECT_EQ(1, SocketSetAdd(&set, b));
    EXPECT_EQ(64u, set.count);
    EXPECT_EQ(0, SocketSetHas(&set, b));

    // A closed socket is in no set.
    SocketClose(a);
    EXPECT_EQ(0, SocketSetHas(&set, a));
}

TEST(Resolve, DottedQuadIsTakenAsWritten) {
    HostAddress address;
    memset(&address, 0x5A, sizeof address);
    ASSERT_EQ(1, ResolveHost(&address, "127.0.0.1"));
    EXPECT_STREQ("127.0.0.1", address.name);
    EXPECT_EQ(0, memcmp(kLoopback, address.address, 4));
    EXPECT_EQ(0, address.port);

    // No lookup would accept this text; the quad parser reads it as 1.0.2.3.
    ASSERT_EQ(1, ResolveHost(&address, "1..2.3"));
    EXPECT_STREQ("1..2.3", address.name);
    const uint8_t expected[4] = {1, 0, 2, 3};
    EXPECT_EQ(0, memcmp(expected, address.address, 4));
}

// Whether the machine under Wine names "localhost" in its hosts file; a bare build
// environment may have none, and then no name can be looked up at all.
bool MachineKnowsLocalhost() {
    FILE* hosts = fopen("Z:\\etc\\hosts", "r");
    if (hosts == nullptr) return false;
    char line[512];
    bool found = false;
    while (!found && fgets(line, sizeof line, hosts) != nullptr)
        found = line[0] != '#' && strstr(line, "localhost") != nullptr;
    fclose(hosts);
    return found;
}

TEST(Resolve, HostNamesAreLookedUp) {
    HostAddress address;
    memset(&address, 0x5A, sizeof address);
    EXPECT_EQ(0, ResolveHost(&address, "no-such-host.invalid"));
    EXPECT_STREQ("", address.name);
    // No host at all is not the local machine.
    EXPECT_EQ(0, ResolveHost(&address, ""));
}

TEST(Resolve, LocalhostThroughTheMachinesResolver) {
    if (!MachineKnowsLocalhost()) GTEST_SKIP() << "the machine has no hosts entry for localhost";
    HostAddress address;
    ASSERT_EQ(1, ResolveHost(&address, "localhost"));
    EXPECT_STRNE("", address.name);
    EXPECT_EQ(127, address.address[0]);
    EXPECT_EQ(0, address.port);

    ASSERT_EQ(1, ResolveUrl(&address, "http://localhost/"));
    EXPECT_EQ(127, address.address[0]);
    EXPECT_EQ(80, address.port);
}

TEST(Resolve, Urls) {
    HostAddress address;
    ASSERT_EQ(1, ResolveUrl(&address, "http://user:pw@127.0.0.1:8080/updates/version.txt"));
    EXPECT_STREQ("127.0.0.1", address.name);
    EXPECT_EQ(0, memcmp(kLoopback, address.address, 4));
    EXPECT_EQ(8080, address.port);

    ASSERT_EQ(1, ResolveUrl(&address, "127.0.0.1:3128"));
    EXPECT_EQ(3128, address.port);

    EXPECT_EQ(0, ResolveUrl(&address, "http:///path"));

    // A host longer than the 119 characters kept is refused, not looked up cut short.
    std::string longHost = "http://" + std::string(116, '1') + ".0.0.1/";
    size_t mark = testlog::Mark();
    EXPECT_EQ(0, ResolveUrl(&address, longHost.c_str()));
    EXPECT_TRUE(Contains(testlog::Since(mark), "Host name too long in URL"));
}

// The fatal checks end the process: they run in a child, whose "Internal error..." box is
// answered here.
struct AbortResult {
    long exitCode = -1;
    std::string text;
};

AbortResult RunAbortChild(const char* what) {
    AbortResult result;
    windriver::Process child;
    std::string command = "\"" + windriver::BesideSelf("socket-abort.exe") + "\" " + what;
    if (!child.Start(command)) return result;
    windriver::BoxAnswerer answerer(
        [](const std::string& caption, const std::string&) {
            return caption == "Internal error..." ? IDOK : 0;
        },
        child.Pid());
    answerer.WaitForAnswers(1, 20000);
    result.exitCode = child.Wait(20000);
    if (result.exitCode == -1) child.Kill();
    std::vector<windriver::Answer> answers = answerer.Answers();
    if (!answers.empty()) result.text = answers[0].text;
    return result;
}

TEST(SocketAbort, ForeignObjectIsFatal) {
    AbortResult r = RunAbortChild("mismatch");
    EXPECT_EQ(1, r.exitCode);
    EXPECT_TRUE(Contains(r.text, "ABORT: Struct mismatch pointer (0x")) << r.text;
    EXPECT_TRUE(Contains(r.text, ":foreign != socket)")) << r.text;
    EXPECT_TRUE(Contains(r.text, "(socket/")) << r.text;
}

TEST(SocketAbort, NullPointerIsFatal) {
    AbortResult r = RunAbortChild("null");
    EXPECT_EQ(1, r.exitCode);
    EXPECT_TRUE(Contains(r.text, "ABORT: Pointer is NULL")) << r.text;
    EXPECT_TRUE(Contains(r.text, "(socket/")) << r.text;
}

TEST(SocketAbort, NullHolderIsFatal) {
    AbortResult r = RunAbortChild("null-holder");
    EXPECT_EQ(1, r.exitCode);
    EXPECT_TRUE(Contains(r.text, "ABORT: Pointer is NULL")) << r.text;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    testlog::Start("socket-win");
    int result = 1;
    if (SocketStartup() == 1) {
        // A second start-up is counted by Winsock and needs its own clean-up.
        if (SocketStartup() == 1 && SocketCleanup() == 1) result = RUN_ALL_TESTS();
        else fprintf(stderr, "second Winsock start-up or clean-up failed\n");
        if (SocketCleanup() != 1) result = 1;
        // One clean-up too many fails and is logged.
        size_t mark = testlog::Mark();
        if (SocketCleanup() != 0 ||
            !Contains(testlog::Since(mark),
                      "WSACleanup failed (Successful WSAStartup not yet performed)\n")) {
            fprintf(stderr, "an unbalanced clean-up was not reported\n");
            result = 1;
        }
    } else {
        fprintf(stderr, "Winsock start-up failed\n");
    }
    testlog::Stop();
    return result;
}
