#!/usr/bin/python3
"""An HTTP/2 server over TLS (ALPN "h2" only) that misbehaves as its mode says.

    h2_scripted_server.py MODE PORT CERT KEY

Prints "connection N" for every connection it accepts. Modes:
  pages     every request gets a small page linking to "next"
  goaway    the first connection answers its first request, then sends
            GOAWAY naming that stream as the last and closes
  refuse    the first connection refuses every request but its first
            (RST_STREAM REFUSED_STREAM); later connections answer
  reset     a path with "reset" gets its head and part of its body, then
            RST_STREAM INTERNAL_ERROR; other paths get pages
  flood     endless empty SETTINGS frames, no answer
  stall     settings, then silence: no answer ever
  bighead   answers with a head of 24 fields of 4 KiB each
  endless   every request gets an HTML body that never ends, sent as the
            client's windows allow
"""
import socket
import ssl
import sys
import threading

import h2.config
import h2.connection
import h2.errors
import h2.events
import h2.exceptions

PAGE = b'<html><body><a href="next">next</a></body></html>'
EMPTY_SETTINGS = b"\x00\x00\x00\x04\x00\x00\x00\x00\x00"


class Connection:
    def __init__(self, sock, mode, number):
        self.sock = sock
        self.mode = mode
        self.number = number
        self.h2 = h2.connection.H2Connection(
            h2.config.H2Configuration(client_side=False, header_encoding="utf-8"))
        self.answered = 0
        self.endless = set()
        # Huffman coding in Python takes a second for a large head.
        plain = self.h2.encoder.encode
        self.h2.encoder.encode = lambda headers: plain(headers, huffman=False)

    def send(self):
        data = self.h2.data_to_send()
        if data:
            self.sock.sendall(data)

    def page(self, stream, body=PAGE, extra=()):
        self.h2.send_headers(stream, [(":status", "200"), ("content-type", "text/html"),
                                      ("content-length", str(len(body)))] + list(extra))
        self.h2.send_data(stream, body, end_stream=True)
        self.answered += 1

    def request(self, stream, path):
        first = self.number == 1
        if self.mode == "goaway" and first:
            self.page(stream)
            self.h2.close_connection(last_stream_id=stream)
            self.send()
            raise ConnectionAbortedError
        if self.mode == "refuse" and first and self.answered > 0:
            self.h2.reset_stream(stream, error_code=h2.errors.ErrorCodes.REFUSED_STREAM)
        elif self.mode == "reset" and "reset" in path:
            self.h2.send_headers(stream, [(":status", "200"), ("content-type", "text/html")])
            self.h2.send_data(stream, PAGE)
            self.h2.reset_stream(stream, error_code=h2.errors.ErrorCodes.INTERNAL_ERROR)
        elif self.mode == "bighead":
            self.page(stream, extra=[("x-big-%d" % i, "v" * 4096) for i in range(24)])
        elif self.mode == "endless":
            self.h2.send_headers(stream, [(":status", "200"), ("content-type", "text/html")])
            self.endless.add(stream)
        elif self.mode != "stall":
            self.page(stream)

    def pump(self):
        """Fills the windows of the endless bodies."""
        for stream in list(self.endless):
            room = min(self.h2.local_flow_control_window(stream),
                       self.h2.max_outbound_frame_size)
            while room > 0:
                self.h2.send_data(stream, b"<p>" + b"x" * (room - 3))
                room = min(self.h2.local_flow_control_window(stream),
                           self.h2.max_outbound_frame_size)

    def run(self):
        self.h2.initiate_connection()
        self.send()
        if self.mode == "flood":
            while True:
                self.sock.sendall(EMPTY_SETTINGS * 4096)
        while True:
            data = self.sock.recv(65536)
            if not data:
                return
            for event in self.h2.receive_data(data):
                if isinstance(event, h2.events.RequestReceived):
                    self.request(event.stream_id, dict(event.headers).get(":path", "/"))
                elif isinstance(event, h2.events.StreamReset):
                    self.endless.discard(event.stream_id)
            self.pump()
            self.send()


def serve(context, raw, mode, number):
    try:
        with context.wrap_socket(raw, server_side=True) as sock:
            Connection(sock, mode, number).run()
    except (OSError, ConnectionError):
        pass
    except h2.exceptions.ProtocolError as error:
        print("protocol error: %s" % error, flush=True)


def main():
    mode, port, cert, key = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    context.set_alpn_protocols(["h2"])
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(128)
    number = 0
    while True:
        raw, _ = listener.accept()
        number += 1
        print("connection %d" % number, flush=True)
        threading.Thread(target=serve, args=(context, raw, mode, number), daemon=True).start()


if __name__ == "__main__":
    main()
