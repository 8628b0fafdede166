#!/usr/bin/env python3
"""Attacks on the statement server and the command line, each run against two builds side by side.

  bench/http_attack.py --server-a OLD/vorteq-server --server-b NEW/vorteq-server \
      --cli-a OLD/vorteq-cli --cli-b NEW/vorteq-cli --db market.db [--rounds 2]

Scenarios (all traffic to 127.0.0.1; every loop is bounded in count and time):
  slow     260 half-sent requests from 127.0.0.2 while an honest client on 127.0.0.1 logs in every
           second and queries in a loop: logins that succeed, query latency p50/p99, errors.
  unread   30 logged-in connections from 127.0.0.3 ask for a large reply and never read it: the
           server's peak resident memory (VmHWM) and whether honest queries still succeed.
  reply    a hostile server answers the CLI's login with a ~60 kB compressed reply of 64 MiB of
           empty fields: the CLI's peak resident memory and its message.
  kill     `vorteq-cli backtest --out DIR` killed at moments near its end, then started again:
           folders left with temporary files, and with a mix of old and new files.
--db is a database with the user bench/bench123 and daily prices (the one bench_server_load keeps
with VORTEQ_BENCH_DB); each server gets its own copy.
"""
import argparse
import hashlib
import os
import random
import re
import resource
import shutil
import signal
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zlib

SERVLET = "/ORQ/servlet/ApsServlet/"
LOGIN_SQL = ("SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS FROM USR_INFO a WHERE a.USR_STATUS <> 1 "
             "AND a.USR_ID = 'bench' AND a.PASS_WORD = 'bench123' ")
QUERY_SQL = "SELECT a.STK_CD, a.STK_NM, a.MKT_CD FROM STK_INFO a ORDER BY a.STK_CD"


def body_of(items):
    text = "\x1d".join(items).encode("cp932") + b"\x04\r\n"
    return struct.pack("<I", len(text)) + zlib.compress(text, 1)


def post(port, items, cookie="", source="127.0.0.1", timeout=10.0):
    """One exchange on a fresh connection: (ok, reply text, cookie, seconds)."""
    body = body_of(items)
    req = (f"POST {SERVLET} HTTP/1.0\r\nHost: 127.0.0.1\r\nCookie: {cookie}\r\n"
           f"Content-Length: {len(body)}\r\n\r\n").encode() + body
    t0 = time.monotonic()
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=timeout, source_address=(source, 0)) as s:
            s.sendall(req)
            data = b""
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                data += chunk
    except OSError:
        return False, b"", "", time.monotonic() - t0
    elapsed = time.monotonic() - t0
    head, _, payload = data.partition(b"\r\n\r\n")
    if not head.startswith(b"HTTP/1.") or b" 200 " not in head.split(b"\r\n")[0] or len(payload) < 4:
        return False, b"", "", elapsed
    m = re.search(rb"Set-Cookie: ([^;\r\n]+)", head)
    try:
        text = zlib.decompress(payload[4:])
    except zlib.error:
        return False, b"", "", elapsed
    return not text.rstrip(b"\x04").endswith(b"-99"), text, m.group(1).decode() if m else "", elapsed


class Server:
    def __init__(self, binary, db, workdir):
        self.db = os.path.join(workdir, "market.db")
        shutil.copyfile(db, self.db)
        self.log = open(os.path.join(workdir, "server.log"), "w+")
        self.proc = subprocess.Popen([binary, "serve", "--db", self.db, "--port", "0", "--threads", "2"],
                                     stderr=subprocess.PIPE, text=True)
        line = self.proc.stderr.readline()
        self.port = int(re.search(r":(\d+)/ORQ", line).group(1))
        threading.Thread(target=self._drain, daemon=True).start()

    def _drain(self):
        for line in self.proc.stderr:
            self.log.write(line)

    def peak_kb(self):
        with open(f"/proc/{self.proc.pid}/status") as f:
            return int(re.search(r"VmHWM:\s+(\d+)", f.read()).group(1))

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


