#!/usr/bin/env python3
"""Prints a fleet summary of fetched fwpak discovery reports: one line per port with
its host, PCI address, installed and repository versions and recommended action."""
import pathlib
import sys
import xml.etree.ElementTree as ET


def value(elem, name):
    child = elem.find(name)
    return "" if child is None else child.get("value", "")


def summarize(report):
    host = report.stem
    try:
        root = ET.parse(report).getroot()
    except ET.ParseError as err:
        return [f"{host:<20} unreadable report: {err}"], {}
    lines, actions = [], {}
    for device in root.iter("device"):
        item = device.find("fw_item")
        item = device if item is None else item
        action = value(item, "action") or "-"
        actions[action] = actions.get(action, 0) + 1
        lines.append(f"{host:<20} {value(device, 'device_id'):<14} "
                     f"{value(item, 'active_version') or '-':<12} "
                     f"{value(item, 'version') or '-':<12} {action}")
    if not lines:
        lines.append(f"{host:<20} no Mellanox port reported")
    return lines, actions


def main():
    reports = sorted(pathlib.Path(sys.argv[1]).glob("*.xml"))
    print(f"{'host':<20} {'port':<14} {'installed':<12} {'repository':<12} action")
    totals = {}
    for report in reports:
        lines, actions = summarize(report)
        print("\n".join(lines))
        for action, count in actions.items():
            totals[action] = totals.get(action, 0) + count
    ports = sum(totals.values())
    detail = ", ".join(f"{a} {n}" for a, n in sorted(totals.items()))
    print(f"hosts {len(reports)}, ports {ports}" + (f": {detail}" if detail else ""))


if __name__ == "__main__":
    main()
