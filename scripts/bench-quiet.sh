#!/usr/bin/env bash
# Times the quiet correction of real-sized photos, `quillon -Q photo` (read,
# detect, correct, write over itself), against the plain tools on the same
# file, side by side in one run, and prints the ratios:
#   - a 24-megapixel JPEG, distortion only, against `djpeg | cjpeg -quality 90`;
#   - the same with vignetting 30 and perspective vertical 20 added;
#   - a 24-megapixel 16-bit TIFF, distortion only, against a `tiffcp` copy;
#   - the peak memory (maximum resident set size) of the first case against
#     the size of its decoded pixels.
#
# The JPEG is made here from a bundled Nikon D40 photo (18-55 mm at 26 mm):
# scaled up 2/1 to 6016 x 4000 with djpeg, encoded at quality 90 and given
# back the original's EXIF block, so the camera and lens are detected as in
# the original. The TIFF holds the same pixels at 16 bits (each byte doubled)
# with the camera's make and model and the focal length. Three 18-55 mm lenses
# fit that camera; a lens history in a private settings folder picks one, as
# after a user's first choice by hand.
#
# Usage: scripts/bench-quiet.sh [runs]   (default 5; medians are reported,
# and beside them the fastest run of each command and the ratio of those)
# The machine may be shared: the load average is printed with the figures.
# On a virtual machine a run now and then spends tenths of a second in the
# kernel, zeroing memory the host has to supply afresh; such runs move a
# median of few runs, not the fastest run.
set -euo pipefail

