#!/usr/bin/env python3
"""The statement server on SQLite and on PostgreSQL, side by side.

1. Import: 4,000 price files of 1,250 days each (a made-up random walk) into a fresh SQLite file
   and into a fresh PostgreSQL database (vorteq-server init + import, then day-order), timed.
2. Screening throughput: N clients (default 32), each POSTing the screening batch on a fresh
   HTTP/1.0 connection as the desktop client does, against (a) one server on SQLite, (b) one
   server on PostgreSQL, (c) two servers on PostgreSQL behind HAProxy; the three are run in
   turn, round after round. Requests per second, latency p50 and p99, failures.

PostgreSQL must be running already: --pg names its superuser address without a database
(postgresql://USER@127.0.0.1:PORT). Only loopback addresses are used.

    python3 bench/backends_load.py --server build-release/server/vorteq-server \
        --pg postgresql://vorteq_admin@127.0.0.1:54329 --workdir /tmp/vq-backends
"""
import argparse
import os
import random
import shutil
import socket
import statistics
import struct
import subprocess
import sys
import threading
import time
import zlib
from datetime import date, timedelta

SERVLET = "/ORQ/servlet/ApsServlet/"


def run(cmd, **kw):
    started = time.monotonic()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, **kw)
    return time.monotonic() - started


def weekdays(count, last):
    days = []
    d = last
    while len(days) < count:
        if d.weekday() < 5:
            days.append(d)
        d -= timedelta(days=1)
    return list(reversed(days))


def make_files(folder, stocks, days):
    os.makedirs(folder, exist_ok=True)
    calendar = weekdays(days, date(2026, 11, 30))
    files = []
    rng = random.Random(7)
    for i in range(stocks):
        path = os.path.join(folder, f"{1001 + i}.csv")
        files.append(path)
        if os.path.exists(path):
            continue
        price = rng.uniform(200, 5000)
        lines = ["Date,Open,High,Low,Close,Volume"]
        for d in calendar:
            o = price
            c = max(10.0, o * (1 + rng.gauss(0, 0.02)))
            h = max(o, c) * (1 + abs(rng.gauss(0, 0.005)))
            low = min(o, c) * (1 - abs(rng.gauss(0, 0.005)))
            lines.append(f"{d.isoformat()},{round(o)},{round(h)},{round(low)},{round(c)},{rng.randint(1000, 900000)}")
            price = c
        with open(path, "w") as f:
            f.write("\n".join(lines) + "\n")
    return files, calendar[-1]


def request_bytes(items, cookie):
    text = b"\x1d".join(i.encode("cp932") for i in items) + b"\x04\r\n"  # sections by GS, then EOT, CR LF
    body = struct.pack("<I", len(text)) + zlib.compress(text, 1)
    head = (f"POST {SERVLET} HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Length: {len(body)}\r\n"
            f"Cookie:{cookie}\r\n\r\n").encode()
    return head + body


def exchange(port, payload):
    with socket.create_connection(("127.0.0.1", port), timeout=60) as s:
        s.sendall(payload)
        chunks = []
        while True:
            b = s.recv(262144)
            if not b:
                break
            chunks.append(b)
    return b"".join(chunks)


def login(port):
    sql = ("SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS FROM USR_INFO a WHERE a.USR_STATUS <> 1 "
           "AND a.USR_ID = 'bench' AND a.PASS_WORD = 'bench123' ")
    reply = exchange(port, request_bytes(["Query", sql], ""))
    for line in reply.split(b"\r\n"):
        if line.lower().startswith(b"set-cookie:"):
            return line.split(b":", 1)[1].strip().split(b";")[0].decode()
    raise SystemExit(f"login on port {port} failed: {reply[:300]!r}")


def screening_sql(day):
    return ("SELECT a.STK_CD, a.STK_NM, b.MKT_NM, c.STK_DATE, c.S_PRICE, c.H_PRICE, c.L_PRICE, c.E_PRICE, "
            "c.STK_VLM, c.PT_RANGE, c.PY_RANGE, c.H_RANGE, c.L_RANGE, c.V_RANGE, c.RENZOKU, c.MA_05, c.MA_15, "
            "c.MA_25, c.MA_50, c.STC_K, c.STC_D, c.STC_SD, c.RSI, c.U_OSI, c.WIL_R, c.RCI, c.CCI, c.ARATIO, "
            "c.BRATIO, c.PAR_SAR, c.WIL_SAR, c.VOL_P2, c.VOL_M2, c.VOL_P1, c.VOL_M1, c.VR_A, c.VR_B, c.VR_W, "
            "c.DMI_P, c.DMI_M, c.DMI_ADX, c.MACD, c.MACD_S, c.SAI_A, c.SAI_B, a.MKT_CD FROM "
            f"STK_INFO a, MKT_INFO b , STK_DAILY_TSE_{day.year} c WHERE a.MKT_CD = b.MKT_CD AND a.MKT_CD = 11 "
            "AND c.RSI <= 30 AND c.RSI >= 0  AND a.STK_CD = c.STK_CD  AND c.E_PRICE <> 0  AND c.STK_DATE = '"
            f"{day.strftime('%Y/%m/%d')}' ORDER BY a.STK_CD ")


