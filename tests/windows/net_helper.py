#!/usr/bin/env python3
"""Network stand-ins for update.exe under Wine, on 127.0.0.1 only.

  net_helper.py proxy PORT_FILE LOG NAME TARGET_PORT
      An HTTP proxy that logs every request line and resolves NAME (a host name no resolver
      knows) to 127.0.0.1:TARGET_PORT; GET /proxy.pac asked of it directly gives a PAC script
      that sends NAME through it and everything else direct.
  net_helper.py tls PORT_FILE CERT KEY TARGET_PORT LOG
      Terminates TLS with CERT/KEY and relays the bytes to 127.0.0.1:TARGET_PORT; a handshake
      the client refuses is logged as "refused: <reason>".
"""
import socket
import ssl
import sys
import threading


def relay(a, b):
    def pump(src, dst):
        try:
            while True:
                data = src.recv(65536)
                if not data:
                    break
                dst.sendall(data)
        except OSError:
            pass
        finally:
            for s in (src, dst):
                try:
                    s.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
    threading.Thread(target=pump, args=(a, b), daemon=True).start()
    pump(b, a)


def listen(port_file):
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(64)
    with open(port_file + ".tmp", "w") as f:
        f.write(str(server.getsockname()[1]))
    import os
    os.rename(port_file + ".tmp", port_file)
    return server


def read_head(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(65536)
        if not chunk:
            return None, b""
        data += chunk
    head, rest = data.split(b"\r\n\r\n", 1)
    return head, rest


def proxy_client(conn, log, name, target_port, own_port):
    with conn:
        head, rest = read_head(conn)
        if head is None:
            return
        lines = head.split(b"\r\n")
        method, url, version = lines[0].decode("latin-1").split(" ", 2)
        with open(log, "a") as f:
            f.write(lines[0].decode("latin-1") + "\n")
        if url == "/proxy.pac":
            pac = ('function FindProxyForURL(url, host) {\n'
                   '  if (host == "%s") return "PROXY 127.0.0.1:%d";\n'
                   '  return "DIRECT";\n}\n' % (name, own_port)).encode()
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/x-ns-proxy-autoconfig\r\n"
                         b"Content-Length: %d\r\nConnection: close\r\n\r\n" % len(pac) + pac)
            return
        if not url.startswith("http://"):
            conn.sendall(b"HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n")
            return
        hostport, _, path = url[len("http://"):].partition("/")
        host = hostport.split(":")[0]
        if host != name:
            conn.sendall(b"HTTP/1.1 502 Unknown Host\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
            return
        upstream = socket.create_connection(("127.0.0.1", target_port))
        headers = [l for l in lines[1:] if not l.lower().startswith((b"proxy-", b"connection:"))]
        request = ("%s /%s %s" % (method, path, version)).encode("latin-1")
        upstream.sendall(b"\r\n".join([request] + headers + [b"Connection: close", b"", b""]) + rest)
        relay(conn, upstream)


def main():
    mode = sys.argv[1]
    if mode == "proxy":
        port_file, log, name, target = sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5])
        server = listen(port_file)
        own = server.getsockname()[1]
        while True:
            conn, _ = server.accept()
            threading.Thread(target=proxy_client, args=(conn, log, name, target, own),
                             daemon=True).start()
    elif mode == "tls":
        port_file, cert, key, target, log = sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5]), sys.argv[6]
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        server = listen(port_file)
        while True:
            conn, _ = server.accept()

            def serve(conn=conn):
                try:
                    tls = context.wrap_socket(conn, server_side=True)
                except (ssl.SSLError, OSError) as error:
                    with open(log, "a") as f:
                        f.write("refused: %s\n" % error)
                    conn.close()
                    return
                # Under TLS 1.3 the client checks the certificate after our side of the
                # handshake has ended: a client that refused it closes before asking anything.
                try:
                    first = tls.recv(65536)
                except (ssl.SSLError, OSError) as error:
                    first, reason = b"", str(error)
                else:
                    reason = "closed without a request"
                if not first:
                    with open(log, "a") as f:
                        f.write("refused: %s\n" % reason)
                    tls.close()
                    return
                upstream = socket.create_connection(("127.0.0.1", target))
                upstream.sendall(first)
                relay(tls, upstream)
            threading.Thread(target=serve, daemon=True).start()


if __name__ == "__main__":
    main()
