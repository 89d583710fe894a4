#!/usr/bin/env python3
"""SMTP (STARTTLS, AUTH PLAIN) and an HTTPS webhook on 127.0.0.1 for the alert tests: each
mail to DIR/mail-N.txt, login and envelope first; each POST to DIR/hook-N.json and whether
its signature holds to DIR/hook-N.check; DIR/ports once both listen.
usage: alert_receivers.py DIR CERT KEY SECRET SMTP_PORT HTTPS_PORT
"""

import base64
import hashlib
import hmac
import http.server
import itertools
import os
import socketserver
import ssl
import sys
import threading

directory, cert, key, secret, smtp_port, https_port = sys.argv[1:7]
numbers = itertools.count(1)  # next() on it is atomic


def write(name, text):
    path = os.path.join(directory, name)
    with open(path + ".part", "w", encoding="utf-8", newline="") as out:
        out.write(text)
    os.rename(path + ".part", path)


def tls():
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context


class Smtp(socketserver.StreamRequestHandler):
    def say(self, line):
        self.wfile.write((line + "\r\n").encode())
        self.wfile.flush()

    def handle(self):
        envelope = []
        secure = False
        self.say("220 127.0.0.1 ESMTP")
        while True:
            line = self.rfile.readline().decode("utf-8", "replace").rstrip("\r\n")
            if not line:
                return
            verb = line.split(" ")[0].upper()
            if verb in ("EHLO", "HELO"):
                self.say("250-127.0.0.1")
                self.say("250 AUTH PLAIN" if secure else "250 STARTTLS")
            elif verb == "STARTTLS":
                self.say("220 go ahead")
                self.connection = tls().wrap_socket(self.connection, server_side=True)
                self.rfile = self.connection.makefile("rb")
                self.wfile = self.connection.makefile("wb")
                secure = True
            elif verb == "AUTH":
                words = line.split(" ")
                if len(words) < 3:
                    self.say("334 ")
                    words.append(self.rfile.readline().decode().strip())
                login = base64.b64decode(words[2]).split(b"\0")
                envelope.append("LOGIN " + b" ".join(login[1:]).decode())
                self.say("235 ok")
            elif verb in ("MAIL", "RCPT"):
                if not secure:
                    self.say("530 STARTTLS first")
                    continue
                envelope.append(line)
                self.say("250 ok")
            elif verb == "DATA":
                self.say("354 end with .")
                data = []
                while True:
                    part = self.rfile.readline().decode("utf-8", "replace")
                    if part in ("", ".\r\n"):
                        break
                    data.append(part)
                number = next(numbers)
                write("mail-%d.txt" % number, "\r\n".join(envelope) + "\r\n\r\n" + "".join(data))
                envelope = []
                self.say("250 queued")
            elif verb == "QUIT":
                self.say("221 bye")
                return
            else:
                self.say("250 ok")


class Hook(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers["Content-Length"]))
        expected = "sha256=" + hmac.new(secret.encode(), body, hashlib.sha256).hexdigest()
        given = self.headers.get("X-Razurozavi-Signature", "")
        number = next(numbers)
        write("hook-%d.json" % number, body.decode("utf-8"))
        write("hook-%d.check" % number,
              "valid" if hmac.compare_digest(given, expected) else "invalid " + given)
        self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()


smtp = socketserver.ThreadingTCPServer(("127.0.0.1", int(smtp_port)), Smtp)
smtp.daemon_threads = True
https = http.server.ThreadingHTTPServer(("127.0.0.1", int(https_port)), Hook)
https.socket = tls().wrap_socket(https.socket, server_side=True)
threading.Thread(target=smtp.serve_forever, daemon=True).start()
write("ports", "%d %d" % (smtp.server_address[1], https.server_address[1]))
https.serve_forever()
