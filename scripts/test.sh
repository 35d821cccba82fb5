#!/usr/bin/env bash
# Sets up, builds and runs every test. Usage: scripts/test.sh [preset]
# Presets: dev (default, debug with warnings as errors), asan, release, tsan
# (the worker pool and engine tests only).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-dev}"
bash scripts/setup.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
