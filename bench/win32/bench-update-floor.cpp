// The floor of the download benchmark: sends the request the update check sends for the
// file and writes everything it receives to a file, with plain recv and WriteFile calls into
// a buffer of the given size, until the server closes. Writes its seconds, from the connect
// to the file's close, into <result file>.
//
//   bench-update-floor <port> <file> <result file> <buffer size>
#include <windows.h>
#include <winsock.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    const int port = atoi(argv[1]);
    const int size = atoi(argv[4]);
    WSADATA data;
    if (WSAStartup(0x0101, &data) != 0) return 3;
    std::vector<char> buffer(size);
    char request[512];
    snprintf(request, sizeof request,
             "GET /bench/setup.exe HTTP/1.0\r\n"
             "User-Agent: Quorvex Update Download Uninstall (www.quorvex.example)\r\n"
             "Host: 127.0.0.1:%d\r\nConnection: close\r\n\r\n",
             port);

    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    SOCKET peer = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    server.sin_port = htons(static_cast<u_short>(port));
    if (connect(peer, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) return 4;
    HANDLE file = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 5;
    send(peer, request, static_cast<int>(strlen(request)), 0);
    for (;;) {
        int got = recv(peer, buffer.data(), size, 0);
        if (got <= 0) break;
        DWORD written = 0;
        WriteFile(file, buffer.data(), static_cast<DWORD>(got), &written, nullptr);
    }
    CloseHandle(file);
    closesocket(peer);
    QueryPerformanceCounter(&end);

    FILE* result = fopen(argv[3], "w");
    if (result == nullptr) return 6;
    fprintf(result, "%.6f\n", static_cast<double>(end.QuadPart - start.QuadPart) /
                                  frequency.QuadPart);
    fclose(result);
    WSACleanup();
    return 0;
}
