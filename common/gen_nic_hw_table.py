#!/usr/bin/env python3
"""Writes common/nic_hw_table.cc, the adapter hardware table, from the rows below.

The PCI identifiers are those of real adapter models; OEM codes, part numbers,
revisions and names are this project's own. The name column is stored encoded with
encode_table, which is read from common/encode_string.cc, so the two never drift.
Run from the repository's top directory after changing a row, then clang-format
the output.
"""
import random
import re
import sys

KEYS = """
15b3:1003:1014:04b5 15b3:1003:103c:1777 15b3:1003:103c:17c9 15b3:1003:103c:18ce 15b3:1003:103c:18cf 15b3:1003:103c:18d6
15b3:1003:15b3:0025 15b3:1003:15b3:0026 15b3:1003:15b3:0028 15b3:1003:15b3:0055 15b3:1003:15b3:0059 15b3:1003:15b3:0064
15b3:1003:15b3:0065 15b3:1003:15b3:0066 15b3:1003:15b3:0067 15b3:1003:15b3:0071 15b3:1003:15b3:0078 15b3:1003:15b3:0079
15b3:1003:15b3:0080 15b3:1007:1014:04eb 15b3:1007:103c:22f3 15b3:1007:103c:22f4 15b3:1007:103c:801f 15b3:1007:117c:0090
15b3:1007:117c:0091 15b3:1007:117c:0092 15b3:1007:117c:0093 15b3:1007:15b3:0006 15b3:1007:15b3:000c 15b3:1007:15b3:0078
15b3:1007:15b3:0079 15b3:1007:15b3:0080 15b3:1007:193d:1002 15b3:1013:1014:04f7 15b3:1013:15b3:0003 15b3:1013:15b3:0005
15b3:1013:15b3:0006 15b3:1013:15b3:0007 15b3:1013:15b3:0008 15b3:1013:15b3:0033 15b3:1013:15b3:0034 15b3:1013:15b3:0050
15b3:1015:15b3:0001 15b3:1015:15b3:0003 15b3:1015:15b3:0004 15b3:1015:15b3:0005 15b3:1015:15b3:0020 15b3:1015:15b3:0021
15b3:1015:15b3:0025 15b3:1015:193d:100a 15b3:1015:193d:1023 15b3:1015:193d:1031 15b3:1015:193d:1083 15b3:1015:193d:1084
15b3:1017:15b3:0006 15b3:1017:15b3:0007 15b3:1017:15b3:0020 15b3:1017:15b3:0068 15b3:1017:193d:1051 15b3:1019:15b3:0008
15b3:1019:15b3:0125 15b3:673c:1014:0415 15b3:673c:1014:0487 15b3:673c:103c:1782 15b3:673c:15b3:0021 15b3:6750:1014:0416
15b3:6750:1014:0461 15b3:6750:15b3:0018 15b3:6750:15b3:6572 8086:1572:1028:0000 8086:1572:1028:1f99 8086:1572:1028:1f9c
8086:1572:103c:0000 8086:1572:103c:22fc 8086:1572:103c:22fd 8086:1572:1137:0000 8086:1572:1137:013b 8086:1521:1028:0602
8086:1521:1028:0693 8086:1521:1028:06e2 8086:1521:1028:0757 8086:1521:1028:075a 8086:1521:1028:1f60 8086:10fb:1028:1f72
8086:10fb:103c:17d0 8086:10fb:103c:17d2 8086:10fb:103c:17d3 8086:158b:1137:0000 8086:158b:1137:0225 8086:158b:1137:02b4
8086:158b:1374:0230 8086:1563:1028:1fa8 8086:1563:1028:1fa9 8086:1563:1137:02b2 8086:1583:1028:0000 8086:1583:1028:1f9f
8086:1593:1137:02c3 8086:1593:1137:02e9 14e4:165f:1028:04f7 14e4:165f:1028:08fd 14e4:16d7:117c:00cc 14e4:16d7:14e4:1402
1077:8070:1077:0001     
"""

# Per device: speed, port type code, bus type, family wording of the name.
FAMILY = {
    (0x15B3, 0x1003): ("40GbE", "QSFP", "PCIe Gen3", "VPI"),
    (0x15B3, 0x1007): ("40GbE", "QSFP", "PCIe Gen3", "VPI Pro"),
    (0x15B3, 0x1013): ("100GbE", "QSFP", "PCIe Gen3", "EDR VPI"),
    (0x15B3, 0x1015): ("25GbE", "SFP", "PCIe Gen3", "Lx EN"),
    (0x15B3, 0x1017): ("25GbE", "SFP", "PCIe Gen3", "EN"),
    (0x15B3, 0x1019): ("100GbE", "QSFP", "PCIe Gen4", "Ex EN"),
    (0x15B3, 0x673C): ("40Gb IB", "QSFP", "PCIe Gen2", "QDR IB"),
    (0x15B3, 0x6750): ("10GbE", "SFP+", "PCIe Gen2", "EN"),
    (0x8086, 0x1572): ("10GbE", "SFP+", "PCIe Gen3", "Converged"),
    (0x8086, 0x1521): ("1GbE", "RJ45", "PCIe Gen2", "Server"),
    (0x8086, 0x10FB): ("10GbE", "SFP+", "PCIe Gen2", "Converged"),
    (0x8086, 0x158B): ("25GbE", "SFP", "PCIe Gen3", "Converged"),
    (0x8086, 0x1563): ("10GbE", "RJ45", "PCIe Gen3", "Base-T"),
    (0x8086, 0x1583): ("40GbE", "QSFP", "PCIe Gen3", "Converged"),
    (0x8086, 0x1593): ("25GbE", "SFP", "PCIe Gen4", "Converged"),
    (0x14E4, 0x165F): ("1GbE", "RJ45", "PCIe Gen2", "Server"),
    (0x14E4, 0x16D7): ("25GbE", "SFP", "PCIe Gen3", "RDMA"),
    (0x1077, 0x8070): ("25GbE", "SFP", "PCIe Gen3", "FastPath"),
}
OEM = {0x15B3: "VRX", 0x8086: "TDL", 0x14E4: "QXN", 0x1077: "K7"}

