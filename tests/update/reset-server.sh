#!/usr/bin/env bash
# A server that breaks a download off with a reset, for the update tests under Wine (a
# Winsock peer inside Wine always closes normally, so the peer is a Linux process). Run by ctest as a fixture around the
# tests that need it, like the proxy.
#
#   reset-server.sh start <folder>   starts it on a free port of 127.0.0.1 and, once it
#                                    listens, writes the port to <folder>/reset-port.
#   reset-server.sh stop <folder>    stops it.
#
# Each request is answered with a header ("Content-Length: 100000" for a path holding
# "sized", none otherwise) and 30000 bytes of body; a moment later the connection is reset
# (SO_LINGER 0). Whatever happens to the cleanup, the server ends by itself after half an hour.
set -euo pipefail
action=$1
folder=$2

stop() {
    if [ -f "$folder/reset.pid" ]; then
        kill "$(cat "$folder/reset.pid")" 2>/dev/null || true
        rm -f "$folder/reset.pid"
    fi
    rm -f "$folder/reset-port"
}

case "$action" in
start)
    stop
    mkdir -p "$folder"
    setsid timeout 1800 python3 -c '
import socket, struct, sys, time
folder = sys.argv[1]
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", 0))
server.listen(8)
with open(folder + "/reset-port.new", "w") as f:
    f.write(str(server.getsockname()[1]))
import os
os.rename(folder + "/reset-port.new", folder + "/reset-port")
while True:
    peer, _ = server.accept()
    peer.settimeout(10)
    request = b""
    try:
        while b"\r\n\r\n" not in request:
            chunk = peer.recv(4096)
            if not chunk:
                break
            request += chunk
        path = request.split(b" ")[1] if request.count(b" ") >= 2 else b"/"
        header = b"HTTP/1.0 200 OK\r\n"
        if b"sized" in path and b"unsized" not in path:
            header += b"Content-Length: 100000\r\n"
        peer.sendall(header + b"\r\n" + b"x" * 30000)
        time.sleep(0.5)
    except OSError:
        pass
    peer.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    peer.close()
' "$folder" >"$folder/reset.out" 2>&1 </dev/null &
    echo $! >"$folder/reset.pid"
    for _ in $(seq 50); do
        if [ -s "$folder/reset-port" ]; then
            echo "reset server listens on 127.0.0.1:$(cat "$folder/reset-port")"
            exit 0
        fi
        sleep 0.1
    done
    echo "the reset server did not start; its output:" >&2
    cat "$folder/reset.out" >&2 2>/dev/null || true
    stop
    exit 1
    ;;
stop)
    stop
    ;;
*)
    echo "usage: $0 start|stop <folder>" >&2
    exit 2
    ;;
esac
