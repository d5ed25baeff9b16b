#!/usr/bin/env python3
"""Turns Google Benchmark JSON reports into bench/RESULTS.md.

Benchmarks named "<case>/<implementation>" (implementation one of direct,
ours, rttr, qt) form the side-by-side table; every other benchmark is listed
below it. Times are the medians of the repetitions, in CPU nanoseconds per
operation: a benchmark with an "ops" counter made that many operations per
iteration, and its time and allocations are divided by it.

    make_results.py --build-dir build/bench --out bench/RESULTS.md report.json...
"""

import argparse
import datetime
import json
import os
import platform
import re
import subprocess
import sys

IMPLEMENTATIONS = ("direct", "ours", "rttr", "qt")

# Table order and the wording of each case.
CASES = [
    ("read_float", "read a float (handle made once)"),
    ("read_string", "read the string (handle made once)"),
    ("write_float", "write a float: no listener, no undo"),
    ("write_float_slot", "write a float: one connected slot"),
    ("write_float_undo", "write a float inside an open undo transaction"),
    ("write_float_commit", "write a float as its own undo transaction"),
    ("write_by_name", "look up by name, then write"),
    ("write_by_name_slot", "look up by name, then write: one connected slot"),
    ("invoke", "invoke a one-argument method (handle made once)"),
    ("enumerate_read", "enumerate the 5 properties, read each"),
    ("emit_signal", "emit a signal to one slot"),
    ("notify_changed", "announce and deliver a property change to one slot"),
    ("multi_edit", "100 writes in one notify scope, one slot (per write)"),
    ("undo_redo_depth1", "undo + redo of one recorded write, path of 1 key"),
    ("undo_redo_depth4", "undo + redo of one recorded write, path of 4 keys"),
    ("collection_insert_front", "insert at the front of a 10,000-element list"),
]

# Operations measured at several sizes, named "<group>/<case>/<size>": one
# table per group, one column per size.
SCALING = [
    (
        "generic_object",
        "Generic objects by number of properties (ns per operation, allocations in brackets)",
        [
            ("add", "add a property (appended; the object grows to the size)"),
            ("find", "find a property by key (handle)"),
            ("index_of", "look a key up (index only)"),
            ("read", "read a property (handle made once)"),
            ("remove_middle", "remove the middle property"),
        ],
    ),
    (
        "multi_selection",
        "A multi-selection by number of selected objects, 20 properties each (ns per property read "
        "or per object written, allocations in brackets)",
        [
            ("build_read", "build the combined object, read every combined value"),
            ("read_one_by_one", "the same properties read one by one through handles"),
            ("write_combined", "write one combined property (every object written)"),
            ("write_single", "the same writes one by one in one notify scope"),
        ],
    ),
]

# Upper bounds on the ratio of two cases of a SCALING group at every size:
# (group, case, baseline, at most).
TARGETS = [
    ("multi_selection", "build_read", "read_one_by_one", 2.0),
    ("multi_selection", "write_combined", "write_single", 1.5),
]

# The XML benchmarks: the same scene written and read by this library, by
# Boost.Serialization's XML archives, and parsed by bare expat (the floor).
# Times are per property of the scene.
XML_IMPLEMENTATIONS = ("ours", "boost", "expat")
XML_CASES = [
    ("xml_write", "xml_write", "write the scene"),
    ("xml_write_handle", "xml_write", "write the scene through the editor's long-lived handle"),
    ("xml_read", "xml_read", "read the scene"),
    ("xml_read_handle", "xml_read", "read the scene through the editor's long-lived handle"),
]
XML_COUNTERS = ("MB/s", "peak_bytes", "document_bytes")
XML_MEMORY = ("BM_XmlReaderMemoryLength", "BM_XmlReaderMemoryDepth")

TIME_TO_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}

