#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks Grafana dashboards against dashboard.schema.json (with Debian's python3-jsonschema) and
for what a schema cannot say: unique panel ids, panels inside the 24 columns and not overlapping,
queries of the data source type the dashboard's variable chooses, and no unknown variable.
Then it shows that each kind of fault is caught, on broken copies of the first dashboard.

Usage: check_dashboards.py SCHEMA DASHBOARD...   exit status 0 when all hold, 1 otherwise."""
import copy
import json
import re
import sys

import jsonschema

# $name, ${name} and ${name:format}; Grafana's own variables start with "__".
VARIABLE = re.compile(r"\$(?:\{([A-Za-z0-9_]+)(?::[a-z]+)?\}|([A-Za-z0-9_]+))")


def texts_with_variables(dashboard):
    """Every title and query, where a dashboard variable may be used."""
    for variable in dashboard.get("templating", {}).get("list", []):
        yield variable.get("query", "")
    for panel in dashboard.get("panels", []):
        yield panel.get("title", "")
        for target in panel.get("targets", []):
            yield target.get("expr", target.get("rawSql", ""))


def faults(validator, dashboard):
    """One line per fault of `dashboard`."""
    found = [f"{'/'.join(map(str, e.absolute_path)) or '(top)'}: {e.message}"
             for e in validator.iter_errors(dashboard)]
    if found:
        return found  # the checks below rely on the shape the schema ensures
    panels = dashboard["panels"]
    ids = [panel["id"] for panel in panels]
    found += [f"panel id {i} used twice" for i in sorted(set(ids)) if ids.count(i) > 1]
    for i, panel in enumerate(panels):
        g = panel["gridPos"]
        if g["x"] + g["w"] > 24:
            found.append(f"panel {panel['id']} ends at column {g['x'] + g['w']}, beyond 24")
        for other in panels[i + 1:]:
            o = other["gridPos"]
            if (g["x"] < o["x"] + o["w"] and o["x"] < g["x"] + g["w"] and
                    g["y"] < o["y"] + o["h"] and o["y"] < g["y"] + g["h"]):
                found.append(f"panels {panel['id']} and {other['id']} overlap")
    variables = dashboard["templating"]["list"]
    plugin = variables[0]["query"]
    references = [v["datasource"] for v in variables[1:]]
    for panel in panels:
        references += [panel["datasource"]] + [t["datasource"] for t in panel["targets"]]
    found += [f"a query of data source type {r['type']} in a dashboard for {plugin}"
              for r in references if r["type"] != plugin]
    known = {v["name"] for v in variables}
    for text in texts_with_variables(dashboard):
        for braced, plain in VARIABLE.findall(text):
            name = braced or plain
            if not name.startswith("__") and name not in known:
                found.append(f"unknown variable ${name} in: {text.splitlines()[0]}")
    return found


def first_target(d):
    return d["panels"][0]["targets"][0]


# Broken copies of a dashboard, each of which must be refused.
BREAKAGES = {
    "a query without refId": lambda d: first_target(d).pop("refId"),
    "a query without expr or rawSql": lambda d: [first_target(d).pop(k, None) for k in ("expr", "rawSql")],
    "a fixed data source": lambda d: first_target(d)["datasource"].update(uid="P1809F7CD0C75ACF3"),
    "a panel wider than the grid": lambda d: d["panels"][0]["gridPos"].update(w=25),
    "a panel beyond column 24": lambda d: d["panels"][0]["gridPos"].update(x=20, w=8),
    "two panels in one place": lambda d: d["panels"][1].update(gridPos=dict(d["panels"][0]["gridPos"])),
    "a panel id used twice": lambda d: d["panels"][1].update(id=d["panels"][0]["id"]),
    "an old schema version": lambda d: d.update(schemaVersion=27),
    "no datasource variable": lambda d: d["templating"]["list"].pop(0),
    "an unknown variable": lambda d: d["panels"][0].update(title="$nosuchvariable"),
}


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    status = 0
    dashboards = []
    for path in argv[2:]:
        with open(path, encoding="utf-8") as f:
            dashboards.append(json.load(f))
        for fault in faults(validator, dashboards[-1]):
            print(f"{path}: {fault}")
            status = 1
    for what, breakage in BREAKAGES.items():
        broken = copy.deepcopy(dashboards[0])
        breakage(broken)
        if not faults(validator, broken):
            print(f"{argv[2]}: {what} goes unnoticed")
            status = 1
    if status == 0:
        print(f"{len(dashboards)} dashboards hold; {len(BREAKAGES)} kinds of fault are caught")
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
