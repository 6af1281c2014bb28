"""Writes the performance page (docs/performance.rst) from a recorded benchmark result.

The recording is what `benchmarks/bench.py --save` wrote: the machine, the interpreter, the
libraries compared and, for every operation, ns per library or why a library has no figure. The page
shows where it came from, a table per group of operations, and an SVG chart of vantor's time over
the fastest peer's, drawn here and written next to the page (docs/performance.svg).
"""

from __future__ import annotations

import datetime
import json
import math
import re
from pathlib import Path
from xml.sax.saxutils import escape, quoteattr

from sphinx.util import logging

RECORDING = Path("performance") / "bench-3.13-default.json"
CHART = "performance.svg"
RERECORD = f"""\
   $ scripts/run-bench --quick
   $ ~/.cache/vantor/bench-venv/bin/python benchmarks/bench.py \\
         --save docs/{RECORDING.as_posix()}"""

logger = logging.getLogger(__name__)


def rst_text(text: str) -> str:
    """Plain text that reStructuredText shows as it is."""
    return re.sub(r"([\\`*_|\[\]<>])", r"\\\1", text)


def ns(value: float) -> str:
    return f"{value:.1f}"


def heading(title: str, underline: str) -> list[str]:
    return [title, underline * len(title), ""]


def list_table(header: list[str], rows: list[list[str]], widths: str = "auto") -> list[str]:
    lines = [".. list-table::", "   :header-rows: 1", f"   :widths: {widths}", ""]
    for row in [header, *rows]:
        lines += [f"   {'*' if i == 0 else ' '} - {cell}" for i, cell in enumerate(row)]
    return lines + [""]


def cell(row: dict, key: str) -> str:
    """A peer's figure with vantor's time over it in parentheses, or why there is none."""
    if key in row["ns"]:
        theirs, ours = row["ns"][key], row["ns"].get("vantor")
        ratio = f" ({ours / theirs:.2f})" if key != "vantor" and ours is not None and theirs > 0 else ""
        return ns(theirs) + ratio
    return "n/a: " + rst_text(row["n/a"].get(key, "not run"))


def bars(record: dict) -> list[tuple[str, float, str]]:
    """(operation, vantor's time over the fastest peer's, that peer) for every row where both have
    a figure above zero."""
    names = {lib["key"]: lib["name"] for lib in record["libraries"]}
    out = []
    for row in record["rows"]:
        ours = row["ns"].get("vantor", 0.0)
        peers = {key: t for key, t in row["ns"].items() if key != "vantor" and t > 0}
        if ours > 0 and peers:
            fastest = min(peers, key=peers.__getitem__)
            out.append((f"{row['group']}: {row['label']}", ours / peers[fastest], names[fastest]))
    return out


def chart(bars: list[tuple[str, float, str]]) -> str:
    """A horizontal bar per operation on a logarithmic axis, from the line at 1.0 (as fast as the
    fastest peer) to vantor's ratio: left of it, green, vantor is faster."""
    char, row_h, top, bottom, plot_w, value_w = 7.4, 18, 34, 10, 420, 150
    label_w = round(max(len(label) for label, _, _ in bars) * char) + 12
    lo = min(-1, math.floor(math.log2(min(r for _, r, _ in bars))))
    hi = max(1, math.ceil(math.log2(max(r for _, r, _ in bars))))
    width, height = label_w + plot_w + value_w, top + row_h * len(bars) + bottom

    def x(ratio: float) -> float:
        return round(label_w + (math.log2(ratio) - lo) / (hi - lo) * plot_w, 1)

    title = "vantor's time over the fastest peer's time, per operation (logarithmic; below 1.0 vantor is faster)"
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 {width} {height}" width="{width}" '
           f'role="img" aria-label={quoteattr(title)} style="max-width: 100%; height: auto" '
           'font-family="monospace" font-size="12">',
           f"<title>{escape(title)}</title>"]
    for k in range(lo, hi + 1):
        tick = x(2.0**k)
        text = str(2**k) if k >= 0 else f"1/{2**-k}"
        colour, stroke = ("#222", 1.5) if k == 0 else ("#ccc", 1)
        out.append(f'<line x1="{tick}" y1="{top - 6}" x2="{tick}" y2="{height - bottom}" stroke="{colour}" '
                   f'stroke-width="{stroke}"/>')
        out.append(f'<text x="{tick}" y="{top - 10}" text-anchor="middle">{"1.0" if k == 0 else text}</text>')
    for i, (label, ratio, peer) in enumerate(bars):
        y = top + i * row_h
        left, right = sorted((x(1.0), x(ratio)))
        colour = "#3b8a4a" if ratio < 1 else "#c0503f"
        summary = f"{label}: {ratio:.2f} of {peer}'s time"
        out.append(f"<g><title>{escape(summary)}</title>"
                   f'<text x="{label_w - 8}" y="{y + 13}" text-anchor="end">{escape(label)}</text>'
                   f'<rect x="{left}" y="{y + 3}" width="{max(right - left, 1.0)}" height="{row_h - 6}" '
                   f'fill="{colour}"/>'
                   f'<text x="{label_w + plot_w + 8}" y="{y + 13}">{ratio:.2f} vs {escape(peer)}</text></g>')
    out.append("</svg>")
    return "\n".join(out)