# Speed targets: (case, peer, ratio): our time at most `ratio` times the
# peer's in the same run.
TIME_TARGETS = [
    ("read_float", "rttr", 1.0),
    ("write_float", "qt", 1.0),
    ("write_float_slot", "qt", 1.0),
    ("write_by_name", "qt", 1.0),
    ("invoke", "qt", 1.0),
    ("enumerate_read", "rttr", 1.0),
    ("emit_signal", "qt", 1.0),
    ("multi_edit", "qt", 1.0),
]

# Allocation targets: benchmark name -> most heap allocations per operation.
ALLOCATION_TARGETS = {
    "write_float_undo/ours": 1,
    "write_float_commit/ours": 3,
    "BM_CopyString": 0,
}
# Every row of ours that allocates nothing must stay so.
ALLOCATION_TARGETS.update(
    {
        f"{case}/ours": 0
        for case in (
            "read_float",
            "read_string",
            "write_float",
            "write_float_slot",
            "write_by_name",
            "write_by_name_slot",
            "invoke",
            "enumerate_read",
            "emit_signal",
            "notify_changed",
            "multi_edit",
        )
    }
)
PEER_NAMES = {"rttr": "RTTR", "qt": "Qt", "direct": "direct"}


def load_reports(paths):
    """{name: result} from the median aggregates; errors keep their message."""
    results, contexts = {}, []
    for path in paths:
        with open(path, encoding="utf-8") as f:
            report = json.load(f)
        contexts.append(report.get("context", {}))
        for entry in report.get("benchmarks", []):
            name = entry.get("run_name", entry["name"])
            if entry.get("error_occurred"):
                results[name] = {"error": entry.get("error_message", "error")}
                continue
            if entry.get("run_type") == "aggregate" and entry.get("aggregate_name") != "median":
                continue
            if entry.get("run_type") == "iteration" and name in results:
                continue  # aggregates preferred; a single run stands in for them
            ops = float(entry.get("ops", 1.0)) or 1.0
            ns = entry["cpu_time"] * TIME_TO_NS[entry.get("time_unit", "ns")] / ops
            allocs = entry.get("allocs")
            results[name] = {
                "ns": ns,
                "allocs": None if allocs is None else float(allocs) / ops,
                "counters": {k: float(entry[k]) for k in XML_COUNTERS if k in entry},
            }
    return results, contexts


def fmt_ns(value):
    if value is None:
        return "—"
    if value >= 100:
        return f"{value:.0f}"
    if value >= 10:
        return f"{value:.1f}"
    return f"{value:.2f}"


def fmt_ratio(a, b):
    if a is None or b is None or b <= 0:
        return "—"
    ratio = a / b
    return f"{ratio:.0f}×" if ratio >= 100 else f"{ratio:.1f}×" if ratio >= 10 else f"{ratio:.2f}×"


def fmt_allocs(value):
    if value is None:
        return "—"
    # Below one allocation in a thousand operations it is the benchmark's
    # own bookkeeping, not the operation.
    if value < 1e-3:
        return "0"
    return f"{value:.0f}" if abs(value - round(value)) < 0.01 else f"{value:.2f}"


def cell(result, key):
    if result is None:
        return None
    return result.get(key)


def time_verdict(results, case):
    """'met 0.82× Qt' / 'missed 2.31× Qt (≤ 1.0×)' for a case with a speed target, else None."""
    for target_case, peer, limit in TIME_TARGETS:
        if target_case != case:
            continue
        ours = cell(results.get(f"{case}/ours"), "ns")
        theirs = cell(results.get(f"{case}/{peer}"), "ns")
        if ours is None or theirs is None or theirs <= 0:
            return f"not measured (≤ {limit:g}× {PEER_NAMES[peer]})"
        ratio = ours / theirs
        verdict = "met" if ratio <= limit else "missed"
        return f"{verdict} {fmt_ratio(ours, theirs)} {PEER_NAMES[peer]} (≤ {limit:g}×)"
    return None


