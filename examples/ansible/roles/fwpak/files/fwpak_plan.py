#!/usr/bin/python3
"""Control-node side of the fwpak roll-out: turns fetched discovery reports into the
plans the hosts replay, writes the fleet summary (text, JSON, HTML), and checks a
fresh discovery against a plan before and after flashing.

    fwpak_plan.py plan DIR CONFIG.json   plans from DIR/discovery, then the summary
    fwpak_plan.py summary DIR            the summary, with the results of DIR/results
    fwpak_plan.py check PLAN.json REPORT.xml    adapters still as discovered?
    fwpak_plan.py verify PLAN.json REPORT.xml ACTIVATION.json HOW
                                  does every port run the planned version?

A port whose flash holds another version than the one it runs (a burnt image that
no reboot or reset has loaded) reports both: its report item carries
running_version beside active_version. HOW says what should have loaded it (reboot,
mstfwreset or none), for the message; ACTIVATION.json receives each port's
activation state for the summary.

A discovery report names an action per port; fwpak's replay flashes every port whose
action says "upgrade", "rewrite" or "downgrade". The plan is the report with every
action the roll-out does not allow turned into "Nothing", so the replay flashes only
what the plan keeps."""
import html
import json
import os
import pathlib
import sys
import tempfile
import xml.etree.ElementTree as ET

FLASH_ACTIONS = ("upgrade", "rewrite", "downgrade")


def value(elem, name):
    child = None if elem is None else elem.find(name)
    return "" if child is None else child.get("value", "")


def write_atomic(path, text):
    path.parent.mkdir(parents=True, exist_ok=True)
    fd, tmp = tempfile.mkstemp(dir=path.parent, prefix="." + path.name)
    with os.fdopen(fd, "w", encoding="utf-8") as out:
        out.write(text)
    os.replace(tmp, path)


def read_json(path, default=None):
    try:
        return json.loads(path.read_text(encoding="utf-8"))
    except (OSError, ValueError):
        return default


def report_ports(tree):
    """The ports of a parsed report: (device element, action element or None, record)."""
    ports = []
    for device in tree.getroot().iter("device"):
        item = device.find("fw_item")
        action = None if item is None else item.find("action")
        ports.append((device, action, {
            "address": value(device, "device_id"),
            "psid": value(item, "firmware_id"),
            "installed": value(item, "active_version"),
            "repository": value(item, "version"),
            "action": "" if action is None else action.get("value", ""),
            # Only a port whose running firmware is not its flash's has the element.
            "running": value(item, "running_version") or value(item, "active_version"),
        }))
    return ports


def planned_action(action, allow, excluded):
    if excluded:
        return "Nothing"
    for word in FLASH_ACTIONS:
        if word in action:  # the replay finds the word anywhere in the value
            return word if word == "upgrade" or word in allow else "Nothing"
    return "Nothing"


def plan_host(rdir, host, config):
    """Writes plans/<host>.xml and .json from the host's discovery; returns the plan."""
    disc = read_json(rdir / "discovery" / f"{host}.json", {})
    plan = {"host": host, "state": disc.get("state", "missing"),
            "reason": disc.get("reason", "not discovered"),
            "discovered": disc.get("discovered"), "ports": [], "flashes": 0,
            "excluded": host in config.get("exclude_hosts", [])}
    report = rdir / "discovery" / f"{host}.xml"
    (rdir / "plans" / f"{host}.xml").unlink(missing_ok=True)
    (rdir / "results" / f"{host}.json").unlink(missing_ok=True)
    (rdir / "activation" / f"{host}.json").unlink(missing_ok=True)
    if plan["state"] == "ok":
        try:
            tree = ET.parse(report)
        except (OSError, ET.ParseError) as err:
            plan.update(state="failed", reason=f"unreadable report: {err}")
            tree = None
        if tree is not None:
            skip_ports = set(config.get("exclude_ports", {}).get(host, []))
            for _, action, port in report_ports(tree):
                excluded = plan["excluded"] or port["address"] in skip_ports
                port["planned"] = planned_action(port["action"], config.get("allow", []),
                                                 excluded)
                port["excluded"] = excluded
                if action is not None:
                    action.set("value", port["planned"])
                plan["ports"].append(port)
            plan["flashes"] = sum(p["planned"] != "Nothing" for p in plan["ports"])
            ET.indent(tree, space="    ")
            text = ET.tostring(tree.getroot(), encoding="unicode")
            write_atomic(rdir / "plans" / f"{host}.xml",
                         '<?xml version="1.0" encoding="UTF-8"?>\n' + text + "\n")
    write_atomic(rdir / "plans" / f"{host}.json", json.dumps(plan, indent=1) + "\n")
    return plan


def port_result(plan, port, result):
    if port["excluded"]:
        return "excluded", ""
    if port["planned"] == "Nothing":
        return "nothing to do", ""
    if not result:
        return "pending", ""
    state, message = result.get("state", "pending"), result.get("message", "")
    return state, message.removeprefix(state + ": ")


