#!/bin/sh
# The hand-over from `quillon` to the window program, on a display the toolkit
# draws off screen. Usage: window_program_test.sh <quillon> <window program
# path relative to quillon's folder> <machine-wide key> <photo>
set -u
quillon=$1 relative=$2 key=$3 photo=$4
work=$(realpath "$(mktemp -d)")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/config/Velmora"
# A language is stored, so the window program never waits for the first-run choice.
printf '[Software\\Velmora\\Quillon]\n"Language"="English"\n' >"$work/config/Velmora/Quillon.reg"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" QUILLON_MACHINE_SETTINGS="$key"
export QT_QPA_PLATFORM=offscreen
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Runs the program given, then checks its exit code and its stderr (the
# expected lines, in order, and nothing else).
check() {  # expected-status expected-stderr program args...
    want_status=$1 want_err=$2
    shift 2
    "$@" 2>"$work/err"
    status=$?
    [ "$status" -eq "$want_status" ] || fail "$* ended with $status, not $want_status"
    printf '%s' "$want_err" | cmp -s - "$work/err" ||
        fail "$* said: [$(cat "$work/err")], not: [$want_err]"
}

corrects() {  # program
    cp "$photo" "$work/photo.jpg"
    check 0 "$2" "$1" -Q "$work/photo.jpg"
    cmp -s "$photo" "$work/photo.jpg" && fail "$1 -Q left the photo as it was"
}

# From the build tree the window program is found and runs the correction
# (it would say so on stderr if it could not be started).
corrects "$quillon" ""

# `quillon` alone: the window program is missing, which is said once with the
# path and the reason; the quiet correction still happens without windows.
cp "$quillon" "$work/bin/quillon"
window=$(realpath -m -s "$work/bin/$relative")
corrects "$work/bin/quillon" \
    "Quillon: the window program $window cannot be started: No such file or directory
"

# A window program that cannot be run: the browser ends as it does without a
# display, after the one line that says why.
mkdir -p "$(dirname "$window")"
printf 'not a program\n' >"$window"
chmod 644 "$window"
check 1 "Quillon: the window program $window cannot be started: Permission denied
Quillon: no window can be opened here. To correct a photo from the command line use
  quillon -q|-Q [-i] photo.jpg|photo.tif
" "$work/bin/quillon"

[ "$failures" -eq 0 ]
