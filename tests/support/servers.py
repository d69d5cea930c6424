#!/usr/bin/python3
"""Servers for the transfer tests: the setup of nginx, and what nginx cannot stand in for.

  servers.py nginx-setup DIR PORT TLS_PORT USER PASSWORD
      writes DIR/nginx.conf (and the folders, a self-signed certificate and
      the password files it names) for the site servers.h describes, on
      127.0.0.1:PORT and, over HTTPS, TLS_PORT; USER/PASSWORD guard /private/.
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
  servers.py fixture-start STATE / fixture-stop STATE
      starts (in the background) or stops nginx, the FTP server, the HTTP
      helper (also on port 80 of a loopback address of its own), two
      proxies (open, Basic authentication) and a black-hole port for test
      programs that cannot start them themselves (the Windows ones under Wine); once all listen, STATE holds
      "name value" lines with their ports and folders.
"""
import ctypes
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
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


def run(argv):
    result = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=False)
    if result.returncode != 0:
        sys.exit("%s failed: %s" % (argv[0], result.stdout.decode(errors="replace")))
    return result.stdout.decode()


def setup_nginx(d, port, tls_port, user, password):
    for sub in ("www", "www/private", "www/denied", "tmp", "logs"):
        os.makedirs(os.path.join(d, sub), exist_ok=True)
    # The address is a DNS name of the certificate too: some clients (Wine's)
    # match an address against the DNS names only.
    run(["/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
         "-keyout", d + "/key.pem", "-out", d + "/cert.pem", "-days", "2", "-subj", "/CN=127.0.0.1",
         "-addext", "subjectAltName=IP:127.0.0.1,DNS:127.0.0.1,DNS:localhost"])
    hashed = run(["/usr/bin/openssl", "passwd", "-apr1", password]).strip()
    with open(d + "/htpasswd", "w") as out:
        out.write("%s:%s\n" % (user, hashed))
    open(d + "/nobody.htpasswd", "w").close()
    conf = ("user root root;\n" if os.geteuid() == 0 else "") + """daemon off;
master_process off;
worker_processes 1;
pid @D@/nginx.pid;
error_log @D@/logs/error.log info;
events { worker_connections 128; }
http {
  default_type application/octet-stream;
  log_format zephron '$request_method $uri $status auth=<$http_authorization> conn=$connection \
req=$connection_requests cc=<$http_cache_control> pragma=<$http_pragma> ua=<$http_user_agent>';
  access_log @D@/logs/access.log zephron;
  client_body_temp_path @D@/tmp/body;
  proxy_temp_path @D@/tmp/proxy;
  fastcgi_temp_path @D@/tmp/fastcgi;
  uwsgi_temp_path @D@/tmp/uwsgi;
  scgi_temp_path @D@/tmp/scgi;
  sendfile on;
  keepalive_timeout 30;
  server {
    listen 127.0.0.1:@PORT@;
    listen 127.0.0.1:@TLS@ ssl;
    ssl_certificate @D@/cert.pem;
    ssl_certificate_key @D@/key.pem;
    root @D@/www;
    location /private/ { auth_basic "Updates"; auth_basic_user_file @D@/htpasswd; }
    location /denied/ { auth_basic "Closed"; auth_basic_user_file @D@/nobody.htpasswd; }
    location = /redirect { return 302 http://127.0.0.1:@PORT@/redirected.txt; }
    location = /to-secure { return 302 https://127.0.0.1:@TLS@/redirected.txt; }
    # A redirector: /go/<path> answers 302 with /<path>, and an empty body.
    location ~ ^/go/(.*)$ { return 302 http://127.0.0.1:@PORT@/$1; }
  }
}
"""
    conf = conf.replace("@D@", d).replace("@PORT@", str(port)).replace("@TLS@", str(tls_port))
    with open(d + "/nginx.conf", "w") as out:
        out.write(conf)


# ---- The servers as a test fixture of their own ----

# The accounts servers.h names.
NGINX_USER, NGINX_PASSWORD = "update", "s3cret"
FTP_USER, FTP_PASSWORD = "ftpuser", "ftppass"
PROXY_USER, PROXY_PASSWORD = "proxyuser", "proxypass"  # servers.h: ProxyServer::kUser, kPassword


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for_port(port, seconds=10, address="127.0.0.1"):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        with socket.socket() as probe:
            if probe.connect_ex((address, port)) == 0:
                return True
        time.sleep(0.02)
    return False


def free_post_address():
    # The post-update request goes to port 80 of its server: a loopback
    # address whose port 80 is free, from 127.0.0.10 on (clear of the ones
    # the Linux tests name). None when there is none (or we may not bind 80).
    for last in range(10, 255):
        address = "127.0.0.%d" % last
        with socket.socket() as probe:
            try:
                probe.bind((address, 80))
                return address
            except OSError:
                pass
    return None


