#!/usr/bin/env bash
# The exporter's figures on this machine: resident memory and CPU at idle and
# under 10 scrapers at 1/s; scrape latency (p50, p99) on a quiet server,
# beside 200 idle and 8 dripping connections, and among 50 kept-alive
# clients. Runs the built svcproc-monitor on its built-in machine
# (--simulate, 127.0.0.1, a free port) for about a minute.
#   scripts/exporter-figures.sh [BUILD_DIR]     (default: build/default)
# Exit status: 0 with the figures printed, 1 when a measurement failed,
# 2 when the monitor is not built or does not start.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
monitor=$build/bin/svcproc-monitor
if [ ! -x "$monitor" ]; then
  echo "exporter-figures: no $monitor (cmake --build --preset default --target svcproc-monitor)" >&2
  exit 2
fi

work=$(mktemp -d)
pid=""
# The exporter (once started) is stopped and its scratch folder removed however
# the script ends.
trap '[ -z "$pid" ] || { kill "$pid"; wait "$pid"; } 2>/dev/null || true; rm -rf "$work"' EXIT

SVCP_DEVICE_DIR= "$monitor" --simulate --listen 127.0.0.1:0 >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 100); do
  grep -q "serving http://" "$work/out" 2>/dev/null && break
  sleep 0.1
done
port=$(sed -n 's|.*serving http://127.0.0.1:\([0-9]*\)/metrics.*|\1|p' "$work/out")
if [ -z "$port" ]; then
  echo "exporter-figures: the exporter did not start:" >&2
  cat "$work/err" >&2
  exit 2
fi

python3 - "$pid" "$port" <<'EOF'
import os, socket, statistics, sys, threading, time

pid, port = int(sys.argv[1]), int(sys.argv[2])
tick = os.sysconf("SC_CLK_TCK")
REQUEST = b"GET /metrics HTTP/1.1\r\nHost: till\r\n\r\n"


def cpu_seconds():
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / tick


def memory(name):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith(name + ":"):
                return int(line.split()[1]) / 1024
    return float("nan")


def read_response(sock, pending=b""):
    while b"\r\n\r\n" not in pending:
        chunk = sock.recv(65536)
        if not chunk:
            raise ConnectionError("closed before the answer")
        pending += chunk
    head, _, rest = pending.partition(b"\r\n\r\n")
    if not head.startswith(b"HTTP/1.1 200"):
        raise ConnectionError(head.split(b"\r\n")[0].decode(errors="replace"))
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value)
    while len(rest) < length:
        chunk = sock.recv(65536)
        if not chunk:
            raise ConnectionError("closed in the body")
        rest += chunk
    return rest[length:]


def scrape_once():
    start = time.perf_counter()
    with socket.create_connection(("127.0.0.1", port), timeout=10) as sock:
        sock.sendall(REQUEST)
        read_response(sock)
    return time.perf_counter() - start


def percentiles(samples):
    ordered = sorted(samples)
    p99 = ordered[min(len(ordered) - 1, int(len(ordered) * 0.99))]
    return f"p50 {statistics.median(ordered) * 1000:7.2f} ms   p99 {p99 * 1000:7.2f} ms   ({len(ordered)} scrapes)"


def usage_over(seconds, load=None):
    stop = threading.Event()
    workers = [threading.Thread(target=job, args=(stop,)) for job in (load or [])]
    for worker in workers:
        worker.start()
    time.sleep(1)  # the load settles
    cpu0, t0 = cpu_seconds(), time.monotonic()
    rss = []
    while time.monotonic() - t0 < seconds:
        time.sleep(0.5)
        rss.append(memory("VmRSS"))
    cpu = (cpu_seconds() - cpu0) / (time.monotonic() - t0) * 100
    stop.set()
    for worker in workers:
        worker.join()
    return f"resident {max(rss):5.1f} MB   CPU {cpu:5.2f} % of one core"


failures = []


def scraper_at_1hz(stop):
    while not stop.is_set():
        begun = time.monotonic()
        try:
            scrape_once()
        except OSError as error:
            failures.append(f"10 scrapers: {error}")
        stop.wait(max(0.0, 1.0 - (time.monotonic() - begun)))


print(f"svcproc-monitor --simulate on 127.0.0.1:{port}, {os.cpu_count()} cores")
print(f"idle (10 s):                       {usage_over(10)}")
print(f"10 scrapers at 1/s (10 s):         {usage_over(10, [scraper_at_1hz] * 10)}")

quiet = [scrape_once() for _ in range(300)]
print(f"scrape latency, quiet:             {percentiles(quiet)}")

# 200 idle and 8 dripping connections, reopened as the exporter drops them,
# while one client scrapes every 50 ms.
stop = threading.Event()


def hostile():
    idle, dripping = [], []
    while not stop.is_set():
        for group, size in ((idle, 200), (dripping, 8)):
            while len(group) < size:
                try:
                    group.append(socket.create_connection(("127.0.0.1", port), timeout=1))
                except OSError:
                    break
        for sock in list(dripping):
            try:
                sock.send(b"G")
            except OSError:
                dripping.remove(sock)
                sock.close()
        for sock in list(idle):
            try:  # closed by the exporter: readable with nothing to read
                sock.setblocking(False)
                if sock.recv(1) == b"":
                    raise ConnectionError
            except BlockingIOError:
                pass
            except OSError:
                idle.remove(sock)
                sock.close()
        stop.wait(1.0)
    for sock in idle + dripping:
        sock.close()


attacker = threading.Thread(target=hostile)
attacker.start()
time.sleep(2)
beside = []
end = time.monotonic() + 10
while time.monotonic() < end:
    try:
        beside.append(scrape_once())
    except OSError as error:
        failures.append(f"beside idle and dripping: {error}")
    time.sleep(0.05)
stop.set()
attacker.join()
print(f"scrape latency, 200 idle + 8 drip: {percentiles(beside)}")

# 50 clients, each on one kept-alive connection, scraping every 100 ms.
kept = []
kept_lock = threading.Lock()
stop = threading.Event()


def kept_alive_client():
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=10) as sock:
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            pending = b""
            while not stop.is_set():
                start = time.perf_counter()
                sock.sendall(REQUEST)
                pending = read_response(sock, pending)
                took = time.perf_counter() - start
                with kept_lock:
                    kept.append(took)
                stop.wait(0.1)
    except OSError as error:
        failures.append(f"kept-alive client: {error}")


clients = [threading.Thread(target=kept_alive_client) for _ in range(50)]
for client in clients:
    client.start()
time.sleep(10)
stop.set()
for client in clients:
    client.join()
print(f"scrape latency, 50 kept-alive:     {percentiles(kept)}")
print(f"peak resident (VmHWM):             {memory('VmHWM'):5.1f} MB")

if failures:
    print(f"{len(failures)} failed scrapes, the first: {failures[0]}", file=sys.stderr)
    sys.exit(1)
EOF
