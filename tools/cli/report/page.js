// kolvane report: draws the embedded data with uPlot. Every text goes in through textContent.
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
  const when = (text) => (text ? text.replace("T", " ").replace(/\.000Z$|Z$/, " UTC") : "-");
  const utc = (ts) => uPlot.tzDate(new Date(ts * 1e3), "Etc/UTC");
  const width = () => Math.max(480, Math.min(1100, root.clientWidth || 1100));

  function plot(parent, title, spec, options) {
    const box = el("div", parent, null, "chart");
    box.dataset.kind = spec.kind;
    box.dataset.unit = spec.unit;
    const opts = Object.assign({ title, width: width(), height: 240, tzDate: utc, legend: { live: false },
                                 cursor: { drag: { x: true, y: false } } }, options);
    const u = new uPlot(opts, spec.data, box);
    charts.push({ box, u });
  }

  function valueChart(parent, logTitle, chart) {
    const bars = chart.kind === "daily";
    const series = [{}].concat(chart.series.map((s, i) => ({
      label: s.name,
      stroke: palette[i % palette.length],
      width: bars ? 1 : 1.5,
      fill: bars ? palette[i % palette.length] + "99" : undefined,
      paths: bars ? uPlot.paths.bars({ size: [0.7 / chart.series.length, 40], align: 1 }) : undefined,
      points: { show: false },
      spanGaps: false,
    })));
    const unit = chart.unit || "(no unit)";
    const title = bars ? `${logTitle}: energy per day (${unit})` : `${logTitle}: ${unit}`;
    const scales = { x: { time: true } };
    if (bars) scales.y = { range: (u, min, max) => [Math.min(0, min), Math.max(0, max) * 1.05 || 1] };
    plot(parent, title, { kind: chart.kind, unit, data: [chart.x].concat(chart.series.map((s) => s.values)) },
         { series, scales, axes: [{}, { label: unit, size: 60 }] });
  }

  function timeline(parent, events) {
    const causes = events.causes;
    const x = events.timeline.x;
    const ys = causes.map((_, c) => events.timeline.cause.map((k) => (k === c ? c : null)));
    const series = [{}].concat(causes.map((name, c) => ({
      label: name, stroke: palette[c % palette.length], fill: palette[c % palette.length],
      paths: () => null, points: { show: true, size: 7, width: 1 },
    })));
    const longest = causes.reduce((n, s) => Math.max(n, s.length), 4);
    plot(parent, "Events by cause", { kind: "timeline", unit: "", data: [x].concat(ys) }, {
      series,
      height: Math.max(140, 60 + 26 * causes.length),
      scales: { x: { time: true }, y: { range: [-0.5, causes.length - 0.5] } },
      axes: [{}, { size: Math.min(260, 16 + 7 * longest), splits: () => causes.map((_, c) => c),
                   values: (u, splits) => splits.map((v) => causes[v] ?? "") }],
    });
  }

  function summary() {
    const s = data.summary;
    el("h1", root, "kolvane report");
    const range = data.selection.from || data.selection.to
      ? `, records from ${when(data.selection.from) } to ${when(data.selection.to)}` : "";
    el("div", root, `Generated ${when(data.generated_at)}${range}`, "muted");
    cards(root, [["meters", s.meters], ["data log records", s.datalog_records], ["events", s.events],
                 ["first record", when(s.first)], ["last record", when(s.last)],
                 ["gaps", `${s.gaps} (${s.missing_records} records missing)`]]);
    if (s.gap_list.length) {
      el("h3", root, "Gaps in the data logs");
      table(root, ["meter", "log", "from", "to", "records missing"],
            s.gap_list.slice(0, 50).map((g) => [g.serial, g.file_id, when(g.from), when(g.to), g.missing]));
      if (s.gap_list.length > 50) el("div", root, `... and ${s.gap_list.length - 50} more`, "muted");
    }
    if (!data.meters.length) el("p", root, "The database holds no collected meters for this selection.");
  }

  function meter(m) {
    const section = el("section", root);
    section.dataset.serial = m.serial;
    el("h2", section, `Meter ${m.serial}` + (m.model ? ` (${m.model})` : ""));
    table(section, ["model", "name", "serial", "firmware", "address", "last collected"],
          [[m.model || "-", m.model_name || "-", m.serial, m.firmware || "-", m.host ? `${m.host}:${m.port}` : "-",
            when(m.last_collected)]]);
    m.datalogs.forEach((log) => {
      const title = `Data log ${log.file_id}`;
      el("h3", section, title);
      el("div", section, `${log.records} records from ${when(log.first)} to ${when(log.last)}, every ` +
         `${Math.round(log.interval_s / 60)} min, ${log.gaps.length} gaps`, "muted");
      log.charts.forEach((chart) => valueChart(section, title, chart));
    });
    if (m.events) {
      el("h3", section, `Event log: ${m.events.count} events from ${when(m.events.first)} to ${when(m.events.last)}`);
      timeline(section, m.events);
      el("div", section, "Most recent events", "muted");
      table(section, ["time", "seq", "cause", "point", "state", "effect", "target", "value"],
            m.events.recent.map((e) => [when(e.recorded_at), e.seq, e.cause, e.point, e.state, e.effect, e.target,
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
