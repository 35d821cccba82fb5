#!/usr/bin/env bash
# Fails when a tracked C++ source differs from what clang-format makes of it
# (the repository's .clang-format). Fix with:
#   git ls-files '*.cpp' '*.h' | xargs clang-format -i
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
echo "format: every tracked .cpp and .h file is formatted"
