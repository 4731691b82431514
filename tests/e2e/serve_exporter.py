#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""quarnelctl serve end to end: a scrape promtool accepts, a real Prometheus
server scraping it, hostile clients on loopback, a clean stop on SIGTERM, a
board unplugged and back seen by Prometheus, and a pulled cable that leaves the
exporter up, saying so. Usage: serve_exporter.py QUARNELCTL"""

import http.client
import json
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

QUARNELCTL = sys.argv[1]
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


def start_serve(tmp, *extra):
    err = open(os.path.join(tmp, "serve.err"), "w+")
    proc = subprocess.Popen([QUARNELCTL, "--quick", "--sim-state", os.path.join(tmp, "board.json"),
                             *extra, "serve", "--listen", "127.0.0.1:0"],
                            stdout=subprocess.DEVNULL, stderr=err)

    def address():
        err.seek(0)
        m = re.search(r"serving http://(127\.0\.0\.1:\d+)/metrics", err.read())
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


def hostile_clients(address):
    host, port = address.split(":")
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


def value(result):
    return float(result[0]["value"][1]) if result else None


def main():
    with tempfile.TemporaryDirectory() as tmp:
        proc, address, err = start_serve(tmp)
        try:
            wait_for("the first poll",
                     lambda: "quarnel_board_up 1" in request(address, "GET", "/metrics")[1])
            scrape = request(address, "GET", "/metrics")[1]
            lint = subprocess.run(["promtool", "check", "metrics"], input=scrape,
                                  capture_output=True, text=True)
            check(lint.returncode == 0 and not (lint.stdout + lint.stderr).strip(),
                  "promtool check metrics has nothing to say " + lint.stdout + lint.stderr)
            hostile_clients(address)
            prometheus_scrapes(tmp, address, "Prometheus stored the internal temperature",
                               lambda q: any(r["metric"].get("sensor") == "internal"
                                             for r in q("quarnel_temperature_celsius")))
        finally:
            proc.send_signal(signal.SIGTERM)
            status = proc.wait(timeout=DEADLINE)
        check(status == 0, f"SIGTERM ends serve with status 0 (got {status})")
        check(os.path.exists(os.path.join(tmp, "board.json")), "the board's state is saved")

        # Unplugged 4 s after the start for 3 s: down, then back, and Prometheus saw both.
        proc, address, err = start_serve(tmp, "--sim-fault", "replug=4:3")
        try:
            prometheus_scrapes(
                tmp, address, "Prometheus saw the board down, then back after one reconnect",
                lambda q: value(q("quarnel_board_reconnects_total")) == 1
                and value(q("quarnel_board_up")) == 1
                and value(q("min_over_time(quarnel_board_up[5m])")) == 0)
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
