#!/usr/bin/env python3
"""HTTP server for the long-list benchmark: answers every request after a
fixed delay with a small page of links, on several loopback addresses (one
host each), one connection per request.

    delay_server.py PORT DELAY_MS ADDRESS...
Prints "ready" once every address listens.
"""
import asyncio
import sys


def page(path: bytes) -> bytes:
    links = b"".join(b'<a href="%s/%d.html">link %d</a>\n' % (path, i, i) for i in range(20))
    return b"<html><body>\n" + links + b'<a href="/shared.html">shared</a></body></html>\n'


async def serve(reader, writer, delay):
    try:
        head = await reader.readuntil(b"\r\n\r\n")
        path = head.split(b" ", 2)[1] if head.count(b" ") >= 2 else b"/"
        await asyncio.sleep(delay)
        body = page(path)
        writer.write(b"HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: %d\r\n"
                     b"Connection: close\r\n\r\n%s" % (len(body), body))
        await writer.drain()
    except (asyncio.IncompleteReadError, ConnectionError, asyncio.LimitOverrunError):
        pass
    finally:
        writer.close()


async def main():
    port = int(sys.argv[1])
    delay = int(sys.argv[2]) / 1000.0
    servers = [await asyncio.start_server(lambda r, w: serve(r, w, delay), address, port,
                                          backlog=512)
               for address in sys.argv[3:]]
    print("ready", flush=True)
    await asyncio.gather(*(s.serve_forever() for s in servers))


asyncio.run(main())
