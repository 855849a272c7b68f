#!/usr/bin/env bash
# Makes docs/screenshot.png: the advances panel in its window, with a caregiver of the demo
# employer loaded, drawn by the Qt toolkit on a virtual X display (xvfb-run).
#
#   scripts/screenshot.sh [BUILD_DIR]        (default: build, the directory "make" uses)
#
# The panel opens on a temporary copy of examples/demo.jsonl as the varnolde window does; a
# clerk's keys choose entity 001 and caregiver 00110 (Aurélie DURAND, fourteen contracts, so
# the scroll bar is in use) and click the second row. Override with ENTITY, CAREGIVER, ROW.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
entity=${ENTITY:-001}
caregiver=${CAREGIVER:-00110}
row=${ROW:-1}
out=docs/screenshot.png

for tool in xvfb-run fc-match cmake; do
  if ! command -v "$tool" >/dev/null; then
    echo "screenshot.sh: $tool is missing; run scripts/install-deps.sh" >&2
    exit 1
  fi
done
if ! fc-match "Courier New" | grep -q "Liberation Mono"; then
  echo "screenshot.sh: \"Courier New\" does not resolve to Liberation Mono; install fonts-liberation" >&2
  exit 1
fi

[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja
cmake --build "$build" --target varnolde_screenshot -j"${JOBS:-2}"

# Written beside the picture, then moved over it: a failed run leaves the old picture alone.
partial=$(mktemp "$out.XXXXXX")
trap 'rm -f "$partial"' EXIT
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$build/tests/qt/varnolde_screenshot" --data examples/demo.jsonl --user gestionnaire \
  --locale fr_FR --entity "$entity" --caregiver "$caregiver" --select "$row" --out "$partial"
chmod 644 "$partial"
mv "$partial" "$out"
trap - EXIT
echo "screenshot.sh: wrote $out"
