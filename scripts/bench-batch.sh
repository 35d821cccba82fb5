#!/usr/bin/env bash
# Times the folder browser's Apply on 10 photos of 24 megapixels against ten
# quiet corrections (`quillon -Q`) of one of them: the batch may add nothing
# but the preview each photo is shown in, so the target is a ratio of 1.2 at
# most. The batch runs as the window runs it (each photo read, shown into a
# preview of the window's size, corrected and written beside it with the
# suffix) through quillon-batch-driver, without the widgets; both run as
# processes of their own, start-up included.
#
# The 24-megapixel photo is made as in scripts/bench-quiet.sh: a bundled Nikon
# D40 photo scaled up to 6016 x 4000 with the original's EXIF block, its lens
# picked by a lens history in a private settings folder.
#
# Usage: scripts/bench-batch.sh [runs]   (default 3; medians are reported)
set -euo pipefail

runs=${1:-3}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in djpeg cjpeg python3; do
    command -v "$tool" >/dev/null || { echo "bench-batch: $tool missing (run scripts/setup.sh)"; exit 1; }
done

cmake --preset bench -S "$root" >/dev/null
cmake --build --preset bench -j2 --target quillon quillon_batch_driver >/dev/null
quillon="$root/build/bench/app/quillon"
driver="$root/build/bench/bench/quillon-batch-driver"

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
original, body = (open(p, "rb").read() for p in sys.argv[1:3])
exif = b"".join(s for s in segments(original) if s[1] == 0xE1 and s[4:10] == b"Exif\0\0")
open(sys.argv[3], "wb").write(body[:2] + exif + body[2:])
PY
input="$work/photo24mp.jpg"
echo "input: 10 x $(stat -c %s "$input") bytes, 6016 x 4000, EXIF of $(basename "$source_photo")"

export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME/Velmora"
settings() {
    cat >"$XDG_CONFIG_HOME/Velmora/Quillon.reg" <<'REG'
[Software\Velmora\Quillon]
"Language"="English"
"Processors"=dword:00000002
"ResetAlways"=dword:00000000
"Hist"=dword:00000001
"Hist.00.menuMake"="Nikon"
"Hist.00.menuModel"="D40"
"Hist.00.menuLens"="Nikkor AF-S 18-55mm f/3.5-5.6G DX VR"
"Hist.00.group"="Nikon F DX"
"Hist.00.minFlen"=dword:41900000
"Hist.00.maxFlen"=dword:425c0000
"Hist.00.signature"=dword:00000335
REG
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
now_ms() { date +%s%3N; }

quiet_ms=(); batch_ms=()
for _ in $(seq "$runs"); do
    settings
    start=$(now_ms)
    for i in $(seq 10); do
        cp "$input" "$work/run.jpg"
        "$quillon" -Q "$work/run.jpg"
    done
    quiet_ms+=($(( $(now_ms) - start )))
    cmp -s "$input" "$work/run.jpg" && { echo "bench-batch: the quiet mode did not correct"; exit 1; }

    settings
    rm -rf "$work/folder"; mkdir "$work/folder"
    for i in $(seq -w 1 10); do cp "$input" "$work/folder/photo$i.jpg"; done
    start=$(now_ms)
    "$driver" "$work/folder" >/dev/null
    batch_ms+=($(( $(now_ms) - start )))
    written=$(ls "$work/folder"/*_lc.jpg | wc -l)
    [ "$written" -eq 10 ] || { echo "bench-batch: the batch wrote $written of 10"; exit 1; }
done

q=$(printf '%s\n' "${quiet_ms[@]}" | median); b=$(printf '%s\n' "${batch_ms[@]}" | median)
printf '%-40s %10s\n' "" "wall ms"
printf '%-40s %10.0f\n' "10 x quillon -Q (Processors 2)" "$q"
printf '%-40s %10.0f\n' "batch of 10 (Processors 2, with preview)" "$b"
awk -v a="$b" -v b="$q" 'BEGIN {printf "ratio (batch / ten quiet corrections): %.2f (target <= 1.2)\n", a / b}'
