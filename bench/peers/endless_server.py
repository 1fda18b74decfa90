#!/usr/bin/env python3
"""HTTP server for the endless-body benchmark: every request gets a text/html
body that never ends, sent until the client closes, at most RATE_MB megabytes
a second per connection. The path picks the framing: /chunked sends chunks,
anything else a body until the close.

    endless_server.py PORT RATE_MB
Prints "ready" once it listens on 127.0.0.1.
"""
import socket
import sys
import threading
import time

BLOCK = b'<a href="/x">x</a>\n' * 13797  # about 256 KiB


def serve(conn, rate):
    try:
        head = b""
        while b"\r\n\r\n" not in head:
            data = conn.recv(4096)
            if not data:
                return
            head += data
        chunked = b" /chunked " in head.split(b"\r\n", 1)[0]
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n" +
                     (b"Transfer-Encoding: chunked\r\n" if chunked else b"") + b"\r\n")
        piece = b"%x\r\n%s\r\n" % (len(BLOCK), BLOCK) if chunked else BLOCK
        pause = len(BLOCK) / (rate * 1e6)
        while True:
            conn.sendall(piece)
            time.sleep(pause)
    except OSError:
        pass
    finally:
        conn.close()


def main():
    port, rate = int(sys.argv[1]), float(sys.argv[2])
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(64)
    print("ready", flush=True)
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve, args=(conn, rate), daemon=True).start()


if __name__ == "__main__":
    main()
