#!/usr/bin/env bash
# Renders sample reports of both layouts (PDF, then PNG with pdftoppm) and
# pictures of the print preview and the report selection dialog into
# docs/screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j2 --target report_samples KBE3235
out=docs/screenshots
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"
xvfb-run -a -s "-screen 0 1280x1024x24" ./build/bin/report_samples "$tmp"
pdftoppm -png -r 80 -f 1 -l 1 -singlefile "$tmp/report-full.pdf" "$out/report-full"
pdftoppm -png -r 80 -f 1 -l 1 -singlefile "$tmp/report-concise.pdf" "$out/report-concise"
cp "$tmp/print-preview.png" "$tmp/select-report.png" "$out/"
ls -l "$out"
