#!/usr/bin/env python3
"""A stand-in RFC 3161 timestamp authority on the loopback address: each
request is answered by `openssl ts -reply` with a throwaway TSA certificate
made at start (DIR/tsa.pem). Prints its URL, then serves until killed.

  tsa_stub.py DIR
"""
import http.server
import pathlib
import subprocess
import sys
import tempfile

CONFIG = """[tsa]
default_tsa = stub
[stub]
serial = {dir}/serial
signer_cert = {dir}/tsa.pem
certs = {dir}/tsa.pem
signer_key = {dir}/tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha256, sha384, sha512, sha1
accuracy = secs:1
ess_cert_id_alg = sha256
"""


def make_authority(folder):
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "30",
                    "-subj", "/CN=Orvane Test Timestamps", "-addext", "basicConstraints=critical,CA:FALSE",
                    "-addext", "extendedKeyUsage=critical,timeStamping",
                    "-keyout", folder / "tsa.key", "-out", folder / "tsa.pem"], check=True, capture_output=True)
    (folder / "serial").write_text("01\n")
    (folder / "tsa.cnf").write_text(CONFIG.format(dir=folder))


class Authority(http.server.BaseHTTPRequestHandler):
    folder = None

    def do_POST(self):
        query = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with tempfile.TemporaryDirectory() as scratch:
            request, reply = pathlib.Path(scratch, "q.tsq"), pathlib.Path(scratch, "r.tsr")
            request.write_bytes(query)
            done = subprocess.run(["openssl", "ts", "-reply", "-config", self.folder / "tsa.cnf",
                                   "-queryfile", request, "-out", reply], capture_output=True)
            if done.returncode != 0:
                self.send_error(400, done.stderr.decode(errors="replace")[:200])
                return
            body = reply.read_bytes()
        self.send_response(200)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def main(folder):
    Authority.folder = pathlib.Path(folder).resolve()
    make_authority(Authority.folder)
    server = http.server.HTTPServer(("127.0.0.1", 0), Authority)
    print("http://127.0.0.1:%d/" % server.server_port, flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main(sys.argv[1])
