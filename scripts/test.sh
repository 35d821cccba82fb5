#!/usr/bin/env bash
# Sets up, builds and runs every test. Usage: scripts/test.sh [preset]
# Presets: dev (default, debug with warnings as errors), asan, release, tsan
# (the worker pool and engine tests only).
# With dev the 32-bit plug-in and reference host are built as well (preset
# i386, Debian's i386 packages), and the plug-in's tests, the engine's (whose
# vector code is chosen at run time there too) and those of the byte counts and
# image memory (where sizes are 32 bits) run against them.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-dev}"
if [ "$preset" = dev ]; then
    export QUILLON_I386=1
fi
bash scripts/setup.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
if [ "$preset" = dev ]; then
    cmake --preset i386
    cmake --build --preset i386 --target quillon_plugin quillon_host quillon_plugin_tests \
        quillon_plugin_dialog_tests quillon_replay_handoff quillon_host_api_c_check \
        quillon_embed_check quillon_engine_tests quillon_base_tests quillon_image_tests
    ctest --preset i386 -L 'plugin|engine|base|image'
fi
