"""A fleet of simulated tills on this machine, with a real Prometheus and
Alertmanager loaded with the monitoring pack: what the pack's tests and
scripts/fleet-demo.sh start.

Everything runs in one private temporary directory, on free loopback ports,
and is stopped (and the directory removed) by close(), also on SIGINT/SIGTERM.
"""
import ctypes
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import urllib.parse
import urllib.request
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RULES = os.path.join(SOURCE_DIR, "monitoring", "rules", "svcproc.yml")
POS_TERMINAL = os.path.join(SOURCE_DIR, "sim", "machines", "pos-terminal.json")

_DURATION = re.compile(r"(\d+)([smhd])")
_SECONDS = {"s": 1, "m": 60, "h": 3600, "d": 86400}


def scaled_rules(text, factor):
    """The rules with every `for:` and range selector divided by `factor`
    (at least 1 s), so that a test sees in seconds what takes minutes."""

    def scale(match):
        seconds = int(match.group(1)) * _SECONDS[match.group(2)]
        return "%ds" % max(1, round(seconds / factor))

    text = re.sub(r"(for:\s*)(\d+[smhd])", lambda m: m.group(1) + _DURATION.sub(scale, m.group(2)), text)
    return re.sub(r"\[(\d+[smhd])\]", lambda m: "[" + _DURATION.sub(scale, m.group(1)) + "]", text)


def steady_machine(seed, fan_script=None):
    """The built-in POS terminal without its scenario: steady readings with
    noise; `fan_script` (steps) drives the Chassis Fan."""
    with open(POS_TERMINAL, encoding="utf-8") as text:
        machine = json.load(text)
    machine.pop("repeat", None)
    machine["seed"] = seed
    for sensor in machine["sensors"]:
        sensor.get("behaviour", {}).pop("script", None)
        if fan_script and sensor["description"] == "Chassis Fan":
            sensor["behaviour"]["script"] = fan_script
    return machine


def _die_with_parent():
    # Even a rig killed outright (a test's timeout) leaves no process behind.
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Webhook:
    """Alertmanager's receiver: records every notification's alerts."""

    def __init__(self):
        self.lock = threading.Lock()
        self.alerts = []  # (arrival seconds, status, labels)
        rig = self

        class Handler(BaseHTTPRequestHandler):
            def do_POST(self):
                length = min(int(self.headers.get("Content-Length", "0")), 1 << 20)
                body = json.loads(self.rfile.read(length) or b"{}")
                with rig.lock:
                    for alert in body.get("alerts", []):
                        rig.alerts.append((time.monotonic(), alert["status"], alert["labels"]))
                self.send_response(200)
                self.end_headers()

            def log_message(self, *args):
                pass

        self.server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = "http://127.0.0.1:%d/" % self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def received(self):
        with self.lock:
            return list(self.alerts)


