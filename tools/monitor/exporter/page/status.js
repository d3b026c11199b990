"use strict";
// Reads the exporter's JSON every few seconds and redraws. Every text that
// comes from the machine goes in through textContent, never as markup.
(function () {
  var REFRESH_MS = 3000;
  var TIMEOUT_MS = 2500;
  var MAX_EVENTS = 30;
  var UNITS = { voltage: "V", fan: "RPM", temperature: "\u00b0C" };
  var GROUPS = { voltage: "Voltages", fan: "Fans", temperature: "Temperatures" };
  var LEVEL_TEXT = { ok: "OK", warning: "WARNING", critical: "CRITICAL" };

  var seen = { levels: {}, alerts: {}, link: null, reachable: null, lastGood: null };
  var events = [];

  function byId(id) { return document.getElementById(id); }

  function element(tag, className, text) {
    var node = document.createElement(tag);
    if (className) { node.className = className; }
    if (text !== undefined && text !== null) { node.textContent = String(text); }
    return node;
  }

  function clock(date) {
    var two = function (n) { return (n < 10 ? "0" : "") + n; };
    return two(date.getHours()) + ":" + two(date.getMinutes()) + ":" + two(date.getSeconds());
  }

  function seconds(value) {
    if (typeof value !== "number") { return "?"; }
    return value < 10 ? value.toFixed(1) + " s" : Math.round(value) + " s";
  }

  function unitOf(sensor) {
    return (sensor.reading && sensor.reading.unit) || UNITS[sensor.kind] || "";
  }

  function limit(thresholds, name) {
    var t = thresholds && thresholds[name];
    return t && typeof t.value === "number" ? t.value : null;
  }

  // "3.135 – 3.465 V", "≥ 700 RPM", "≤ 75 °C", or "" without thresholds;
  // a line may break only between the two sides.
  var NB = "\u00a0";
  function range(low, high, unit) {
    if (low !== null && high !== null) { return low + NB + "\u2013 " + high + NB + unit; }
    if (low !== null) { return "\u2265" + NB + low + NB + unit; }
    if (high !== null) { return "\u2264" + NB + high + NB + unit; }
    return "";
  }

  function outside(low, high, unit) {
    var parts = [];
    if (low !== null) { parts.push("<" + NB + low); }
    if (high !== null) { parts.push(">" + NB + high); }
    return parts.length ? parts.join(" or ") + NB + unit : "";
  }

  var CHANGE_TEXT = { ok: " back to normal", warning: " warning", critical: " critical" };

  function addEvent(at, what, detail, tone, key) {
    if (key) {
      if (seen.alerts[key]) { return; }
      seen.alerts[key] = true;
    }
    events.push({ at: at, what: what, detail: detail, tone: tone });
    events.sort(function (a, b) { return b.at - a.at; });
    events.length = Math.min(events.length, MAX_EVENTS);
  }

  // What the banner says about the link, or null when all is well.
  function linkProblem(doc) {
    var exporter = doc.exporter || {};
    if (doc.startup && doc.startup.result !== 0) {
      return { tone: "down", title: "Service processor not available",
               detail: doc.startup.meaning + " " + doc.startup.advice };
    }
    if (exporter.stale && exporter.snapshotAgeSeconds === null) {
      return { tone: "waiting", title: "Waiting for the first reading", detail: "" };
    }
    if (exporter.stale) {
      return { tone: "down", title: "Service processor not answering",
               detail: "No new reading for " + seconds(exporter.snapshotAgeSeconds) +
                       "; the values shown are the last received." };
    }
    var sp = doc.serviceProcessor;
    if (sp && !sp.answering) {
      var last = null;
      Object.keys(sp.exchanges || {}).forEach(function (kind) {
        var at = sp.exchanges[kind].lastResponse;
        if (at && (!last || at < last)) { last = at; }
      });
      return { tone: "down", title: "Service processor not answering",
               detail: "The values shown are from its last answer" +
                       (last ? " at " + clock(new Date(last)) : "") + "." };
    }
    if (sp && !sp.pollingThreadRunning) {
      return { tone: "waiting", title: "Alert polling stopped",
               detail: "Readings are current; alerts may arrive late." };
    }
    return null;
  }

  function showBanner(problem) {
    var banner = byId("banner");
    banner.hidden = !problem;
    if (!problem) { return; }
    banner.className = "banner banner-" + problem.tone;
    byId("banner-title").textContent = problem.title;
    byId("banner-detail").textContent = problem.detail;
  }

  function showOverall(text, level) {
    var pill = byId("overall");
    pill.textContent = text;
    pill.className = "pill pill-" + level;
  }

  function drawSensors(sensors) {
    var body = byId("sensors").tBodies[0];
    var rows = [];
    var kind = null;
    sensors.forEach(function (sensor) {
      if (sensor.kind !== kind) {
        kind = sensor.kind;
        var group = element("tr", "group");
        var heading = element("th", null, GROUPS[kind] || kind);
        heading.colSpan = 5;
        group.appendChild(heading);
        rows.push(group);
      }
      var level = sensor.reading ? sensor.level : "unknown";
      var row = element("tr", "level-" + level);
      row.dataset.id = sensor.id;
      row.dataset.level = level;
      var name = element("td", "name");
      name.textContent = sensor.description;
      row.appendChild(name);
      row.appendChild(element("td", "num reading", sensor.reading ? sensor.reading.text : "\u2014"));
      var status = element("td");
      status.appendChild(element("span", "badge badge-" + level,
                                 sensor.reading ? LEVEL_TEXT[level] || level : "NOT READ"));
      row.appendChild(status);
      var unit = unitOf(sensor);
      var t = sensor.thresholds;
      row.appendChild(element("td", "limits normal",
          range(limit(t, "lowerNonCritical"), limit(t, "upperNonCritical"), unit)));
      row.appendChild(element("td", "limits critical",
          outside(limit(t, "lowerCritical"), limit(t, "upperCritical"), unit)));
      var fatal = outside(limit(t, "lowerNonRecoverable"), limit(t, "upperNonRecoverable"), unit);
      if (fatal) { row.title = "Non-recoverable: " + fatal; }
      rows.push(row);
    });
    body.replaceChildren.apply(body, rows);
    byId("no-sensors").hidden = sensors.length > 0;
  }

  function drawLeds(leds) {
    var items = leds.map(function (led) {
      var state = led.on === null ? "unknown" : led.on ? "on" : "off";
      var fault = /fault|error|alarm|fail/i.test(led.description) ? " led-fault" : "";
      var item = element("li", "led-" + state + fault);
      item.dataset.id = led.id;
      item.appendChild(element("span", "dot"));
      item.appendChild(element("span", "led-name", led.description));
      item.appendChild(element("span", "led-state", state));
      return item;
    });
    var list = byId("leds");
    list.replaceChildren.apply(list, items);
    byId("no-leds").hidden = leds.length > 0;
  }

  function drawEvents() {
    var items = events.map(function (event) {
      var item = element("li", "event-" + event.tone);
      var time = element("time", null, clock(event.at));
      time.dateTime = event.at.toISOString();
      item.appendChild(time);
      item.appendChild(element("span", "what", event.what));
      if (event.detail) { item.appendChild(element("span", "detail", event.detail)); }
      return item;
    });
    var list = byId("events");
    list.replaceChildren.apply(list, items);
    byId("no-events").hidden = events.length > 0;
  }

  // The exporter's alerts (those between two fetches too), then the level
  // changes it heard no alert for (another process on the till may take them).
  function noteChanges(doc) {
    var alerted = {};
    var listed = {};
    ((doc.exporter && doc.exporter.recentAlerts) || []).forEach(function (alert) {
      var key = alert.time + " " + alert.id + " " + alert.state;
      listed[key] = true;
      if (!seen.alerts[key]) { alerted[alert.id] = true; }
      var asserted = alert.state === "asserted";
      addEvent(new Date(alert.time),
               (alert.description || alert.id) + (asserted ? " critical" : " back to normal"),
               alert.reading ? "Reading " + alert.reading.text : "",
               asserted ? "bad" : "good", key);
    });
    // An alert once off the exporter's list never comes back: forget it, so
    // that a page left open for weeks does not grow.
    seen.alerts = listed;
    var now = new Date();
    (doc.sensors || []).forEach(function (sensor) {
      var before = seen.levels[sensor.id];
      seen.levels[sensor.id] = sensor.level;
      if (before && before !== sensor.level && !alerted[sensor.id]) {
        addEvent(now, sensor.description + (CHANGE_TEXT[sensor.level] || " " + sensor.level),
                 sensor.reading ? "Reading " + sensor.reading.text : "",
                 sensor.level === "ok" ? "good" : "bad");
      }
    });
  }

  function noteLink(problem) {
    var title = problem ? problem.title : "";
    if (seen.link !== null && seen.link !== title) {
      addEvent(new Date(), problem ? problem.title : "Service processor answering again",
               "", problem ? "bad" : "good");
    }
    seen.link = title;
  }

  function noteReachable(reachable) {
    if (seen.reachable !== null && seen.reachable !== reachable) {
      addEvent(new Date(), reachable ? "Monitor reachable again" : "Monitor not reachable",
               "", reachable ? "good" : "bad");
    }
    seen.reachable = reachable;
  }

  function draw(doc) {
    var sensors = doc.sensors || [];
    var critical = 0, warning = 0;
    sensors.forEach(function (sensor) {
      if (sensor.level === "critical") { critical += 1; }
      if (sensor.level === "warning") { warning += 1; }
    });
    var problem = linkProblem(doc);
    noteReachable(true);
    noteLink(problem);
    noteChanges(doc);
    showBanner(problem);
    byId("content").classList.toggle("dimmed", !!problem && problem.tone === "down");
    if (problem && problem.tone === "down") {
      showOverall("No link", "critical");
    } else if (critical) {
      showOverall(critical + " critical", "critical");
    } else if (warning) {
      showOverall(warning + (warning === 1 ? " warning" : " warnings"), "warning");
    } else if (sensors.length) {
      showOverall("All OK", "ok");
    } else {
      showOverall("No data", "unknown");
    }
    byId("counts").textContent = sensors.length ? sensors.length + " sensors" : "";
    byId("updated").textContent = doc.time ? "Read at " + clock(new Date(doc.time)) : "";
    drawSensors(sensors);
    drawLeds(doc.leds || []);
    drawEvents();
    seen.lastGood = new Date();
  }

  function unreachable(reason) {
    noteReachable(false);
    showBanner({ tone: "unreachable", title: "Monitor not reachable",
                 detail: reason + "; retrying every " + REFRESH_MS / 1000 + " s" +
                         (seen.lastGood ? ". Last update at " + clock(seen.lastGood) + "." : ".") });
    showOverall("Not reachable", "unknown");
    byId("content").classList.add("dimmed");
    drawEvents();
  }

  function refresh() {
    var controller = new AbortController();
    var timer = setTimeout(function () { controller.abort(); }, TIMEOUT_MS);
    fetch("/api/v1/sensors", { cache: "no-store", signal: controller.signal,
                               headers: { Accept: "application/json" } })
      .then(function (response) {
        if (!response.ok) { throw new Error("the monitor answered " + response.status); }
        return response.json();
      })
      .then(draw)
      .catch(function (error) {
        var name = error && error.name;
        unreachable(name === "AbortError" ? "no answer within " + TIMEOUT_MS / 1000 + " s"
                    : name === "TypeError" ? "no connection"
                    : (error && error.message) || "request failed");
      })
      .then(function () {
        clearTimeout(timer);
        setTimeout(refresh, REFRESH_MS);
      });
  }

  refresh();
})();
