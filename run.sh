#!/usr/bin/env bash
# Sets up, builds (Release) and runs the main job: converts the bundled example sales list into
# an XML invoice file beside it.   ./run.sh --gui   opens the window instead.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target tessaly-cli $( [ "${1:-}" = "--gui" ] && echo tessaly )

if [ "${1:-}" = "--gui" ]; then
  exec "$build/bin/tessaly"
fi
example="examples/销货清单示例.xlsx"
exec "$build/bin/tessaly-cli" convert "$example" -o "${example%.xlsx}.xml"