def port_activation(port, result, checked):
    """Whether the port runs what its flash holds: "loaded" or "pending", from the
    last check after a flash, else from the flash itself (a burnt image waits for
    its activation), else from the discovery."""
    if port["address"] in checked:
        return checked[port["address"]]
    if result.get("state") == "flashed" and port["planned"] != "Nothing":
        return "pending"
    return "pending" if port.get("running", port["installed"]) != port["installed"] else "loaded"


def records(rdir):
    """One summary record per host and port (one per host without ports)."""
    rows = []
    for path in sorted((rdir / "plans").glob("*.json")):
        plan = read_json(path, {})
        host = plan.get("host", path.stem)
        result = read_json(rdir / "results" / f"{host}.json", {})
        checked = read_json(rdir / "activation" / f"{host}.json", {})
        base = {"host": host, "address": "", "psid": "", "installed": "",
                "repository": "", "action": "", "planned": "Nothing", "activation": ""}
        if plan.get("state") == "none":
            rows.append(dict(base, result="no adapter", message=""))
        elif plan.get("state") != "ok":
            rows.append(dict(base, result="discovery failed", message=plan.get("reason", "")))
        elif not plan.get("ports"):
            rows.append(dict(base, result="no port reported", message=""))
        for port in plan.get("ports", []) if plan.get("state") == "ok" else []:
            state, message = port_result(plan, port, result)
            rows.append(dict(base, **{k: port[k] for k in base if k in port},
                             activation=port_activation(port, result, checked),
                             result=state, message=message))
    return rows


def counts(rows, key):
    out = {}
    for row in rows:
        if row[key]:
            out[row[key]] = out.get(row[key], 0) + 1
    return ", ".join(f"{k} {n}" for k, n in sorted(out.items()))


def summary_text(rows):
    lines = [f"{'host':<20} {'port':<14} {'installed':<12} {'repository':<12} "
             f"{'action':<10} {'planned':<10} {'activation':<10} result"]
    for r in rows:
        result = r["result"] + (f": {r['message']}" if r["message"] else "")
        lines.append(f"{r['host']:<20} {r['address'] or '-':<14} {r['installed'] or '-':<12} "
                     f"{r['repository'] or '-':<12} {r['action'] or '-':<10} "
                     f"{r['planned']:<10} {r['activation'] or '-':<10} {result}")
    ports = [r for r in rows if r["address"]]
    flash = [r for r in ports if r["planned"] != "Nothing"]
    hosts = len({r["host"] for r in rows})
    lines.append(f"hosts {hosts}, ports {len(ports)}: {counts(ports, 'action') or 'none'}")
    lines.append(f"will flash {len(flash)} ports on {len({r['host'] for r in flash})} hosts"
                 + (f" ({counts(flash, 'planned')})" if flash else ""))
    lines.append(f"results: {counts(rows, 'result')}")
    return "\n".join(lines) + "\n"


