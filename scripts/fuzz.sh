#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target in turn (or only the
# targets named), each for the given number of seconds (default 600).
# Usage: scripts/fuzz.sh [seconds-per-target [target...]]
#
# Each target starts from a copy of its committed corpus, so the repository is
# left alone; what a run finds stays under build/fuzz/findings/<target>/:
#   fuzz.log          libFuzzer's log (coverage as "cov:", the final statistics)
#   corpus/           the corpus the run grew
#   crash-*, leak-*, oom-*, timeout-*
#                     an input that failed; once the fault is fixed, add it to
#                     fuzz/corpus/<target>/ so that every build replays it
# A target stops at its first failing input. The exit status is 1 when any
# target failed. Not part of CI: a full run takes 10 minutes per target.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: scripts/fuzz.sh [seconds-per-target [target...]]" >&2
    exit 2
fi
shift $(($# > 0 ? 1 : 0))

cmake --preset fuzz
cmake --build --preset fuzz

failed=0
for binary in build/fuzz/*/quillon_fuzz_*; do
    target="${binary##*/quillon_fuzz_}"
    if (($# > 0)) && ! [[ " $* " == *" $target "* ]]; then continue; fi
    out="build/fuzz/findings/$target"
    rm -rf "$out"
    mkdir -p "$out/corpus"
    cp -R "fuzz/corpus/$target/." "$out/corpus/"
    echo "== $target: ${seconds} s"
    # -close_fd_mask=2 keeps what the libraries print about each broken input
    # (libjpeg writes every warning to stderr) out of the log; libFuzzer's own
    # lines and the sanitizers' reports still reach it. A photo that takes
    # 25 s to read is a fault of its own.
    if "$binary" "$out/corpus" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2560 \
        -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$out/" >"$out/fuzz.log" 2>&1; then
        grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)' "$out/fuzz.log" || true
    else
        failed=1
        echo "   FAILED; see $out/fuzz.log and the input saved beside it:"
        ls "$out" | grep -E '^(crash|leak|oom|timeout|slow-unit)-' | sed "s|^|   $out/|" || true
    fi
done
exit "$failed"
