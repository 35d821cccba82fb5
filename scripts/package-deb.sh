#!/usr/bin/env bash
# Builds the Debian package from the install rules and checks it: the program
# (without the GUI toolkit) and its window program, the lens database, the
# user guide, the desktop entry and the icon are in it, the desktop entry is
# valid. Usage: scripts/package-deb.sh [folder]
# (default out/package). The package is quillon_<version>_<arch>.deb there.
#
# Install it with `apt install ./quillon_*.deb`; `apt remove quillon` removes
# every file it brought.
set -euo pipefail
cd "$(dirname "$0")/.."
folder="${1:-out/package}"
bash scripts/setup.sh
build=build/package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DQUILLON_BUILD_TESTS=OFF -DQUILLON_BUILD_BENCH=OFF -DQUILLON_WERROR=ON >/dev/null
cmake --build "$build" -j2
mkdir -p "$folder"
(cd "$build" && cpack -G DEB -B "$PWD/cpack" >/dev/null)
deb=$(ls "$build"/cpack/quillon_*.deb)
cp "$deb" "$folder/"
deb="$folder/$(basename "$deb")"
echo "package: $deb"

contents=$(dpkg-deb -c "$deb")
fail=0
for path in ./usr/bin/quillon ./usr/libexec/quillon/quillon-window ./usr/share/quillon/Quillon.dat ./usr/share/quillon/QuillonHelp.html \
            ./usr/share/applications/quillon.desktop ./usr/share/icons/hicolor/scalable/apps/quillon.svg \
            ./usr/share/icons/hicolor/48x48/apps/quillon.png ./etc/Velmora/Quillon.reg; do
    if ! grep -q " $path\$" <<<"$contents"; then
        echo "package-deb: $path is missing from the package" >&2
        fail=1
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work"
desktop-file-validate "$work/usr/share/applications/quillon.desktop" || fail=1
grep -q '"Root"="/usr/share/quillon/"' "$work/etc/Velmora/Quillon.reg" || {
    echo "package-deb: the machine-wide key does not name /usr/share/quillon/" >&2
    fail=1
}
# A start without a display must not load the toolkit.
if readelf -d "$work/usr/bin/quillon" | grep -q 'NEEDED.*libQt'; then
    echo "package-deb: /usr/bin/quillon links the GUI toolkit" >&2
    fail=1
fi
dpkg-deb -f "$deb" Depends
exit $fail