def allocation_verdict(results, name):
    """'met 0 ≤ 1' / 'missed 5 > 1' for a benchmark with an allocation limit, else None."""
    if name not in ALLOCATION_TARGETS:
        return None
    limit = ALLOCATION_TARGETS[name]
    result = results.get(name)
    if result is None:
        return f"not measured (≤ {limit})"
    if "error" in result:
        return f"missed: {result['error']}"
    allocs = result.get("allocs")
    if allocs is None:
        return f"not counted (≤ {limit})"
    shown = fmt_allocs(allocs)
    # fmt_allocs rounds away the benchmark's own bookkeeping.
    return f"met {shown} ≤ {limit}" if float(shown) <= limit else f"missed {shown} > {limit}"


def target_table(results):
    """The table of every target: met or missed, and by how much."""
    lines = ["| target | verdict |", "|---|---|"]
    for case, label in CASES:
        verdict = time_verdict(results, case)
        if verdict:
            lines.append(f"| {label}: time | {verdict} |")
    for name in ALLOCATION_TARGETS:
        verdict = allocation_verdict(results, name)
        case = name.rsplit("/", 1)[0]
        label = next((text for c, text in CASES if c == case), name)
        lines.append(f"| {label}: allocations | {verdict} |")
    return "\n".join(lines)


def side_by_side(results):
    rows, errors = [], []
    for case, label in CASES:
        row = {impl: results.get(f"{case}/{impl}") for impl in IMPLEMENTATIONS}
        if not any(row.values()):
            continue
        for impl, result in row.items():
            if result and "error" in result:
                errors.append(f"{case}/{impl}: {result['error']}")
        ns = {impl: cell(row[impl], "ns") for impl in IMPLEMENTATIONS}
        allocs = {impl: cell(row[impl], "allocs") for impl in IMPLEMENTATIONS}
        rows.append(
            "| "
            + " | ".join(
                [
                    label,
                    fmt_ns(ns["direct"]),
                    fmt_ns(ns["ours"]),
                    fmt_ns(ns["rttr"]),
                    fmt_ns(ns["qt"]),
                    fmt_ratio(ns["ours"], ns["direct"]),
                    fmt_ratio(ns["ours"], ns["rttr"]),
                    fmt_ratio(ns["ours"], ns["qt"]),
                    fmt_allocs(allocs["ours"]),
                    fmt_allocs(allocs["rttr"]),
                    fmt_allocs(allocs["qt"]),
                    "; ".join(
                        v
                        for v in (time_verdict(results, case), allocation_verdict(results, f"{case}/ours"))
                        if v
                    )
                    or "—",
                ]
            )
            + " |"
        )
    header = (
        "| case | direct ns | ours ns | RTTR ns | Qt ns | ours÷direct | ours÷RTTR | ours÷Qt "
        "| allocs ours | allocs RTTR | allocs Qt | target |\n"
        "|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|---|"
    )
    return header + "\n" + "\n".join(rows), errors


def counter(result, key):
    return None if result is None or "error" in result else result.get("counters", {}).get(key)


def fmt_rate(value):
    return "—" if value is None else f"{value:.0f}" if value >= 10 else f"{value:.1f}"


