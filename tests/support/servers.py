#!/usr/bin/python3
"""Servers for the transfer tests that nginx cannot stand in for.

  servers.py ftp ROOT PORT USER PASSWORD LOG
      pyftpdlib on 127.0.0.1:PORT; USER logs on into ROOT/user, anonymous into
      ROOT/anon; every command goes to LOG as "<client port> <CMD> <arg>".
  servers.py http ADDRESS PORT
      POST: 200 with "<method> <path>\\n<content type>\\n\\n" and the body echoed.
      GET /cut: announces 100000 bytes, sends 5000 and closes the connection.
      GET /stall: announces 100000 bytes, sends 5000 and then sends nothing.
      GET /trickle: announces 100000 bytes, sends 2 every 200 ms for 20 s.
      GET /endless: a chunked body of 64 MiB.
      GET /silent: answers nothing for 20 s.
      GET /reset: announces 100000 bytes, sends 5000 and resets the connection.
      GET /long: announces 1000 bytes and sends 5000.
      GET /status500: "500 Internal Server Error" with a short body.
"""
import socket
import socketserver
import struct
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def run_ftp(root, port, user, password, log_path):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer

    log = open(log_path, "a", buffering=1)
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root + "/user", perm="elr")
    authorizer.add_anonymous(root + "/anon", perm="elr")

    class LoggingHandler(FTPHandler):
        def pre_process_command(self, line, cmd, arg):
            shown = "***" if cmd == "PASS" else (arg or "")
            log.write("%d %s %s\n" % (self.remote_port, cmd, shown))
            return super().pre_process_command(line, cmd, arg)

    LoggingHandler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", int(port)), LoggingHandler)
    server.serve_forever()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length) if length else b""
        if self.path.startswith("/fail500/"):
            self.send_response(500)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        answer = ("%s %s\n%s\n\n" % (self.command, self.path, self.headers.get("Content-Type", ""))).encode()
        answer += body
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)

    def do_GET(self):
        if self.path == "/silent":
            time.sleep(20)
            self.close_connection = True
            return
        if self.path == "/endless":
            self.send_response(200)
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            chunk = b"%x\r\n%s\r\n" % (65536, b"z" * 65536)
            try:
                for _ in range(1024):
                    self.wfile.write(chunk)
                self.wfile.write(b"0\r\n\r\n")
            except OSError:
                pass
            self.close_connection = True
            return
        if self.path == "/status500":
            body = b"internal error"
            self.send_response(500)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        if self.path == "/long":
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", "1000")
            self.end_headers()
            self.wfile.write(b"L" * 5000)
            self.wfile.flush()
            self.close_connection = True
            return
        if self.path not in ("/cut", "/stall", "/trickle", "/reset"):
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", "100000")
        self.end_headers()
        if self.path == "/trickle":
            try:
                for _ in range(100):
                    self.wfile.write(b"tt")
                    self.wfile.flush()
                    time.sleep(0.2)
            except OSError:
                pass
            self.close_connection = True
            return
        self.wfile.write(b"x" * 5000)
        self.wfile.flush()
        if self.path == "/stall":
            time.sleep(60)
        if self.path == "/reset":
            # A zero linger time makes the close send RST instead of FIN.
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.connection.close()
        self.close_connection = True


def run_http(address, port):
    ThreadingHTTPServer.daemon_threads = True
    ThreadingHTTPServer.allow_reuse_address = True
    server = ThreadingHTTPServer((address, int(port)), Handler)
    # The fixture waits for this line: the port is ours from here on.
    print("listening", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    if sys.argv[1] == "ftp":
        run_ftp(*sys.argv[2:7])
    elif sys.argv[1] == "http":
        run_http(*sys.argv[2:4])
    else:
        sys.exit("unknown server " + sys.argv[1])
