#!/usr/bin/env python3
"""The exporter's status page in headless Chromium, against svcproc-sim.

Drives Chromium over its DevTools pipe (standard library only) and checks that
the page renders every sensor, follows a changing reading without a reload,
shows the banner when the service processor stops answering and when the
exporter goes away, and recovers from both. Exit 0 passed, 1 failed, 77
skipped (no Chromium).

status_page_test.py MONITOR SIM MACHINE_JSON OUTPUT_DIR
"""
import base64
import hashlib
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.request

SKIP = 77


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(what, probe, timeout):
    """probe() until it returns something true; that value."""
    deadline = time.monotonic() + timeout
    last = None
    while time.monotonic() < deadline:
        last = probe()
        if last:
            return last
        time.sleep(0.2)
    raise Failure("timed out waiting for " + what + "; last seen: " + repr(last))


class Browser:
    """Chromium with --remote-debugging-pipe: NUL-terminated JSON on fds 3/4."""

    def __init__(self, profile):
        to_chrome_r, self.to_chrome = os.pipe()
        self.from_chrome, from_chrome_w = os.pipe()

        def arrange():  # in the child: its fd 3 reads our commands, fd 4 answers
            high_in, high_out = os.dup(to_chrome_r), os.dup(from_chrome_w)
            os.dup2(high_in, 3)
            os.dup2(high_out, 4)

        args = [chromium(), "--headless=new", "--remote-debugging-pipe",
                "--user-data-dir=" + profile, "--no-first-run", "--no-default-browser-check",
                "--disable-gpu", "--window-size=800,600", "about:blank"]
        if os.geteuid() == 0:
            args.insert(1, "--no-sandbox")  # Chromium refuses root otherwise
        self.process = subprocess.Popen(args, preexec_fn=arrange, pass_fds=(3, 4),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_chrome_r)
        os.close(from_chrome_w)
        self.buffer = b""
        self.next_id = 0
        self.session = None

    def call(self, method, params=None, timeout=20):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if self.session:
            message["sessionId"] = self.session
        os.write(self.to_chrome, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            while b"\0" in self.buffer:
                raw, self.buffer = self.buffer.split(b"\0", 1)
                answer = json.loads(raw)
                if answer.get("id") == self.next_id:
                    check("error" not in answer, method + ": " + json.dumps(answer.get("error")))
                    return answer.get("result", {})
            left = deadline - time.monotonic()
            check(left > 0 and select.select([self.from_chrome], [], [], left)[0],
                  "Chromium did not answer " + method)
            chunk = os.read(self.from_chrome, 1 << 16)
            check(chunk, "Chromium closed its pipe")
            self.buffer += chunk

    def open(self, url):
        target = self.call("Target.createTarget", {"url": url})["targetId"]
        self.session = self.call("Target.attachToTarget",
                                 {"targetId": target, "flatten": True})["sessionId"]
        # A till's small screen.
        self.call("Emulation.setDeviceMetricsOverride",
                  {"width": 800, "height": 600, "deviceScaleFactor": 1, "mobile": False})

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True})
        check("exceptionDetails" not in result, "page script failed: " + expression)
        return result["result"].get("value")

    def screenshot(self, path):
        with open(path, "wb") as out:
            out.write(base64.b64decode(self.call("Page.captureScreenshot")["data"]))

    def close(self):
        self.process.kill()
        self.process.wait()
        os.close(self.to_chrome)
        os.close(self.from_chrome)


def chromium():
    return shutil.which("chromium") or shutil.which("chromium-browser")


# What the page shows, as plain data.
PAGE_STATE = """JSON.stringify({
  rows: Array.from(document.querySelectorAll('#sensors tbody tr[data-id]')).map(r => ({
    id: r.dataset.id, level: r.dataset.level, name: r.cells[0].textContent,
    reading: r.cells[1].textContent, markup: r.cells[0].children.length})),
  leds: document.querySelectorAll('#leds li').length,
  banner: document.getElementById('banner').hidden ? '' :
          document.getElementById('banner-title').textContent,
  events: Array.from(document.querySelectorAll('#events li')).map(e => e.textContent),
  probe: window.statusPageProbe || 0})"""