def xml_tables(results):
    """The XML table, the targets against Boost and expat, and the reader's memory."""
    rows = []
    for case, base, label in XML_CASES:
        ours = results.get(f"{case}/ours")
        boost = results.get(f"{base}/boost")
        expat = results.get(f"{base}/expat") if base == "xml_read" else None
        if not ours:
            continue
        ns = [cell(r, "ns") if r and "error" not in r else None for r in (ours, boost, expat)]
        rate = [counter(r, "MB/s") for r in (ours, boost, expat)]
        rows.append(
            "| "
            + " | ".join(
                [label]
                + [fmt_ns(v) for v in ns]
                + [fmt_rate(v) for v in rate]
                + [fmt_ratio(ns[0], ns[1]), fmt_ratio(ns[0], ns[2])]
            )
            + " |"
        )
    if not rows:
        return ""
    lines = [
        "| case | ours ns/property | Boost ns/property | expat ns/property | ours MB/s | Boost MB/s "
        "| expat MB/s | ours÷Boost | ours÷expat |",
        "|---|--:|--:|--:|--:|--:|--:|--:|--:|",
    ] + rows

    def ns_of(name):
        result = results.get(name)
        return None if not result or "error" in result else result.get("ns")

    targets = []
    for case, peer, limit, what in (
        ("xml_write", "xml_write/boost", 1.0, "writing faster than Boost.Serialization"),
        ("xml_read", "xml_read/boost", 1.0, "reading faster than Boost.Serialization"),
        ("xml_read", "xml_read/expat", 3.0, "reading within 3× of a bare expat parse"),
    ):
        for variant, how in ((case, "fresh handle"), (f"{case}_handle", "editor's handle")):
            a, b = ns_of(f"{variant}/ours"), ns_of(peer)
            if a is None or b is None:
                continue
            verdict = "met" if a / b < limit else "missed"
            targets.append(f"- {what} ({how}): {fmt_ratio(a, b)} — {verdict}")
    if targets:
        lines += ["", "Targets:", ""] + targets

    memory = []
    for name, result in results.items():
        if name.split("/")[0] in XML_MEMORY:
            memory.append(
                f"| {name} | {fmt_rate(counter(result, 'document_bytes'))} "
                f"| {fmt_rate(counter(result, 'peak_bytes'))} |"
            )
    if memory:
        lines += [
            "",
            "The reader's working memory: the most allocated at once during a read, for documents "
            "that grow in length (`Length/n`: n values side by side) and in depth (`Depth/n`: n "
            "objects nested):",
            "",
            "| benchmark | document bytes | peak bytes |",
            "|---|--:|--:|",
        ] + memory
    return "\n".join(lines)


def scaling_name(name):
    """(group, case, size) for a benchmark of a SCALING group, else None."""
    parts = name.split("/")
    if len(parts) != 3 or not parts[2].isdigit():
        return None
    if not any(parts[0] == group for group, _, _ in SCALING):
        return None
    return parts[0], parts[1], int(parts[2])


def scaling(results):
    tables, errors = [], []
    for group, title, cases in SCALING:
        sizes = sorted({s for n in results if (k := scaling_name(n)) and k[0] == group for s in [k[2]]})
        if not sizes:
            continue
        lines = [
            f"### {title}",
            "",
            "| case | " + " | ".join(f"{size:,}" for size in sizes) + " |",
            "|---|" + "--:|" * len(sizes),
        ]
        for case, label in cases:
            cells = []
            for size in sizes:
                result = results.get(f"{group}/{case}/{size}")
                if result is None:
                    cells.append("—")
                elif "error" in result:
                    errors.append(f"{group}/{case}/{size}: {result['error']}")
                    cells.append("error")
                else:
                    cells.append(f"{fmt_ns(result['ns'])} ({fmt_allocs(result['allocs'])})")
            lines.append(f"| {label} | " + " | ".join(cells) + " |")
        lines += targets(results, group, sizes)
        tables.append("\n".join(lines))
    return "\n\n".join(tables), errors


def targets(results, group, sizes):
    """Lines below a SCALING table: each target's ratio per size, and whether it holds."""
    lines = []
    for target_group, case, baseline, bound in TARGETS:
        if target_group != group:
            continue
        cells = []
        for size in sizes:
            ns = cell(results.get(f"{group}/{case}/{size}"), "ns")
            base = cell(results.get(f"{group}/{baseline}/{size}"), "ns")
            if ns is None or base is None or base <= 0:
                cells.append("—")
            else:
                cells.append(f"{fmt_ratio(ns, base)} ({'met' if ns / base <= bound else 'missed'})")
        lines.append(f"| {case} ÷ {baseline}, target ≤ {bound:g}× | " + " | ".join(cells) + " |")
    return lines