def page(record: dict) -> tuple[str, str | None]:
    """The page's reStructuredText and its chart's SVG (None without a row to draw)."""
    libs = record["libraries"]
    peers = [lib for lib in libs if lib["key"] != "vantor"]
    machine, python = record["machine"], record["interpreter"]
    date = datetime.datetime.fromisoformat(record["date"]).astimezone(datetime.timezone.utc)
    lines = heading("Performance", "=") + [
        "The figures on this page are a recording: one run of the benchmark suite,",
        f"``benchmarks/bench.py``, saved as ``docs/{RECORDING.as_posix()}`` and turned into this page",
        "when the site is built. Nothing is measured while the site builds; the figures hold for the",
        "machine and the interpreter below, and on another machine the ratios, more than the",
        "nanoseconds, are what carries over.",
        "",
        f":Recorded: {date:%Y-%m-%d %H:%M} UTC",
        f":Machine: {rst_text(machine['arch'])}, {rst_text(machine['cpu'])}, {machine['cores']} cores",
        f":Interpreter: {rst_text(python['implementation'])} {python['version']}, {python['build']} build, "
        f"GIL {'enabled' if python['gil'] else 'disabled'}",
        f":Method: nanoseconds per operation, the best of {record['repeats']} repeats less the cost of an "
        "empty loop timed the same way; before anything is timed, each peer's result is compared with "
        "vantor's, so that a row never puts different computations side by side.",
        "",
        *list_table(["library", "version"],
                    [[rst_text(lib["name"]), "missing: " + rst_text(lib["missing"]) if lib["missing"]
                      else rst_text(lib["version"])] for lib in libs]),
        "``py-slots`` is plain Python classes with ``__slots__`` written as a user would, in the suite",
        "itself; ``complex`` stands in for a 2-D vector.",
        "",
        *heading("Re-recording", "-"),
        "From a clone: ``scripts/run-bench`` provisions ``~/.cache/vantor/bench-venv``, a default-build",
        "CPython 3.13 with the peer libraries of ``requirements-bench.txt`` and vantor built from the",
        "clone (``--quick`` keeps its own timing short); the suite run there with ``--save`` writes the",
        "recording, in under a minute:",
        "",
        ".. code-block:: console",
        "",
        RERECORD,
        "",
        "and commit the JSON file; the next build of the site shows it.",
        "",
    ]
    shown = bars(record)
    svg = chart(shown) if shown else None
    if svg:
        lines += heading("vantor over the fastest peer", "-") + [
            "Each bar is vantor's time over the time of the fastest peer that has the operation, on a",
            "logarithmic axis: a bar left of the line at 1.0 (green) means vantor is faster than every",
            "peer, one to the right (red) means some peer is faster, by that factor.",
            "",
            f".. image:: {CHART}",
            "   :alt: a bar per operation: vantor's time over the fastest peer's, on a logarithmic axis",
            "",
        ]
    lines += heading("Figures", "-") + [
        "Nanoseconds per operation; after each peer's figure, in parentheses, vantor's time over the",
        "peer's (below 1: vantor is faster); n/a says why a library has no figure. Each peer computes the",
        "same result as vantor, in its own spelling where it differs: ``cases()`` in",
        "``benchmarks/suite.py`` lists the statement each library runs.",
        "",
    ]
    groups: dict[str, list[dict]] = {}
    for row in record["rows"]:
        groups.setdefault(row["group"], []).append(row)
    for group, rows in groups.items():
        lines += heading(rst_text(group), "~")
        lines += list_table(["operation", "vantor", *(rst_text(lib["name"]) for lib in peers)],
                            [[f"``{row['label']}``", cell(row, "vantor"), *(cell(row, lib["key"]) for lib in peers)]
                             for row in rows])
    return "\n".join(lines), svg


def write(target: Path, text: str) -> None:
    # Only when it changes, so that a build after an unchanged one reads nothing again.
    if not target.exists() or target.read_text(encoding="utf-8") != text:
        target.write_text(text, encoding="utf-8")


def write_page(app):
    source = Path(app.srcdir) / RECORDING
    try:
        text, svg = page(json.loads(source.read_text(encoding="utf-8")))
    except (OSError, ValueError, KeyError, TypeError) as e:
        logger.warning("no performance page: %s is not a readable recording (%s: %s)", source, type(e).__name__, e)
        text, svg = "Performance\n===========\n\nNo benchmark result is recorded.\n", None
    if svg:
        write(Path(app.srcdir) / CHART, svg + "\n")
    write(Path(app.srcdir) / "performance.rst", text)


def setup(app):
    app.connect("builder-inited", write_page)
    return {"parallel_read_safe": True, "version": "1"}
