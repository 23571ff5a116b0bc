#!/usr/bin/env bash
# A real HTTP proxy for the update tests: tinyproxy on 127.0.0.1, run by ctest as the
# fixture around the tests that need it (FIXTURES_SETUP / FIXTURES_CLEANUP).
#
#   tinyproxy.sh start <folder>   writes a configuration of its own into <folder> (a free
#                                 port on 127.0.0.1, only 127.0.0.1 allowed, the log in
#                                 <folder>/tinyproxy.log), starts tinyproxy in the
#                                 foreground of a background job and, once it accepts
#                                 connections, writes its port to <folder>/port.
#   tinyproxy.sh stop <folder>    stops it and removes the port file.
#
# Whatever happens to the cleanup, the proxy ends by itself after half an hour.
set -euo pipefail
action=$1
folder=$2
lifetime=1800

stop() {
    if [ -f "$folder/tinyproxy.pid" ]; then
        kill "$(cat "$folder/tinyproxy.pid")" 2>/dev/null || true
        rm -f "$folder/tinyproxy.pid"
    fi
    rm -f "$folder/port"
}

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

case "$action" in
start)
    command -v tinyproxy >/dev/null || { echo "tinyproxy is not installed (scripts/setup)" >&2; exit 1; }
    stop
    mkdir -p "$folder"
    # A port taken by someone else between the look-up and the start: try another.
    for attempt in 1 2 3 4 5; do
        port=$(free_port)
        cat >"$folder/tinyproxy.conf" <<EOF
Port $port
Listen 127.0.0.1
Timeout 60
MaxClients 20
Allow 127.0.0.1
LogFile "$folder/tinyproxy.log"
LogLevel Info
PidFile "$folder/tinyproxy.pid"
EOF
        rm -f "$folder/tinyproxy.log" "$folder/tinyproxy.pid"
        setsid timeout "$lifetime" tinyproxy -d -c "$folder/tinyproxy.conf" \
            >"$folder/tinyproxy.out" 2>&1 </dev/null &
        for _ in $(seq 50); do
            if grep -q "Accepting connections" "$folder/tinyproxy.log" 2>/dev/null &&
                [ -s "$folder/tinyproxy.pid" ]; then
                echo "$port" >"$folder/port"
                echo "tinyproxy listens on 127.0.0.1:$port (pid $(cat "$folder/tinyproxy.pid"))"
                exit 0
            fi
            sleep 0.1
        done
        stop
    done
    echo "tinyproxy did not start; its output:" >&2
    cat "$folder/tinyproxy.out" "$folder/tinyproxy.log" >&2 2>/dev/null || true
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
