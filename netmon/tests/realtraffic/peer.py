#!/usr/bin/env python3
"""The far end of the real-traffic tests, run inside its own network namespace:
a small web server on port 80 whose pages carry a link, plain TCP sinks on 443,
8443 and 53, and a UDP DNS responder on 53 whose answers name a host that the
queries never do. Ends by itself after a bounded time."""
import socket
import sys
import threading
import time

LIFETIME_S = 300
PAGE = b'<html><a href="http://Link.Example.Test/page">link</a></html>'


def serve_tcp(port, handler):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("0.0.0.0", port))
    s.listen(64)
    while True:
        conn, _ = s.accept()
        conn.settimeout(3)
        threading.Thread(target=handler, args=(conn,), daemon=True).start()


def web(conn):
    try:
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = conn.recv(4096)
            if not chunk:
                break
            data += chunk
        head = (b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: %d\r\n"
                b"Connection: close\r\n\r\n" % len(PAGE))
        conn.sendall(head + PAGE)
    except OSError:
        pass
    finally:
        conn.close()


def sink(conn):
    try:
        while conn.recv(4096):
            pass
    except OSError:
        pass
    finally:
        conn.close()


def encode_name(name):
    out = b""
    for label in name.split("."):
        out += bytes([len(label)]) + label.encode()
    return out + b"\0"


def dns_udp():
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("0.0.0.0", 53))
    while True:
        query, peer = s.recvfrom(2048)
        if len(query) < 12:
            continue
        # Same id and question, QR set, one CNAME answer.
        answer = (b"\xc0\x0c\x00\x05\x00\x01\x00\x00\x00\x3c"
                  + len(encode_name("only-in-response.test")).to_bytes(2, "big")
                  + encode_name("only-in-response.test"))
        reply = query[:2] + b"\x81\x80" + query[4:6] + b"\x00\x01\x00\x00\x00\x00" + query[12:] + answer
        s.sendto(reply, peer)


def main():
    threads = [
        threading.Thread(target=serve_tcp, args=(80, web), daemon=True),
        threading.Thread(target=serve_tcp, args=(443, sink), daemon=True),
        threading.Thread(target=serve_tcp, args=(8443, sink), daemon=True),
        threading.Thread(target=serve_tcp, args=(53, sink), daemon=True),
        threading.Thread(target=dns_udp, daemon=True),
    ]
    for t in threads:
        t.start()
    time.sleep(0.3)
    if len(sys.argv) > 1:
        open(sys.argv[1], "w").write("ready\n")
    time.sleep(LIFETIME_S)


if __name__ == "__main__":
    main()
