#!/usr/bin/env bash
# Makes docs/screenshot.png: the advances panel in its window, with a caregiver of the demo
# employer loaded, drawn by the Qt toolkit on a virtual X display (xvfb-run).
#
#   scripts/screenshot.sh [BUILD_DIR]        (default: build, the directory "make" uses)
#
# A clerk script, played by varnolde-script on the real Qt widgets, chooses entity 001 and
# caregiver 00110 (Aurélie DURAND, fourteen contracts, so the scroll bar is in use) and clicks
# the second row, on a temporary copy of examples/demo.jsonl; --picture then saves the window.
# Override with ENTITY, CAREGIVER, ROW, or play a clerk script of your own with SCRIPT=FILE.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
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
cmake --build "$build" --target mvdb varnolde-script -j"${JOBS:-2}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
script=${SCRIPT:-$work/screenshot.script}
if [ -z "${SCRIPT:-}" ]; then
  cat > "$script" <<SCRIPT
type txt_Entite "${ENTITY:-001}"
type txt_CodeAidant "${CAREGIVER:-00110}"
select lst_Liste1 ${ROW:-1}
SCRIPT
fi
"$build/src/app/mvdb" load "$work/demo.db" examples/demo.jsonl > /dev/null
# varnolde-script writes the picture beside docs/screenshot.png and renames it over the old one
# only once complete.
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$build/src/app/varnolde-script" --toolkit qt --picture "$out" --db "$work/demo.db" \
  --user gestionnaire --locale fr_FR "$script"
chmod 644 "$out"
echo "screenshot.sh: wrote $out"
