// What the update tests share: a scripted HTTP server on 127.0.0.1 (a thread of the test
// process using Winsock directly, not the code under test) that records every request, the
// user's proxy setting in the test prefix, set for a test and restored after it, the
// installer fixture's wishes and record, and the port of the real proxy that ctest starts
// around the tests (tinyproxy.sh).
#pragma once

#include <windows.h>
#include <winsock.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fixtures/fixture-test.h"
#include "socket/listener.h"

namespace updatetest {

// One write of a scripted response, after a pause; the bytes go `repeat` times.
struct Piece {
    std::string bytes;
    DWORD pauseMs = 0;
    int64_t repeat = 1;
};

// What the server does with one connection: it reads the request, writes the pieces and
// closes the connection; kAtOnce closes it as soon as it is accepted. (Under Wine a socket
// is always shut down before it closes, so a peer of the test process cannot reset a
// connection; the download's handling of a reset is tested on the host.)
struct Reply {
    enum End { kClose, kAtOnce };
    std::vector<Piece> pieces;
    End end = kClose;
    int64_t bytesPerSecond = 0;  // the pace of the writes (a line's speed); 0: as they go
};

inline Reply Respond(const std::string& head, const std::string& body) {
    return Reply{{Piece{head + "\r\n\r\n" + body}}};
}

// The same, then the connection held open for `holdMs` before it closes.
inline Reply RespondAndHold(const std::string& head, const std::string& body, DWORD holdMs) {
    Reply reply = Respond(head, body);
    reply.pieces.push_back(Piece{"", holdMs});
    return reply;
}

// The header, then the body one byte at a time, `pauseMs` apart.
inline Reply Trickle(const std::string& head, const std::string& body, DWORD pauseMs) {
    Reply reply{{Piece{head + "\r\n\r\n"}}};
    for (char c : body) reply.pieces.push_back(Piece{std::string(1, c), pauseMs});
    return reply;
}

// A 200 response with a right "Content-Length:".
inline Reply Ok(const std::string& body, const std::string& type = "text/plain") {
    return Respond("HTTP/1.0 200 OK\r\nContent-Type: " + type +
                       "\r\nContent-Length: " + std::to_string(body.size()),
                   body);
}

class HttpServer {
public:
    HttpServer() {
        listen_ = sockettest::ListenOnLoopback(&port_);
        if (listen_ != INVALID_SOCKET) thread_ = std::thread([this] { Run(); });
    }
    ~HttpServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (listen_ != INVALID_SOCKET) closesocket(listen_);
    }
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // 0 when it could not be set up.
    int Port() const { return port_; }
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string Url(const std::string& path) const { return "http://" + HostPort() + path; }

    // The replies for the next connections, in order; the last one serves all after it.
    void Serve(std::vector<Reply> replies) {
        std::lock_guard<std::mutex> guard(lock_);
        replies_ = std::move(replies);
        next_ = 0;
    }
    void Serve(Reply reply) { Serve(std::vector<Reply>{std::move(reply)}); }

    // Every request read so far, header text as received.
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> guard(lock_);
        return requests_;
    }
    int Accepted() const { return accepted_; }
    // Connections whose reply it wrote to its end before it closed them (not those the
    // client left before).
    int Finished() const { return finished_; }

private:
    void Run() {
        while (!stop_) {
            fd_set ready;
            ready.fd_count = 1;
            ready.fd_array[0] = listen_;
            timeval tick = {0, 50000};
            if (select(0, &ready, nullptr, nullptr, &tick) <= 0) continue;
            SOCKET peer = accept(listen_, nullptr, nullptr);
            if (peer == INVALID_SOCKET) continue;
            ++accepted_;
            Handle(peer);
        }
    }

    Reply Next() {
        std::lock_guard<std::mutex> guard(lock_);
        if (replies_.empty()) return Reply{{}, Reply::kAtOnce};
        Reply reply = replies_[next_];
        if (next_ + 1 < replies_.size()) ++next_;
        return reply;
    }

    // Reads up to the header's end, for at most ten seconds.
    std::string ReadRequest(SOCKET peer) {
        std::string request;
        DWORD start = GetTickCount();
        while (request.find("\r\n\r\n") == std::string::npos && !stop_ &&
               GetTickCount() - start < 10000) {
            fd_set ready;
            ready.fd_count = 1;
            ready.fd_array[0] = peer;
            timeval tick = {0, 50000};
            if (select(0, &ready, nullptr, nullptr, &tick) <= 0) continue;
            char buffer[1024];
            int n = recv(peer, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            request.append(buffer, n);
        }
        return request;
    }

    // Paced, the bytes go in slices of 64 KB, none before its time: `*total` bytes sent
    // since `start` are due after total / pace seconds.
    bool SendAll(SOCKET peer, const std::string& bytes, int64_t pace, DWORD start,
                 int64_t* total) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            size_t slice = bytes.size() - sent;
            if (pace > 0) {
                slice = std::min<size_t>(slice, 65536);
                while (!stop_ && GetTickCount() - start < *total * 1000 / pace) Sleep(1);
            }
            int n = send(peer, bytes.data() + sent, static_cast<int>(slice), 0);
            if (n <= 0) return false;
            sent += n;
            *total += n;
        }
        return true;
    }

    bool Pause(DWORD ms) {
        DWORD start = GetTickCount();
        while (!stop_ && GetTickCount() - start < ms) Sleep(10);
        return !stop_;
    }

    void Handle(SOCKET peer) {
        Reply reply = Next();
        if (reply.end == Reply::kAtOnce) {
            closesocket(peer);
            return;
        }
        std::string request = ReadRequest(peer);
        {
            std::lock_guard<std::mutex> guard(lock_);
            requests_.push_back(request);
        }
        const DWORD start = GetTickCount();
        int64_t total = 0;
        bool sentAll = true;
        for (const Piece& piece : reply.pieces) {
            sentAll = Pause(piece.pauseMs);
            for (int64_t i = 0; i < piece.repeat && sentAll; ++i)
                sentAll = SendAll(peer, piece.bytes, reply.bytesPerSecond, start, &total);
            if (!sentAll) break;
        }
        shutdown(peer, 1);  // no more sends: the client reads the end of the data
        closesocket(peer);
        if (sentAll) ++finished_;
    }

    SOCKET listen_ = INVALID_SOCKET;
    int port_ = 0;
    std::mutex lock_;
    std::vector<Reply> replies_;
    size_t next_ = 0;
    std::vector<std::string> requests_;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::atomic<int> finished_{0};
    std::thread thread_;
};

