#!/usr/bin/env python3
"""A throwaway RFC 3161 time-stamping authority on the loopback, for the
signing test: each time-stamp request POSTed to it is answered by
`openssl ts -reply` with the test CA's time-stamping certificate.

    tsa_server.py <openssl config> <port file>

It listens on 127.0.0.1 on a port of the system's choice, writes that port to
<port file>, and stops by itself after 16 requests or 5 minutes, whichever
comes first (the test stops it before).
"""

import http.server
import os
import subprocess
import sys
import tempfile
import threading

config, port_file = sys.argv[1], sys.argv[2]
served = 0


class TimeStamps(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        global served
        served += 1
        query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        with tempfile.TemporaryDirectory() as work:
            with open(os.path.join(work, "query.tsq"), "wb") as request:
                request.write(query)
            reply = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile",
                                    os.path.join(work, "query.tsq"), "-out", os.path.join(work, "reply.tsr")],
                                   capture_output=True)
            if reply.returncode != 0:
                sys.stderr.write(reply.stderr.decode(errors="replace"))
                self.send_error(500)
                return
            with open(os.path.join(work, "reply.tsr"), "rb") as answer:
                body = answer.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        if served >= 16:
            threading.Thread(target=self.server.shutdown).start()

    def log_message(self, *arguments):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), TimeStamps)
with open(port_file + ".part", "w", encoding="ascii") as port:
    port.write(str(server.server_address[1]))
os.replace(port_file + ".part", port_file)
deadline = threading.Timer(300, server.shutdown)
deadline.daemon = True
deadline.start()
server.serve_forever()
