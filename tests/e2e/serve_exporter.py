#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""quarnelctl serve end to end: a scrape promtool accepts, a real Prometheus
server scraping it, hostile clients on loopback, a clean stop on SIGTERM, a
board unplugged and back seen by Prometheus, and a pulled cable that leaves the
exporter up, saying so. Usage: serve_exporter.py QUARNELCTL"""

import base64
import ctypes
import http.client
import json
import os
import re
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import urllib.request

QUARNELCTL = sys.argv[1]
RULES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources",
                     "prometheus", "quarnel-alerts.yml")
DEADLINE = 90  # seconds; the machine may be busy


def wait_for(what, condition, deadline=DEADLINE):
    end = time.monotonic() + deadline
    while time.monotonic() < end:
        result = condition()
        if result:
            return result
        time.sleep(0.1)
    sys.exit(f"FAIL: gave up waiting for {what}")


def check(ok, message):
    if not ok:
        sys.exit(f"FAIL: {message}")
    print(f"ok: {message}")


def start_serve(tmp, *extra, serve_args=()):
    err = open(os.path.join(tmp, "serve.err"), "w+")
    proc = subprocess.Popen([QUARNELCTL, "--quick", "--sim-state", os.path.join(tmp, "board.json"),
                             *extra, "serve", "--listen", "127.0.0.1:0", *serve_args],
                            stdout=subprocess.DEVNULL, stderr=err)

    def address():
        err.seek(0)
        m = re.search(r"serving https?://(127\.0\.0\.1:\d+)/metrics", err.read())
        if proc.poll() is not None:
            sys.exit("FAIL: serve ended early: " + open(err.name).read())
        return m and m.group(1)
    return proc, wait_for("serve's address", address), err


def request(address, method, path, timeout=10):
    host, port = address.split(":")
    conn = http.client.HTTPConnection(host, int(port), timeout=timeout)
    conn.request(method, path)
    response = conn.getresponse()
    body = response.read().decode()
    conn.close()
    return response.status, body


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def rss_mb(proc):
    with open(f"/proc/{proc.pid}/status") as f:
        return int(re.search(r"VmRSS:\s+(\d+) kB", f.read()).group(1)) / 1024


class SlowClients:
    """Clients that each send a whole request and the first byte of the next,
    then one byte a second until stopped."""

    def __init__(self, address, count):
        host, port = address.split(":")
        self.sockets = [socket.create_connection((host, int(port)), timeout=5)
                        for i in range(count)]
        for s in self.sockets:
            s.sendall(b"GET /metrics HTTP/1.1\r\nHost: x\r\n\r\nG")
        self.stopped = threading.Event()
        self.failed = None
        self.thread = threading.Thread(target=self.trickle, daemon=True)
        self.thread.start()

    def trickle(self):
        while not self.stopped.wait(1):  # the client's pace, not a wait for the exporter
            try:
                for s in self.sockets:
                    s.sendall(b"a")
            except OSError as e:
                self.failed = e
                return

    def stop(self):
        self.stopped.set()
        self.thread.join()
        for s in self.sockets:
            s.close()


def post_unread_body(proc, address, head):
    """Sends head and then up to 50 MB without a newline; the reply, the bytes
    sent before the exporter ended the connection, and how far its RSS grew
    meanwhile (growth, not size: a sanitizer build starts far larger)."""
    host, port = address.split(":")
    before = rss_mb(proc)
    sent, peak = 0, before
    with socket.create_connection((host, int(port)), timeout=10) as s:
        s.sendall(head)
        try:
            while sent < 50_000_000:
                sent += s.send(b"a" * 1_000_000)
                peak = max(peak, rss_mb(proc))
        except OSError:
            pass  # closed on us: the rest was never read
        try:
            reply = s.recv(200)
        except OSError:
            reply = b""
    return reply, sent, max(peak, rss_mb(proc)) - before


def hostile_clients(proc, address):
    """Returns four slow clients still connected, for the stop to face."""
    host, port = address.split(":")
    slow = SlowClients(address, 4)
    start, longest, ok = time.monotonic(), 0, True
    while ok and time.monotonic() - start < 4:
        began = time.monotonic()
        try:
            ok = "quarnel_board_up 1" in request(address, "GET", "/metrics", timeout=2)[1]
        except OSError:
            ok = False
        longest = max(longest, time.monotonic() - began)
    check(ok and longest < 2 and slow.failed is None,
          f"beside four byte-a-second pipelining clients scrapes answer (slowest {longest:.3f} s)")
    for head in (b"POST /metrics HTTP/1.1\r\nHost: x\r\nContent-Length: 50000000\r\n\r\n",
                 b"POST /metrics HTTP/1.1\r\nHost: x\r\n\r\n"):
        reply, sent, grew = post_unread_body(proc, address, head)
        check(reply.split(b" ")[1:2] in ([b"405"], [b"413"]) and sent < 50_000_000 and grew < 32,
              f"a 50 MB body without a newline gets {reply[:12]!r} after {sent / 1e6:.0f} MB, "
              f"RSS grew by {grew:.1f} MB at most")
    held = []
    try:
        for i in range(300):  # connected, never a byte
            held.append(socket.create_connection((host, int(port)), timeout=5))
        for i in range(50):  # a request line, then silence
            s = socket.create_connection((host, int(port)), timeout=5)
            s.sendall(b"GET /metrics HTTP/1.1\r\n")
            held.append(s)
        start = time.monotonic()
        status, body = request(address, "GET", "/metrics", timeout=2)
        took = time.monotonic() - start
        check(status == 200 and "quarnel_board_up 1" in body and took < 2,
              f"a scrape beside 350 half-open connections answers in {took:.3f} s")
    finally:
        for s in held:
            s.close()
    for length, name in ((10_000, "a 10 kB"), (200_000, "a 200 kB")):
        with socket.create_connection((host, int(port)), timeout=10) as s:
            try:
                s.sendall(b"GET /" + b"a" * length + b" HTTP/1.1\r\nHost: x\r\n\r\n")
            except OSError:
                pass  # refused before all was sent
            reply = s.recv(200)
        check(reply.startswith(b"HTTP/1.1 414"), f"{name} request line gets 414")
    check(request(address, "POST", "/metrics")[0] == 405, "POST gets 405")
    check(request(address, "DELETE", "/")[0] == 405, "DELETE gets 405")
    check(request(address, "GET", "/nowhere")[0] == 404, "an unknown path gets 404")
    status, body = request(address, "GET", "/")
    check(status == 200 and 'href="/metrics"' in body, "/ links /metrics")
    return slow


def prometheus_scrapes(tmp, address, what, seen):
    """A real Prometheus scraping address every second until seen(query) holds;
    query(expr) gives the instant vector of expr."""
    config = os.path.join(tmp, "prometheus.yml")
    with open(config, "w") as f:
        f.write("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                "scrape_configs:\n  - job_name: quarnel\n"
                f"    static_configs:\n      - targets: ['{address}']\n")
    for attempt in range(3):  # the free port may be taken in between
        port = free_port()
        log = open(os.path.join(tmp, "prometheus.log"), "w")
        tsdb = tempfile.mkdtemp(dir=tmp)
        proc = subprocess.Popen(["prometheus", f"--config.file={config}",
                                 f"--storage.tsdb.path={tsdb}",
                                 f"--web.listen-address=127.0.0.1:{port}"],
                                stdout=log, stderr=subprocess.STDOUT)
        try:
            def query(expr):
                url = (f"http://127.0.0.1:{port}/api/v1/query?"
                       + urllib.parse.urlencode({"query": expr}))
                try:
                    with urllib.request.urlopen(url, timeout=5) as r:
                        return json.load(r)["data"]["result"]
                except OSError:
                    return []

            def answer():
                if proc.poll() is not None:
                    return "ended"
                return seen(query)
            result = wait_for(what, answer)
            if result == "ended":
                continue
            check(True, what)
            return
        finally:
            proc.send_signal(signal.SIGTERM)
            proc.wait(timeout=DEADLINE)
    sys.exit("FAIL: Prometheus did not start: " + open(os.path.join(tmp, "prometheus.log")).read())


def tls_and_logins(tmp):
    """--web.config.file: a self-signed certificate and one user; each login's status."""
    key, cert, web = (os.path.join(tmp, name) for name in ("key.pem", "cert.pem", "web.yml"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                    "-keyout", key, "-out", cert, "-subj", "/CN=localhost",
                    "-addext", "subjectAltName=IP:127.0.0.1"], check=True, capture_output=True)
    libcrypt = ctypes.CDLL("libcrypt.so.1")
    libcrypt.crypt.restype = ctypes.c_char_p
    hashed = libcrypt.crypt(b"s3cret", b"$2y$05$abcdefghijklmnopqrstuu").decode()
    with open(web, "w") as f:
        f.write("tls_server_config:\n  cert_file: cert.pem\n  key_file: key.pem\n"
                f"basic_auth_users:\n  alice: '{hashed}'\n")
    proc, address, err = start_serve(tmp, serve_args=("--web.config.file", web))
    try:
        host, port = address.split(":")
        for login, expected in (("alice:s3cret", 200), ("alice:wrong", 401), ("bob:s3cret", 401),
                                (None, 401)):
            conn = http.client.HTTPSConnection(host, int(port), timeout=10,
                                               context=ssl.create_default_context(cafile=cert))
            auth = login and {"Authorization": "Basic " + base64.b64encode(login.encode()).decode()}
            conn.request("GET", "/metrics", headers=auth or {})
            response = conn.getresponse()
            body = response.read().decode()
            conn.close()
            challenged = response.getheader("WWW-Authenticate", "").startswith("Basic")
            check(response.status == expected and challenged == (expected == 401)
                  and ("quarnel_board_up" in body) == (expected == 200),
                  f"over TLS, {login or 'no login'} gets {response.status}")
    finally:
        proc.send_signal(signal.SIGTERM)
        proc.wait(timeout=DEADLINE)