// The values "ProxyEnable" and "ProxyServer" of the user's Internet settings for the time
// of a test; what was there before comes back (or goes again) when it ends. A negative
// `enable` or an empty `server` leaves that value out.
class ProxySetting {
public:
    ProxySetting(int32_t enable, const std::string& server) {
        RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                        nullptr);
        enable_ = Save("ProxyEnable");
        server_ = Save("ProxyServer");
        Set("ProxyEnable", enable >= 0 ? REG_DWORD : REG_NONE, &enable, sizeof enable);
        Set("ProxyServer", server.empty() ? REG_NONE : REG_SZ, server.c_str(),
            static_cast<DWORD>(server.size() + 1));
    }
    // Values of any type and bytes, as a damaged or foreign setting may hold them.
    ProxySetting(DWORD enableType, const std::string& enable, DWORD serverType,
                 const std::string& server) {
        RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                        nullptr);
        enable_ = Save("ProxyEnable");
        server_ = Save("ProxyServer");
        Set("ProxyEnable", enableType, enable.data(), static_cast<DWORD>(enable.size()));
        Set("ProxyServer", serverType, server.data(), static_cast<DWORD>(server.size()));
    }
    ~ProxySetting() {
        Restore("ProxyEnable", enable_);
        Restore("ProxyServer", server_);
        RegCloseKey(key_);
    }
    ProxySetting(const ProxySetting&) = delete;
    ProxySetting& operator=(const ProxySetting&) = delete;

private:
    static constexpr const char* kKey =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    struct Saved {
        DWORD type = REG_NONE;  // REG_NONE: there was no value
        std::vector<BYTE> data;
    };
    Saved Save(const char* name) {
        Saved saved;
        DWORD size = 0;
        if (RegQueryValueExA(key_, name, nullptr, &saved.type, nullptr, &size) != ERROR_SUCCESS)
            return Saved{};
        saved.data.resize(size);
        RegQueryValueExA(key_, name, nullptr, &saved.type, saved.data.data(), &size);
        return saved;
    }
    void Set(const char* name, DWORD type, const void* data, DWORD size) {
        if (type == REG_NONE)
            RegDeleteValueA(key_, name);
        else
            RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), size);
    }
    void Restore(const char* name, const Saved& saved) {
        Set(name, saved.type, saved.data.data(), static_cast<DWORD>(saved.data.size()));
    }
    HKEY key_ = nullptr;
    Saved enable_;
    Saved server_;
};

// The installer fixture's record and exit code, through the environment the started
// installer inherits.
class InstallerWishes {
public:
    InstallerWishes(const std::string& record, int exitCode) {
        SetEnvironmentVariableA("FX_INSTALLER_RECORD", record.c_str());
        SetEnvironmentVariableA("FX_INSTALLER_EXIT", std::to_string(exitCode).c_str());
    }
    ~InstallerWishes() {
        SetEnvironmentVariableA("FX_INSTALLER_RECORD", nullptr);
        SetEnvironmentVariableA("FX_INSTALLER_EXIT", nullptr);
    }
};

// The arguments the installer fixture recorded after its own path, separated by blanks.
inline std::string InstallerArguments(const std::string& record) {
    std::string text = fixture::ReadAll(record);
    size_t at = text.find("\r\n");
    if (at == std::string::npos) return "<none: " + text + ">";
    std::string arguments;
    for (size_t next; (next = text.find("\r\n", at + 2)) != std::string::npos; at = next)
        arguments += (arguments.empty() ? "" : " ") + text.substr(at + 2, next - at - 2);
    return arguments;
}

// A Linux path of the build as the test's Windows side names it.
inline std::string WindowsPath(const std::string& linuxPath) {
    std::string path = "Z:" + linuxPath;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

#ifdef TSL_TEST_PROXY_DIR
// The folder of the real proxy (tinyproxy.sh): its port file and its log.
inline std::string RealProxyFile(const char* name) {
    return WindowsPath(std::string(TSL_TEST_PROXY_DIR) + "/" + name);
}

// The port written to a file of the fixtures' folder, 0 when there is none.
inline int FixturePort(const char* name) {
    HANDLE file = CreateFileA(RealProxyFile(name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    char text[16] = {};
    DWORD got = 0;
    ReadFile(file, text, sizeof text - 1, &got, nullptr);
    CloseHandle(file);
    return atoi(text);
}

// The real proxy's port, 0 when it is not running (the test was not started by ctest).
inline int RealProxyPort() { return FixturePort("port"); }

// The port of the peer that resets its connections mid-body (reset-server.sh), 0 when it
// is not running.
inline int ResetServerPort() { return FixturePort("reset-port"); }
#endif

}  // namespace updatetest