def page_state(browser):
    return json.loads(browser.evaluate(PAGE_STATE))


def fetch(url):
    with urllib.request.urlopen(url, timeout=5) as answer:
        return answer.headers, answer.read().decode()


def check_served_page(base, telemetry_path):
    headers, body = fetch(base + "/")
    policy = headers.get("Content-Security-Policy", "")
    # Every inline script and style must be allowed by its digest, and only
    # those: a stale digest would leave the page dead.
    for tag, directive in (("script", "script-src"), ("style", "style-src")):
        blocks = re.findall(r"<%s>(.*?)</%s>" % (tag, tag), body, re.S)
        check(len(blocks) == 1, "expected one inline " + tag)
        digest = base64.b64encode(hashlib.sha256(blocks[0].encode()).digest()).decode()
        check(re.search(r"%s 'sha256-%s'[;]" % (directive, re.escape(digest)), policy),
              tag + " digest not in the policy: " + policy)
    check('href="%s"' % telemetry_path in body, "no link to " + telemetry_path)
    for sink in ("innerHTML", "outerHTML", "insertAdjacentHTML", "document.write"):
        check(sink not in body, "the page uses " + sink)
    _, document = fetch(base + "/api/v1/sensors")
    return json.loads(document)


def start(args, log, line, env=None):
    """Starts a program with its output to `log`; it and the match of `line`."""
    with open(log, "w") as out:
        process = subprocess.Popen(args, env=env, stdout=out, stderr=subprocess.STDOUT)

    def started():
        check(process.poll() is None, "%s ended: %s" % (args[0], open(log).read()))
        return re.search(line, open(log).read())
    return process, wait_for(args[0] + " to start", started, 30)


class Exporter:
    def __init__(self, monitor, work, device_dir, listen, telemetry_path):
        self.process, serving = start(
            [monitor, "--interval", "0.5", "--listen", listen,
             "--web.telemetry-path", telemetry_path], os.path.join(work, "exporter.log"),
            r"serving (http://[^/]+)", dict(os.environ, SVCP_DEVICE_DIR=device_dir))
        self.base = serving.group(1)

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(timeout=20)