def others(results):
    names = [
        n
        for n in results
        if n.rsplit("/", 1)[-1] not in IMPLEMENTATIONS
        and scaling_name(n) is None
        and not n.startswith("xml_")
        and n.split("/")[0] not in XML_MEMORY
    ]
    lines = ["| benchmark | ns | allocs |", "|---|--:|--:|"]
    for name in names:
        result = results[name]
        if "error" in result:
            lines.append(f"| {name} | error: {result['error']} | |")
        else:
            lines.append(f"| {name} | {fmt_ns(result['ns'])} | {fmt_allocs(result['allocs'])} |")
    return "\n".join(lines) if names else ""


def cpu_model():
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown CPU"


def compiler(build_dir):
    path = None
    try:
        with open(os.path.join(build_dir, "CMakeCache.txt"), encoding="utf-8") as f:
            for line in f:
                if line.startswith("CMAKE_CXX_COMPILER:"):
                    path = line.split("=", 1)[1].strip()
    except OSError:
        pass
    try:
        out = subprocess.run([path or "c++", "--version"], capture_output=True, text=True, check=True).stdout
        return out.splitlines()[0].strip()
    except (OSError, subprocess.CalledProcessError, IndexError):
        return path or "unknown compiler"


def peer_versions():
    versions = []
    for package, label in (("librttr-dev", "RTTR"), ("qt6-base-dev", "Qt")):
        try:
            out = subprocess.run(
                ["dpkg-query", "-W", "-f=${Version}", package], capture_output=True, text=True, check=True
            ).stdout
            versions.append(f"{label} {re.sub(r'[+~].*', '', out.strip())}")
        except (OSError, subprocess.CalledProcessError):
            pass
    return ", ".join(versions)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("reports", nargs="+")
    args = parser.parse_args()

    results, contexts = load_reports(args.reports)
    table, errors = side_by_side(results)
    load = max((c.get("load_avg", [0])[0] for c in contexts if c.get("load_avg")), default=None)
    machine = (
        f"{cpu_model()}, {os.cpu_count()} cores; {compiler(args.build_dir)}, Release; "
        f"{datetime.datetime.now(datetime.timezone.utc).strftime('%Y-%m-%d %H:%M UTC')}"
    )
    if load is not None:
        machine += f"; load average at start {load:.2f}"
    peers = peer_versions()

    parts = [
        "# Benchmark results",
        "",
        "Written by `./build.sh bench`; do not edit by hand.",
        "",
        f"Machine: {machine}." + (f" Peers: {peers}." if peers else ""),
        "",
        "Median CPU time per operation over the repetitions, in nanoseconds; allocations are heap "
        "allocations per operation. `direct` is plain C++ on the same struct; `ours` goes through "
        "`orv::ReflectedObject`/`orv::BoundProperty`; RTTR through `rttr::property`/`rttr::method`; "
        "Qt through `QMetaProperty`/`QMetaMethod`, by name through `QObject::setProperty`, with "
        "setters that emit their NOTIFY signal. A dash: the implementation has no such operation "
        "(RTTR has no signals, batching or undo; Qt no batching or undo). The programs' warning "
        "\"Library was built as DEBUG\" is about Debian's build of Google Benchmark itself, not "
        "the code measured.",
        "",
        table,
    ]
    grown, grown_errors = scaling(results)
    if grown:
        parts += ["", grown]
    errors += grown_errors
    if errors:
        parts += ["", "Benchmarks that failed their own checks:", ""] + [f"- {e}" for e in errors]
    parts += ["", "## Targets", "", target_table(results)]
    xml = xml_tables(results)
    if xml:
        parts += ["", "## XML", "", xml]
    rest = others(results)
    if rest:
        parts += ["", "## Other benchmarks", "", rest]
    with open(args.out, "w", encoding="utf-8") as f:
        f.write("\n".join(parts) + "\n")
    print(table)
    if errors:
        print("\n".join(errors), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
