#!/usr/bin/python3
"""The benchmark workloads drawn with ReportLab, the peer the library is compared with.

    reportlab_workloads.py w1 OUT.pdf [PAGES]      label sheets, PAGES pages (default 200)
    reportlab_workloads.py w2 OUT.pdf [SIDE]       one A3 landscape page of SIDE x SIDE cells
    reportlab_workloads.py w1fast OUT.pdf [PAGES]  W1 through the canvas's string calls
    reportlab_workloads.py w2fast OUT.pdf [SIDE]   W2 through the canvas's string calls
    reportlab_workloads.py w3 OUT.png              one label sheet as a 300 dpi PNG
    reportlab_workloads.py w3draw OUT.png          the same page drawn, not written

w1 and w2 take ReportLab's word-wrapping path: a Paragraph, centred, wrapped to
the cell's width and drawn centred in its height. w1fast and w2fast are its
fastest reasonable path for the same pages, which never need wrapping: each line
drawn on its own with drawCentredString (W1) or drawString at the centred
position (W2), placed as the paragraph places it. The font is Liberation Sans
(the face "Arial" resolves to for the other programs), embedded as a TrueType
subset as Cairo embeds it. The PNG is drawn with renderPM, which does not wrap:
its three lines are placed one by one. Prints "seconds <s>"; w3 also prints
"draw_seconds <s>" (the drawing into renderPM's pixels) and "encode_seconds <s>"
(turning them into a PNG file), w3draw only the first.
"""
import os
import sys
import time

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_inputs as data  # noqa: E402

from reportlab.lib.colors import Color, black  # noqa: E402
from reportlab.lib.enums import TA_CENTER  # noqa: E402
from reportlab.lib.styles import ParagraphStyle  # noqa: E402
from reportlab.pdfbase import pdfmetrics  # noqa: E402
from reportlab.pdfbase.ttfonts import TTFont  # noqa: E402
from reportlab.pdfgen import canvas  # noqa: E402
from reportlab.platypus import Paragraph  # noqa: E402
from xml.sax.saxutils import escape  # noqa: E402

FONT_FILES = [
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
]
MM = 72.0 / 25.4


def font_name():
    for path in FONT_FILES:
        if os.path.exists(path):
            pdfmetrics.registerFont(TTFont("LiberationSans", path))
            return "LiberationSans"
    return "Helvetica"


def fill_color():
    rgb = data.LABEL_FILL_RGB
    return Color(((rgb >> 16) & 0xFF) / 255, ((rgb >> 8) & 0xFF) / 255, (rgb & 0xFF) / 255)


def cells(page_mm, dpi, rows, cols):
    """(row, col, x, y, w, h) in points, y measured from the bottom as ReportLab does."""
    width_px, height_px = data.pixels(page_mm[0], dpi), data.pixels(page_mm[1], dpi)
    to_pt = 72.0 / dpi
    page_h = page_mm[1] * MM
    for r in range(rows):
        top = data.division(height_px, r, rows)
        bottom = data.division(height_px, r + 1, rows)
        for c in range(cols):
            left = data.division(width_px, c, cols)
            right = data.division(width_px, c + 1, cols)
            yield (r, c, left * to_pt, page_h - bottom * to_pt, (right - left) * to_pt, (bottom - top) * to_pt)


def draw_paragraph(pdf, text, style, x, y, w, h, margin):
    para = Paragraph(text, style)
    _, used = para.wrap(w - 2 * margin, h)
    para.drawOn(pdf, x + margin, y + (h - used) / 2)


def labels_pdf(path, pages):
    font = font_name()
    style = ParagraphStyle("label", fontName=font, fontSize=data.LABEL_FONT_POINTS,
                           leading=data.LABEL_FONT_POINTS * 1.15, alignment=TA_CENTER)
    pdf = canvas.Canvas(path, pagesize=(data.A4_MM[0] * MM, data.A4_MM[1] * MM))
    pdf.setTitle("Labels")
    pdf.setLineWidth(72.0 / data.LABEL_DPI)
    geometry = list(cells(data.A4_MM, data.LABEL_DPI, data.LABEL_ROWS, data.LABEL_COLUMNS))
    margin = data.LABEL_FONT_POINTS / 4
    fill = fill_color()
    for page in range(pages):
        for r, c, x, y, w, h in geometry:
            pdf.setFillColor(fill)
            pdf.setStrokeColor(black)
            pdf.rect(x, y, w, h, stroke=1, fill=1)
            k = page * data.LABELS_PER_PAGE + r * data.LABEL_COLUMNS + c
            text = "<br/>".join(escape(line) for line in data.label_lines(k))
            draw_paragraph(pdf, text, style, x, y, w, h, margin)
        pdf.showPage()
    pdf.save()


