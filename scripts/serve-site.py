#!/usr/bin/python3
"""Serves a folder on 127.0.0.1 at a free port and prints its address on standard output."""
import functools
import http.server
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    # Modules must come as JavaScript, whatever the system's MIME table says of .js/.mjs.
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".js": "text/javascript", ".mjs": "text/javascript"}

    def log_message(self, format, *args):
        sys.stderr.write("%s\n" % (format % args))


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", 0), functools.partial(Handler, directory=folder))
    print("http://127.0.0.1:%d/" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
