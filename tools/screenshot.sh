#!/usr/bin/env bash
# Renders the main window under a virtual X server into docs/main-window.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target tessaly-screenshot
xvfb-run -a -s "-screen 0 1280x800x24" "$build/bin/tessaly-screenshot" docs/main-window.png
echo "docs/main-window.png"
