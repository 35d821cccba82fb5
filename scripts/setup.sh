#!/usr/bin/env bash
# Installs the Debian packages Quillon needs to build, test and benchmark.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config clang-format
    libtiff-dev libjpeg62-turbo-dev liblcms2-dev nlohmann-json3-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libjpeg-turbo-progs libtiff-tools time python3
    qt6-base-dev libxcb1-dev xvfb xauth xdotool desktop-file-utils dpkg-dev fakeroot
)
# The libFuzzer preset needs clang with its runtime; it is optional.
if [ "${QUILLON_FUZZ:-0}" = 1 ]; then
    packages+=(clang libclang-rt-14-dev)
fi

# The 32-bit plug-in is built against Debian's i386 packages; only a build that
# asks for it (QUILLON_I386=1, as the test script does) needs them.
i386=0
if [ "${QUILLON_I386:-0}" = 1 ]; then
    i386=1
    packages+=(g++-multilib libtiff-dev:i386 libjpeg62-turbo-dev:i386 liblcms2-dev:i386
               libgtest-dev:i386 libgmock-dev:i386 qt6-base-dev:i386 libbenchmark-dev:i386)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "setup: all packages present"
    exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if [ "$i386" = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
