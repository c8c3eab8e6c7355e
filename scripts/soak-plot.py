#!/usr/bin/python3
"""Plots a soak run of the listening console from its CSV (tests/e2e/soak_listen.sh):
resident memory of the console's Wine process and the tags it holds, over time.

    scripts/soak-plot.py build-win/e2e-logs/soak-listen-short/soak-listen.csv docs/images/soak-listen.png

Uses Debian's python3-matplotlib (scripts/setup.sh installs it).
"""
import csv
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402


def main(source, target):
    t, rss, tags, linked = [], [], [], []
    with open(source, newline="") as f:
        for row in csv.DictReader(f):
            t.append(float(row["t_s"]))
            rss.append(int(row["rss_kb"]) / 1024.0)
            tags.append(int(row["tags"] or 0))
            linked.append(int(row["linked"]))
    fig, left = plt.subplots(figsize=(8, 3.6), dpi=100)
    left.plot(t, rss, color="tab:blue", label="resident memory (MB)")
    left.set_xlabel("seconds since the reader started")
    left.set_ylabel("VmRSS of the Wine process (MB)", color="tab:blue")
    low = min(rss)
    left.set_ylim(low - 1, low + 3)
    right = left.twinx()
    right.plot(t, tags, color="tab:green", label="tags held")
    right.fill_between(t, 0, [5200 * (1 - x) for x in linked], step="post", color="tab:red",
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
