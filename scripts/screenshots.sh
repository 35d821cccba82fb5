#!/usr/bin/env bash
# Pictures of the program's windows for the documentation, taken on a virtual
# X display (Xvfb): the editor on a bundled sample photo, once per tab page,
# and the folder browser on a folder of samples with the first photo selected
# (a key press sent with xdotool). Usage: scripts/screenshots.sh [preset]
# [folder] (defaults: release, out/screenshots). The user's own settings are
# not touched: the program runs with settings of its own in a temporary folder.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-release}"
folder="${2:-out/screenshots}"
bash scripts/setup.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target quillon quillon_screengrab

program="build/$preset/app/quillon"
grab="build/$preset/app/screen_grab/quillon-screengrab"
mkdir -p "$folder"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp testdata/photos/mdx_Issue_339.jpg "$work/sample.jpg"
# The browser's folder: a few photos under the names a camera gives them.
mkdir -p "$work/photos"
cp testdata/photos/mdx_Issue_339.jpg "$work/photos/P7070112.jpg"
cp testdata/photos/mdx_Nikon_D40.jpg "$work/photos/DSC_0413.JPG"
cp testdata/photos/mdx_Canon_EOS_1000D.jpg "$work/photos/IMG_2208.JPG"
cp testdata/photos/exiv2_Reagan.tiff "$work/photos/scan_1981.tiff"

# One picture: settings (extra lines after the language), the picture's name,
# program arguments. $keys, when set, are pressed in the window first.
shoot() {
    local settings="$1" name="$2"
    shift 2
    mkdir -p "$work/config/Velmora" "$work/runtime"
    chmod 700 "$work/runtime"
    printf '[Software\\Velmora\\Quillon]\n"Language"="English"\n"ResetAlways"=dword:00000000\n%b' \
        "$settings" \
        >"$work/config/Velmora/Quillon.reg"
    # A virtual display started while another one starts elsewhere on the
    # machine may lose the race for its number: try again on another.
    for attempt in 1 2 3; do
        if XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
            KEYS="${keys:-}" \
            xvfb-run -a -n "$((100 + RANDOM % 800))" -s "-screen 0 1280x800x24" bash -c '
                "$0" "${@:3}" & program=$!
                if [ -n "$KEYS" ]; then
                    window=$(timeout 60 xdotool search --sync --name "Quillon 9.0" | head -1)
                    sleep 1
                    xdotool windowfocus --sync "$window"
                    for key in $KEYS; do xdotool key --clearmodifiers "$key"; sleep 0.3; done
                fi
                "$1" "Quillon 9.0" "$2" 60; status=$?
                kill "$program" 2>/dev/null; wait "$program" 2>/dev/null
                exit $status' "$program" "$grab" "$folder/$name.png" "$@"; then
            echo "screenshots: $folder/$name.png"
            return 0
        fi
        echo "screenshots: $name failed (attempt $attempt)" >&2
    done
    return 1
}

shoot '"Tab"=dword:00000000\n"VigAmount"=dword:00000014\n' editor "$work/sample.jpg"
shoot '"Tab"=dword:00000001\n"PerspectVert"=dword:0000000c\n' editor-perspective "$work/sample.jpg"
shoot '"Tab"=dword:00000002\n"CaRed"=dword:00000003\n' editor-chromatic "$work/sample.jpg"
keys="Down Down" shoot "\"InputDir\"=\"$work/photos\"\n\"Tab\"=dword:00000000\n\"VigAmount\"=dword:00000014\n" browser
