// A TCP server on 127.0.0.1 for the socket tests: a thread of the test process that uses
// Winsock directly (not the layer under test). It accepts connections and, by its mode,
// echoes what it receives, stays silent, or closes each connection at once. The destructor
// stops the thread and closes every socket.
#pragma once

#include <winsock.h>

#include <atomic>
#include <thread>
#include <vector>

namespace sockettest {

// A socket listening on a free port of 127.0.0.1, and that port; INVALID_SOCKET (port 0)
// when it could not be set up.
inline SOCKET ListenOnLoopback(int* port) {
    *port = 0;
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof local;
    if (listener == INVALID_SOCKET ||
        bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        listen(listener, 5) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
        if (listener != INVALID_SOCKET) closesocket(listener);
        return INVALID_SOCKET;
    }
    *port = ntohs(local.sin_port);
    return listener;
}

class Listener {
public:
    enum Mode { kEcho, kSilent, kCloseAtOnce };

    explicit Listener(Mode mode) : mode_(mode) {
        listen_ = ListenOnLoopback(&port_);
        if (listen_ != INVALID_SOCKET) thread_ = std::thread([this] { Run(); });
    }

    ~Listener() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        for (SOCKET s : peers_) closesocket(s);
        if (listen_ != INVALID_SOCKET) closesocket(listen_);
    }

    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // The port it listens on; 0 when it could not be set up.
    int Port() const { return port_; }
    int Accepted() const { return accepted_; }

    static sockaddr_in Loopback(int port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<u_short>(port));
        return address;
    }

private:
    void Run() {
        while (!stop_) {
            fd_set ready;
            ready.fd_count = 0;
            if (peers_.size() < FD_SETSIZE - 1) ready.fd_array[ready.fd_count++] = listen_;
            if (mode_ == kEcho)
                for (SOCKET s : peers_) ready.fd_array[ready.fd_count++] = s;
            timeval tick = {0, 50000};
            if (ready.fd_count == 0 || select(0, &ready, nullptr, nullptr, &tick) <= 0) {
                Sleep(10);
                continue;
            }
            for (u_int i = 0; i < ready.fd_count; ++i) {
                SOCKET s = ready.fd_array[i];
                if (s == listen_)
                    Accept();
                else
                    Echo(s);
            }
        }
    }

    void Accept() {
        SOCKET peer = accept(listen_, nullptr, nullptr);
        if (peer == INVALID_SOCKET) return;
        ++accepted_;
        if (mode_ == kCloseAtOnce)
            closesocket(peer);
        else
            peers_.push_back(peer);
    }

    void Echo(SOCKET peer) {
        char buffer[512];
        int n = recv(peer, buffer, sizeof buffer, 0);
        if (n > 0) {
            send(peer, buffer, n, 0);
            return;
        }
        closesocket(peer);
        for (size_t i = 0; i < peers_.size(); ++i)
            if (peers_[i] == peer) peers_.erase(peers_.begin() + i);
    }

    Mode mode_;
    SOCKET listen_ = INVALID_SOCKET;
    int port_ = 0;
    std::vector<SOCKET> peers_;  // used by the thread only, and by the destructor after it
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

// A port on 127.0.0.1 that refuses connections: bound, so nothing else takes it, but not
// listening.
class RefusingPort {
public:
    RefusingPort() {
        socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in local = Listener::Loopback(0);
        int size = sizeof local;
        if (socket_ != INVALID_SOCKET &&
            bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
            getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &size) == 0)
            port_ = ntohs(local.sin_port);
    }
    ~RefusingPort() {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
    }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    int Port() const { return port_; }

private:
    SOCKET socket_ = INVALID_SOCKET;
    int port_ = 0;
};

}  // namespace sockettest