HTML_HEAD = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>fwpak fleet summary</title>
<style>
body { font-family: sans-serif; margin: 1em; }
table { border-collapse: collapse; }
th, td { border: 1px solid #bbb; padding: 0.2em 0.6em; text-align: left; }
th { background: #eee; cursor: pointer; user-select: none; }
th.asc::after { content: " \\25b2"; }
th.desc::after { content: " \\25bc"; }
td.plan-upgrade { background: #c8f0c8; }
td.plan-rewrite { background: #cce0ff; }
td.plan-downgrade { background: #ffd8a8; }
td.plan-Nothing { color: #777; }
td.res-flashed, td.res-verified { background: #8fd88f; }
td.res-pending { background: #fff3b0; }
td.act-loaded { background: #8fd88f; }
td.act-pending, td.res-activation-pending { background: #ffd8a8; }
td.res-failed, td.res-refused, td.res-mismatch, td.res-reboot-failed, td.res-reset-failed,
    td.res-discovery-failed { background: #f4a0a0; }
td.res-no-adapter, td.res-nothing-to-do, td.res-excluded, td.res-skipped { color: #777; }
</style>
</head>
<body>
"""

HTML_SCRIPT = """<script>
document.querySelectorAll("th").forEach(function (th, col) {
  th.addEventListener("click", function () {
    var body = th.closest("table").tBodies[0];
    var asc = !th.classList.contains("asc");
    th.parentNode.querySelectorAll("th").forEach(function (h) { h.className = ""; });
    th.className = asc ? "asc" : "desc";
    var rows = Array.prototype.slice.call(body.rows);
    rows.sort(function (a, b) {
      var x = a.cells[col].textContent, y = b.cells[col].textContent;
      return (asc ? 1 : -1) * x.localeCompare(y, undefined, {numeric: true});
    });
    rows.forEach(function (r) { body.appendChild(r); });
  });
});
</script>
"""

COLUMNS = ("host", "address", "psid", "installed", "repository", "action", "planned",
           "activation", "result")


def css_word(text):
    return "".join(c if c.isalnum() else "-" for c in text)


def summary_html(rows, text):
    out = [HTML_HEAD, "<h1>fwpak fleet summary</h1>\n"]
    out.append("<pre>" + html.escape("\n".join(text.splitlines()[-3:])) + "</pre>\n")
    out.append("<table>\n<thead><tr>")
    out.extend(f"<th>{c}</th>" for c in COLUMNS)
    out.append("</tr></thead>\n<tbody>\n")
    for r in rows:
        out.append("<tr>")
        for c in COLUMNS:
            cls, cell = "", r[c]
            if c == "planned":
                cls = f' class="plan-{css_word(cell)}"'
            elif c == "activation" and cell:
                cls = f' class="act-{css_word(cell)}"'
            elif c == "result":
                cls = f' class="res-{css_word(cell)}"'
                cell += f": {r['message']}" if r["message"] else ""
            out.append(f"<td{cls}>{html.escape(cell)}</td>")
        out.append("</tr>\n")
    out.append("</tbody>\n</table>\n")
    out.append(HTML_SCRIPT + "</body>\n</html>\n")
    return "".join(out)


def summary(rdir):
    rows = records(rdir)
    text = summary_text(rows)
    write_atomic(rdir / "summary.txt", text)
    write_atomic(rdir / "summary.json", json.dumps(rows, indent=1) + "\n")
    write_atomic(rdir / "summary.html", summary_html(rows, text))
    sys.stdout.write(text)
    return 0


def plan(rdir, config_path):
    config = read_json(pathlib.Path(config_path))
    if config is None:
        sys.exit(f"fwpak_plan: cannot read {config_path}")
    for sub in ("plans", "results", "activation"):
        (rdir / sub).mkdir(parents=True, exist_ok=True)
    for host in config.get("hosts", []):
        plan_host(rdir, host, config)
    return summary(rdir)


def fresh_ports(report):
    try:
        return {p["address"]: p for _, _, p in report_ports(ET.parse(report))}
    except (OSError, ET.ParseError) as err:
        sys.exit(f"cannot read the fresh discovery {report}: {err}")


def check(plan_path, report):
    """Exit 1 when the adapters, or the repository's versions for them, no longer
    match the plan's discovery."""
    planned = {p["address"]: p for p in read_json(pathlib.Path(plan_path), {}).get("ports", [])}
    now = fresh_ports(report)
    changes = [f"{a} is gone" for a in planned if a not in now]
    changes += [f"{a} is new" for a in now if a not in planned]
    for addr in sorted(set(planned) & set(now)):
        # A repository deployed since discovery would burn another image than planned.
        for key in ("psid", "installed", "repository"):
            if planned[addr][key] != now[addr][key]:
                changes.append(f"{addr} {key} {planned[addr][key]} is now {now[addr][key]}")
    if changes:
        print("adapters changed since discovery: " + "; ".join(changes))
        return 1
    return 0


NOT_LOADED = {
    "reboot": "the reboot did not load it (a cold power cycle may be needed)",
    "mstfwreset": "mstfwreset did not load it (a reboot or a cold power cycle may be needed)",
    "none": "reboot the host (or reset the adapter) to load it",
}


def verify(plan_path, report, activation_path, how):
    """Exit 1 when a flash does not hold the version the plan leads to, 3 when every
    flash does but a port does not run it yet (activation pending); writes each
    port's activation state to activation_path."""
    now = fresh_ports(report)
    wrong, pending, states = [], [], {}
    for port in read_json(pathlib.Path(plan_path), {}).get("ports", []):
        addr = port["address"]
        want = port["installed"] if port["planned"] == "Nothing" else port["repository"]
        fresh = now.get(addr, {})
        got = fresh.get("installed", "missing")
        runs = fresh.get("running", got)
        if addr in now:
            states[addr] = "loaded" if runs == got else "pending"
        if got != want:
            wrong.append(f"{addr} has {got}, planned {want}")
        elif runs != want:
            pending.append(f"{addr} runs {runs}, its flash holds {got}")
    write_atomic(pathlib.Path(activation_path), json.dumps(states, indent=1) + "\n")
    if wrong:
        print("installed firmware differs from the plan: " + "; ".join(wrong))
        return 1
    if pending:
        print("activation pending: " + "; ".join(pending) + "; "
              + NOT_LOADED.get(str(how), NOT_LOADED["none"]))
        return 3
    return 0


def main(argv):
    commands = {"plan": (plan, 2), "summary": (summary, 1), "check": (check, 2),
                "verify": (verify, 4)}
    if len(argv) < 2 or argv[1] not in commands or len(argv) != 2 + commands[argv[1]][1]:
        sys.exit(__doc__)
    func, _ = commands[argv[1]]
    args = [pathlib.Path(a) for a in argv[2:]]
    return func(*args)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