runs=${1:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in djpeg cjpeg tiffcp python3; do
    command -v "$tool" >/dev/null || { echo "bench-quiet: $tool missing (run scripts/setup.sh)"; exit 1; }
done
[ -x /usr/bin/time ] || { echo "bench-quiet: /usr/bin/time missing (run scripts/setup.sh)"; exit 1; }

cmake --preset bench -S "$root" >/dev/null
cmake --build --preset bench -j2 --target quillon >/dev/null
quillon="$root/build/bench/app/quillon"

source_photo="$root/testdata/photos/mdx_Nikon_D40.jpg"
djpeg -scale 2/1 "$source_photo" | cjpeg -quality 90 >"$work/body.jpg"
djpeg -scale 2/1 -pnm "$source_photo" >"$work/body.ppm"
python3 - "$source_photo" "$work/body.jpg" "$work/photo24mp.jpg" "$work/body.ppm" "$work/photo24mp.tif" <<'PY'
import struct, sys

def segments(data):
    pos = 2
    while pos + 4 <= len(data) and data[pos] == 0xFF and data[pos + 1] not in (0xDA, 0xD9):
        length = int.from_bytes(data[pos + 2:pos + 4], "big")
        yield data[pos:pos + 2 + length]
        pos += 2 + length

source, body, jpeg_out, ppm, tiff_out = sys.argv[1:6]
original = open(source, "rb").read()
encoded = open(body, "rb").read()
exif = b"".join(s for s in segments(original) if s[1] == 0xE1 and s[4:10] == b"Exif\0\0")
open(jpeg_out, "wb").write(encoded[:2] + exif + encoded[2:])

# The decoded pixels as a 16-bit RGB TIFF: byte v becomes the sample v * 257.
data = open(ppm, "rb").read()
fields, pos = [], 0
while len(fields) < 4:
    while data[pos:pos + 1].isspace():
        pos += 1
    end = pos
    while not data[end:end + 1].isspace():
        end += 1
    fields.append(data[pos:end])
    pos = end
pos += 1
width, height = int(fields[1]), int(fields[2])
pixels8 = data[pos:pos + width * height * 3]
pixels16 = bytearray(2 * len(pixels8))
pixels16[0::2] = pixels8
pixels16[1::2] = pixels8

rows_per_strip = 16
strips = (height + rows_per_strip - 1) // rows_per_strip
row_bytes = width * 6
make, model = b"NIKON CORPORATION\0", b"NIKON D40\0"
# Layout: header, the two directories, their values, then the strips.
ifd0_entries, exif_entries = 14, 1
ifd0 = 8
exif_ifd = ifd0 + 2 + 12 * ifd0_entries + 4
values = exif_ifd + 2 + 12 * exif_entries + 4
bits_at = values
make_at = bits_at + 6
model_at = make_at + len(make)
focal_at = model_at + len(model)
offsets_at = focal_at + 8
counts_at = offsets_at + 4 * strips
pixels_at = counts_at + 4 * strips
offsets = [pixels_at + s * rows_per_strip * row_bytes for s in range(strips)]
counts = [min(rows_per_strip, height - s * rows_per_strip) * row_bytes for s in range(strips)]

def entry(tag, kind, count, value):
    return struct.pack("<HHI", tag, kind, count) + (
        struct.pack("<HH", value, 0) if kind == 3 and count == 1 else struct.pack("<I", value))

out = bytearray(b"II*\0" + struct.pack("<I", ifd0))
out += struct.pack("<H", ifd0_entries)
out += entry(256, 4, 1, width) + entry(257, 4, 1, height) + entry(258, 3, 3, bits_at)
out += entry(259, 3, 1, 1) + entry(262, 3, 1, 2) + entry(271, 2, len(make), make_at)
out += entry(272, 2, len(model), model_at) + entry(273, 4, strips, offsets_at)
out += entry(277, 3, 1, 3) + entry(278, 4, 1, rows_per_strip)
out += entry(279, 4, strips, counts_at) + entry(284, 3, 1, 1) + entry(296, 3, 1, 2)
out += entry(34665, 4, 1, exif_ifd) + struct.pack("<I", 0)
out += struct.pack("<H", exif_entries) + entry(37386, 5, 1, focal_at) + struct.pack("<I", 0)
out += struct.pack("<HHH", 16, 16, 16) + make + model + struct.pack("<II", 26, 1)
out += struct.pack("<%dI" % strips, *offsets) + struct.pack("<%dI" % strips, *counts)
assert len(out) == pixels_at
open(tiff_out, "wb").write(bytes(out) + bytes(pixels16))
PY
jpeg="$work/photo24mp.jpg"
tiff="$work/photo24mp.tif"
echo "inputs: $(stat -c %s "$jpeg") bytes JPEG and $(stat -c %s "$tiff") bytes 16-bit TIFF," \
    "6016 x 4000, camera and focal length of $(basename "$source_photo")"

# One settings folder per set of correction values. The JPEG has the lens data
# of the original's maker note; the TIFF has none (signature 0).
settings() {
    local folder="$work/config-$1"
    mkdir -p "$folder/Velmora"
    cat >"$folder/Velmora/Quillon.reg" <<REG
[Software\\Velmora\\Quillon]
"Language"="English"
"Processors"=dword:00000002
"ResetAlways"=dword:00000000
"VigAmount"=dword:$(printf %08x "$2")
"PerspectVert"=dword:$(printf %08x "$3")
"Hist"=dword:00000002
"Hist.00.menuMake"="Nikon"
"Hist.00.menuModel"="D40"
"Hist.00.menuLens"="Nikkor AF-S 18-55mm f/3.5-5.6G DX VR"
"Hist.00.group"="Nikon F DX"
"Hist.00.minFlen"=dword:41900000
"Hist.00.maxFlen"=dword:425c0000
"Hist.00.signature"=dword:00000335
"Hist.01.menuMake"="Nikon"
"Hist.01.menuModel"="D40"
"Hist.01.menuLens"="Nikkor AF-S 18-55mm f/3.5-5.6G DX VR"
"Hist.01.group"="Nikon F DX"
"Hist.01.minFlen"=dword:41900000
"Hist.01.maxFlen"=dword:425c0000
"Hist.01.signature"=dword:00000000
REG
    echo "$folder"
}
distortion=$(settings distortion 0 0)
more=$(settings more 30 20)

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
# Prints "wall_ms cpu_ms peak_kb" of one command.
# The wall time is taken to the millisecond around the command (time's own
# figure has hundredths of a second only, too coarse for runs of a tenth).
timed() {
    local out start end
    start=$(date +%s%N)
    out=$( { /usr/bin/time -f "%U %S %M" "$@"; } 2>&1 >/dev/null | tail -1)
    end=$(date +%s%N)
    awk -v wall=$(((end - start) / 1000000)) \
        '{printf "%d %.0f %d\n", wall, ($1 + $2) * 1000, $3}' <<<"$out"
}
# Runs quillon -Q on a fresh copy of $2 with the settings folder $1; prints
# what timed prints, and fails when the photo was not corrected.
corrected() {
    local copy="$work/run.${2##*.}"
    cp "$2" "$copy"
    # The copy's own writing to disk would otherwise compete with the run's.
    sync
    XDG_CONFIG_HOME="$1" timed "$quillon" -Q "$copy"
    if cmp -s "$2" "$copy"; then
        echo "bench-quiet: $(basename "$2") was not corrected" >&2
        exit 1
    fi
}

declare -A wall cpu
add() { wall[$1]+="$2 "; cpu[$1]+="$3 "; }
peaks=()
for _ in $(seq "$runs"); do
    sync
    read -r w c _ <<<"$(timed sh -c "djpeg '$jpeg' | cjpeg -quality 90 >'$work/ref.jpg'")"
    add ref-jpeg "$w" "$c"
    read -r w c peak <<<"$(corrected "$distortion" "$jpeg")"
    add jpeg "$w" "$c"
    peaks+=("$peak")
    read -r w c _ <<<"$(corrected "$more" "$jpeg")"
    add jpeg-more "$w" "$c"
    sync
    read -r w c _ <<<"$(timed tiffcp "$tiff" "$work/ref.tif")"
    rm -f "$work/ref.tif"
    add ref-tiff "$w" "$c"
    read -r w c _ <<<"$(corrected "$distortion" "$tiff")"
    add tiff "$w" "$c"
done

m() { tr ' ' '\n' <<<"$1" | grep . | median; }
best() { tr ' ' '\n' <<<"$1" | grep . | sort -n | head -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {print a / b}'; }
printf '%-48s %9s %9s %7s %7s %7s %7s\n' "" "wall ms" "cpu ms" "ratio" "target" "best ms" "ratio"
row() {  # name key reference-key target
    local ow oc rw ob rb
    ow=$(m "${wall[$2]}"); oc=$(m "${cpu[$2]}"); rw=$(m "${wall[$3]}")
    ob=$(best "${wall[$2]}"); rb=$(best "${wall[$3]}")
    printf '%-48s %9.0f %9.0f %7.2f %7s %7.0f %7.2f\n' "$1" "$ow" "$oc" "$(ratio "$ow" "$rw")" "$4" \
        "$ob" "$(ratio "$ob" "$rb")"
}
ref() {
    printf '%-48s %9.0f %9.0f %7s %7s %7.0f\n' "$1" "$(m "${wall[$2]}")" "$(m "${cpu[$2]}")" "" "" \
        "$(best "${wall[$2]}")"
}
ref "djpeg | cjpeg -quality 90" ref-jpeg
row "quillon -Q JPEG, distortion" jpeg ref-jpeg "1.3"
row "quillon -Q JPEG, + vignetting 30, perspective 20" jpeg-more ref-jpeg "1.6"
ref "tiffcp, 16-bit TIFF" ref-tiff
row "quillon -Q 16-bit TIFF, distortion" tiff ref-tiff "3"
peak_kb=$(printf '%s\n' "${peaks[@]}" | median)
decoded=$((6016 * 4000 * 3))
awk -v p="$peak_kb" -v d="$decoded" 'BEGIN {
    printf "peak memory of quillon -Q JPEG, distortion: %.0f MB for %.0f MB of pixels, ratio %.2f (target 1.25)\n",
        p * 1024 / 1e6, d / 1e6, p * 1024 / d }'
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) processors"
