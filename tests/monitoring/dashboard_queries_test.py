#!/usr/bin/env python3
"""Every query of the pack's dashboards, run against a real Prometheus that
scrapes two exporters of the built-in simulated machine with the pack's
rules: each must parse and return data.

usage: dashboard_queries_test.py BIN_DIR DASHBOARD.json...
"""
import json
import sys
import time

import fleet_rig

# What Grafana puts in place of its variables, with the rig's 1 s scrapes.
RATE_INTERVAL = "4s"
RANGE = "60s"


def dashboard_queries(path):
    """(panel title, expr, instant) of every target of every panel, and what
    is wrong with the dashboard's variables and data sources."""
    with open(path, encoding="utf-8") as text:
        dashboard = json.load(text)
    variables = {v["name"]: v["type"] for v in dashboard["templating"]["list"]}
    problems = []
    if variables.get("datasource") != "datasource" or "instance" not in variables:
        problems.append("%s: no datasource variable of type datasource, or no instance variable" % path)
    queries = []
    for panel in dashboard["panels"]:
        for place in [panel] + panel.get("targets", []):
            # A data source fixed by uid would not exist where the dashboard is imported.
            if place.get("datasource", {}).get("uid") != "${datasource}":
                problems.append("%s: %s: not on ${datasource}" % (path, panel["title"]))
        for target in panel.get("targets", []):
            queries.append((panel["title"], target["expr"], target.get("instant", False)))
    return queries, problems


def substituted(expr, values):
    for name, value in values.items():
        expr = expr.replace("${%s}" % name, value).replace("$" + name, value)
    return expr


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 64
    rig = fleet_rig.Rig(argv[1])
    failures = []
    try:
        tills = [rig.start_exporter("till-%d" % n, simulate=True) for n in (1, 2)]
        rig.start_prometheus()
        # The built-in machine's scenario takes the Chassis Fan critical every
        # 20 s, long enough for the scaled rules' alert to fire: then every
        # panel, the alerts' too, has something to show.
        rig.wait_for('count(up{job="svcproc"} == 1) == 2', 30, "scrapes of both tills")
        rig.wait_for('ALERTS{alertname="SvcprocSensorCritical", alertstate="firing", instance="%s"}'
                     % tills[0], 60, "firing alert")
        values = {"instance": tills[0], "sensor": "Chassis Fan", "__rate_interval": RATE_INTERVAL,
                  "__range": RANGE}
        count = 0
        for path in argv[2:]:
            queries, problems = dashboard_queries(path)
            failures += problems
            for title, expr, instant in queries:
                count += 1
                query = substituted(expr, values)
                if "$" in query:
                    failures.append("%s: %s: a variable the test does not know: %s" % (path, title, query))
                    continue
                answer = rig.query(query, None if instant else 60)
                if answer.get("status") != "success":
                    failures.append("%s: %s: %s: %s" % (path, title, query, answer.get("error")))
                elif not answer["data"]["result"]:
                    failures.append("%s: %s: no data: %s" % (path, title, query))
        print("%d queries run against %s" % (count, rig.prometheus_url), flush=True)
    except RuntimeError as error:
        failures.append(str(error))
    if failures:
        rig.keep = True
        print("\n".join(failures + ["logs in " + rig.dir]), file=sys.stderr)
    rig.close()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