def alerts_on_recorded_series(tmp, query):
    """promtool tests the shipped rules on the series Prometheus recorded, replayed
    with one sample every 15 s (a 1 s scrape stretched to the shipped interval):
    QuarnelBoardDown fires once the board has been down for a minute, and ends when
    it is back; one reconnect is no flapping."""
    up = [int(float(v)) for _, v in query("quarnel_board_up[5m]")[0]["values"]]
    reconnects = [int(float(v)) for _, v in
                  query("quarnel_board_reconnects_total[5m]")[0]["values"]]
    n = min(len(up), len(reconnects))
    down = [i for i in range(n) if up[i] == 0]
    if len(down) < 5 or down != list(range(down[0], down[-1] + 1)) or down[-1] + 2 >= n:
        return False  # not yet all of the outage and the return in the record
    series = "\n".join(f"      - series: '{name}{{job=\"quarnel\",instance=\"lab:9761\"}}'\n"
                       f"        values: '{' '.join(map(str, values[:n]))}'"
                       for name, values in (("quarnel_board_up", up),
                                            ("quarnel_board_reconnects_total", reconnects)))
    firing = ("\n          - exp_labels: {severity: critical, job: quarnel, instance: \"lab:9761\"}"
              "\n            exp_annotations:\n              summary: \"lab:9761: the exporter"
              " runs, but its board has not been polled\"")
    evals = [(down[0] + 3, "QuarnelBoardDown", " []"), (down[0] + 4, "QuarnelBoardDown", firing),
             (down[-1] + 2, "QuarnelBoardDown", " []"), (n - 1, "QuarnelBoardFlapping", " []")]
    test = os.path.join(tmp, "recorded.test.yml")
    with open(test, "w") as f:
        f.write(f"rule_files: ['{os.path.abspath(RULES)}']\nevaluation_interval: 15s\n"
                f"tests:\n  - interval: 15s\n    input_series:\n{series}\n"
                "    alert_rule_test:\n" + "".join(
                    f"      - eval_time: {15 * i}s\n        alertname: {name}\n"
                    f"        exp_alerts:{alerts}\n" for i, name, alerts in evals))
    run = subprocess.run(["promtool", "test", "rules", test], capture_output=True, text=True)
    check(run.returncode == 0, "the alert rules on the recorded series: board down after a "
          f"minute, not after it is back ({len(down)} of {n} scrapes down)\n"
          + run.stdout + run.stderr + open(test).read())
    return True


