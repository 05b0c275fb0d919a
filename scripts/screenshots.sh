#!/usr/bin/env bash
# Saves a picture of every window of the program's shell into
# docs/screenshots/, taken under a virtual X display (Xvfb) over a real
# password database file made for the purpose.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -d build ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target keyhaven_screenshots KBE3235
mkdir -p docs/screenshots
xvfb-run -a -s "-screen 0 1024x768x24" ./build/bin/keyhaven_screenshots docs/screenshots
