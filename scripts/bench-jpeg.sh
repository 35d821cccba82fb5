#!/usr/bin/env bash
# Load + save of a 24-megapixel JPEG at quality 90: Quillon's LoadImageFile and
# SaveImageFile (BM_ImageIo_JpegLoadSave24MP) against libjpeg-turbo's own
# `djpeg | cjpeg -quality 90` on the same file. The input is made here from a
# sample photo (scaled up 5/4 with djpeg, re-encoded, cropped losslessly to
# 6000 x 4000 with jpegtran) and never committed.
#
# Usage: scripts/bench-jpeg.sh [runs]   (from the repository root; default 5 runs)
# Wall-clock times are noisy on a shared machine; CPU times (user + system) are
# the steadier comparison. Both are reported as medians.
set -euo pipefail

runs=${1:-5}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in djpeg cjpeg jpegtran; do
    command -v "$tool" >/dev/null || { echo "bench-jpeg: $tool missing (libjpeg-turbo-progs)"; exit 1; }
done

cmake --preset bench -S "$root" >/dev/null
cmake --build --preset bench -j2 --target quillon_bench >/dev/null
bench="$root/build/bench/bench/quillon_bench"

input="$work/photo24mp.jpg"
djpeg -scale 5/4 "$root/testdata/photos/mdx_Leica_T_Typ_701.jpg" | cjpeg -quality 90 |
    jpegtran -crop 6000x4000+0+0 -copy none >"$input"
echo "input: $input ($(stat -c %s "$input") bytes, 6000 x 4000)"

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

real_ref=()
cpu_ref=()
for _ in $(seq "$runs"); do
    out=$( { /usr/bin/time -f "%e %U %S" sh -c "djpeg '$input' | cjpeg -quality 90 >'$work/ref.jpg'"; } 2>&1 )
    read -r e u s <<<"$(echo "$out" | tail -1)"
    real_ref+=("$(awk -v e="$e" 'BEGIN {print e * 1000}')")
    cpu_ref+=("$(awk -v u="$u" -v s="$s" 'BEGIN {print (u + s) * 1000}')")
done
ref_real=$(printf '%s\n' "${real_ref[@]}" | median)
ref_cpu=$(printf '%s\n' "${cpu_ref[@]}" | median)

json=$(QUILLON_BENCH_JPEG="$input" "$bench" --benchmark_filter='BM_ImageIo_JpegLoadSave24MP' \
    --benchmark_repetitions="$runs" --benchmark_format=json 2>/dev/null)
ours_real=$(echo "$json" | python3 -c 'import json,sys; d=json.load(sys.stdin)["benchmarks"]; print([b for b in d if b.get("aggregate_name")=="median"][0]["real_time"])')
ours_cpu=$(echo "$json" | python3 -c 'import json,sys; d=json.load(sys.stdin)["benchmarks"]; print([b for b in d if b.get("aggregate_name")=="median"][0]["cpu_time"])')

printf '%-28s %10s %10s\n' "" "wall ms" "cpu ms"
printf '%-28s %10.0f %10.0f\n' "djpeg | cjpeg -quality 90" "$ref_real" "$ref_cpu"
printf '%-28s %10.0f %10.0f\n' "LoadImageFile+SaveImageFile" "$ours_real" "$ours_cpu"
awk -v a="$ours_real" -v b="$ref_real" -v c="$ours_cpu" -v d="$ref_cpu" \
    'BEGIN {printf "ratio (ours / reference): wall %.2f, cpu %.2f\n", a / b, c / d}'