def honest_load(port, seconds):
    """Logins every second and back-to-back queries for `seconds`: the figures of the honest client."""
    logins = [0, 0]
    latencies, errors = [], 0
    end = time.monotonic() + seconds
    next_login = 0.0
    cookie = ""
    while time.monotonic() < end:
        if time.monotonic() >= next_login:
            ok, _, c, _ = post(port, ["Query", LOGIN_SQL], timeout=10)
            logins[0] += 1
            if ok and c:
                logins[1] += 1
                cookie = c
            next_login = time.monotonic() + 1.0
        ok, _, _, dt = post(port, ["Query", QUERY_SQL], cookie, timeout=10)
        if ok:
            latencies.append(dt * 1000)
        else:
            errors += 1
            time.sleep(0.01)  # a refusal comes back at once: counted, not spun on
    latencies.sort()
    pct = lambda p: latencies[int(p * (len(latencies) - 1))] if latencies else float("nan")
    return {"logins_ok": f"{logins[1]}/{logins[0]}", "queries": len(latencies), "errors": errors,
            "p50_ms": round(pct(0.5), 1), "p99_ms": round(pct(0.99), 1)}


def scenario_slow(server, seconds=15):
    socks = []
    stop = threading.Event()

    def attacker():
        # Opens and holds up to 260 half-sent requests, reopening what the server closes.
        while not stop.is_set():
            socks[:] = [s for s in socks if s.fileno() >= 0]
            while len(socks) < 260 and not stop.is_set():
                try:
                    s = socket.create_connection(("127.0.0.1", server.port), timeout=2,
                                                 source_address=("127.0.0.2", 0))
                    s.sendall(b"POST " + SERVLET.encode() + b" HTTP/1.1\r\nHost: x\r\n")
                    s.setblocking(False)
                    socks.append(s)
                except OSError:
                    break
            for s in list(socks):
                try:
                    if s.recv(1) == b"":
                        s.close()
                except BlockingIOError:
                    pass
                except OSError:
                    s.close()
            time.sleep(0.2)

    t = threading.Thread(target=attacker)
    t.start()
    time.sleep(2)
    result = honest_load(server.port, seconds)
    stop.set()
    t.join()
    for s in socks:
        s.close()
    return result


def scenario_unread(server, seconds=12):
    ok, _, cookie, _ = post(server.port, ["Query", LOGIN_SQL])
    # The largest daily table: every row of it, a reply of tens of MB.
    big = "SELECT * FROM " + largest_daily_table(server.db) + " a LIMIT 95000"
    body = body_of(["Query", big])
    req = (f"POST {SERVLET} HTTP/1.0\r\nHost: 127.0.0.1\r\nCookie: {cookie}\r\n"
           f"Content-Length: {len(body)}\r\n\r\n").encode() + body
    socks = []
    for _ in range(30):
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        s.bind(("127.0.0.3", 0))
        s.connect(("127.0.0.1", server.port))
        s.sendall(req)
        socks.append(s)
    result = honest_load(server.port, seconds)
    result["server_peak_MB"] = round(server.peak_kb() / 1024)
    for s in socks:
        s.close()
    return result


def largest_daily_table(db):
    import sqlite3
    con = sqlite3.connect(db)
    best = None
    for (name,) in con.execute("SELECT name FROM sqlite_master WHERE type='table' AND name LIKE 'STK_DAILY_%'"):
        n = con.execute(f"SELECT COUNT(*) FROM {name}").fetchone()[0]
        if best is None or n > best[1]:
            best = (name, n)
    con.close()
    return best[0]


def hostile_reply_server(stop):
    """Answers every request with 64 MiB of empty fields in a ~60 kB compressed body."""
    rows = 33000
    text = (b"\x1e" + b"\x1f" * 1999) * rows + f"#2000/{rows}".encode() + b"\x1d0\x04"
    body = struct.pack("<I", len(text)) + zlib.compress(text, 9)
    srv = socket.socket()
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", 0))
    srv.listen(8)
    srv.settimeout(0.5)

    def serve():
        while not stop.is_set():
            try:
                c, _ = srv.accept()
            except socket.timeout:
                continue
            with c:
                c.settimeout(5)
                data = b""
                while b"\r\n\r\n" not in data:
                    chunk = c.recv(65536)
                    if not chunk:
                        break
                    data += chunk
                length = int(re.search(rb"Content-Length: (\d+)", data, re.I).group(1))
                while len(data.partition(b"\r\n\r\n")[2]) < length:
                    data += c.recv(65536)
                c.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body)
        srv.close()

    threading.Thread(target=serve, daemon=True).start()
    return srv.getsockname()[1], len(body)


