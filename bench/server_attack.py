#!/usr/bin/env python3
"""Login and attack runs against builds of vorteq-server, side by side.

Each build named with --server LABEL=BINARY runs the same scenarios over a copy of one database,
the builds taking turns (A B A B ...) for --rounds rounds, each scenario on a fresh server:

  parallel  8 clients log in with the correct password, 20 times each: share accepted
  import    4 clients log in with the correct password while `demo-data` rewrites the market
            in the same database (at most --import-seconds): share accepted, login p50 and
            longest wait; demo-data is the first build's, or each build's own with --import-with own
  flood     for --flood-seconds, random user IDs try to log in at --flood-rate a second from 200
            loopback addresses (127.0.x.y), while one user logs in every half second from
            127.0.0.1 and two logged-in users run screenings: logins accepted, login and
            screening latency (p50, p99)
  timing    wrong passwords of users whose hashes have the lowest cost against unknown user IDs:
            median answer time of each (they should not tell the two apart)
  bigreply  one logged-in user sends a batch of 32 statements that each read a whole year of
            a market: the server's peak resident memory (VmHWM) and what it answered

The database is made once with the first build (init, demo-data up to --until, adduser with the
interactive hash cost) and copied for every scenario. All traffic goes to 127.0.0.1; the other
loopback addresses are only source addresses. Every loop is bounded in count and time.

  bench/server_attack.py --server before=/tmp/main-build/server/vorteq-server \\
                         --server after=build-release/server/vorteq-server --rounds 2
"""
import argparse
import os
import random
import re
import shutil
import socket
import sqlite3
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zlib

LOGIN = ("SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS FROM USR_INFO a WHERE a.USR_STATUS <> 1 "
         "AND a.USR_ID = '{}' AND a.PASS_WORD = '{}' ")
DATES = "SELECT a.UPD_DATE FROM STK_UPD a ORDER BY a.UPD_FLG "


def request_body(items):
    raw = ("\x1d".join(items) + "\x04\r\n").encode("cp932")
    return struct.pack("<I", len(raw)) + zlib.compress(raw, 1)


class Reply:
    def __init__(self, headers, text, seconds):
        self.headers = headers
        self.text = text
        self.seconds = seconds

    def failed(self):
        return self.text is None or self.text.rstrip(b"\r\n").endswith(b"-99\x04")

    def first_has_rows(self):
        return self.text is not None and b"\x1e" in self.text.split(b"\x1d")[0]

    def cookie(self):
        value = self.headers.get("set-cookie", "")
        return value.split(";")[0]


def exchange(port, items, cookie="", source="127.0.0.1", timeout=120.0):
    body = request_body(items)
    started = time.monotonic()
    chunks = []
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=timeout, source_address=(source, 0)) as s:
            s.sendall(b"POST /ORQ/servlet/ApsServlet/ HTTP/1.0\r\nContent-Length: %d\r\nCookie:%s\r\n\r\n"
                      % (len(body), cookie.encode()) + body)
            while True:
                chunk = s.recv(1 << 20)
                if not chunk:
                    break
                chunks.append(chunk)
    except OSError:
        return Reply({}, None, time.monotonic() - started)
    seconds = time.monotonic() - started
    data = b"".join(chunks)
    head, _, payload = data.partition(b"\r\n\r\n")
    headers = {}
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        headers[name.decode("latin-1").strip().lower()] = value.decode("latin-1").strip()
    if not head.startswith(b"HTTP/1.") or b" 200 " not in head.split(b"\r\n")[0] or len(payload) < 4:
        return Reply(headers, None, seconds)
    length = struct.unpack("<I", payload[:4])[0]
    try:
        text = zlib.decompress(payload[4:]) if length else b""
    except zlib.error:
        text = None
    return Reply(headers, text, seconds)


def percentile(values, share):
    if not values:
        return float("nan")
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


class Server:
    def __init__(self, binary, db, workdir):
        self.log = open(os.path.join(workdir, "server.log"), "w+b")
        self.proc = subprocess.Popen([binary, "serve", "--db", db, "--port", "0", "--hash-cost", "interactive"],
                                     stdout=subprocess.DEVNULL, stderr=self.log)
        self.port = None
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and self.port is None:
            time.sleep(0.05)
            self.log.seek(0)
            match = re.search(rb"serving http://127\.0\.0\.1:(\d+)/", self.log.read())
            if match:
                self.port = int(match.group(1))
            if self.proc.poll() is not None:
                break
        if self.port is None:
            self.stop()
            self.log.seek(0)
            raise RuntimeError("server did not start: " + self.log.read().decode("utf-8", "replace")[-500:])

    def peak_mib(self):
        try:
            with open("/proc/%d/status" % self.proc.pid) as f:
                for line in f:
                    if line.startswith("VmHWM:"):
                        return int(line.split()[1]) / 1024.0
        except OSError:
            pass
        return float("nan")

    def alive(self):
        return self.proc.poll() is None

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()