def value(result):
    return float(result[0]["value"][1]) if result else None


def main():
    with tempfile.TemporaryDirectory() as tmp:
        proc, address, err = start_serve(tmp)
        slow, held = None, []
        try:
            wait_for("the first poll",
                     lambda: "quarnel_board_up 1" in request(address, "GET", "/metrics")[1])
            scrape = request(address, "GET", "/metrics")[1]
            lint = subprocess.run(["promtool", "check", "metrics"], input=scrape,
                                  capture_output=True, text=True)
            check(lint.returncode == 0 and not (lint.stdout + lint.stderr).strip(),
                  "promtool check metrics has nothing to say " + lint.stdout + lint.stderr)
            slow = hostile_clients(proc, address)
            prometheus_scrapes(tmp, address, "Prometheus stored the internal temperature",
                               lambda q: any(r["metric"].get("sensor") == "internal"
                                             for r in q("quarnel_temperature_celsius")))
            # Past the connection limit of 512, so a worker no longer watches for new ones.
            fds = lambda: len(os.listdir(f"/proc/{proc.pid}/fd"))
            base = fds()
            held = [socket.create_connection(address.split(":"), timeout=5) for i in range(600)]
            wait_for("the exporter at its connection limit", lambda: fds() >= base + 505)
        finally:
            connected = slow is not None and slow.failed is None
            start = time.monotonic()
            proc.send_signal(signal.SIGTERM)
            status = proc.wait(timeout=DEADLINE)
            took = time.monotonic() - start
            if slow:
                slow.stop()
            for s in held:
                s.close()
        check(status == 0, f"SIGTERM ends serve with status 0 (got {status})")
        check(connected and took < 2,
              f"SIGTERM with four slow clients and 600 more connected ends serve in {took:.2f} s")
        check(os.path.exists(os.path.join(tmp, "board.json")), "the board's state is saved")
        tls_and_logins(tmp)

        # Unplugged 4 s after the start for 6 s: down, then back, and Prometheus saw both;
        # the shipped alert rules judge what it recorded.
        proc, address, err = start_serve(tmp, "--sim-fault", "replug=4:6")
        try:
            prometheus_scrapes(
                tmp, address, "Prometheus saw the board down, then back after one reconnect",
                lambda q: value(q("quarnel_board_reconnects_total")) == 1
                and value(q("quarnel_board_up")) == 1
                and value(q("min_over_time(quarnel_board_up[5m])")) == 0
                and alerts_on_recorded_series(tmp, q))
        finally:
            proc.send_signal(signal.SIGTERM)
            status = proc.wait(timeout=DEADLINE)
        check(status == 0, f"serve outlived the board's absence (status {status})")

        # A cable pulled for good: serve stays, says the board is down, and ends on SIGTERM
        # in the middle of its wait for the board.
        proc, address, err = start_serve(tmp, "--sim-fault", "cable=400")
        scrape = wait_for("the board reported down", lambda: (
            lambda text: "quarnel_board_up 0" in text and "quarnel_link_errors_total 1" in text
            and text)(request(address, "GET", "/metrics")[1]))
        check("quarnel_temperature_celsius" not in scrape, "no stale reading while the board is down")
        check(proc.poll() is None, "a pulled cable does not end serve")
        start = time.monotonic()
        proc.send_signal(signal.SIGTERM)
        status = proc.wait(timeout=DEADLINE)
        took = time.monotonic() - start
        check(status == 0 and took < 5, f"SIGTERM during the wait ends serve ({status}, {took:.2f} s)")


main()
