#!/usr/bin/env bash
# Sets up, builds the program and corrects a copy of a bundled sample photo
# (an Olympus E-420 with its 14-42 mm zoom at 24 mm) with the default lens
# database. The original stays where it is; the corrected copy is in out/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target quillon quillon_info_tool

sample=testdata/photos/mdx_Issue_339.jpg
mkdir -p out
cp "$sample" out/sample.jpg
echo
echo "What Quillon reads from the photo:"
build/release/tools/quillon-info out/sample.jpg |
    grep -E '^(make|model|focalLength|camera|lens|focalInUse|a|b|c|d):'
echo
build/release/app/quillon -q out/sample.jpg
echo "Corrected out/sample.jpg in place (barrel distortion removed, metadata kept)."
echo "The original is $sample."
