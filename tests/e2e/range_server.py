#!/usr/bin/env python3
"""A file server for the update tests that treats range requests as a given host would.

    range_server.py PORT DIR MODE LOG

MODE: ignore   - answers every GET with 200 and the whole file (as a server without ranges)
      refuse416, refuse501 - answers a GET with a Range header with that status
      cut      - answers a range with 206 and its headers, then closes after half its bytes
      redirect - answers a GET of DIR's files with 302 to a signed URL (/signed/<n>/<path>), as
                 GitHub Releases does; a signed URL honours ranges and answers one request
                 only, then 403 (expired)
Each request is logged to LOG as "<status> <bytes sent> "<Range header>" <path>".
"""
import http.server
import os
import re
import sys

port, root, mode, log_path = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
signed_used = set()
redirects = [0]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def record(self, status, sent):
        with open(log_path, "a") as log:
            log.write('%d %d "%s" %s\n' % (status, sent, self.headers.get("Range", "-"), self.path))

    def answer(self, status, body=b"", headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        self.record(status, len(body))

    def do_GET(self):
        path = self.path.split("?")[0]
        signed = re.match(r"^/signed/(\d+)(/.*)$", path)
        if signed:
            if signed.group(1) in signed_used:
                return self.answer(403, b"expired")
            signed_used.add(signed.group(1))
            path = signed.group(2)
        elif mode == "redirect" and not path.endswith(".json") and not path.endswith(".map"):
            redirects[0] += 1
            location = "/signed/%d%s" % (redirects[0], path)
            return self.answer(302, b"", [("Location", location)])
        file = os.path.join(root, path.lstrip("/"))
        if not os.path.isfile(file):
            return self.answer(404, b"not found")
        data = open(file, "rb").read()
        asked = self.headers.get("Range")
        if asked is None or mode == "ignore":
            return self.answer(200, data)
        if mode in ("refuse416", "refuse501"):
            return self.answer(int(mode[-3:]), b"no ranges")
        first, last = (int(x) for x in re.match(r"^bytes=(\d+)-(\d+)$", asked).groups())
        last = min(last, len(data) - 1)
        part = data[first:last + 1]
        self.send_response(206)
        self.send_header("Content-Range", "bytes %d-%d/%d" % (first, last, len(data)))
        self.send_header("Content-Length", str(len(part)))
        self.end_headers()
        if mode == "cut":
            part = part[:len(part) // 2]
            self.close_connection = True
        self.wfile.write(part)
        self.wfile.flush()
        self.record(206, len(part))


server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
server.serve_forever()