def run_threads(count, target):
    threads = [threading.Thread(target=target, args=(i,)) for i in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


def login_ok(port, source="127.0.0.1"):
    r = exchange(port, ["Query", LOGIN.format("demo", "demo1234"), DATES], source=source)
    return r, (not r.failed() and r.first_has_rows())


def scenario_parallel(server, args):
    results = []
    lock = threading.Lock()

    def client(_):
        for _ in range(20):
            _, ok = login_ok(server.port)
            with lock:
                results.append(ok)

    run_threads(8, client)
    return {"accepted": "%d/%d" % (sum(results), len(results)),
            "share": 100.0 * sum(results) / len(results)}


def scenario_import(server, args, binary, db):
    import_log = open(db + ".import.log", "wb")
    import_started = time.monotonic()
    importer = subprocess.Popen([binary, "demo-data", "--db", db, "--seed", "77", "--until", args.until],
                                stdout=subprocess.DEVNULL, stderr=import_log)
    results = []
    latencies = []
    lock = threading.Lock()
    deadline = time.monotonic() + args.import_seconds

    def client(_):
        for _ in range(400):
            if time.monotonic() > deadline or importer.poll() is not None:
                return
            r, ok = login_ok(server.port)
            with lock:
                results.append(ok)
                latencies.append(r.seconds * 1000.0)

    run_threads(4, client)
    still_running = importer.poll() is None
    import_seconds = time.monotonic() - import_started
    if still_running:
        importer.terminate()
    status = importer.wait()
    import_log.close()
    share = 100.0 * sum(results) / len(results) if results else float("nan")
    return {"accepted": "%d/%d" % (sum(results), len(results)), "share": share,
            "login_p50_ms": percentile(latencies, 0.5), "login_max_ms": max(latencies or [float("nan")]),
            "import_cut_short": still_running, "import_status": status, "import_seconds": import_seconds}


def last_day(db, year):
    """The last trading day of the year's main-market table (the demo market's last year)."""
    con = sqlite3.connect(db)
    day = con.execute("SELECT MAX(STK_DATE) FROM STK_DAILY_TSE_%s" % year).fetchone()[0]
    con.close()
    return day


def screening_sql(db, year):
    day = last_day(db, year)
    return ("SELECT a.STK_CD, a.STK_NM, b.MKT_NM, c.STK_DATE, c.E_PRICE, c.RSI FROM STK_INFO a, MKT_INFO b , "
            "STK_DAILY_TSE_%s c WHERE a.MKT_CD = b.MKT_CD AND a.MKT_CD = 11 AND c.RSI <= 40 "
            " AND a.STK_CD = c.STK_CD  AND c.E_PRICE <> 0  AND c.STK_DATE = '%s' ORDER BY a.STK_CD "
            % (day[:4], day))


def scenario_flood(server, args, db):
    sql = screening_sql(db, args.until[:4])
    cookies = []
    for source in ("127.0.1.1", "127.0.1.2"):
        r, ok = login_ok(server.port, source)
        cookies.append(r.cookie() if ok else "")
    stop = time.monotonic() + args.flood_seconds
    flood_sent = [0]
    legit = []
    screening = []
    screening_failed = [0]
    lock = threading.Lock()
    rng = random.Random(7)
    sources = ["127.0.%d.%d" % (2 + i // 200, 10 + i % 200) for i in range(200)]
    flood_threads = args.flood_clients  # enough that the rate holds while the server answers slowly
    interval = flood_threads / args.flood_rate

    def flooder(i):
        next_at = time.monotonic() + i * interval / flood_threads
        while time.monotonic() < stop:
            time.sleep(max(0.0, next_at - time.monotonic()))
            next_at += interval
            with lock:
                user = "u%08d" % rng.randrange(10 ** 8)
                source = rng.choice(sources)
                flood_sent[0] += 1
            exchange(server.port, ["Query", LOGIN.format(user, "pass1234"), DATES], source=source, timeout=10)

    def legit_user(_):
        while time.monotonic() < stop:
            r, ok = login_ok(server.port)
            with lock:
                legit.append((ok, r.seconds * 1000.0))
            time.sleep(0.5)

    def screener(i):
        while time.monotonic() < stop:
            r = exchange(server.port, ["Query", sql], cookie=cookies[i], source="127.0.1.%d" % (i + 1), timeout=30)
            with lock:
                if r.failed():
                    screening_failed[0] += 1
                else:
                    screening.append(r.seconds * 1000.0)

    threads = [threading.Thread(target=flooder, args=(i,)) for i in range(flood_threads)]
    threads += [threading.Thread(target=legit_user, args=(0,))]
    threads += [threading.Thread(target=screener, args=(i,)) for i in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    ok = [ms for good, ms in legit if good]
    return {"flood_attempts": flood_sent[0],
            "flood_rate": flood_sent[0] / args.flood_seconds,
            "logins": "%d/%d" % (len(ok), len(legit)),
            "login_p50_ms": percentile([ms for _, ms in legit], 0.5),
            "login_p99_ms": percentile([ms for _, ms in legit], 0.99),
            "screenings": len(screening), "screening_failed": screening_failed[0],
            "screening_p50_ms": percentile(screening, 0.5),
            "screening_p99_ms": percentile(screening, 0.99)}


def scenario_bigreply(server, args, db):
    r, ok = login_ok(server.port)
    if not ok:
        return {"error": "login failed"}
    statement = "SELECT * FROM STK_DAILY_TSE_%s a" % args.until[:4]
    started = time.monotonic()
    big = exchange(server.port, ["Query"] + [statement] * 32, cookie=r.cookie(), timeout=300)
    seconds = time.monotonic() - started
    after = exchange(server.port, ["Query", DATES], cookie=r.cookie())
    return {"peak_mib": server.peak_mib(), "reply_mib": len(big.text or b"") / 1048576.0,
            "answer": "failure (-99)" if big.failed() else "rows", "seconds": seconds,
            "server_alive": server.alive() and not after.failed()}


def scenario_timing(server, args, binary, db):
    # Users whose hashes were made at the lowest cost, each tried once with a wrong password, against
    # IDs nobody has; every attempt from an address of its own, so that no throttle or delay of
    # repeated failures answers in its place.
    known, unknown = [], []
    for i in range(12):
        subprocess.run([binary, "adduser", "cheap%02d" % i, "cheap123", "安い", "cheap@example.com", "--hash-cost",
                        "min", "--db", db], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for i in range(12):
        for user, into, net in (("cheap%02d" % i, known, 5), ("nobody%02d" % i, unknown, 6)):
            r = exchange(server.port, ["Query", LOGIN.format(user, "wrong999"), DATES], source="127.0.%d.%d" % (net, 10 + i))
            into.append(r.seconds * 1000.0)
    return {"wrong_password_cheap_hash_ms": statistics.median(known), "unknown_id_ms": statistics.median(unknown)}


def prepare(binary, workdir, until):
    db = os.path.join(workdir, "template.db")
    for command in (["init"], ["demo-data", "--until", until],
                    ["adduser", "demo", "demo1234", "デモ", "demo@example.com", "--hash-cost", "interactive"]):
        subprocess.run([binary] + command[:1] + ["--db", db] + command[1:], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return db


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--server", action="append", required=True, help="LABEL=BINARY, in turn order")
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--scenarios", default="parallel,import,flood,timing,bigreply")
    parser.add_argument("--until", default="2010/12/30", help="last day of the demo market")
    parser.add_argument("--import-seconds", type=float, default=25.0)
    parser.add_argument("--import-with", choices=("first", "own"), default="first",
                        help="the import scenario's demo-data: the first build's (the servers compared "
                             "alone) or each build's own (the importer's pauses compared too)")
    parser.add_argument("--flood-seconds", type=float, default=20.0)
    parser.add_argument("--flood-rate", type=float, default=14.0, help="login attempts a second")
    parser.add_argument("--flood-clients", type=int, default=128, help="connections the flood spreads over")
    parser.add_argument("--workdir", help="keep the database here (default: a temporary folder)")
    args = parser.parse_args()
    builds = [tuple(s.split("=", 1)) for s in args.server]
    workdir = args.workdir or tempfile.mkdtemp(prefix="vorteq_attack_")
    os.makedirs(workdir, exist_ok=True)
    template = os.path.join(workdir, "template.db")
    if not os.path.exists(template):
        print("preparing the market with %s ..." % builds[0][0], flush=True)
        prepare(builds[0][1], workdir, args.until)
    results = {}
    for round_no in range(args.rounds):
        for label, binary in builds:
            for scenario in args.scenarios.split(","):
                db = os.path.join(workdir, "run.db")
                for suffix in ("", "-wal", "-shm"):
                    if os.path.exists(db + suffix):
                        os.remove(db + suffix)
                shutil.copyfile(template, db)
                server = Server(binary, db, workdir)
                try:
                    if scenario == "parallel":
                        out = scenario_parallel(server, args)
                    elif scenario == "import":
                        importer = binary if args.import_with == "own" else builds[0][1]
                        out = scenario_import(server, args, importer, db)
                    elif scenario == "flood":
                        out = scenario_flood(server, args, db)
                    elif scenario == "timing":
                        out = scenario_timing(server, args, builds[0][1], db)
                    else:
                        out = scenario_bigreply(server, args, db)
                    out["server_peak_mib"] = server.peak_mib()
                finally:
                    server.stop()
                results.setdefault((scenario, label), []).append(out)
                print("round %d %-8s %-8s %s" % (round_no + 1, scenario, label,
                                                 " ".join("%s=%s" % (k, ("%.1f" % v) if isinstance(v, float) else v)
                                                          for k, v in out.items())), flush=True)
    if not args.workdir:
        shutil.rmtree(workdir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
