#!/usr/bin/python3
"""Plots a soak run from its CSV, told by the CSV's columns:

- the listening console (tests/e2e/soak_listen.sh): resident memory of the
  console's Wine process and the tags it holds, over time;
- the link soak (tests/e2e/soak_links.sh): resident memory of each console
  over time, with its link down shaded;
- the configuration tool (tests/e2e/soak_setup.sh): resident memory of each
  tool over its rounds.

    scripts/soak-plot.py build-win/e2e-logs/soak-listen-short/soak-listen.csv docs/images/soak-listen.png

Uses Debian's python3-matplotlib (scripts/setup.sh installs it).
"""
import csv
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def plot_groups(rows, group, x_column, x_label, target):
    """Resident memory of each group (a console, a tool) against x_column."""
    fig, axes = plt.subplots(figsize=(8, 3.6), dpi=100)
    low = min(int(row["rss_kb"]) for row in rows) / 1024.0
    for band, name in enumerate(sorted({row[group] for row in rows})):
        mine = [row for row in rows if row[group] == name]
        x = [float(row[x_column]) for row in mine]
        rss = [int(row["rss_kb"]) / 1024.0 for row in mine]
        line = axes.plot(x, rss, label=name + " (MB)")[0]
        if "linked" in mine[0]:
            # The link down as a band of its own under the memory lines.
            bottom = low - 1 + 0.3 * band
            axes.fill_between(x, bottom, bottom + 0.25, where=[row["linked"] == "0" for row in mine],
                              step="post", color=line.get_color(), alpha=0.3, label=name + " link down")
    axes.set_ylim(low - 1, low + 4)
    axes.set_xlabel(x_label)
    axes.set_ylabel("VmRSS of the Wine process (MB)")
    axes.legend(loc="upper right", fontsize=8)
    fig.tight_layout()
    fig.savefig(target)


def main(source, target):
    with open(source, newline="") as f:
        rows = list(csv.DictReader(f))
    if rows and "kind" in rows[0]:
        return plot_groups(rows, "kind", "t_s", "seconds since the readers started", target)
    if rows and "reader" in rows[0]:
        return plot_groups(rows, "reader", "round", "round", target)
    t, rss = [], []
    # The panel's figures: rows where the soak did not read the panel
    # (after the line's silence) leave them blank and are left out.
    panel_t, tags, linked = [], [], []
    for row in rows:
        t.append(float(row["t_s"]))
        rss.append(int(row["rss_kb"]) / 1024.0)
        if row["linked"] != "":
            panel_t.append(float(row["t_s"]))
            tags.append(int(row["tags"] or 0))
            linked.append(int(row["linked"]))
    fig, left = plt.subplots(figsize=(8, 3.6), dpi=100)
    left.plot(t, rss, color="tab:blue", label="resident memory (MB)")
    left.set_xlabel("seconds since the reader started")
    left.set_ylabel("VmRSS of the Wine process (MB)", color="tab:blue")
    low = min(rss)
    left.set_ylim(low - 1, low + 3)
    right = left.twinx()
    right.plot(panel_t, tags, color="tab:green", label="tags held")
    right.fill_between(panel_t, 0, [5200 * (1 - x) for x in linked], step="post", color="tab:red",
                       alpha=0.12, label="link down")
    right.set_ylabel("tags held (count shown)", color="tab:green")
    right.set_ylim(0, 5200)
    lines = left.get_legend_handles_labels()
    more = right.get_legend_handles_labels()
    left.legend(lines[0] + more[0], lines[1] + more[1], loc="lower right", fontsize=8)
    fig.tight_layout()
    fig.savefig(target)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: soak-plot.py SOAK.csv OUT.png")
    main(sys.argv[1], sys.argv[2])
