#!/usr/bin/env bash
# How far one machine goes: N simulated tills (default 50), each a
# svcproc-sim with its own svcproc-monitor exporter, scraped by one real
# Prometheus every 15 s with the monitoring pack's rules, for a few minutes.
# Prints each exporter's resident memory and CPU, Prometheus's head series and
# memory, the scrape durations, and the machine's load while measuring.
#   scripts/fleet-figures.sh [BUILD_DIR [TILLS [SECONDS]]]
#     (defaults: build/default, 50, 180)
# Exit status: 0 with the figures printed, 1 when a measurement failed,
# 2 when the programs are not built or the arguments are wrong.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
tills=${2:-50}
seconds=${3:-180}
for program in svcproc-monitor svcproc-sim; do
  if [ ! -x "$build/bin/$program" ]; then
    echo "fleet-figures: no $build/bin/$program (cmake --build --preset default)" >&2
    exit 2
  fi
done
if ! [[ "$tills" =~ ^[0-9]+$ && "$tills" -ge 1 && "$tills" -le 500 ]] ||
   ! [[ "$seconds" =~ ^[0-9]+$ && "$seconds" -ge 60 && "$seconds" -le 3600 ]]; then
  echo "fleet-figures: TILLS is 1-500 and SECONDS 60-3600" >&2
  exit 2
fi
command -v prometheus >/dev/null || { echo "fleet-figures: no prometheus (scripts/install-deps.sh)" >&2; exit 2; }

PYTHONDONTWRITEBYTECODE=1 PYTHONPATH=tests/monitoring python3 - "$build/bin" "$tills" "$seconds" <<'PY'
import os, statistics, sys, time, urllib.request
import fleet_rig

bin_dir, tills, seconds = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
tick = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / tick


def rss_mib(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


def own_metric(url, name):
    with urllib.request.urlopen(url + "/metrics", timeout=10) as answer:
        for line in answer.read().decode().splitlines():
            if line.startswith(name + " "):
                return float(line.split()[1])
    raise RuntimeError("no " + name)


def scalar(rig, expr):
    result = rig.query(expr)["data"]["result"]
    return float(result[0]["value"][1]) if result else float("nan")


rig = fleet_rig.Rig(bin_dir)
try:
    for n in range(tills):
        till = "till-%03d" % n
        rig.start_simulator(till, fleet_rig.steady_machine(100 + n))
        rig.start_exporter(till)
    rig.start_prometheus(scrape_interval="15s")
    rig.wait_for('count(up{job="svcproc"} == 1) == %d' % tills, 60, "every till scraped")
    time.sleep(15)  # past the first scrapes and their start-up
    exporters = [p.pid for p in rig.exporters.values()]
    load_before = open("/proc/loadavg").read().split()[:3]
    cpu_before = [cpu_seconds(pid) for pid in exporters]
    started = time.monotonic()
    time.sleep(seconds)
    elapsed = time.monotonic() - started
    cpu = [100 * (cpu_seconds(pid) - before) / elapsed for pid, before in zip(exporters, cpu_before)]
    rss = [rss_mib(pid) for pid in exporters]
    load_after = open("/proc/loadavg").read().split()[:3]
    prometheus = rig.processes[-1].pid
    window = "%ds" % seconds
    print("tills: %d, scraped every 15 s, measured over %.0f s" % (tills, elapsed))
    print("machine: %d cores, %s; load average (1, 5, 15 min) %s before, %s after" % (
        os.cpu_count(), os.uname().machine, " ".join(load_before), " ".join(load_after)))
    print("exporter resident memory MiB: median %.1f, max %.1f" % (statistics.median(rss), max(rss)))
    print("exporter CPU %% of one core: median %.3f, max %.3f" % (statistics.median(cpu), max(cpu)))
    print("prometheus_tsdb_head_series: %.0f" % own_metric(rig.prometheus_url, "prometheus_tsdb_head_series"))
    print("prometheus resident memory MiB: %.0f" % (rss_mib(prometheus)))
    print("samples per scrape: %.0f" % scalar(rig, 'avg(scrape_samples_scraped{job="svcproc"})'))
    print("scrape_duration_seconds over the window: median %.4f, p99 %.4f, max %.4f" % (
        scalar(rig, 'quantile(0.5, avg_over_time(scrape_duration_seconds{job="svcproc"}[%s]))' % window),
        scalar(rig, 'quantile(0.99, max_over_time(scrape_duration_seconds{job="svcproc"}[%s]))' % window),
        scalar(rig, 'max(max_over_time(scrape_duration_seconds{job="svcproc"}[%s]))' % window)))
except RuntimeError as error:
    rig.keep = True
    print("fleet-figures: %s (logs in %s)" % (error, rig.dir), file=sys.stderr)
    rig.close()
    sys.exit(1)
rig.close()
PY
