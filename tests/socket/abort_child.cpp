// Child program of the socket tests: makes one fatal call of the socket layer, named by its
// argument. The abort path shows its "Internal error..." box and ends the process with 1.
#include <string.h>

#include "tessel/socket.h"
#include "tessel/tsl-core.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    MemInit(0x7FFFFFFF);
    if (strcmp(argv[1], "mismatch") == 0) {
        // An object of another kind handed to the layer.
        static const char foreign[] = "foreign";
        Socket fake;
        memset(&fake, 0, sizeof fake);
        fake.tag = foreign;
        SocketOpen(&fake, SOCKET_KIND_STREAM);
    } else if (strcmp(argv[1], "null") == 0) {
        Socket* s = nullptr;
        SocketCreate(&s);
        int32_t received = 0;
        SocketRead(s, nullptr, 16, &received);
    } else if (strcmp(argv[1], "null-holder") == 0) {
        SocketDestroy(nullptr);
    }
    return 3;  // not reached when the call aborts
}
