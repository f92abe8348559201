#!/usr/bin/env bash
# --max-dpi: a large picture in a small cell is embedded with fewer pixels, as
# many as the cell holds at that resolution, while the page looks the same; a
# value out of range is refused with exit 2 and writes nothing.
# Environment: MIVORA (the program), MIVORA_SOURCE_DIR.
set -uo pipefail

. "$(dirname "$0")/test_lib.sh"
enter_work_folder

# A 1200 x 800 opaque PNG: left half red, right half blue.
python3 - <<'PY'
import struct, zlib
w, h = 1200, 800
row = b"\0" + (b"\xff\x00\x00" * (w // 2)) + (b"\x00\x00\xff" * (w // 2))
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(row * h, 9)) + chunk(b"IEND", b"")
open("big.png", "wb").write(png)
PY

# The picture stretched over a 3 x 2 cm cell: 1200 pixels across 3 cm is about
# 1016 pixels per inch.
cat >layout.json <<'EOF'
{"commands": [{"op": "AddGraphic", "name": "Photo", "file": "big.png", "left": 1, "top": 1, "width": 3, "height": 2}]}
EOF

# image_size PDF: "WIDTHxHEIGHT" of each image in PDF, one a line.
image_size() { pdfimages -list "$1" | awk 'NR > 2 && $3 == "image" {print $4 "x" $5}'; }

"$MIVORA" print layout.json -o full.pdf 2>stderr.txt || fail "without --max-dpi: $(cat stderr.txt)"
[ "$(image_size full.pdf)" = "1200x800" ] || fail "without --max-dpi: images $(image_size full.pdf)"

# At 150 pixels per inch, 3 x 2 cm holds 178 x 119 pixels (rounded up).
"$MIVORA" print layout.json -o reduced.pdf --max-dpi 150 2>stderr.txt || fail "--max-dpi 150: $(cat stderr.txt)"
[ "$(image_size reduced.pdf)" = "178x119" ] || fail "--max-dpi 150: images $(image_size reduced.pdf)"
full=$(stat -c %s full.pdf)
reduced=$(stat -c %s reduced.pdf)
[ "$reduced" -lt "$full" ] || fail "--max-dpi 150: $reduced bytes, not fewer than $full"

# The reduced picture still shows red on the left of the cell and blue on its right:
# at 72 dpi the cell spans about (28, 28) to (113, 85).
pdftoppm -r 72 -singlefile reduced.pdf page >/dev/null 2>&1
colours=$(python3 - <<'PY'
data = open("page.ppm", "rb").read()
fields, pos = [], 0
while len(fields) < 4:  # P6, width, height, maximum, each after white space
    while data[pos:pos + 1].isspace():
        pos += 1
    start = pos
    while not data[pos:pos + 1].isspace():
        pos += 1
    fields.append(data[start:pos])
pixels, width = data[pos + 1:], int(fields[1])
def pixel(x, y):
    return tuple(pixels[(y * width + x) * 3:(y * width + x) * 3 + 3])
print(pixel(45, 56), pixel(97, 56))
PY
)
[ "$colours" = "(255, 0, 0) (0, 0, 255)" ] || fail "--max-dpi 150: the page shows $colours, not red then blue"

# Values out of range: exit 2, a message naming the option, nothing written.
expect "--max-dpi 0" 2 "--max-dpi: Value 0 not in range 1 to 9600" print layout.json -o out.pdf --max-dpi 0
expect "--max-dpi -5" 2 "--max-dpi" print layout.json -o out.pdf --max-dpi -5
expect "--max-dpi text" 2 "--max-dpi" print layout.json -o out.pdf --max-dpi many

finish "max-dpi: ok"