def run_measured(argv, env):
    """Runs argv; returns (exit code, stderr, peak resident MB) of that child alone."""
    proc = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    err = proc.stderr.read().decode(errors="replace")
    return os.waitstatus_to_exitcode(status), err, round(usage.ru_maxrss / 1024)


def scenario_reply(cli):
    stop = threading.Event()
    port, size = hostile_reply_server(stop)
    env = dict(os.environ, VORTEQ_PASSWORD="x")
    code, err, peak = run_measured([cli, "login", "--server", f"127.0.0.1:{port}", "--user", "x"], env)
    stop.set()
    return {"reply_bytes": size, "exit": code, "cli_peak_MB": peak, "message": err.strip()[:120]}


def digest_dir(d):
    out = {}
    for name in sorted(os.listdir(d)):
        with open(os.path.join(d, name), "rb") as f:
            out[name] = hashlib.sha256(f.read()).hexdigest()
    return out


def scenario_kill(cli, server_port, runs=12):
    env = dict(os.environ, VORTEQ_PASSWORD="bench123")
    base = ["backtest", "--server", f"127.0.0.1:{server_port}", "--user", "bench", "--code", "1301",
            "--market", "11"]
    args = {"old": base + ["--period", "1m"], "new": base + ["--period", "3m"]}
    work = tempfile.mkdtemp(prefix="vorteq_kill_")
    sets, took = {}, {}
    for which in ("old", "new"):
        d = os.path.join(work, which)
        t0 = time.monotonic()
        r = subprocess.run([cli] + args[which] + ["--out", d], env=env, capture_output=True)
        took[which] = time.monotonic() - t0
        if r.returncode != 0:
            return {"error": r.stderr.decode(errors="replace")[:200]}
        sets[which] = digest_dir(d)
    temp_left = mixed = 0
    rng = random.Random(16)
    for i in range(runs):
        d = os.path.join(work, f"run{i}")
        shutil.copytree(os.path.join(work, "old"), d)
        proc = subprocess.Popen([cli] + args["new"] + ["--out", d], env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(took["new"] * rng.uniform(0.7, 1.0))
        proc.kill()
        proc.wait()
        # The next start: the same command against a closed port, which settles the folder.
        subprocess.run([cli, "backtest", "--server", "127.0.0.1:1", "--user", "bench", "--code", "1301",
                        "--market", "11", "--out", d], env=env, capture_output=True)
        found = digest_dir(d)
        extra = set(found) - set(sets["old"])
        temp_left += 1 if extra else 0
        kept = {k: v for k, v in found.items() if k in sets["old"]}
        mixed += 0 if kept in (sets["old"], sets["new"]) else 1
    shutil.rmtree(work)
    return {"runs": runs, "with_temporary_files": temp_left, "mixed_old_and_new": mixed,
            "run_seconds": round(took["new"], 2)}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--server-a", required=True)
    ap.add_argument("--server-b", required=True)
    ap.add_argument("--cli-a", required=True)
    ap.add_argument("--cli-b", required=True)
    ap.add_argument("--db", required=True)
    ap.add_argument("--rounds", type=int, default=2)
    ap.add_argument("--only", default="slow,unread,reply,kill")
    a = ap.parse_args()
    wanted = a.only.split(",")
    with open("/proc/loadavg") as f:
        print("load before:", f.read().strip(), flush=True)
    for rnd in range(a.rounds):
        for label, server_bin, cli in (("A", a.server_a, a.cli_a), ("B", a.server_b, a.cli_b)):
            # A fresh server for each scenario: what one attack leaves does not weigh on the next.
            for name in wanted:
                work = tempfile.mkdtemp(prefix=f"vorteq_attack_{label}_")
                server = Server(server_bin, a.db, work)
                try:
                    if name == "slow":
                        result = scenario_slow(server)
                    elif name == "unread":
                        result = scenario_unread(server)
                    elif name == "reply":
                        result = scenario_reply(cli)
                    else:
                        result = scenario_kill(cli, server.port)
                    print(rnd, label, name, result, flush=True)
                finally:
                    server.stop()
                    shutil.rmtree(work, ignore_errors=True)
            with open("/proc/loadavg") as f:
                print("load:", f.read().strip(), flush=True)


if __name__ == "__main__":
    main()
