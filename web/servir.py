"""Serves a folder (the browser build's site) on 127.0.0.1, as any plain
static host would: no special headers.

    servir.py DIR [PORT] [--registro]

PORT 0 takes a free one; the first line printed is the address served.
--registro prints a line for each request after it: the path and the
first type the browser accepts (text/html for a page it loads)."""
import functools
import http.server
import sys


class Pagina(http.server.SimpleHTTPRequestHandler):
    registro = False

    def end_headers(self):
        self.send_header("Cache-Control", "no-cache")
        super().end_headers()

    def log_message(self, *args):
        pass

    def send_head(self):
        if self.registro:
            print(self.path, self.headers.get("Accept", "").split(",")[0], flush=True)
        return super().send_head()


class Servidor(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        # A browser that closes the page mid-download is no fault of the site.
        if not isinstance(sys.exc_info()[1], ConnectionError):
            super().handle_error(request, client_address)


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    Pagina.registro = "--registro" in sys.argv
    Pagina.extensions_map[".wasm"] = "application/wasm"
    Pagina.extensions_map[".js"] = "text/javascript"
    Pagina.extensions_map[".webmanifest"] = "application/manifest+json"
    manejo = functools.partial(Pagina, directory=args[0])
    with Servidor(("127.0.0.1", int(args[1]) if len(args) > 1 else 8000),
                                         manejo) as s:
        print("http://127.0.0.1:%d/" % s.server_address[1], flush=True)
        s.serve_forever()


if __name__ == "__main__":
    main()
