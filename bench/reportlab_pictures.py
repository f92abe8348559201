#!/usr/bin/python3
"""The picture workloads drawn with ReportLab, the peer the library is compared with.

    reportlab_pictures.py badges OUT.pdf LOGO [COUNT]   W4: COUNT badges (default 2000),
        8 to an A4 page, each with the logo, a name, a company and a role

The logo is drawn with drawImage from its file name, which ReportLab embeds once
per document and refers to from every page; texts are single lines drawn with
drawString (its fastest path) in Liberation Sans, embedded as TrueType subsets.
Prints "seconds <s>" and "peak_kb <k>".
"""
import os
import resource
import sys
import time

from reportlab.pdfbase import pdfmetrics
from reportlab.pdfbase.ttfonts import TTFont
from reportlab.pdfgen import canvas

MM = 72.0 / 25.4
FONTS = ["/usr/share/fonts/truetype/liberation2", "/usr/share/fonts/truetype/liberation"]
ROLES = ["Speaker", "Attendee", "Organiser", "Press", "Sponsor", "Volunteer"]
COLUMNS, ROWS = 2, 4
BADGE_W, BADGE_H = 105.0, 74.25


def register_fonts():
    for folder in FONTS:
        regular = os.path.join(folder, "LiberationSans-Regular.ttf")
        bold = os.path.join(folder, "LiberationSans-Bold.ttf")
        if os.path.exists(regular) and os.path.exists(bold):
            pdfmetrics.registerFont(TTFont("Sans", regular))
            pdfmetrics.registerFont(TTFont("Sans-Bold", bold))
            return
    sys.exit("reportlab_pictures.py: Liberation Sans not found")


def badges(path, logo, count):
    register_fonts()
    page_h = 297 * MM
    pdf = canvas.Canvas(path, pagesize=(210 * MM, page_h))
    per_page = COLUMNS * ROWS
    for first in range(0, count, per_page):
        for i in range(per_page):
            k = first + i
            if k >= count:
                break
            left = (i % COLUMNS) * BADGE_W
            top = (i // COLUMNS) * BADGE_H
            pdf.setLineWidth(2 * 72.0 / 600)
            pdf.rect((left + 3) * MM, page_h - (top + BADGE_H - 3) * MM, (BADGE_W - 6) * MM, (BADGE_H - 6) * MM)
            pdf.drawImage(logo, (left + 8) * MM, page_h - (top + 33) * MM, 25 * MM, 25 * MM,
                          preserveAspectRatio=True, anchor="c", mask="auto")
            pdf.setFillColorRGB(0, 0, 0)
            pdf.setFont("Sans-Bold", 18)
            pdf.drawString((left + 8) * MM, page_h - (top + 44) * MM, "Person %d" % (k + 1))
            pdf.setFont("Sans", 12)
            pdf.drawString((left + 8) * MM, page_h - (top + 52) * MM, "Company %d Ltd" % (k % 37 + 1))
            pdf.setFillColorRGB(0x60 / 255.0, 0x60 / 255.0, 0x60 / 255.0)
            pdf.setFont("Sans", 10)
            pdf.drawString((left + 8) * MM, page_h - (top + 59) * MM, ROLES[k % 6])
        pdf.showPage()
    pdf.save()


def main(argv):
    if len(argv) < 4 or argv[1] != "badges":
        sys.exit(__doc__)
    start = time.monotonic()
    badges(argv[2], argv[3], int(argv[4]) if len(argv) > 4 else 2000)
    print("seconds %.4f" % (time.monotonic() - start))
    print("peak_kb %d" % resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)


if __name__ == "__main__":
    main(sys.argv)
