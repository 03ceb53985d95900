#!/usr/bin/env python3
"""Summaries and the chart of the benchmark's results.

  report.py summarize DIR        combines DIR/bench-<arch>-run<N>.json into
                                 DIR/bench-<arch>.json and .csv and prints the
                                 table with the spread over the runs
  report.py chart DIR PNG        draws ours against the floor per operation
                                 from DIR/bench-<arch>.json

Standard library only: the PNG is written by hand (zlib for the pixels) with
a small built-in bitmap font.
"""
import csv
import glob
import json
import math
import os
import statistics
import struct
import sys
import zlib

GOAL = 1.10


# ---------------------------------------------------------------------------
# Summaries

def load_runs(directory, arch):
    runs = []
    for path in sorted(glob.glob(os.path.join(directory, "bench-%s-run*.json" % arch))):
        with open(path, encoding="utf-8") as f:
            runs.append(json.load(f))
    return runs


def summarize_arch(runs):
    operations = []
    for op in runs[0]["operations"]:
        name = op["operation"]
        rows = [o for r in runs for o in r["operations"] if o["operation"] == name]
        ratios = [o["ratio"] for o in rows]
        operations.append({
            "operation": name,
            "ours_median_us": statistics.median(o["ours_median_us"] for o in rows),
            "ours_p90_us": statistics.median(o["ours_p90_us"] for o in rows),
            "floor_median_us": statistics.median(o["floor_median_us"] for o in rows),
            "floor_p90_us": statistics.median(o["floor_p90_us"] for o in rows),
            "ratio": statistics.median(ratios),
            "ratio_min": min(ratios),
            "ratio_max": max(ratios),
            "ratio_p90": statistics.median(o["ratio_p90"] for o in rows),
            "runs": len(rows),
        })
        # Beside some floors: what a naive handler pays for the same work.
        if all("naive_median_us" in o for o in rows):
            operations[-1]["naive_median_us"] = statistics.median(o["naive_median_us"] for o in rows)
            operations[-1]["naive_p90_us"] = statistics.median(o["naive_p90_us"] for o in rows)
    return operations


def summarize(directory):
    failed = False
    for arch in ("x64", "x64-cfg", "x86"):
        runs = load_runs(directory, arch)
        if not runs:
            continue
        operations = summarize_arch(runs)
        with open(os.path.join(directory, "bench-%s.json" % arch), "w", encoding="utf-8") as f:
            json.dump({"arch": arch, "runs": len(runs), "goal_ratio": GOAL, "operations": operations}, f, indent=2)
        with open(os.path.join(directory, "bench-%s.csv" % arch), "w", newline="", encoding="utf-8") as f:
            fields = ["arch"] + list(operations[0].keys())
            fields += [k for k in ("naive_median_us", "naive_p90_us") if k not in fields]
            writer = csv.DictWriter(f, fieldnames=fields)
            writer.writeheader()
            for op in operations:
                writer.writerow(dict(op, arch=arch))
        print("\n%s, %d run(s): medians of the runs' medians; ratio = ours / floor (spread over the runs)" %
              (arch, len(runs)))
        print("%-40s %12s %12s %8s %15s %9s %14s" % ("operation", "ours us", "floor us", "ratio", "min - max",
                                                      "p90 rat", "naive us"))
        for op in operations:
            mark = "" if op["ratio"] <= GOAL else "  ABOVE GOAL"
            failed = failed or op["ratio"] > GOAL
            naive = "%14.2f" % op["naive_median_us"] if "naive_median_us" in op else " " * 14
            print("%-40s %12.2f %12.2f %8.3f %7.3f - %5.3f %9.3f %s%s" % (
                op["operation"], op["ours_median_us"], op["floor_median_us"], op["ratio"],
                op["ratio_min"], op["ratio_max"], op["ratio_p90"], naive, mark))
    return 1 if failed else 0


# ---------------------------------------------------------------------------
# A minimal PNG canvas

# 5x7 glyphs, one byte per column, lowest bit at the top (printable ASCII).
FONT = bytes.fromhex(
    "0000000000" "00005f0000" "0007000700" "147f147f14" "242a7f2a12" "2313086462" "3649552250" "0005030000"
    "001c224100" "0041221c00" "082a1c2a08" "08083e0808" "0050300000" "0808080808" "0060600000" "2010080402"
    "3e5149453e" "00427f4000" "4261514946" "2141454b31" "1814127f10" "2745454539" "3c4a494930" "0171090503"
    "3649494936" "064949291e" "0036360000" "0056360000" "0008142241" "1414141414" "4122140800" "0201510906"
    "324979413e" "7e1111117e" "7f49494936" "3e41414122" "7f4141221c" "7f49494941" "7f09090101" "3e41415132"
    "7f0808087f" "00417f4100" "2040413f01" "7f08142241" "7f40404040" "7f0204027f" "7f0408107f" "3e4141413e"
    "7f09090906" "3e4151215e" "7f09192946" "4649494931" "01017f0101" "3f4040403f" "1f2040201f" "7f2018207f"
    "6314081463" "0304780403" "6151494543" "00007f4141" "0204081020" "41417f0000" "0402010204" "4040404040"
    "0001020400" "2054545478" "7f48444438" "3844444420" "384444487f" "3854545418" "087e090102" "081454543c"
    "7f08040478" "00447d4000" "2040443d00" "007f102844" "00417f4000" "7c0418047c" "7c08040478" "3844444438"
    "7c14141408" "081414187c" "7c08040408" "4854545420" "043f444020" "3c4040207c" "1c2040201c" "3c4030403c"
    "4428102844" "0c5050503c" "4464544c44" "0008364100" "00007f0000" "0041360800" "08082a1c08")


