#!/bin/sh
# The three PDF renderers side by side on receipts: MuPDF (`mutool draw`, the
# document layer's choice), Poppler (`pdftoppm`) and Ghostscript, each at
# 203 dpi onto an 80 mm roll (576 dots), as the document layer asks of it.
# For each document and renderer: the median time of N renderings, then the
# rendering thresholded at half and judged by tesseract (words read that the
# document has) and zbarimg (codes read).
#
#   bench/renderers.sh [N] [PDF...]    (default: a Chromium receipt made here,
#                                      with a QR code and a Code 128 barcode;
#                                      WORDS="..." the words of other PDFs)
set -eu
N=${1:-20}
[ $# -gt 0 ] && shift
W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
now() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { printf "%.1f", v[int((NR + 1) / 2)] / 1e6 }'; }

WORDS=${WORDS:-"CORNER SHOP Coffee Bagel Total Thank you for shopping"}
if [ $# -eq 0 ]; then
    qrencode -o "$W/qr.png" "https://peltrin.example/r/12345"
    zint -b 20 -d "RC-12345" -o "$W/code128.png" >/dev/null
    cat >"$W/receipt.html" <<'EOF'
<html><head><style>
@page { size: 72mm 120mm; margin: 2mm } body { font-family: sans-serif; font-size: 11pt; margin: 0 }
.banner { background: #000; color: #fff; text-align: center; font-weight: bold; padding: 4px; font-size: 14pt }
table { width: 100% } .red { color: #d00 }
</style></head><body>
<div class="banner">CORNER SHOP</div>
<table><tr><td>Coffee</td><td align=right>2.50</td></tr><tr><td>Bagel</td><td align=right>3.10</td></tr>
<tr><td><b>Total</b></td><td align=right><b>5.60</b></td></tr></table>
<p class="red">Thank you for shopping</p><div style="background:#888;height:20px"></div>
<img src="qr.png" style="width:30mm"><br><img src="code128.png" style="width:60mm">
</body></html>
EOF
    chromium --headless --no-sandbox --disable-gpu --no-pdf-header-footer --user-data-dir="$W/profile" \
        --print-to-pdf="$W/chromium-receipt.pdf" "file://$W/receipt.html" >/dev/null 2>&1
    set -- "$W/chromium-receipt.pdf"
fi

# Each renderer writes the first page, 8-bit gray, to $2.pgm (Ghostscript at
# the page's own size: the receipts are as wide as the roll).
mupdf() { mutool draw -q -r 203 -w 576 -A 0 -c gray -F pgm -o "$2.pgm" "$1" 1 2>/dev/null; }
poppler() { pdftoppm -r 203 -scale-to-x 576 -scale-to-y -1 -gray -singlefile "$1" "$2"; }
ghostscript() {
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pgmraw -r203 -dFirstPage=1 -dLastPage=1 -sOutputFile="$2.pgm" "$1"
}

printf '%-22s %-12s %8s  %-10s %s\n' document renderer "ms" words codes
for pdf in "$@"; do
    for r in mupdf poppler ghostscript; do
        ms=$(for i in $(seq "$N"); do t=$(now); $r "$pdf" "$W/page"; echo $(($(now) - t)); done | median)
        # Thresholded at half, as a printer without gray would print it.
        python3 - "$W/page.pgm" "$W/page-bw.pgm" <<'EOF'
import sys
data = open(sys.argv[1], 'rb').read()
fields, at = [], 0
while len(fields) < 4:
    while data[at:at + 1].isspace() or data[at:at + 1] == b'#':
        at = data.index(b'\n', at) + 1 if data[at:at + 1] == b'#' else at + 1
    start = at
    while not data[at:at + 1].isspace(): at += 1
    fields.append(data[start:at])
w, h = int(fields[1]), int(fields[2])
px = data[at + 1:at + 1 + w * h]
open(sys.argv[2], 'wb').write(b'P5\n%d %d\n255\n' % (w, h) + bytes(0 if p < 128 else 255 for p in px))
EOF
        text=$(tesseract "$W/page-bw.pgm" - 2>/dev/null | tr '\n' ' ')
        read=0 total=0
        for word in $WORDS; do
            total=$((total + 1))
            case " $text " in *"$word"*) read=$((read + 1)) ;; esac
        done
        codes=$(zbarimg -q "$W/page-bw.pgm" 2>/dev/null | cut -d: -f1 | sort | tr '\n' ' ' || true)
        printf '%-22s %-12s %8s  %-10s %s\n' "$(basename "$pdf")" $r "$ms" "$read/$total" "${codes:-none}"
    done
done
