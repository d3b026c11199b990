#!/usr/bin/env python3
"""The monitoring pack end to end: three simulated tills, each with its
exporter, scraped by a real Prometheus with the pack's rules (their `for:`
and ranges scaled down 30 times) that sends to a real Alertmanager, which
notifies a webhook here. One till's Chassis Fan fails, another's service
processor stops; exactly those two alerts must arrive, with the right till,
sensor and severity, and resolve when the faults clear.

usage: fleet_end_to_end_test.py BIN_DIR [--watch]
  --watch  say what happens as it happens, print where Prometheus's and
           Alertmanager's pages are, and keep everything running until
           interrupted (scripts/fleet-demo.sh)
"""
import sys
import time

import fleet_rig

# The fan till's scenario, in seconds from its simulator's start: time for
# everything to start and be scraped, then long enough critical for the
# scaled rule (1 min / 30 = 2 s) and for Alertmanager to notify.
FAN_FAILS_AT = 15.0
FAN_RECOVERS_AT = 35.0
WITHIN = 100  # seconds, for the whole scenario
QUIET_AFTER = 5  # seconds without further notifications at the end


def key(labels):
    return (labels.get("alertname"), labels.get("instance"), labels.get("name", ""),
            labels.get("severity"))


class Scenario:
    def __init__(self, bin_dir, watch):
        self.rig = fleet_rig.Rig(bin_dir)
        self.watch = watch
        self.seen = 0
        self.started = time.monotonic()

    def say(self, text):
        if self.watch:
            print("%5.1f s  %s" % (time.monotonic() - self.started, text), flush=True)

    def notifications(self):
        received = self.rig.webhook.received()
        for arrived, status, labels in received[self.seen:]:
            self.say("notified: %-8s %s" % (status, " ".join("%s=%s" % kv for kv in sorted(labels.items()))))
        self.seen = len(received)
        return received

    def wait_until(self, condition, what):
        deadline = self.started + WITHIN
        while time.monotonic() < deadline:
            if condition(self.notifications()):
                return
            time.sleep(0.2)
        received = ["%s %s" % (status, key(labels)) for _, status, labels in self.notifications()]
        raise RuntimeError("not within %d s: %s; notified: %s" % (WITHIN, what, received or "nothing"))

    def run(self):
        rig = self.rig
        fan_script = [{"at": FAN_FAILS_AT, "value": 0, "ramp": 1.0},
                      {"at": FAN_RECOVERS_AT, "value": 1800, "ramp": 1.0}]
        machines = {"till-fan": fleet_rig.steady_machine(11, fan_script),
                    "till-quiet": fleet_rig.steady_machine(12), "till-calm": fleet_rig.steady_machine(13)}
        instance = {}
        for till, machine in machines.items():
            rig.start_simulator(till, machine)
            instance[till] = rig.start_exporter(till)
            self.say("%s: svcproc-sim and its exporter on http://%s/metrics" % (till, instance[till]))
        rig.start_alertmanager()
        rig.start_prometheus()
        self.say("Prometheus:   %s/alerts" % rig.prometheus_url)
        self.say("Alertmanager: %s/#/alerts" % rig.alertmanager_url)
        rig.wait_for('count(svcproc_up == 1) == 3', 30, "three tills answering")

        self.say("till-quiet: stopping its service processor")
        self.stop_simulator("till-quiet")
        self.say("till-fan: its Chassis Fan fails %.0f s after its start" % FAN_FAILS_AT)

        fan = ("SvcprocSensorCritical", instance["till-fan"], "Chassis Fan", "critical")
        quiet = ("SvcprocServiceProcessorNotAnswering", instance["till-quiet"], "", "critical")
        expected = {fan, quiet}

        def states(received):
            last = {}
            for _, status, labels in received:
                last[key(labels)] = status
            return last

        self.wait_until(lambda r: states(r).get(quiet) == "firing", "till-quiet's alert firing")
        self.say("till-quiet: starting its service processor again")
        self.rig.start_simulator("till-quiet", machines["till-quiet"])
        self.wait_until(lambda r: all(states(r).get(k) == "resolved" for k in expected),
                        "both alerts firing then resolved")
        time.sleep(QUIET_AFTER)
        received = self.notifications()

        problems = []
        for k in sorted(set(key(labels) for _, _, labels in received) - expected):
            problems.append("unexpected alert: %s" % (k,))
        for k in sorted(expected):
            sequence = [status for _, status, labels in received if key(labels) == k]
            if "firing" not in sequence or sequence.index("firing") > sequence.index("resolved"):
                problems.append("%s: notified %s, not firing then resolved" % (k, sequence))
            if sequence[-1] != "resolved":
                problems.append("%s: firing again after it resolved: %s" % (k, sequence))
        self.say("%d notifications, %d alerts, in %.0f s" % (
            len(received), len(set(key(labels) for _, _, labels in received)),
            time.monotonic() - self.started))
        return problems

    def stop_simulator(self, till):
        name = till + ".json"
        for process in self.rig.processes:
            if process.poll() is None and process.args[-1].endswith(name):
                process.terminate()
                process.wait(timeout=10)


def main(argv):
    if len(argv) < 2 or argv[1:] not in ([argv[1]], [argv[1], "--watch"]):
        print(__doc__, file=sys.stderr)
        return 64
    watch = argv[-1] == "--watch"
    scenario = Scenario(argv[1], watch)
    try:
        problems = scenario.run()
    except RuntimeError as error:
        problems = [str(error)]
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        scenario.rig.keep = True
        print("logs in " + scenario.rig.dir, file=sys.stderr)
    elif watch:
        print("All as expected. Still running; interrupt (Ctrl-C) to stop everything.", flush=True)
        while True:  # the rig stops everything on SIGINT/SIGTERM
            scenario.notifications()
            time.sleep(1)
    scenario.rig.close()
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