def run(monitor, sim, machine_file, output_dir, work):
    # The built-in machine, its scenario every 10 s with the Chassis Fan
    # stalled for 4 s of them (longer than a refresh), and one description
    # that looks like markup: the page must show it as text.
    with open(machine_file) as source:
        machine = json.load(source)
    machine["repeat"] = 10
    markup_name = "Ambient <i>Temp</i> & Co"
    for sensor in machine["sensors"]:
        if sensor["description"] == "Ambient Temperature":
            sensor["description"] = markup_name
        if sensor["description"] == "Chassis Fan":
            sensor["behaviour"]["script"] = [{"at": 1.0, "value": 0, "ramp": 1.0},
                                             {"at": 6.5, "value": 1800, "ramp": 0.5}]
    machine_path = os.path.join(work, "machine.json")
    with open(machine_path, "w") as out:
        json.dump(machine, out)
    device_dir = os.path.join(work, "devices")
    os.mkdir(device_dir)

    simulator, _ = start([sim, "--device-dir", device_dir, "--quiet", machine_path],
                         os.path.join(work, "sim.log"), "serving")
    exporter = browser = None
    try:
        telemetry_path = "/probe/metrics"
        exporter = Exporter(monitor, work, device_dir, "127.0.0.1:0", telemetry_path)
        document = wait_for("the first collection", lambda: (lambda d: d if d["sensors"] else None)(
            check_served_page(exporter.base, telemetry_path)), 20)

        browser = Browser(os.path.join(work, "profile"))
        browser.open(exporter.base + "/")
        wait_for("the page to load", lambda: browser.evaluate(
            "document.readyState === 'complete' && !!document.getElementById('banner')"), 30)
        expected = [(s["id"], s["description"]) for s in document["sensors"]]
        state = wait_for("the sensors' rows", lambda: (lambda s: s if len(s["rows"]) == len(
            expected) else None)(page_state(browser)), 30)
        check([(r["id"], r["name"]) for r in state["rows"]] == expected,
              "rows differ from the sensors: %r" % state["rows"])
        check(state["leds"] == len(document["leds"]), "LEDs missing")
        units = {s["id"]: s["reading"]["unit"] for s in document["sensors"]}
        for row in state["rows"]:
            check(re.fullmatch(r"-?[0-9.]+ " + re.escape(units[row["id"]]), row["reading"]),
                  "reading not shown: %r" % row)
        markup_row = [r for r in state["rows"] if r["name"] == markup_name]
        check(markup_row and markup_row[0]["markup"] == 0, "a description became markup")
        check(state["banner"] == "", "banner while all answers: " + state["banner"])

        # A reading changing under the open page: the Chassis Fan stalls and
        # recovers every 10 s.
        browser.evaluate("window.statusPageProbe = 1")

        def fan(level, test):
            def probe():
                rows = [r for r in page_state(browser)["rows"] if r["name"] == "Chassis Fan"]
                rpm = float(rows[0]["reading"].split()[0]) if rows else -1
                return rows and rows[0]["level"] == level and test(rpm)
            return probe
        wait_for("the fan stalled", fan("critical", lambda rpm: rpm < 500), 25)
        browser.screenshot(os.path.join(output_dir, "status-page.png"))
        wait_for("the fan running again", fan("ok", lambda rpm: rpm >= 1000), 25)
        state = page_state(browser)
        check(state["probe"] == 1, "the page reloaded instead of updating")
        check(any("Chassis Fan critical" in e for e in state["events"]),
              "no event for the stall: %r" % state["events"])

        # The service processor stops answering, then answers again.
        simulator.send_signal(signal.SIGSTOP)
        try:
            wait_for("the no-link banner", lambda: page_state(browser)["banner"] ==
                     "Service processor not answering", 20)
            browser.screenshot(os.path.join(output_dir, "status-page-no-link.png"))
        finally:
            simulator.send_signal(signal.SIGCONT)
        wait_for("the banner to clear", lambda: page_state(browser)["banner"] == "", 30)

        # The exporter goes away: the page says so and keeps asking.
        listen = exporter.base[len("http://"):]
        exporter.stop()
        exporter = None
        wait_for("the unreachable banner",
                 lambda: page_state(browser)["banner"] == "Monitor not reachable", 15)
        exporter = Exporter(monitor, work, device_dir, listen, telemetry_path)
        wait_for("the page to recover", lambda: (lambda s: s["banner"] == "" and len(
            s["rows"]) == len(expected))(page_state(browser)), 20)
        check(page_state(browser)["probe"] == 1, "the page reloaded")
    finally:
        if browser:
            browser.close()
        if exporter:
            exporter.stop()
        simulator.send_signal(signal.SIGCONT)
        simulator.terminate()
        simulator.wait(timeout=20)


def main():
    if len(sys.argv) != 5:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 64
    if not chromium():
        print("chromium is not installed (scripts/install-deps.sh): skipped")
        return SKIP
    monitor, sim, machine_file, output_dir = sys.argv[1:]
    os.makedirs(output_dir, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="svcp-status-page-") as work:
        try:
            run(monitor, sim, machine_file, output_dir, work)
        except Failure as failure:
            print("FAILED: " + str(failure))
            return 1
    print("passed; screenshots in " + output_dir)
    return 0


if __name__ == "__main__":
    sys.exit(main())
