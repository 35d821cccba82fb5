#!/usr/bin/env bash
# Times the quiet correction of a real-sized photo, `quillon -Q photo.jpg`
# (read, detect, correct the lens distortion, write over itself), against a
# plain `djpeg | cjpeg -quality 90` of the same file, side by side in one run.
#
# The 24-megapixel input is made here from a bundled Nikon D40 photo (18-55 mm
# at 26 mm): scaled up 2/1 to 6016 x 4000 with djpeg, encoded at quality 90 and
# given back the original's EXIF block, so the camera and lens are detected as
# in the original. Three 18-55 mm lenses fit that camera; a lens history in a
# private settings folder picks one, as after a user's first choice by hand.
#
# Usage: scripts/bench-quiet.sh [runs]   (default 5; medians are reported)
set -euo pipefail

runs=${1:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in djpeg cjpeg python3; do
    command -v "$tool" >/dev/null || { echo "bench-quiet: $tool missing (run scripts/setup.sh)"; exit 1; }
done

cmake --preset bench -S "$root" >/dev/null
cmake --build --preset bench -j2 --target quillon >/dev/null
quillon="$root/build/bench/app/quillon"

source_photo="$root/testdata/photos/mdx_Nikon_D40.jpg"
djpeg -scale 2/1 "$source_photo" | cjpeg -quality 90 >"$work/body.jpg"
python3 - "$source_photo" "$work/body.jpg" "$work/photo24mp.jpg" <<'PY'
import sys
def segments(data):
    pos = 2
    while pos + 4 <= len(data) and data[pos] == 0xFF and data[pos + 1] not in (0xDA, 0xD9):
        length = int.from_bytes(data[pos + 2:pos + 4], "big")
        yield data[pos:pos + 2 + length]
        pos += 2 + length
original, body, out = (open(p, "rb").read() for p in sys.argv[1:3]) , None, sys.argv[3]
original, body = original
exif = b"".join(s for s in segments(original) if s[1] == 0xE1 and s[4:10] == b"Exif\0\0")
open(out, "wb").write(body[:2] + exif + body[2:])
PY
input="$work/photo24mp.jpg"
echo "input: $(stat -c %s "$input") bytes, 6016 x 4000, EXIF of $(basename "$source_photo")"

export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME/Velmora"
cat >"$XDG_CONFIG_HOME/Velmora/Quillon.reg" <<'REG'
[Software\Velmora\Quillon]
"Language"="English"
"Processors"=dword:00000002
"Hist"=dword:00000001
"Hist.00.menuMake"="Nikon"
"Hist.00.menuModel"="D40"
"Hist.00.menuLens"="Nikkor AF-S 18-55mm f/3.5-5.6G DX VR"
"Hist.00.group"="Nikon F DX"
"Hist.00.minFlen"=dword:41900000
"Hist.00.maxFlen"=dword:425c0000
"Hist.00.signature"=dword:00000335
REG

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
# Prints "wall_ms cpu_ms" of one command.
timed() {
    local out
    out=$( { /usr/bin/time -f "%e %U %S" "$@"; } 2>&1 >/dev/null | tail -1)
    awk '{printf "%.0f %.0f\n", $1 * 1000, ($2 + $3) * 1000}' <<<"$out"
}

ref_wall=(); ref_cpu=(); our_wall=(); our_cpu=()
for _ in $(seq "$runs"); do
    read -r w c <<<"$(timed sh -c "djpeg '$input' | cjpeg -quality 90 >'$work/ref.jpg'")"
    ref_wall+=("$w"); ref_cpu+=("$c")
    cp "$input" "$work/run.jpg"
    read -r w c <<<"$(timed "$quillon" -Q "$work/run.jpg")"
    if cmp -s "$input" "$work/run.jpg"; then
        echo "bench-quiet: the photo was not corrected"; exit 1
    fi
    our_wall+=("$w"); our_cpu+=("$c")
done

rw=$(printf '%s\n' "${ref_wall[@]}" | median); rc=$(printf '%s\n' "${ref_cpu[@]}" | median)
ow=$(printf '%s\n' "${our_wall[@]}" | median); oc=$(printf '%s\n' "${our_cpu[@]}" | median)
printf '%-28s %10s %10s\n' "" "wall ms" "cpu ms"
printf '%-28s %10.0f %10.0f\n' "djpeg | cjpeg -quality 90" "$rw" "$rc"
printf '%-28s %10.0f %10.0f\n' "quillon -Q (Processors 2)" "$ow" "$oc"
awk -v a="$ow" -v b="$rw" 'BEGIN {printf "ratio (quillon / plain decode and encode), wall: %.2f\n", a / b}'