# Keys that the table repeats: later rows of a key are never found by a lookup,
# they are kept because the table lists every board revision that was shipped.
TWICE = ["15b3:1003:15b3:0055", "15b3:1015:15b3:0003", "8086:1572:103c:22fc",
         "14e4:165f:1028:04f7"]
FIVE_TIMES = "15b3:1017:15b3:0020"
# A key whose row carries no name.
NAMELESS = "1077:8070:1077:0001"


def read_encode_table(path):
    text = open(path).read()
    block = re.search(r"encode_table\[256\] = \{(.*?)\};", text, re.S).group(1)
    table = [int(b, 16) for b in re.findall(r"0x([0-9a-f]{2})", block)]
    assert len(table) == 256 and sorted(table) == list(range(256))
    return table


def make_row(key, rng, variant):
    ven, dev, sven, sdev = (int(p, 16) for p in key.split(":"))
    speed, port, bus, family = FAMILY[(ven, dev)]
    ports = rng.choice([1, 2, 2, 2, 4]) if speed in ("1GbE", "10GbE") else rng.choice([1, 2, 2])
    mezzanine = rng.random() < 0.12
    model = "NX-%d%02d%s" % (rng.randint(1, 9), rng.randint(0, 99), "ABCDEFGHJK"[variant])
    form = "Mezzanine" if mezzanine else "Adapter"
    name = "Vornex %s %d-port %s %s %s" % (model, ports, speed, family, form)
    if key == NAMELESS:
        name = ""
    row = {
        "ids": (ven, dev, sven, sdev),
        "oem": OEM[ven],
        "pca": "VP-%05d-%03d" % (rng.randint(10000, 99999), rng.randint(100, 999)),
        "spares": "SP%07d%s" % (rng.randint(0, 9999999), "ABCDEFGH"[variant]),
        "rev": rng.choice("ABCD") + str(rng.randint(0, 3)),
        "port": "" if mezzanine else port,
        "bus": bus,
        "name": name,
    }
    limits = {"oem": 3, "pca": 13, "spares": 11, "rev": 2, "port": 4, "bus": 10, "name": 59}
    for field, limit in limits.items():
        assert len(row[field]) <= limit, (key, field, row[field])
    return row


def build_rows():
    keys = KEYS.split()
    assert len(keys) == len(set(keys)) == 103
    order = list(keys)
    # Second rows: one right after the first, the others further down the table.
    for key, gap in zip(TWICE, (1, 17, 9, 4)):
        order.insert(order.index(key) + gap, key)
    first = order.index(FIVE_TIMES)
    for gap in (1, 2, 30, 61):
        order.insert(first + gap, FIVE_TIMES)
    assert len(order) == 111
    rng = random.Random(20240611)
    seen = {}
    rows = []
    for key in order:
        seen[key] = seen.get(key, -1) + 1
        rows.append(make_row(key, rng, seen[key]))
    return rows


def c_bytes(data):
    return '"' + "".join("\\x%02x" % b for b in data) + '"'


def emit(rows, table):
    out = []
    out.append("// The adapter hardware table: 111 rows keyed by the four PCI identifiers.")
    out.append("// Generated by common/gen_nic_hw_table.py; change the rows there. The name")
    out.append("// column is stored encoded with encode_table.")
    out.append('#include "common/nic_hw_db.h"')
    out.append("")
    out.append("constexpr nic_hw_db_t nic_hw[] = {")
    for r in rows:
        encoded = bytes(table[b] for b in r["name"].encode("ascii"))
        ids = ", ".join("0x%04x" % i for i in r["ids"])
        texts = ", ".join('"%s"' % r[f] for f in ("oem", "pca", "spares", "rev", "port", "bus"))
        out.append("    {%s, %s, %d, %s}," % (ids, texts, len(encoded), c_bytes(encoded)))
    out.append("};")
    out.append("")
    out.append("static_assert(sizeof nic_hw / sizeof nic_hw[0] == NIC_HW_ROWS);")
    out.append("static_assert(nic_hw_rows_within_bounds(nic_hw, NIC_HW_ROWS));")
    return "\n".join(out) + "\n"


def main():
    table = read_encode_table("common/encode_string.cc")
    sys.stdout.write(emit(build_rows(), table))


if __name__ == "__main__":
    main()
