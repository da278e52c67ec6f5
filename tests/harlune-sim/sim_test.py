#!/usr/bin/env python3
"""What the pages cannot see of harlune-sim: the wire's edge cases, each
endpoint's key, method and content-type rules, the strict xferreq reader,
all-or-nothing mode changes, a lengthless answer and a counted fault, run files.

  sim_test.py HARLUNE_SIM
"""
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile

SIM = sys.argv[1]
problems = []


def check(what, got, want):
    if got != want:
        problems.append("%s: got %r, expected %r" % (what, got, want))


XML, JSON = ("application/vnd.tarsen.xferreq+" + t for t in ("xml", "json"))
ACTIVITY = "/v5/harlune/transfers/activity"


def request(method, path, body="", key="", content_type=JSON):
    """A request in the form the plug-in sends: headers sorted by name."""
    head = "%s %s HTTP/1.1\r\n" % (method, path)
    head += "Authorization-key: %s\r\n" % key if key else ""
    head += "Connection: close\r\nContent-Length: %d\r\n" % len(body)
    head += "Content-Type: %s\r\n" % content_type if content_type else ""
    return head + "User-Agent: Tarsen Harlune\r\n\r\n" + body


PING = request("GET", "/v5/harlune/info/ping", content_type="")


class Sim:
    """harlune-sim in its own home, started with --ready-fd 1 (its port on stdout)."""

    def __init__(self, *args):
        self.home = tempfile.mkdtemp(prefix="harlune-sim-home-")
        self.run = self.home + "/Library/Application Support/Tarsen/Tarsen Harlune/var/run/"
        with open(self.home + "/stderr", "w") as err:
            self.proc = subprocess.Popen([SIM, "--ready-fd", "1", *args], stdout=subprocess.PIPE,
                                         stderr=err, env={"HOME": self.home})
        self.port = int(self.proc.stdout.read().decode())

    def send(self, data, timeout=10):
        """(what came back, whether the wait for the server's close timed out)."""
        with socket.create_connection(("127.0.0.1", self.port)) as s:
            s.settimeout(timeout)
            s.sendall(data.encode("latin-1"))
            got = b""
            try:
                while chunk := s.recv(4096):
                    got += chunk
            except socket.timeout:
                return got.decode("latin-1"), True
            except ConnectionResetError:
                pass
            return got.decode("latin-1"), False

    def status(self, data):
        return self.send(data)[0].split("\r")[0]

    def body(self, data):
        return self.send(data)[0].partition("\r\n\r\n")[2]

    def control(self, mode):
        return json.loads(self.body(request("POST", "/_sim/mode", json.dumps(mode))))

    def state(self, key):
        return json.loads(self.body(request("GET", "/_sim/state")))[key]

    def journal(self):
        with open(self.run + "journal.jsonl") as f:
            return [json.loads(line) for line in f]

    def stop(self, sig=signal.SIGTERM):
        if self.proc.poll() is None:
            self.proc.send_signal(sig)
        return self.proc.wait(timeout=60)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        shutil.rmtree(self.home, ignore_errors=True)


