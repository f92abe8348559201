#!/usr/bin/python3
"""Writes the inputs of the mivora command for the benchmark workloads.

    make_inputs.py FOLDER [--pages N] [--side N]

FOLDER/w1.json   the label sheet layout (3 x 10 labels on A4 at 300 dpi)
FOLDER/w1.csv    N records (default 200), one page each: a column per label
FOLDER/w3.csv    the first record alone (one page, printed to PNG)
FOLDER/w2.json   one A3 landscape page of N x N cells (default 100) with their texts

The texts, sizes and colours are those of WorkloadData.h, so that the command
draws the same pages as the C++ programs and the Python peer.
"""
import argparse
import csv
import json
import os

LABEL_DPI = 300
A4_MM = (210.0, 297.0)
LABEL_COLUMNS, LABEL_ROWS = 3, 10
LABELS_PER_PAGE = LABEL_COLUMNS * LABEL_ROWS
LABEL_FONT_POINTS = 10.0
LABEL_FILL_RGB = 0xEEF3FB
GRID_DPI = 300
A3_LANDSCAPE_MM = (420.0, 297.0)
GRID_SIDE = 100
GRID_FONT_POINTS = 5.0

FIRST = ["Ada", "Ben", "Clara", "David", "Emma", "Felix", "Grace", "Hugo",
         "Ida", "Jonas", "Karla", "Lukas", "Mia", "Noah", "Olga", "Paul"]
LAST = ["Becker", "Curie", "Dietrich", "Engel", "Fischer", "Graf", "Jansen",
        "Lange", "Meyer", "Neumann", "Richter", "Schulz", "Vogel"]
STREET = ["Main Street", "Garden Way", "Station Road", "Oak Avenue", "Park Road", "High Street",
          "Mill Lane", "Bridge Street", "Church Street", "Linden Allee", "Rue de la Paix"]
CITY = ["Berlin", "Bremen", "Dresden", "Frankfurt am Main", "Hamburg", "Köln", "Leipzig",
        "München", "Stuttgart"]


def label_lines(k):
    """The three lines of label k (counting across pages)."""
    return [
        f"{FIRST[k % len(FIRST)]} {LAST[(k // 16) % len(LAST)]}",
        f"{STREET[(k * 7) % len(STREET)]} {k % 150 + 1}",
        f"{10000 + (k * 7919) % 89989} {CITY[(k * 13 // 7) % len(CITY)]}",
    ]


def label_text(k):
    return "\n".join(label_lines(k))


def grid_text(i):
    return str((i * 37) % 1000)


def division(extent, i, n):
    """The pixel edge of division i of extent split into n parts (halves to even)."""
    return round(extent * i / n)


def pixels(mm, dpi):
    return mm / 25.4 * dpi


def points_as_cm(points):
    """A font size in points as the sheet's height in centimetres: negative, the em height."""
    return -points / 72.0 * 2.54


def label_cell_names():
    return [f"LabelR{r + 1}C{c + 1}" for r in range(LABEL_ROWS) for c in range(LABEL_COLUMNS)]


def labels_layout():
    return {
        "version": 1,
        "title": "Labels",
        "printer": {"paper": "A4", "orientation": "portrait", "resolution": LABEL_DPI, "margins": 0},
        "measurement": "centimeters",
        "commands": [
            {"op": "SetFont", "name": "Arial", "color": "black", "height": points_as_cm(LABEL_FONT_POINTS)},
            {"op": "SetBrush", "color": "#%06X" % LABEL_FILL_RGB, "style": "solid"},
            {"op": "SetEdges", "edges": "all", "color": "black", "style": "solid", "width": 1},
            {"op": "SetAlignment", "value": "center"},
            {"op": "SetLayout", "value": "center"},
            {"op": "SetTextProperties", "wordWrap": True},
            {"op": "Add", "name": "Sheet", "left": 0, "top": 0, "width": A4_MM[0] / 10, "height": A4_MM[1] / 10},
            {"op": "Split", "baseName": "Label", "rows": LABEL_ROWS, "cols": LABEL_COLUMNS},
        ],
    }


def grid_layout(side):
    commands = [
        {"op": "SetFont", "name": "Arial", "color": "black", "height": points_as_cm(GRID_FONT_POINTS)},
        {"op": "SetEdges", "edges": "all", "color": "black", "style": "solid", "width": 1},
        {"op": "SetAlignment", "value": "center"},
        {"op": "SetLayout", "value": "center"},
    ]
    if side > 0:
        commands += [
            {"op": "Add", "name": "Grid", "left": 0, "top": 0,
             "width": A3_LANDSCAPE_MM[0] / 10, "height": A3_LANDSCAPE_MM[1] / 10},
            {"op": "Split", "baseName": "G", "rows": side, "cols": side},
            {"op": "FillText", "texts": [grid_text(i) for i in range(side * side)]},
        ]
    return {
        "version": 1,
        "title": "Grid",
        "printer": {"paper": "A3", "orientation": "landscape", "resolution": GRID_DPI, "margins": 0},
        "measurement": "centimeters",
        "commands": commands,
    }


def write_csv(path, pages):
    with open(path, "w", newline="", encoding="utf-8") as f:
        out = csv.writer(f, lineterminator="\n")
        out.writerow(label_cell_names())
        for page in range(pages):
            out.writerow([label_text(page * LABELS_PER_PAGE + i) for i in range(LABELS_PER_PAGE)])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder")
    parser.add_argument("--pages", type=int, default=200)
    parser.add_argument("--side", type=int, default=GRID_SIDE)
    args = parser.parse_args()
    os.makedirs(args.folder, exist_ok=True)
    with open(os.path.join(args.folder, "w1.json"), "w", encoding="utf-8") as f:
        json.dump(labels_layout(), f, indent=1)
    write_csv(os.path.join(args.folder, "w1.csv"), args.pages)
    write_csv(os.path.join(args.folder, "w3.csv"), 1)
    with open(os.path.join(args.folder, "w2.json"), "w", encoding="utf-8") as f:
        json.dump(grid_layout(args.side), f)


if __name__ == "__main__":
    main()
