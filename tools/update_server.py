#!/usr/bin/env python3
"""Local stand-in for the update server, also usable as the HTTP proxy.

Serves a folder over HTTP/1.1 on a free loopback port. Without a command it
prints one line, "Update server listening on http://127.0.0.1:PORT"; with one
it prints nothing of its own (the command gets the port in UPDATE_SERVER_PORT).
Requests may come as plain paths or, when a client uses
this server as its proxy (http_proxy=http://127.0.0.1:PORT), as absolute URIs
("GET http://host:80/update/x.txt HTTP/1.1"); the host is ignored either way.
Path lookup ignores case. Every request is logged as "METHOD PATH STATUS BYTES"
before the last byte of its answer goes out, so a client that holds the whole
answer always finds its line; BYTES is what the answer's body carries (-1 for
endless).

Misbehaviour per path (case-insensitive, "*" for every path):
  --rule PATH=404            answer 404
  --rule PATH=500            answer 500
  --rule PATH=nolength       200 without Content-Length, body, then close
  --rule PATH=short[:N]      announce the full length, send N bytes (half), close
  --rule PATH=stall[:S]      read the request, send nothing for S seconds (15), close
  --rule PATH=reset          read the request, close with a TCP reset, send nothing
  --rule PATH=trickle[:B[:MS]]  send the body B bytes (1000) at a time, MS ms (30) apart
  --rule PATH=auth:USER:PASS 407 with Proxy-Authenticate: Basic until those credentials come
  --rule PATH=endless        200 without Content-Length, zeros until the client goes
  --rule PATH=redirect[:N]   302 back to the URL asked for (as the request gave it), for
                             ever, or N times (counted in a "hop" query parameter) and
                             then as without the rule
  --rule PATH=drip[:S[:N]]   200 announcing N bytes (2000000000), then one zero byte every
                             S seconds (5) until the client goes
  --rule PATH=huge[:S[:CODE]]  CODE (200) announcing 100 GB, then zeros as fast as the
                             client takes them, for S seconds (until the client goes),
                             then close; a 3xx CODE carries a Location back to the URL
                             asked for
  --rule PATH=moved:PORT     302 to the same URL on port PORT (host, path and query kept);
                             a request that names that port (in its absolute URI, as a
                             proxy is asked, or its Host header) is answered as without
                             the rule
  --rule PATH=hold           read the request, answer nothing while this rule stands
                             (the rules file is read again every 50 ms, for at most
                             120 s), then answer as the rules then say
  --rules-file FILE          more rules, one "PATH=MODE[:ARGS]" a line, read again on
                             every request (a test changes them while the server
                             runs); an empty or missing file adds none, and its
                             rules take precedence over --rule

Stops by itself when its parent process goes. Given a command after "--", it runs
that command with http_proxy pointing at itself (and UPDATE_SERVER_PORT,
UPDATE_SERVER_ROOT, UPDATE_SERVER_LOG set), then stops and exits with the
command's exit code.
"""

import argparse
import base64
import http.server
import os
import socket
import socketserver
import struct
import subprocess
import sys
import threading
import time
import urllib.parse


def parse_rule(text):
    path, sep, behaviour = text.partition("=")
    if not sep or not path or not behaviour:
        raise argparse.ArgumentTypeError("rule must be PATH=MODE[:ARGS]: %r" % text)
    parts = behaviour.split(":")
    mode = parts[0].lower()
    known = {"404", "500", "nolength", "short", "stall", "reset", "trickle", "auth", "endless",
             "hold", "redirect", "drip", "moved", "huge"}
    if mode not in known:
        raise argparse.ArgumentTypeError("unknown mode %r" % mode)
    if mode == "auth" and len(parts) != 3:
        raise argparse.ArgumentTypeError("auth needs USER:PASS")
    if mode == "moved" and (len(parts) != 2 or not parts[1].isdigit()):
        raise argparse.ArgumentTypeError("moved needs PORT")
    return path.lower(), (mode, parts[1:])


def read_rules_file(path):
    """The rules of a rules file; a missing file or a bad line gives none."""
    rules = {}
    try:
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
    except OSError:
        return rules
    for line in lines:
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        try:
            path_key, rule = parse_rule(line)
        except argparse.ArgumentTypeError as error:
            sys.stderr.write("rules file: %s\n" % error)
            continue
        rules[path_key] = rule
    return rules