def load(port, payload, clients, seconds):
    latencies = []
    failures = [0]
    lock = threading.Lock()
    stop = time.monotonic() + seconds

    def client():
        mine = []
        bad = 0
        while time.monotonic() < stop:
            t0 = time.monotonic()
            try:
                reply = exchange(port, payload)
                if b" 200 " not in reply[:20]:
                    bad += 1
            except OSError:
                bad += 1
            mine.append((time.monotonic() - t0) * 1000)
        with lock:
            latencies.extend(mine)
            failures[0] += bad

    threads = [threading.Thread(target=client) for _ in range(clients)]
    started = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    elapsed = time.monotonic() - started
    latencies.sort()
    pct = lambda p: latencies[int(p * (len(latencies) - 1))] if latencies else 0.0
    return len(latencies) / elapsed, pct(0.5), pct(0.99), failures[0]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--server", required=True)
    ap.add_argument("--pg", required=True, help="postgresql://USER@127.0.0.1:PORT (no database)")
    ap.add_argument("--workdir", default="/tmp/vq-backends")
    ap.add_argument("--stocks", type=int, default=4000)
    ap.add_argument("--days", type=int, default=1250)
    ap.add_argument("--clients", type=int, default=32)
    ap.add_argument("--seconds", type=float, default=15)
    ap.add_argument("--rounds", type=int, default=2)
    ap.add_argument("--skip-import", action="store_true")
    args = ap.parse_args()
    server = os.path.abspath(args.server)
    os.makedirs(args.workdir, exist_ok=True)
    files, last = make_files(os.path.join(args.workdir, "prices"), args.stocks, args.days)
    sqlite_db = os.path.join(args.workdir, "market.db")
    pg_db = args.pg + "/vq_bench"
    if not args.skip_import:
        if os.path.exists(sqlite_db):
            os.remove(sqlite_db)
        subprocess.run(["psql", args.pg + "/postgres", "-qc", "DROP DATABASE IF EXISTS vq_bench WITH (FORCE)"], check=True)
        subprocess.run(["psql", args.pg + "/postgres", "-qc", "CREATE DATABASE vq_bench"], check=True)
        for label, db in (("SQLite", sqlite_db), ("PostgreSQL", pg_db)):
            run([server, "init", "--db", db])
            seconds = run([server, "import", "--db", db, "--market", "11"] + files)
            order = run([server, "day-order", "--db", db])
            run([server, "adduser", "bench", "bench123", "Bench", "b@example.com", "--hash-cost", "min", "--db", db])
            print(f"import {label}: {args.stocks} x {args.days} in {seconds:.1f} s "
                  f"({args.stocks * args.days / seconds:,.0f} stock-days/s); day-order {order:.1f} s", flush=True)

    procs = []
    base = 18600 + os.getpid() % 1000
    ports = {"sqlite": base, "pg1": base + 1, "pg2": base + 2, "proxy": base + 3}
    try:
        common = ["--hash-cost", "min", "--reply-compression", "none", "--threads", "2"]
        procs.append(subprocess.Popen([server, "serve", "--db", sqlite_db, "--port", str(ports["sqlite"])] + common,
                                      stderr=subprocess.DEVNULL))
        for key in ("pg1", "pg2"):
            procs.append(subprocess.Popen([server, "serve", "--db", pg_db, "--port", str(ports[key]),
                                           "--trusted-proxy", "127.0.0.1"] + common, stderr=subprocess.DEVNULL))
        cfg = os.path.join(args.workdir, "haproxy.cfg")
        with open(cfg, "w") as f:
            f.write(f"""global
    maxconn 4096
defaults
    mode http
    timeout connect 5s
    timeout client 130s
    timeout server 130s
frontend vorteq
    bind 127.0.0.1:{ports['proxy']}
    default_backend servers
backend servers
    balance leastconn
    option forwardfor
    option http-server-close
    server a 127.0.0.1:{ports['pg1']} maxconn 100
    server b 127.0.0.1:{ports['pg2']} maxconn 100
""")
        procs.append(subprocess.Popen(["haproxy", "-f", cfg], stderr=subprocess.DEVNULL))
        time.sleep(2)
        sql = screening_sql(last)
        targets = [("SQLite, 1 server", ports["sqlite"]), ("PostgreSQL, 1 server", ports["pg1"]),
                   ("PostgreSQL, 2 servers + HAProxy", ports["proxy"])]
        payloads = {}
        for label, port in targets:
            cookie = login(port)
            payloads[label] = request_bytes(["Query", sql], cookie)
            reply = exchange(port, payloads[label])
            if b" 200 " not in reply[:20]:
                raise SystemExit(f"{label}: screening failed")
        print(f"screening {last}: {args.clients} clients, {args.seconds:.0f} s per run", flush=True)
        results = {label: [] for label, _ in targets}
        for r in range(args.rounds):
            for label, port in targets:
                rate, p50, p99, bad = load(port, payloads[label], args.clients, args.seconds)
                results[label].append(rate)
                print(f"round {r + 1} {label:32s} {rate:7.1f} req/s  p50 {p50:6.1f} ms  p99 {p99:7.1f} ms  "
                      f"failures {bad}  load {os.getloadavg()[0]:.1f}", flush=True)
        for label, rates in results.items():
            print(f"{label:32s} min {min(rates):7.1f}  median {statistics.median(rates):7.1f} req/s")
    finally:
        for p in procs:
            p.terminate()
        for p in procs:
            p.wait()


if __name__ == "__main__":
    sys.exit(main())