class Rig:
    def __init__(self, bin_dir, time_scale=30, keep=False):
        self.bin_dir = bin_dir
        self.time_scale = time_scale
        self.keep = keep
        self.dir = tempfile.mkdtemp(prefix="svcproc-fleet-")
        self.processes = []
        self.targets = []
        self.exporters = {}  # till: its exporter's process
        self.webhook = None
        self.prometheus_url = None
        self.alertmanager_url = None
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(sig, self._on_signal)

    def _on_signal(self, number, _frame):
        self.close()
        raise SystemExit(128 + number)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def _spawn(self, name, argv, env=None):
        log = open(self.path(name + ".log"), "wb")
        process = subprocess.Popen(argv, stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                   env=dict(os.environ, **(env or {})), preexec_fn=_die_with_parent)
        log.close()
        self.processes.append(process)
        return process

    def _wait_for_log(self, name, pattern, process, within=20):
        deadline = time.monotonic() + within
        while time.monotonic() < deadline:
            with open(self.path(name + ".log"), encoding="utf-8", errors="replace") as text:
                found = re.search(pattern, text.read())
            if found:
                return found
            if process.poll() is not None:
                break
            time.sleep(0.05)
        raise RuntimeError("%s did not start: see %s" % (name, self.path(name + ".log")))

    # --- tills -----------------------------------------------------------

    def start_simulator(self, till, machine):
        """A service processor of its own for `till`; returns its process."""
        device_dir = self.path(till + ".dev")
        os.makedirs(device_dir, exist_ok=True)
        description = self.path(till + ".json")
        with open(description, "w", encoding="utf-8") as text:
            json.dump(machine, text)
        name = till + "-sim"
        process = self._spawn(name, [os.path.join(self.bin_dir, "svcproc-sim"), "--quiet",
                                     "--device-dir", device_dir, description])
        self._wait_for_log(name, r"svcproc-sim: serving", process)
        return process

    def start_exporter(self, till, simulate=False):
        """svcproc-monitor --listen for `till` (bound to its simulator, or
        to the built-in simulated machine); returns its host:port."""
        argv = [os.path.join(self.bin_dir, "svcproc-monitor"), "--listen", "127.0.0.1:0"]
        argv += ["--simulate"] if simulate else []
        # Only this till's simulator, never one found elsewhere on the machine.
        env = {"SVCP_DEVICE_DIR": "" if simulate else self.path(till + ".dev")}
        name = till + "-exporter"
        process = self._spawn(name, argv, env)
        address = self._wait_for_log(name, r"serving http://([0-9.:]+)/metrics", process).group(1)
        self.exporters[till] = process
        self.targets.append(address)
        self._write_targets()
        return address

    def _write_targets(self):
        # Written aside and renamed: Prometheus never reads half a file.
        with open(self.path("tills.json.new"), "w", encoding="utf-8") as text:
            json.dump([{"targets": self.targets, "labels": {"site": "test"}}], text)
        os.replace(self.path("tills.json.new"), self.path("tills.json"))

    # --- Prometheus and Alertmanager ----------------------------------------

    def start_alertmanager(self):
        self.webhook = Webhook()
        config = {
            "route": {"receiver": "test", "group_by": ["alertname", "instance"], "group_wait": "1s",
                      "group_interval": "1s", "repeat_interval": "1h"},
            "receivers": [{"name": "test", "webhook_configs": [{"url": self.webhook.url,
                                                                "send_resolved": True}]}],
        }
        with open(self.path("alertmanager.yml"), "w", encoding="utf-8") as text:
            json.dump(config, text)  # JSON is YAML
        port = free_port()
        process = self._spawn("alertmanager", [
            "/usr/bin/prometheus-alertmanager", "--config.file=" + self.path("alertmanager.yml"),
            "--storage.path=" + self.path("alertmanager-data"), "--cluster.listen-address=",
            "--web.listen-address=127.0.0.1:%d" % port])
        self.alertmanager_url = "http://127.0.0.1:%d" % port
        self._wait_ready(self.alertmanager_url + "/-/ready", process, "alertmanager")

    def start_prometheus(self, scrape_interval="1s"):
        with open(RULES, encoding="utf-8") as text:
            rules = scaled_rules(text.read(), self.time_scale)
        with open(self.path("svcproc.rules.yml"), "w", encoding="utf-8") as text:
            text.write(rules)
        config = {
            "global": {"scrape_interval": scrape_interval, "evaluation_interval": scrape_interval,
                       "scrape_timeout": scrape_interval},
            "rule_files": [self.path("svcproc.rules.yml")],
            "scrape_configs": [{"job_name": "svcproc", "file_sd_configs": [
                {"files": [self.path("tills.json")], "refresh_interval": "5s"}]}],
        }
        if self.alertmanager_url:
            config["alerting"] = {"alertmanagers": [{"static_configs": [
                {"targets": [self.alertmanager_url[len("http://"):]]}]}]}
        with open(self.path("prometheus.yml"), "w", encoding="utf-8") as text:
            json.dump(config, text)
        port = free_port()
        process = self._spawn("prometheus", [
            "/usr/bin/prometheus", "--config.file=" + self.path("prometheus.yml"),
            "--storage.tsdb.path=" + self.path("prometheus-data"),
            "--web.listen-address=127.0.0.1:%d" % port, "--rules.alert.resend-delay=1s"])
        self.prometheus_url = "http://127.0.0.1:%d" % port
        self._wait_ready(self.prometheus_url + "/-/ready", process, "prometheus")

    def _wait_ready(self, url, process, name, within=30):
        deadline = time.monotonic() + within
        while time.monotonic() < deadline:
            if process.poll() is not None:
                break
            try:
                with urllib.request.urlopen(url, timeout=2) as answer:
                    if answer.status == 200:
                        return
            except OSError:
                pass
            time.sleep(0.1)
        raise RuntimeError("%s is not ready: see %s" % (name, self.path(name + ".log")))

    def query(self, expr, range_seconds=None):
        """Prometheus's answer to `expr` (an instant query, or a range query
        over the last `range_seconds` at 1 s steps) as decoded JSON."""
        if range_seconds:
            now = time.time()
            params = {"query": expr, "start": now - range_seconds, "end": now, "step": 1}
            url = self.prometheus_url + "/api/v1/query_range?" + urllib.parse.urlencode(params)
        else:
            url = self.prometheus_url + "/api/v1/query?" + urllib.parse.urlencode({"query": expr})
        try:
            with urllib.request.urlopen(url, timeout=10) as answer:
                return json.load(answer)
        except urllib.error.HTTPError as error:  # a bad query: 400 with a JSON body
            return json.load(error)

    def wait_for(self, expr, within, describe):
        """Waits until `expr` returns anything; raises after `within` s."""
        deadline = time.monotonic() + within
        while time.monotonic() < deadline:
            if self.query(expr).get("data", {}).get("result"):
                return
            time.sleep(0.5)
        raise RuntimeError("no %s within %d s (%s)" % (describe, within, expr))

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
        for process in reversed(self.processes):
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        self.processes = []
        if self.webhook:
            self.webhook.server.shutdown()
            self.webhook = None
        if not self.keep and os.path.isdir(self.dir):
            shutil.rmtree(self.dir, ignore_errors=True)
