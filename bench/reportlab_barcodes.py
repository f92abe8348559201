#!/usr/bin/python3
"""The barcode benchmark drawn with ReportLab: the same 4 x 6 inch shipping labels
as barcode_workloads.cpp (sender and recipient blocks, a Code 128 tracking number
with its text, a QR code of the tracking link), one label a page, into one PDF.

    reportlab_barcodes.py OUT.pdf [LABELS] [usual|fast]

usual: the QR code as ReportLab's QrCodeWidget in a Drawing, drawn with renderPDF,
       as its documentation shows.
fast:  the QR code as the QrCode flowable, which draws its modules straight onto the
       canvas (ReportLab's quickest path to the same picture).
Both draw the Code 128 with the Code128 barcode's drawOn. Prints "seconds <s>".
"""
import os
import sys
import time

from reportlab.graphics import renderPDF
from reportlab.graphics.barcode import code128, qr
from reportlab.graphics.shapes import Drawing
from reportlab.pdfbase import pdfmetrics
from reportlab.pdfbase.ttfonts import TTFont
from reportlab.pdfgen import canvas

MM = 72.0 / 25.4
WIDTH_MM, HEIGHT_MM = 101.6, 152.4
FONT_FILES = [
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
]
CITIES = ["Berlin 10115", "Hamburg 20095", "Köln 50667", "Leipzig 04109", "München 80331"]


# The same texts as BarcodeLabelData.h.
def tracking(k):
    return "1ZMV%010d" % ((k * 104729 + 1000003) % 10000000000)


def label_texts(k):
    return (tracking(k), "https://track.example.com/" + tracking(k),
            ["Customer %d" % (k + 1), "%d Main Street" % (k % 150 + 1), CITIES[k % 5]])


def font_name():
    for path in FONT_FILES:
        if os.path.exists(path):
            pdfmetrics.registerFont(TTFont("LiberationSans", path))
            return "LiberationSans"
    return "Helvetica"


def lines(pdf, font, size, x_mm, top_mm, texts):
    for i, text in enumerate(texts):
        pdf.setFont(font, size)
        pdf.drawString(x_mm * MM, (HEIGHT_MM - top_mm) * MM - size * (i + 1) * 1.15, text)


def labels(path, count, way):
    font = font_name()
    pdf = canvas.Canvas(path, pagesize=(WIDTH_MM * MM, HEIGHT_MM * MM))
    pdf.setTitle("Shipping labels")
    for k in range(count):
        number, url, recipient = label_texts(k)
        lines(pdf, font, 11, 5, 5, ["Mivora Supplies", "1 Printer Lane", "10117 Berlin"])
        lines(pdf, font, 11, 5, 30, recipient)
        # Code 128, 91 x 30 mm with the number beneath, as the library's cell.
        bars = code128.Code128(number, barHeight=25 * MM, barWidth=0.5 * MM, humanReadable=True,
                               fontName=font, fontSize=10)
        bars.drawOn(pdf, 5 * MM, (HEIGHT_MM - 95) * MM)
        side = 45 * MM
        if way == "usual":
            widget = qr.QrCodeWidget(url, barWidth=side, barHeight=side, barLevel="M")
            drawing = Drawing(side, side)
            drawing.add(widget)
            renderPDF.draw(drawing, pdf, 5 * MM, (HEIGHT_MM - 145) * MM)
        else:
            code = qr.QrCode(url, width=side, height=side, qrLevel="M")
            code.drawOn(pdf, 5 * MM, (HEIGHT_MM - 145) * MM)
        pdf.showPage()
    pdf.save()


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    start = time.perf_counter()
    count = int(argv[2]) if len(argv) > 2 else 2000
    way = argv[3] if len(argv) > 3 else "usual"
    if way not in ("usual", "fast"):
        print(__doc__, file=sys.stderr)
        return 2
    labels(argv[1], count, way)
    print("seconds %.6f" % (time.perf_counter() - start))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
