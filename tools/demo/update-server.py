#!/usr/bin/env python3
"""The update server of the update demo (scripts/demo update), on 127.0.0.1.

  update-server.py <installer file> <port file> [<signature file>]

Listens on a free port of 127.0.0.1 and writes the port into <port file> once it accepts
connections. It serves HTTP/1.0, each response with its Content-Length, then closes:
  /quorvex/update.txt          the version document: a record for another product, then
                               one for "Quorvex Demo Product" offering version 2.0, its web
                               page, its installer's address and, given a signature file,
                               the installer's signature as its '5' field
  /quorvex/demo-setup-2.0.exe  the installer (the bytes of <installer file>)
Everything else is answered with 404. Each request is printed as "server: ..." with the
user agent that asked.
"""
import http.server
import os
import sys

INSTALLER_PATH = "/quorvex/demo-setup-2.0.exe"


def field(tag, text):
    return b"\x16" + tag + text.encode("ascii") + b"\r\n"


def record(name, version, page, download, signature=""):
    return (field(b"1", name) + field(b"2", version) + field(b"3", page) +
            field(b"4", download) + (field(b"5", signature) if signature else b"") +
            field(b"0", ""))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def do_GET(self):
        agent = self.headers.get("User-Agent", "-")
        base = "http://127.0.0.1:%d" % self.server.server_address[1]
        if self.path == "/quorvex/update.txt":
            body = (record("Quorvex Other Product", "9.0", "http://www.quorvex.example/other",
                           base + "/quorvex/other-setup.exe") +
                    record("Quorvex Demo Product", "2.0", "http://www.quorvex.example/demo",
                           base + INSTALLER_PATH, self.server.signature))
            status, kind = 200, "text/plain"
        elif self.path == INSTALLER_PATH:
            with open(self.server.installer, "rb") as f:
                body = f.read()
            status, kind = 200, "application/octet-stream"
        else:
            body = b"not found\r\n"
            status, kind = 404, "text/plain"
        print("server: GET %s -> %d, %d bytes (%s)" % (self.path, status, len(body), agent),
              flush=True)
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, format, *args):
        pass


def main():
    if len(sys.argv) not in (3, 4):
        print(__doc__, file=sys.stderr)
        return 2
    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    server.installer = sys.argv[1]
    server.signature = ""
    if len(sys.argv) == 4:
        with open(sys.argv[3]) as f:
            server.signature = f.read().strip()
    partial = sys.argv[2] + ".part"
    with open(partial, "w") as f:
        f.write("%d\n" % server.server_address[1])
    os.replace(partial, sys.argv[2])
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