def die_with_parent():
    # Nothing may outlive the fixture, even one that is killed.
    ctypes.CDLL(None).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def run_fixture(state):
    children, folders, holes = [], [], []

    def stop(*_):
        for child in children:
            child.terminate()
        for child in children:
            try:
                child.wait(5)
            except subprocess.TimeoutExpired:
                child.kill()
        for folder in folders:
            shutil.rmtree(folder, ignore_errors=True)
        sys.exit(0)

    signal.signal(signal.SIGTERM, stop)

    def start(argv, log):
        children.append(subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=open(log, "ab"),
                                         stderr=subprocess.STDOUT, preexec_fn=die_with_parent))

    def folder(tag):
        made = tempfile.mkdtemp(prefix="zephron-%s-" % tag)
        folders.append(made)
        return made

    nginx = folder("nginx")
    port, tls_port = free_port(), free_port()
    setup_nginx(nginx, port, tls_port, NGINX_USER, NGINX_PASSWORD)
    start(["/usr/sbin/nginx", "-p", nginx, "-e", nginx + "/logs/error.log", "-c", nginx + "/nginx.conf"],
          nginx + "/logs/stdout.log")
    ftp = folder("ftp")
    for sub in ("user", "anon"):
        os.makedirs(os.path.join(ftp, sub))
    ftp_port = free_port()
    start([sys.executable, __file__, "ftp", ftp, str(ftp_port), FTP_USER, FTP_PASSWORD, ftp + "/commands.log"],
          ftp + "/server.log")
    http = folder("http")
    http_port = free_port()
    start([sys.executable, __file__, "http", "127.0.0.1", str(http_port)], http + "/server.log")
    # The same helper on port 80 of an address of its own, for the post-update request.
    post_address = free_post_address()
    if post_address:
        start([sys.executable, __file__, "http", post_address, "80"], http + "/post.log")
    # Two tinyproxy instances, as servers.h's ProxyServer: an open one and
    # one that wants Basic authentication.
    proxies = {}
    for tag, auth in (("proxy", False), ("proxy_auth", True)):
        where = folder(tag)
        proxies[tag] = (where, free_port())
        with open(where + "/proxy.conf", "w") as conf:
            conf.write("Port %d\nListen 127.0.0.1\nTimeout 30\nMaxClients 20\nLogLevel Info\n"
                       "LogFile \"%s/proxy.log\"\nPidFile \"%s/proxy.pid\"\n" % (proxies[tag][1], where, where))
            if auth:
                conf.write("BasicAuth %s %s\n" % (PROXY_USER, PROXY_PASSWORD))
        start(["/usr/bin/tinyproxy", "-d", "-c", where + "/proxy.conf"], where + "/stdout.log")
    # A port whose listener never accepts and whose queue is full: the kernel
    # drops further connection requests, so a connect hangs.
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(0)
    holes.append(listener)
    for _ in range(3):
        client = socket.socket()
        client.setblocking(False)
        client.connect_ex(listener.getsockname())
        holes.append(client)

    waits = [("nginx", port), ("FTP server", ftp_port), ("HTTP helper", http_port)]
    waits += [(tag, where_port[1]) for tag, where_port in proxies.items()]
    for name, waited in waits:
        if not wait_for_port(waited):
            print("%s did not start" % name, flush=True)
            for log in (nginx + "/logs/error.log", nginx + "/logs/stdout.log", ftp + "/server.log",
                        http + "/server.log"):
                if os.path.exists(log):
                    print(open(log, errors="replace").read(), flush=True)
            stop()
    if post_address and not wait_for_port(80, address=post_address):
        post_address = None
    lines = {"nginx_dir": nginx, "nginx_port": port, "nginx_tls_port": tls_port, "ftp_dir": ftp,
             "ftp_port": ftp_port, "http_port": http_port, "black_hole_port": listener.getsockname()[1],
             "proxy_dir": proxies["proxy"][0], "proxy_port": proxies["proxy"][1],
             "proxy_auth_dir": proxies["proxy_auth"][0], "proxy_auth_port": proxies["proxy_auth"][1],
             "pid": os.getpid()}
    if post_address:
        lines["post_address"] = post_address
    with open(state + ".new", "w") as out:
        out.writelines("%s %s\n" % item for item in lines.items())
    os.replace(state + ".new", state)
    print("ready", flush=True)
    while True:
        signal.pause()


def read_state(state):
    try:
        with open(state) as lines:
            return dict(line.rstrip("\n").split(" ", 1) for line in lines if " " in line)
    except OSError:
        return {}


def stop_fixture(state):
    pid = int(read_state(state).get("pid", "0"))
    if pid > 0:
        try:
            os.kill(pid, signal.SIGTERM)
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and os.path.exists("/proc/%d" % pid):
                time.sleep(0.05)
        except ProcessLookupError:
            pass
    for path in (state, state + ".new"):
        if os.path.exists(path):
            os.remove(path)


def start_fixture(state):
    stop_fixture(state)
    os.makedirs(os.path.dirname(os.path.abspath(state)), exist_ok=True)
    log = state + ".log"
    manager = subprocess.Popen([sys.executable, __file__, "fixture-run", state], stdin=subprocess.DEVNULL,
                               stdout=open(log, "wb"), stderr=subprocess.STDOUT, start_new_session=True)
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and manager.poll() is None:
        if read_state(state):
            return
        time.sleep(0.05)
    manager.kill()
    with open(log) as text:
        sys.exit("the servers did not start: " + text.read())


if __name__ == "__main__":
    if sys.argv[1] == "ftp":
        run_ftp(*sys.argv[2:7])
    elif sys.argv[1] == "http":
        run_http(*sys.argv[2:4])
    elif sys.argv[1] == "nginx-setup":
        setup_nginx(*sys.argv[2:7])
    elif sys.argv[1] == "fixture-run":
        run_fixture(sys.argv[2])
    elif sys.argv[1] == "fixture-start":
        start_fixture(sys.argv[2])
    elif sys.argv[1] == "fixture-stop":
        stop_fixture(sys.argv[2])
    else:
        sys.exit("unknown server " + sys.argv[1])
