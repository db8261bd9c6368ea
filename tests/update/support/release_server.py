"""A static web server for update tests: serves one folder on a free loopback port.

Prints "listening on 127.0.0.1:PORT", then one line per request: "GET <path> <status>".
--once NAME serves NAME only for the first request and answers 404 afterwards.
--slow NAME sends NAME in small pieces over about three seconds.
"""
import argparse
import http.server
import os
import sys
import time

SLOW_SECONDS = 3.0
SLOW_PIECES = 60


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--once", action="append", default=[])
    parser.add_argument("--slow", action="append", default=[])
    options = parser.parse_args()
    served = set()

    class Handler(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, directory=options.root, **kwargs)

        def log_request(self, code="-", size="-"):
            print(f"GET {self.path} {int(code)}", flush=True)

        def log_message(self, *args):
            pass

        def do_GET(self):
            name = self.path.lstrip("/")
            if name in options.once and name in served:
                self.send_error(404)
                return
            served.add(name)
            if name in options.slow:
                self.send_slowly(os.path.join(options.root, name))
                return
            super().do_GET()

        def send_slowly(self, path):
            with open(path, "rb") as f:
                data = f.read()
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            piece = max(1, len(data) // SLOW_PIECES + 1)
            for start in range(0, len(data), piece):
                self.wfile.write(data[start:start + piece])
                self.wfile.flush()
                time.sleep(SLOW_SECONDS / SLOW_PIECES)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    print(f"listening on 127.0.0.1:{server.server_address[1]}", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