def wire():
    with Sim("--key", "KEY") as sim:
        check("ping", sim.send(PING)[0],
              "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 20\r\n"
              "Connection: close\r\n\r\n" '{"status":"running"}')
        xfer = ('<xferreq xmlns="x"><src>file:///tmp/a%20b%25</src><src> FILE://local\thost/c?q#d </src>'
                '<dest>https://h/?a&amp;b</dest></xferreq>')
        rows = [(request("POST", "/v5/harlune/info/ping"), "405 Method Not Allowed"),
                (request("GET", "/transfers/", key="KEY", content_type=XML), "405 Method Not Allowed"),
                (request("GET", "/windows/settings/", key="KEY", content_type=XML), "404 Not Found"),
                (request("POST", ACTIVITY, "no", "KEY"), "400 Bad Request"),
                (request("GET", "/any", key="KEY").replace("Conn", "Authorization-key: KEY\r\nConn"),
                 "400 Bad Request"),
                *[(request("POST", "/transfers/", body, "KEY", XML), "400 Bad Request") for body in (
                    "<xferreq><src>x</src>", "<xferreq/><xferreq/>", "<xferreq/>x", "<xferreq/><?x?>",
                    '<!DOCTYPE xferreq [<!ENTITY e "file:///etc">]><xferreq><src>&e;</src></xferreq>',
                    "<xferreq><src>a<b/></src></xferreq>", "<xferreq>a<dest/></xferreq>",
                    "<xferreq><dest/><dest/></xferreq>",
                    "<xferreq><src>file://host/a</src></xferreq>", "<xferreq><src>file:///%00</src></xferreq>",
                    "<xferreq><dest>file:///%4</dest></xferreq>", "<xferreq><dest>file:///a\\b</dest></xferreq>",
                    "<xferreq><src>file:///a/%2E%2e/b</src></xferreq>")],
                *[(head + "\r\n\r\n", "400 Bad Request") for head in (
                    "NONSENSE", "GET /", "GET  / HTTP/1.1", "GET / FTP/1", "GET / HTTP/1.1\r\nNo",
                    "GET / HTTP/1.1\r\nContent-Length: 1x", "GET / HTTP/1.1\r\nContent-Length:")]]
        # Every endpoint but the liveness check: its key, its methods, its content type.
        for method, path, body, ctype in [
                ("GET", "/v4/harlune/version", "", JSON), ("POST", "/transfers/", xfer, XML),
                ("GET", "/windows/about/", "", XML), ("POST", ACTIVITY, "{}", JSON),
                ("PATCH", "/any", "{}", "Application/JSON; charset=utf-8"),
                ("POST", "/v5/harlune/info/exit", "", "")]:
            rows += [(request(method, path, body, "", ctype), "401 Unauthorized"),
                     (request(method, path, body, "KEY2", ctype), "401 Unauthorized"),
                     (request("get", path, body, "KEY", ctype), "405 Method Not Allowed"),
                     (request(method, path, body, "KEY", JSON if ctype == XML else XML),
                      "415 Unsupported Media Type"),
                     (request(method, path, body, "KEY", ctype), "200 OK")]
        for data, status in rows[:-1]:
            check(repr(data[:60]), sim.status(data), "HTTP/1.1 " + status)
        check("allowed", sim.send(request("TRACE", "/any", key="KEY"))[0].split("\r\n")[2],
              "Allow: DELETE, GET, PATCH, POST, PUT")
        # The path a file-URL reader finds is what the application keeps; the journal keeps the bytes.
        check("transfers", [[t[k] for k in ("sources", "destination", "direction")]
                            for t in sim.state("transfers")], [[["/tmp/a b%", "/c"], "https://h/?a&b", "send"]])
        check("journalled as sent", xfer in [line["body"] for line in sim.journal()], True)
        # Keys apply in name order: a valid "exit_status" must not stick when a later key is bad.
        sim.control({"exit_status": 403, "slow_ms": 5})
        for bad in ({"exit_status": 500}, {"misbehave": "fly"}, {"slow_ms": "5"}, {"unknown": 1}):
            change = {"exit_status": 404, **bad}
            check("mode change %s" % change,
                  sim.status(request("POST", "/_sim/mode", json.dumps(change))), "HTTP/1.1 400 Bad Request")
        check("mode after refusals", [sim.state("mode")[k] for k in ("exit_status", "slow_ms")], [403, 5])
        sim.control({"exit_status": 200, "slow_ms": 0})
        check("exit", [sim.status(rows[-1][0]), sim.proc.wait(timeout=60)], ["HTTP/1.1 200 OK", 0])
    with Sim() as sim:
        head = ("POST /v5/harlune/transfers/activity HTTP/1.1\r\nZeta: 1\r\n"
                "Authorization-key: KEY\r\nalpha:2\r\nX-Empty: \r\nContent-Length: 2\r\n\r\n")
        sim.send(head + "{}")
        line = sim.journal()[0]
        check("journal line", [line[k] for k in ("seq", "port", "target", "head", "body")],
              [1, sim.port, "/v5/harlune/transfers/activity", head, "{}"])
        check("journal headers", line["headers"], [["Zeta", "1"], ["Authorization-key", "KEY"],
                                                   ["alpha", "2"], ["X-Empty", ""], ["Content-Length", "2"]])


# Garbage, and requests held until a mode change, are the robustness pages' faults.
def misbehaviours():
    with Sim("--key", "KEY", "--no-content-length") as sim:
        check("lengthless", sim.body(request("GET", "/v4/harlune/version", key="KEY")), "5.2.1")
        check("no length", "Content-Length" in sim.send(PING)[0], False)
        sim.control({"misbehave": "close", "misbehave_count": 1})
        check("closed", sim.send(PING), ("", False))
        check("the count ran out", sim.status(PING), "HTTP/1.1 200 OK")
        check("journalled", len(sim.journal()), 5)


def run_files():
    for sig in (signal.SIGTERM, signal.SIGINT):
        with Sim("--key", "k-1 2") as sim:
            with open(sim.run + "http.uri") as uri, open(sim.run + "process.pid") as pid:
                check("run files", [uri.read(), pid.read()],
                      ["http://127.0.0.1:%d/\nk-1 2" % sim.port, str(sim.proc.pid)])
            check("stopped by %s" % sig, sim.stop(sig), 0)
            check("after %s" % sig, [os.path.exists(sim.run + f)
                                     for f in ("http.uri", "process.pid", "journal.jsonl")],
                  [False, False, True])


for case in (wire, misbehaviours, run_files):
    case()
print("\n".join(problems) or "harlune-sim: all cases pass")
sys.exit(1 if problems else 0)