def find_file(root, url_path):
    """The file under root whose path matches url_path ignoring case, or None."""
    current = root
    for part in url_path.split("/"):
        if part in ("", "."):
            continue
        if part == ".." or "\\" in part or "\0" in part:
            return None
        if not os.path.isdir(current):
            return None
        wanted = part.lower()
        exact = os.path.join(current, part)
        if os.path.exists(exact):
            current = exact
            continue
        match = [n for n in sorted(os.listdir(current)) if n.lower() == wanted]
        if not match:
            return None
        current = os.path.join(current, match[0])
    return current if os.path.isfile(current) else None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "ZanUpdateServer/1.0"

    def log_message(self, fmt, *args):  # the request log replaces the default one
        pass

    def record(self, status, sent):
        line = "%s %s %d %d\n" % (self.command, self.url_path, status, sent)
        with self.server.log_lock:
            if self.server.log_file:
                self.server.log_file.write(line)
                self.server.log_file.flush()
            if self.server.echo:
                sys.stderr.write(line)

    def rule(self):
        """The mode and arguments the rules give this request's path now."""
        rules = dict(self.server.rules)
        if self.server.rules_file:
            rules.update(read_rules_file(self.server.rules_file))
        rule = rules.get(self.url_path.lower()) or rules.get("*")
        return rule if rule else ("", [])

    def do_GET(self):
        self.handle_request(send_body=True)

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        if length:
            self.rfile.read(length)
        self.handle_request(send_body=True)

    def do_HEAD(self):
        self.handle_request(send_body=False)

    def handle_request(self, send_body):
        target = urllib.parse.urlsplit(self.path)
        raw_path = target.path if target.scheme else self.path.split("?", 1)[0]
        self.url_path = urllib.parse.unquote(raw_path or "/")
        mode, args = self.rule()
        deadline = time.monotonic() + 120
        while mode == "hold" and time.monotonic() < deadline:
            time.sleep(0.05)
            mode, args = self.rule()

        if mode == "auth" and not self.authorized(args[0], args[1]):
            body = b"Proxy authentication required\r\n"
            self.send_response(407)
            self.send_header("Proxy-Authenticate", 'Basic realm="zan"')
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.write_body(body, send_body, 407)
            return
        if mode in ("404", "500"):
            status = int(mode)
            body = (self.responses[status][0] + "\r\n").encode("ascii")
            self.send_response(status)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.write_body(body, send_body, status)
            return
        if mode == "stall":
            seconds = float(args[0]) if args else 15.0
            self.record(0, 0)
            time.sleep(seconds)
            self.close_connection = True
            return
        if mode == "reset":
            self.record(0, 0)
            # Linger zero makes close() send RST instead of FIN.
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.connection.close()
            self.close_connection = True
            return
        if mode == "redirect":
            hops = int(urllib.parse.parse_qs(target.query).get("hop", ["0"])[0])
            if not args or hops < int(args[0]):
                location = self.path
                if args:
                    query = urllib.parse.urlencode({"hop": hops + 1})
                    location = urllib.parse.urlunsplit(target._replace(query=query))
                self.send_redirect(location)
                return
        if mode == "moved":
            # The authority the client asked for; its last ":" part is the port.
            netloc = target.netloc if target.scheme else self.headers.get("Host", "")
            name, colon, port = netloc.rpartition(":")
            if not colon or not port.isdigit():
                name, port = netloc, "443" if target.scheme == "https" else "80"
            if port != args[0]:
                location = "http://%s:%s%s" % (name.split(":")[0], args[0], raw_path or "/")
                if target.query:
                    location += "?" + target.query
                self.send_redirect(location)
                return
        if mode == "drip":
            pause = float(args[0]) if args and args[0] else 5.0
            announced = int(args[1]) if len(args) > 1 else 2000000000
            self.send_response(200)
            self.send_header("Content-Length", str(announced))
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            self.record(200, -1 if send_body else 0)
            try:
                for _ in range(announced if send_body else 0):
                    self.wfile.write(b"\0")
                    self.wfile.flush()
                    time.sleep(pause)
            except OSError:
                pass
            return
        if mode == "huge":
            seconds = float(args[0]) if args and args[0] else None
            status = int(args[1]) if len(args) > 1 else 200
            self.send_response(status)
            if 300 <= status < 400:
                self.send_header("Location", self.path)
            self.send_header("Content-Length", str(100 * 2 ** 30))
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            self.record(status, -1 if send_body else 0)
            end = None if seconds is None else time.monotonic() + seconds
            block = b"\0" * 65536
            try:
                while send_body and (end is None or time.monotonic() < end):
                    self.wfile.write(block)
            except OSError:
                pass
            return
        if mode == "endless":
            self.send_response(200)
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True
            self.record(200, -1 if send_body else 0)
            block = b"\0" * 65536
            try:
                while send_body:
                    self.wfile.write(block)
            except OSError:
                pass
            return

        path = find_file(self.server.root, self.url_path)
        if path is None:
            body = b"Not Found\r\n"
            self.send_response(404)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.write_body(body, send_body, 404)
            return

        size = os.path.getsize(path)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if mode == "nolength":
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(size))
        self.end_headers()
        if not send_body:
            self.record(200, 0)
            return
        with open(path, "rb") as f:
            if mode == "short":
                limit = int(args[0]) if args else size // 2
                data = f.read(min(limit, size))
                self.record(200, len(data))
                self.send_bytes(data)
                self.close_connection = True
                return
            if mode == "trickle":
                piece = int(args[0]) if args and args[0] else 1000
                pause = (int(args[1]) if len(args) > 1 else 30) / 1000.0
                sent = 0
                recorded = False
                while True:
                    data = f.read(piece)
                    if not data:
                        break
                    if sent:
                        time.sleep(pause)
                    if sent + len(data) == size:
                        self.record(200, size)
                        recorded = True
                    if self.send_bytes(data) < len(data):
                        break
                    sent += len(data)
                if not recorded:  # an empty body, or the client went first
                    self.record(200, sent)
                return
            self.record(200, size)
            try:
                self.wfile.flush()
                self.connection.sendfile(f)
            except OSError:
                self.close_connection = True

    def authorized(self, user, password):
        header = self.headers.get("Proxy-Authorization", "")
        scheme, _, value = header.partition(" ")
        if scheme.lower() != "basic":
            return False
        try:
            given = base64.b64decode(value.strip(), validate=True).decode("latin-1")
        except ValueError:
            return False
        return given == "%s:%s" % (user, password)

    def send_redirect(self, location):
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.end_headers()
        self.record(302, 0)

    def send_bytes(self, data):
        try:
            self.wfile.write(data)
            self.wfile.flush()
            return len(data)
        except OSError:
            self.close_connection = True
            return 0

    def write_body(self, body, send_body, status):
        self.record(status, len(body) if send_body else 0)
        if send_body:
            self.send_bytes(body)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def watch_parent(parent, server):
    while os.getppid() == parent:
        time.sleep(0.5)
    os._exit(0)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True, help="folder served as the server's root")
    parser.add_argument("--log", help="request log file (started afresh)")
    parser.add_argument("--echo", action="store_true", help="also write the log to stderr")
    parser.add_argument("--port", type=int, default=0, help="port (default: a free one)")
    parser.add_argument("--rule", action="append", default=[], type=parse_rule,
                        metavar="PATH=MODE[:ARGS]", help="misbehave on a path (see above)")
    parser.add_argument("--rules-file", help="file of rules read on every request (see above)")
    parser.add_argument("command", nargs=argparse.REMAINDER,
                        help="-- command to run with http_proxy set")
    options = parser.parse_args()
    command = options.command[1:] if options.command[:1] == ["--"] else options.command

    server = Server(("127.0.0.1", options.port), Handler)
    server.root = os.path.abspath(options.root)
    os.makedirs(server.root, exist_ok=True)
    if options.log:
        os.makedirs(os.path.dirname(os.path.abspath(options.log)), exist_ok=True)
    server.rules = dict(options.rule)
    server.rules_file = os.path.abspath(options.rules_file) if options.rules_file else None
    server.log_lock = threading.Lock()
    server.log_file = open(options.log, "w", encoding="utf-8") if options.log else None
    server.echo = options.echo

    threading.Thread(target=watch_parent, args=(os.getppid(), server), daemon=True).start()
    port = server.server_address[1]
    if command:
        threading.Thread(target=server.serve_forever, daemon=True).start()
        env = dict(os.environ)
        env.pop("no_proxy", None)
        env.pop("NO_PROXY", None)
        env["http_proxy"] = "http://127.0.0.1:%d" % port
        env["UPDATE_SERVER_PORT"] = str(port)
        env["UPDATE_SERVER_ROOT"] = server.root
        env["UPDATE_SERVER_LOG"] = os.path.abspath(options.log) if options.log else ""
        sys.exit(subprocess.call(command, env=env))
    print("Update server listening on http://127.0.0.1:%d" % port, flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
