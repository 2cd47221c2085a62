#!/usr/bin/env python3
"""Loopback HTTP server for the download tests and benchmarks.

Prints its port on the first line of stdout (then an HTTPS port when given a
certificate and key), serves until stdin closes or the life time ends.

  /bytes/N        N bytes of the pattern (i * 7 + i / 251) & 255, with length
  /old/N          the same as an HTTP/1.0 reply ended by closing, no length
  /file/NAME      a file of the folder given by --root, sent whole
  /slow/N         N bytes (the first MiB of the pattern, repeated), 32 KiB every 50 ms
  /echo           POST: the body back, its type in X-Echo-Type
  /headers        POST: the request's header lines back as the body
  /huge           announces 1 TiB, sends 1000 bytes and closes
  /drip           the status line's first 10 bytes 0.25 s apart, then "ok"
  /reset          redirects to itself; a second request on the same
                  connection is answered by a reset
  /hop/N          N redirects in a row, the last to /bytes/1000
  /loop           redirects to itself
  /missing        404 with the body "not here"
  /cut            promises 100000 bytes, sends 1000 and closes
  /garbage        a reply that is not HTTP
  /silent         reads the request and never answers
"""
import argparse
import http.server
import os
import socket
import ssl
import struct
import sys
import threading
import time


def pattern(n):
    return bytes(((i * 7 + i // 251) & 255) for i in range(n))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    root = "."

    def log_message(self, *args):
        pass

    def reply(self, code, body, headers=()):
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def redirect(self, where):
        self.send_response(302)
        self.send_header("Location", where)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        parts = self.path.split("/")
        route, arg = parts[1], parts[2] if len(parts) > 2 else ""
        if route == "bytes":
            self.reply(200, pattern(int(arg)), [("Content-Type", "application/octet-stream")])
        elif route == "old":
            self.protocol_version = "HTTP/1.0"
            self.send_response(200)
            self.end_headers()
            self.wfile.write(pattern(int(arg)))
            self.close_connection = True
        elif route == "file":
            path = os.path.join(self.root, os.path.basename(arg))
            self.send_response(200)
            self.send_header("Content-Length", str(os.path.getsize(path)))
            self.end_headers()
            with open(path, "rb") as f:
                self.connection.sendfile(f)
        elif route == "slow":
            n = int(arg)
            self.send_response(200)
            self.send_header("Content-Length", str(n))
            self.end_headers()
            data = pattern(min(n, 1 << 20))
            for start in range(0, n, 32768):
                self.wfile.write(data[start % len(data):][:min(32768, n - start)])
                time.sleep(0.05)
        elif route == "hop":
            n = int(arg)
            self.redirect("/hop/%d" % (n - 1) if n > 1 else "/bytes/1000")
        elif route == "loop":
            self.redirect("/loop")
        elif route == "missing":
            self.reply(404, b"not here")
        elif route == "cut":
            self.send_response(200)
            self.send_header("Content-Length", "100000")
            self.end_headers()
            self.wfile.write(pattern(1000))
            self.wfile.flush()
            self.connection.shutdown(socket.SHUT_RDWR)
            self.close_connection = True
        elif route == "huge":
            self.send_response(200)
            self.send_header("Content-Length", str(1 << 40))
            self.end_headers()
            self.wfile.write(pattern(1000))
            self.wfile.flush()
            self.close_connection = True
        elif route == "drip":
            for byte in b"HTTP/1.1 2":
                self.wfile.write(bytes([byte]))
                time.sleep(0.25)
            self.wfile.write(b"00 OK\r\nContent-Length: 2\r\n\r\nok")
        elif route == "reset":
            if getattr(self, "answered", False):
                self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                self.connection.close()
                self.close_connection = True
                return
            self.answered = True
            self.redirect("/reset")
        elif route == "garbage":
            self.wfile.write(b"this is not a reply\r\n\r\n")
            self.close_connection = True
        elif route == "silent":
            time.sleep(60)
            self.close_connection = True
        else:
            self.reply(400, b"unknown route")

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        if self.path == "/headers":
            self.reply(200, str(self.headers).encode())
            return
        self.reply(200, body, [("X-Echo-Type", self.headers.get("Content-Type", ""))])


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 256


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--root", default=".")
    parser.add_argument("--life", type=float, default=300)
    args = parser.parse_args()
    Handler.root = args.root
    servers = [Server(("127.0.0.1", 0), Handler)]
    if args.cert:
        secure = Server(("127.0.0.1", 0), Handler)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        secure.socket = context.wrap_socket(secure.socket, server_side=True)
        servers.append(secure)
    for server in servers:
        print(server.server_address[1], flush=True)
        threading.Thread(target=server.serve_forever, daemon=True).start()
    # Ends with the test that started it, or at the latest after its life.
    watcher = threading.Thread(target=sys.stdin.read, daemon=True)
    watcher.start()
    watcher.join(args.life)


if __name__ == "__main__":
    main()