def labels_pdf_fast(path, pages):
    """W1 drawn a line at a time: the paragraph's leading, the block centred in the label."""
    font = font_name()
    size = data.LABEL_FONT_POINTS
    leading = size * 1.15
    pdf = canvas.Canvas(path, pagesize=(data.A4_MM[0] * MM, data.A4_MM[1] * MM))
    pdf.setTitle("Labels")
    geometry = list(cells(data.A4_MM, data.LABEL_DPI, data.LABEL_ROWS, data.LABEL_COLUMNS))
    fill = fill_color()
    for page in range(pages):
        pdf.setLineWidth(72.0 / data.LABEL_DPI)
        pdf.setFont(font, size, leading)
        for r, c, x, y, w, h in geometry:
            pdf.setFillColor(fill)
            pdf.setStrokeColor(black)
            pdf.rect(x, y, w, h, stroke=1, fill=1)
            pdf.setFillColor(black)
            lines = data.label_lines(page * data.LABELS_PER_PAGE + r * data.LABEL_COLUMNS + c)
            baseline = y + h / 2 + leading * len(lines) / 2 - size
            for i, line in enumerate(lines):
                pdf.drawCentredString(x + w / 2, baseline - i * leading, line)
        pdf.showPage()
    pdf.save()


def grid_pdf_fast(path, side):
    """W2 drawn with drawString, each text centred by its measured width."""
    font = font_name()
    size = data.GRID_FONT_POINTS
    pdf = canvas.Canvas(path, pagesize=(data.A3_LANDSCAPE_MM[0] * MM, data.A3_LANDSCAPE_MM[1] * MM))
    pdf.setTitle("Grid")
    pdf.setLineWidth(72.0 / data.GRID_DPI)
    pdf.setFont(font, size, size * 1.15)
    for r, c, x, y, w, h in cells(data.A3_LANDSCAPE_MM, data.GRID_DPI, side, side):
        pdf.rect(x, y, w, h, stroke=1, fill=0)
        text = data.grid_text(r * side + c)
        width = pdfmetrics.stringWidth(text, font, size)
        pdf.drawString(x + (w - width) / 2, y + h / 2 + size * 1.15 / 2 - size, text)
    pdf.showPage()
    pdf.save()


def grid_pdf(path, side):
    font = font_name()
    style = ParagraphStyle("grid", fontName=font, fontSize=data.GRID_FONT_POINTS,
                           leading=data.GRID_FONT_POINTS * 1.15, alignment=TA_CENTER)
    pdf = canvas.Canvas(path, pagesize=(data.A3_LANDSCAPE_MM[0] * MM, data.A3_LANDSCAPE_MM[1] * MM))
    pdf.setTitle("Grid")
    pdf.setLineWidth(72.0 / data.GRID_DPI)
    margin = data.GRID_FONT_POINTS / 4
    for r, c, x, y, w, h in cells(data.A3_LANDSCAPE_MM, data.GRID_DPI, side, side):
        pdf.rect(x, y, w, h, stroke=1, fill=0)
        draw_paragraph(pdf, escape(data.grid_text(r * side + c)), style, x, y, w, h, margin)
    pdf.showPage()
    pdf.save()


def labels_png(path, write=True):
    from reportlab.graphics import renderPM, shapes
    from reportlab.graphics.shapes import Drawing, Rect, String

    font = font_name()
    # renderPM starts every drawing in the default font, a Type 1 font whose
    # files Debian does not ship: start it in the TrueType face instead.
    shapes.STATE_DEFAULTS["fontName"] = font
    size = data.LABEL_FONT_POINTS
    leading = size * 1.15
    drawing = Drawing(data.A4_MM[0] * MM, data.A4_MM[1] * MM)
    drawing.add(Rect(0, 0, drawing.width, drawing.height, fillColor=Color(1, 1, 1), strokeColor=None))
    fill = fill_color()
    for r, c, x, y, w, h in cells(data.A4_MM, data.LABEL_DPI, data.LABEL_ROWS, data.LABEL_COLUMNS):
        drawing.add(Rect(x, y, w, h, fillColor=fill, strokeColor=black, strokeWidth=72.0 / data.LABEL_DPI))
        lines = data.label_lines(r * data.LABEL_COLUMNS + c)
        baseline = y + h / 2 + leading * len(lines) / 2 - size
        for i, line in enumerate(lines):
            drawing.add(String(x + w / 2, baseline - i * leading, line, fontName=font, fontSize=size,
                               textAnchor="middle"))
    start = time.perf_counter()
    pixels = renderPM.drawToPMCanvas(drawing, dpi=data.LABEL_DPI)
    print("draw_seconds %.6f" % (time.perf_counter() - start))
    if write:
        start = time.perf_counter()
        pixels.saveToFile(path, "PNG")
        print("encode_seconds %.6f" % (time.perf_counter() - start))


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    start = time.perf_counter()
    workload, path = argv[1], argv[2]
    if workload == "w1":
        labels_pdf(path, int(argv[3]) if len(argv) > 3 else 200)
    elif workload == "w2":
        grid_pdf(path, int(argv[3]) if len(argv) > 3 else data.GRID_SIDE)
    elif workload == "w1fast":
        labels_pdf_fast(path, int(argv[3]) if len(argv) > 3 else 200)
    elif workload == "w2fast":
        grid_pdf_fast(path, int(argv[3]) if len(argv) > 3 else data.GRID_SIDE)
    elif workload in ("w3", "w3draw"):
        labels_png(path, write=workload == "w3")
    else:
        print(__doc__, file=sys.stderr)
        return 2
    print("seconds %.6f" % (time.perf_counter() - start))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