class Canvas:
    def __init__(self, width, height, background=(255, 255, 255)):
        self.width = width
        self.height = height
        self.pixels = bytearray(bytes(background) * (width * height))

    def rect(self, x0, y0, x1, y1, colour):
        x0, x1 = max(0, int(x0)), min(self.width, int(x1))
        y0, y1 = max(0, int(y0)), min(self.height, int(y1))
        row = bytes(colour) * max(0, x1 - x0)
        for y in range(y0, y1):
            start = (y * self.width + x0) * 3
            self.pixels[start:start + len(row)] = row

    def text(self, x, y, string, colour=(0, 0, 0), scale=2):
        for ch in string:
            code = ord(ch)
            if 32 <= code <= 126:
                glyph = FONT[(code - 32) * 5:(code - 32) * 5 + 5]
                for col, bits in enumerate(glyph):
                    for row in range(7):
                        if bits >> row & 1:
                            self.rect(x + col * scale, y + row * scale, x + (col + 1) * scale,
                                      y + (row + 1) * scale, colour)
            x += 6 * scale

    @staticmethod
    def text_width(string, scale=2):
        return len(string) * 6 * scale

    def save(self, path):
        raw = b"".join(b"\x00" + bytes(self.pixels[y * self.width * 3:(y + 1) * self.width * 3])
                       for y in range(self.height))

        def chunk(kind, data):
            return (struct.pack(">I", len(data)) + kind + data +
                    struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) +
                    chunk(b"IEND", b""))


# ---------------------------------------------------------------------------
# The chart: per operation, ours and the floor on a logarithmic time axis,
# one panel per architecture.

OURS = (31, 90, 160)
FLOOR = (160, 160, 160)
NAIVE = (230, 150, 40)
GRID = (225, 225, 225)
BAD = (200, 30, 30)


def chart(directory, png_path):
    panels = []
    for arch in ("x64", "x86"):
        path = os.path.join(directory, "bench-%s.json" % arch)
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                panels.append(json.load(f))
    if not panels:
        print("no bench-<arch>.json in %s" % directory)
        return 1

    label_width, left, right_width, width = 400, 410, 250, 1300
    plot_width = width - left - right_width
    bar, row_height, panel_gap = 8, 34, 70
    rows = max(len(p["operations"]) for p in panels)
    panel_height = rows * row_height + 40
    height = 110 + len(panels) * (panel_height + panel_gap) - panel_gap + 20
    canvas = Canvas(width, height)

    values = [v for p in panels for op in p["operations"]
              for v in (op["ours_median_us"], op["floor_median_us"], op.get("naive_median_us", op["ours_median_us"]))]
    low = 10 ** math.floor(math.log10(min(values)))
    high = 10 ** math.ceil(math.log10(max(values)))

    def x_of(us):
        return left + plot_width * (math.log10(us) - math.log10(low)) / (math.log10(high) - math.log10(low))

    canvas.text(20, 18, "Orvane shell extension under Wine: ours against the floor (median per call)", scale=2)
    canvas.text(20, 44, "floor = the same system calls in the same order without the extension's code;"
                        " goal: ours / floor <= %.2f" % GOAL, scale=2, colour=(70, 70, 70))
    canvas.rect(20, 72, 34, 84, OURS)
    canvas.text(40, 72, "ours", scale=2)
    canvas.rect(110, 72, 124, 84, FLOOR)
    canvas.text(130, 72, "floor", scale=2)
    canvas.rect(210, 72, 224, 84, NAIVE)
    canvas.text(230, 72, "naive handler: one DragQueryFileW call per name (up to 10,000 files)", scale=2)

    y = 110
    for panel in panels:
        canvas.text(20, y, "%s (%d runs)" % (panel["arch"], panel.get("runs", 1)), scale=2)
        canvas.text(width - right_width + 20, y, "ratio (spread)", scale=2)
        top = y + 24
        decade = low
        while decade <= high * 1.001:
            gx = x_of(decade)
            canvas.rect(gx, top, gx + 1, top + rows * row_height, GRID)
            label = ("%g us" % decade) if decade < 1000 else ("%g ms" % (decade / 1000))
            canvas.text(gx - Canvas.text_width(label, 1) / 2, top + rows * row_height + 6, label, scale=1,
                        colour=(90, 90, 90))
            decade *= 10
        for i, op in enumerate(panel["operations"]):
            ry = top + i * row_height + 4
            canvas.text(20, ry + 3, op["operation"][:32], scale=2)
            canvas.rect(left, ry, x_of(op["ours_median_us"]), ry + bar, OURS)
            canvas.rect(left, ry + bar + 1, x_of(op["floor_median_us"]), ry + 2 * bar + 1, FLOOR)
            if "naive_median_us" in op:
                canvas.rect(left, ry + 2 * bar + 2, x_of(op["naive_median_us"]), ry + 3 * bar + 2, NAIVE)
            ratio = "%.2f" % op["ratio"]
            if "ratio_min" in op:
                ratio += " (%.2f-%.2f)" % (op["ratio_min"], op["ratio_max"])
            canvas.text(width - right_width + 20, ry + 3, ratio, scale=2,
                        colour=BAD if op["ratio"] > GOAL else (0, 0, 0))
        y += panel_height + panel_gap
    canvas.save(png_path)
    print("chart written to %s" % png_path)
    return 0


def main(argv):
    if len(argv) == 3 and argv[1] == "summarize":
        return summarize(argv[2])
    if len(argv) == 4 and argv[1] == "chart":
        return chart(argv[2], argv[3])
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
