// kolvane report: draws the embedded data with uPlot. Every text goes in through textContent.
// Times arrive as UTC; a meter's are shown on its clock's wall time with the offsets from UTC the
// report worked out for its zone, so that axes, hover and tables agree across clock changes.
"use strict";
(function () {
  const errors = [];
  window.addEventListener("error", (e) => errors.push(String(e.message)));
  const consoleError = console.error.bind(console);
  console.error = (...args) => { errors.push(args.join(" ")); consoleError(...args); };

  const data = JSON.parse(document.getElementById("kolvane-data").textContent);
  const root = document.getElementById("report");
  const palette = ["#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b", "#e377c2", "#17becf",
                   "#bcbd22", "#7f7f7f"];
  const charts = [];
  const MINUTE = 60, HOUR = 3600, DAY = 86400;

  function el(tag, parent, text, cls) {
    const node = document.createElement(tag);
    if (text !== undefined && text !== null) node.textContent = String(text);
    if (cls) node.className = cls;
    if (parent) parent.appendChild(node);
    return node;
  }
  function table(parent, head, rows) {
    const t = el("table", parent);
    const tr = el("tr", el("thead", t));
    head.forEach((h) => el("th", tr, h));
    const body = el("tbody", t);
    rows.forEach((row) => { const r = el("tr", body); row.forEach((cell) => el("td", r, cell)); });
    return t;
  }
  function cards(parent, items) {
    const box = el("div", parent, null, "cards");
    items.forEach(([label, value]) => { const c = el("div", box, null, "card"); el("b", c, value); el("span", c, label); });
  }
  const width = () => Math.max(480, Math.min(1100, root.clientWidth || 1100));
  const pad = (n) => String(n).padStart(2, "0");
  const number = (v) => String(+v.toFixed(Math.abs(v) >= 100 ? 1 : 3));
  const withUnit = (v, unit) => (v == null || Number.isNaN(v) ? "–" : number(v) + (unit ? " " + unit : ""));

  // The wall clock of zone `name`: offsets from UTC as [[from, seconds], ...], each holding from
  // its time on, the first also before it.
  function zoneClock(name) {
    const offsets = data.zones[name] || [[0, 0]];
    function offsetAt(t) {
      let lo = 0, hi = offsets.length - 1;
      while (lo < hi) {
        const mid = (lo + hi + 1) >> 1;
        if (offsets[mid][0] <= t) lo = mid; else hi = mid - 1;
      }
      return offsets[lo][1];
    }
    const kinds = [...new Set(offsets.map((o) => o[1]))];
    // The instants whose wall time is `w` (seconds since 1970 as if the wall clock were UTC):
    // none in an hour the clock skips, two in one it repeats.
    const instants = (w) => kinds.map((o) => w - o).filter((t) => t + offsetAt(t) === w).sort((a, b) => a - b);
    // A Date whose UTC fields are the wall clock's at `t`.
    const wall = (t) => new Date(Math.round((t + offsetAt(t)) * 1000));
    const date = (d) => `${d.getUTCFullYear()}-${pad(d.getUTCMonth() + 1)}-${pad(d.getUTCDate())}`;
    const clock = (d, seconds) => `${pad(d.getUTCHours())}:${pad(d.getUTCMinutes())}` +
                                  (seconds ? `:${pad(d.getUTCSeconds())}` : "");
    const offsetText = (o) => `${o < 0 ? "-" : "+"}${pad(Math.floor(Math.abs(o) / HOUR))}:` +
                              pad(Math.floor((Math.abs(o) % HOUR) / MINUTE));
    // "2026-03-01 13:15" (seconds when it has them), with the offset in an hour the clock repeats.
    function text(t) {
      const d = wall(t);
      const shown = `${date(d)} ${clock(d, d.getUTCSeconds() !== 0)}`;
      const repeated = instants(Math.floor(t) + offsetAt(t)).length > 1;
      return repeated ? `${shown} ${offsetText(offsetAt(t))}` : shown;
    }
    return { name, offsetAt, instants, wall, date, clock, text };
  }
  const utcClock = zoneClock("UTC");
  // A UTC text of the report as a time of `zone`; "-" for none.
  function when(zone, text) {
    const ms = text ? Date.parse(text) : NaN;
    return Number.isNaN(ms) ? text || "-" : zone.text(ms / 1000);
  }
  const utcWhen = (text) => (text ? `${when(utcClock, text)} UTC` : "-");

  const CLOCK_STEPS = [1, 2, 5, 10, 15, 30, MINUTE, 2 * MINUTE, 5 * MINUTE, 10 * MINUTE, 15 * MINUTE, 30 * MINUTE,
                       HOUR, 2 * HOUR, 3 * HOUR, 6 * HOUR, 12 * HOUR];
  const DAY_STEPS = [1, 2, 7, 14];
  const MONTH_STEPS = [1, 2, 3, 6];
  const YEAR_STEPS = [1, 2, 5, 10, 20, 50, 100, 200, 500, 1000];

  // About `count` ticks at most between min and max (UTC seconds), at round times of the zone's
  // wall clock: [[time, label]]. Clock times carry the date under the first tick of each day; dates
  // go at midnight, or with `middays` in the middle of their day, under its bar.
  function timeTicks(zone, min, max, count, middays) {
    const least = (max - min) / Math.max(1, count);
    const wmin = Math.floor(min) + zone.offsetAt(min), wmax = Math.ceil(max) + zone.offsetAt(max);
    const ticks = [];
    const step = CLOCK_STEPS.find((s) => s >= least);
    if (step !== undefined) {
      let previous = null;
      for (let w = Math.floor(wmin / step) * step; w <= wmax; w += step) {
        zone.instants(w).filter((t) => t >= min && t <= max).forEach((t) => {
          const d = zone.wall(t), day = zone.date(d);
          ticks.push([t, zone.clock(d, step < MINUTE) + (day !== previous ? "\n" + day : "")]);
          previous = day;
        });
      }
      return ticks;
    }
    // Where the wall clock shows midnight `w`; when it skips that midnight, where the day begins.
    const midnight = (w) => zone.instants(w)[0] ?? zone.instants(w + HOUR)[0];
    const at = (t, label) => { if (t >= min && t <= max) ticks.push([t, label]); };
    const days = DAY_STEPS.find((k) => k * DAY >= least);
    if (days !== undefined) {
      for (let w = Math.floor(wmin / DAY) * DAY - DAY; w <= wmax; w += DAY) {
        const n = w / DAY;  // 1970-01-01 was a Thursday: weeks begin on Mondays
        if ((days >= 7 ? n + 3 : n) % days !== 0) continue;
        const t = middays ? (midnight(w) + midnight(w + DAY)) / 2 : midnight(w);
        at(t, zone.date(new Date(w * 1000)));
      }
      return ticks;
    }
    const first = new Date(wmin * 1000);
    const months = MONTH_STEPS.find((k) => k * 28 * DAY >= least);
    if (months !== undefined) {
      for (let m = first.getUTCFullYear() * 12 + first.getUTCMonth(); ; m++) {
        const w = Date.UTC(Math.floor(m / 12), m % 12, 1) / 1000;
        if (w > wmax) break;
        if (m % months === 0) at(midnight(w), `${Math.floor(m / 12)}-${pad((m % 12) + 1)}`);
      }
      return ticks;
    }
    const years = YEAR_STEPS.find((k) => k * 365 * DAY >= least) ?? 1000;
    for (let y = first.getUTCFullYear(); ; y++) {
      const w = Date.UTC(y, 0, 1) / 1000;
      if (w > wmax) break;
      if (y % years === 0) at(midnight(w), String(y));
    }
    return ticks;
  }

  // The x axis in the zone's wall time; its labels also go on the chart's box for a look from outside.
  function timeAxis(zone, box, middays) {
    let labels = new Map();
    return {
      size: 48,
      splits: (u, i, min, max) => {
        const count = Math.max(2, Math.floor(u.bbox.width / devicePixelRatio / 90));
        const ticks = timeTicks(zone, min, max, count, middays);
        labels = new Map(ticks);
        box.dataset.xticks = ticks.map(([, label]) => label.replace("\n", " ")).join("|");
        return ticks.map(([t]) => t);
      },
      values: (u, splits) => splits.map((t) => labels.get(t) ?? ""),
    };
  }

  // A chart over `whole` = [from, to] of x, zoomed by dragging; the legend holds the values under
  // the cursor, and the last ones while the cursor is elsewhere.
  function plot(parent, title, kind, unit, zone, whole, columns, options) {
    const box = el("div", parent, null, "chart");
    box.dataset.kind = kind;
    box.dataset.unit = unit;
    const x = columns[0], last = x.length - 1;
    const opts = Object.assign({
      title, width: width(), height: 240, padding: [null, 40, null, null],
      legend: { live: true },
      cursor: { drag: { x: true, y: false } },
      hooks: { setLegend: [(u) => { if (u.legend.idx == null) u.setLegend({ idx: last }, false); }] },
    }, options);
    opts.scales = Object.assign({}, options.scales, {
      // Zoomed out as far as the data go: the whole span, never a range padded to years.
      x: { time: false, range: (u, min, max) => (min <= x[0] && max >= x[last] ? whole : [min, max]) },
    });
    opts.axes = [timeAxis(zone, box, kind === "daily"), options.axes[1]];
    const u = new uPlot(opts, columns, box);
    u.setLegend({ idx: last });
    charts.push({ box, u });
    return box;
  }
  // The whole span of points at `x`: a point alone gets an hour around it.
  const spanOf = (x) => (x[0] === x[x.length - 1] ? [x[0] - HOUR / 2, x[0] + HOUR / 2] : [x[0], x[x.length - 1]]);

  function lineChart(parent, logTitle, chart, zone) {
    const names = chart.series.map((s) => s.name).join(", ");
    const label = chart.unit || (names.length > 32 ? chart.series[0].name + ", …" : names);
    const series = [{ label: "time", value: (u, t) => (t == null ? "–" : zone.text(t)) }].concat(
      chart.series.map((s, i) => ({
        // uPlot marks the points only where they stand apart, so a lone record shows.
        label: s.name, stroke: palette[i % palette.length], width: 1.5, spanGaps: false,
        value: (u, v) => withUnit(v, chart.unit),
      })));
    plot(parent, `${logTitle}: ${names}` + (chart.unit ? ` (${chart.unit})` : ""), chart.kind, chart.unit, zone,
         spanOf(chart.x), [chart.x].concat(chart.series.map((s) => s.values)),
         { series, axes: [null, { label, size: 60 }] });
  }

  // Bars that cover their days exactly, 23 or 25 hours on the days the clock changes; how many it
  // drew goes to `count`.
  function dayBars(chart, count) {
    return (u, si, i0, i1) => {
      const path = new Path2D();
      const values = u.data[si];
      const base = u.valToPos(0, "y", true);
      const left = u.bbox.left, right = u.bbox.left + u.bbox.width;
      let drawn = 0;
      for (let i = i0; i <= i1; i++) {
        if (values[i] == null) continue;
        const from = Math.max(left, u.valToPos(chart.starts[i], "x", true));
        const to = Math.min(right, u.valToPos(chart.ends[i], "x", true));
        if (to <= from) continue;
        const gap = Math.min(2 * devicePixelRatio, (to - from) * 0.1);
        const top = u.valToPos(values[i], "y", true);
        path.rect(from + gap, Math.min(top, base), Math.max(1, to - from - 2 * gap), Math.abs(base - top));
        drawn++;
      }
      count(si, drawn);
      return { stroke: path, fill: path, clip: null, flags: 0 };
    };
  }

  function dailyChart(parent, logTitle, chart, zone, colour) {
    const quantity = chart.quantity, unit = chart.unit;
    const energy = chart.series[0].values;
    const hours = (i) => Math.round((chart.ends[i] - chart.starts[i]) / HOUR);
    const day = (i) => chart.days[i] + (hours(i) !== 24 ? ` (${hours(i)} h)` : "") + (chart.partial[i] ? ", partial" : "");
    const drawn = {};
    let box = null;
    const bars = dayBars(chart, (si, n) => {
      drawn[si] = n;
      if (box) box.dataset.bars = Object.values(drawn).reduce((a, b) => a + b, 0);
    });
    const bar = (label, fill) => ({ label, stroke: colour, fill, width: 1, paths: bars, points: { show: false },
                                    value: (u, v) => withUnit(v, unit) });
    const series = [{ label: "day", value: (u, t, si, i) => (i == null ? "–" : day(i)) },
                    bar(quantity, colour + "cc"), bar(`${quantity}, partial day`, colour + "40")];
    box = plot(parent, `${logTitle}: ${quantity} per day (${unit})`, chart.kind, unit, zone,
               [chart.starts[0], chart.ends[chart.ends.length - 1]],
               [chart.x, energy.map((v, i) => (chart.partial[i] ? null : v)),
                energy.map((v, i) => (chart.partial[i] ? v : null))],
               { series, cursor: { drag: { x: true, y: false }, points: { show: false } },
                 scales: { y: { range: (u, min, max) => [Math.min(0, min ?? 0), Math.max(0, max ?? 0) * 1.05 || 1] } },
                 axes: [null, { label: unit, size: 60 }] });
    box.dataset.bars = Object.values(drawn).reduce((a, b) => a + b, 0);
    const holes = chart.holes.map((h, i) => [h, i]).filter(([h]) => h !== 0);
    if (chart.glitches.length || holes.length) {
      const list = el("ul", parent, null, "counter-back");
      chart.glitches.forEach((g) => el("li", list,
        `${quantity}: the reading at ${when(zone, g.at)} (${number(g.to)}, after ${number(g.from)}) is left out ` +
        "as a glitch; the energy counts on from the last good reading"));
      holes.forEach(([h, i]) => el("li", list,
        `${quantity}: ${withUnit(h, unit)} over a hole across midnight into ${chart.days[i]}, ` +
        "which no day can hold: its days are partial"));
    }
    if (chart.months.length) {
      const rows = chart.months.map((m) => [
        m.month + (m.partial ? ", partial" : ""), withUnit(m.energy, unit),
        m.peak ? withUnit(m.peak.power, m.peak.unit) : "–", m.peak ? zone.text(m.peak.start) : "–"]);
      table(parent, ["Month", quantity, "Peak demand (one interval)", "From"], rows).className = "months";
    }
  }

  function timeline(parent, events, zone) {
    const causes = events.causes;
    const x = events.timeline.x;
    const ys = causes.map((_, c) => events.timeline.cause.map((k) => (k === c ? c : null)));
    const series = [{ label: "time", value: (u, t) => (t == null ? "–" : zone.text(t)) }].concat(causes.map((name, c) => ({
      label: name, stroke: palette[c % palette.length], fill: palette[c % palette.length],
      paths: () => null, points: { show: true, size: 7, width: 1 }, value: (u, v) => (v == null ? "" : "event"),
    })));
    const longest = causes.reduce((n, s) => Math.max(n, s.length), 4);
    plot(parent, "Events by cause", "timeline", "", zone, spanOf(x), [x].concat(ys), {
      series,
      height: Math.max(140, 60 + 26 * causes.length),
      scales: { y: { range: [-0.5, causes.length - 0.5] } },
      axes: [null, { size: Math.min(260, 16 + 7 * longest), splits: () => causes.map((_, c) => c),
                     values: (u, splits) => splits.map((v) => causes[v] ?? "") }],
    });
  }

  function summary() {
    const s = data.summary;
    const zone = zoneClock(s.zone);
    el("h1", root, "kolvane report");
    const range = data.selection.from || data.selection.to
      ? `, records from ${utcWhen(data.selection.from)} to ${utcWhen(data.selection.to)}` : "";
    el("div", root, `Generated ${utcWhen(data.generated_at)}${range}`, "muted");
    if (data.meters.length) el("div", root, `Times in ${zone.name}`, "muted zone");
    cards(root, [["meters", s.meters], ["data log records", s.datalog_records], ["events", s.events],
                 ["first record", when(zone, s.first)], ["last record", when(zone, s.last)],
                 ["gaps", s.gaps === null ? "not recorded in this database"
                   : `${s.gaps} (${s.missing_records} records missing)`],
                 ["meters with warnings", s.meters_with_warnings], ["meters with records missing", s.meters_missing_records],
                 ["failed collections", s.failed_passes]]);
    if (s.unidentified_passes.length) {
      el("h3", root, "Collections of meters that never said who they are");
      table(root, ["finished", "address", "unit", "name", "outcome", "error"],
            s.unidentified_passes.slice().reverse().map((p) => [utcWhen(p.finished_at), `${p.host}:${p.port}`, p.unit,
                                                                p.name || "-", p.outcome, p.error || "-"]));
    }
    if (s.gap_list.length) {
      el("h3", root, "Gaps in the logs");
      table(root, ["meter", "log", "from", "to", "records missing", "cause"],
            s.gap_list.slice(0, 50).map((g) => [g.meter, logTitle(g.file_id), when(zone, g.from), when(zone, g.to),
                                                g.missing, g.cause]));
      if (s.gap_list.length > 50) el("div", root, `... and ${s.gap_list.length - 50} more`, "muted");
    }
    if (!data.meters.length) el("p", root, "The database holds no collected meters for this selection.");
  }

  const every = (seconds) => (seconds >= MINUTE ? `${Math.round(seconds / MINUTE)} min` : `${Math.round(seconds)} s`);

  const plural = (n, word) => `${n} ${word}${n === 1 ? "" : "s"}`;
  const logTitle = (fileId) => (fileId === 0 ? "Event log" : `Data log ${fileId}`);

  // The latest collection's warnings, prominent; how the passes in the range went.
  function collections(section, c, zone) {
    if (!c) return;
    if (c.latest_warnings.length) {
      const box = el("div", section, null, "warnings");
      el("b", box, `Warnings of the latest collection, ${when(zone, c.latest_at)}`);
      const list = el("ul", box);
      c.latest_warnings.forEach((w) => el("li", list, w));
    }
    el("div", section, `${plural(c.passes, "collection")} in the range: ${c.passes_with_warnings} with warnings, ` +
       `${c.failures} failed`, "muted passes");
    if (c.failed.length) {
      const box = el("div", section, null, "failures");
      el("b", box, "Failed collections");
      table(box, ["finished", "outcome", "error"],
            c.failed.slice().reverse().map((f) => [when(zone, f.finished_at), f.outcome, f.error || "-"]));
    }
  }

  // Per log: the days with records missing, each with a bar of its share missing, and the gaps
  // with their cause; a short line when nothing is missing.
  function completeness(section, logs, zone) {
    el("h3", section, "Completeness");
    logs.forEach((log) => {
      const title = logTitle(log.file_id);
      const box = el("div", section, null, "completeness");
      box.dataset.fileId = log.file_id;
      if (log.missing === 0 && !log.gaps.length) {
        el("div", box, `${title}: complete` + (log.days.length
          ? `, all ${log.expected} records expected over ${plural(log.days.length, "day")} present` : ""), "complete");
        return;
      }
      el("b", box, `${title}: ` + (log.days.length ? `${log.present} of ${log.expected} records expected present, ` +
         `${log.missing} missing` : `${plural(log.gaps.length, "gap")}`));
      const short = log.days.filter((d) => d.missing > 0);
      if (short.length) {
        const t = table(box, ["day", "expected", "present", "missing", ""],
                        short.map((d) => [d.day, d.expected, d.present, d.missing, ""]));
        t.className = "days";
        t.querySelectorAll("tbody tr").forEach((row, i) => {
          const bar = el("span", row.lastChild, null, "missing-bar");
          bar.style.width = `${Math.max(1, Math.round(100 * short[i].missing / Math.max(1, short[i].expected)))}px`;
        });
      }
      if (log.gaps.length) {
        table(box, ["from", "to", "records missing", "cause"],
              log.gaps.map((g) => [when(zone, g.from), when(zone, g.to), g.missing, g.cause])).className = "gaps";
      }
    });
  }

  function meter(m) {
    const zone = zoneClock(m.clock_zone);
    const section = el("section", root);
    section.dataset.serial = m.serial;
    el("h2", section, m.label + (m.model ? ` (${m.model})` : ""));
    el("div", section, m.unknown_clock_zone === undefined ? `Times in ${zone.name}`
      : `Times in UTC: the meter's clock zone '${m.unknown_clock_zone}' is unknown to the computer that wrote this report`,
       "muted zone");
    table(section, ["name", "serial", "model", "model name", "firmware", "address", "last collected"],
          [[m.name || "-", m.serial, m.model || "-", m.model_name || "-", m.firmware || "-",
            m.host ? `${m.host}:${m.port}` : "-",
            when(zone, m.last_collected) + (m.last_outcome && m.last_outcome !== "complete" ? ` (${m.last_outcome})` : "")]]);
    collections(section, m.collections, zone);
    m.datalogs.forEach((log) => {
      const title = logTitle(log.file_id);
      el("h3", section, title);
      el("div", section, `${plural(log.records, "record")} from ${when(zone, log.first)} to ${when(zone, log.last)}` +
         (log.interval_s > 0 ? `, every ${every(log.interval_s)}` : "") +
         (log.gaps === null ? "" : `, ${plural(log.gaps, "gap")}`), "muted");
      let counters = 0;
      log.charts.forEach((chart) => {
        if (chart.kind === "daily") dailyChart(section, title, chart, zone, palette[counters++ % palette.length]);
        else lineChart(section, title, chart, zone);
      });
    });
    if (m.completeness.length) completeness(section, m.completeness, zone);
    if (m.events) {
      el("h3", section, `Event log: ${m.events.count} events from ${when(zone, m.events.first)} to ` +
         when(zone, m.events.last));
      timeline(section, m.events, zone);
      el("div", section, "Most recent events", "muted");
      table(section, ["time", "seq", "cause", "point", "state", "effect", "target", "value"],
            m.events.recent.map((e) => [when(zone, e.recorded_at), e.seq, e.cause, e.point, e.state, e.effect, e.target,
                                        e.value_triggered]));
    }
    if (!m.datalogs.length && !m.events) el("p", section, "Nothing collected for this meter in the selection.");
  }

  // How many coloured (not grey) pixels a chart's canvas holds: its series have drawn.
  function ink(u) {
    const c = u.ctx.canvas;
    const px = u.ctx.getImageData(0, 0, c.width, c.height).data;
    let n = 0;
    for (let i = 0; i < px.length; i += 4) {
      if (px[i + 3] > 0 && Math.max(px[i], px[i + 1], px[i + 2]) - Math.min(px[i], px[i + 1], px[i + 2]) > 60) n++;
    }
    return n;
  }

  try {
    summary();
    data.meters.forEach(meter);
  } catch (e) {
    errors.push(String(e && e.stack || e));
  }
  setTimeout(() => {
    charts.forEach(({ box, u }) => { box.dataset.ink = ink(u); });
    document.body.dataset.charts = charts.length;
    document.body.dataset.errors = errors.length;
    if (errors.length) el("pre", root, errors.join("\n")).id = "page-errors";
  }, 50);
})();
