#!/usr/bin/env bash
# `make run`: shows the advances panel at work on the demo database.
#
#   scripts/run.sh BUILD_DIR
#
# Creates var/demo.db from examples/demo.jsonl when it is absent. With a display ($DISPLAY or
# $WAYLAND_DISPLAY) and the window host built, opens the panel in a window on var/demo.db as
# the user "gestionnaire". Otherwise plays examples/demo.script with varnolde-script on a fresh
# copy of the demo data, so that the panel is seen working in the terminal every time, and
# exits with the script's status. docs/demo.md describes the demo.
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: scripts/run.sh BUILD_DIR" >&2
  exit 2
fi
if [ ! -d "$1" ]; then
  echo "run.sh: build directory $1 does not exist; build first (make build)" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
mvdb="$build/src/app/mvdb"
script_tool="$build/src/app/varnolde-script"
window_host="$build/src/app/varnolde"
demo_data="$root/examples/demo.jsonl"
demo_db="$root/var/demo.db"

for tool in "$mvdb" "$script_tool"; do
  if [ ! -x "$tool" ]; then
    echo "run.sh: $tool is missing; build first (make build)" >&2
    exit 2
  fi
done

# Loads the demo data into a new database at $1. mvdb makes a new database whole or not at all,
# after removing what a killed session or an interrupted creation left under that name.
make_demo_database() {
  if ! "$mvdb" load "$1" "$demo_data" > /dev/null; then
    echo "run.sh: could not load $demo_data" >&2
    exit 1
  fi
}

if [ ! -e "$demo_db" ]; then
  mkdir -p "$(dirname "$demo_db")"
  echo "Creating the demo database $demo_db from examples/demo.jsonl"
  make_demo_database "$demo_db"
fi

if { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; } && [ -x "$window_host" ]; then
  echo "Opening the panel on $demo_db as gestionnaire"
  exec "$window_host" --db "$demo_db" --user gestionnaire
fi

# No window: the demo script on fresh demo data, so that what it expects holds even when the
# demo database has been changed in the window. The demo is French, whatever the locale.
work=$(mktemp -d "${TMPDIR:-/tmp}/varnolde-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT
make_demo_database "$work/demo.db"
echo "No display: playing examples/demo.script on a fresh copy of the demo database"
echo
status=0
"$script_tool" --db "$work/demo.db" --user gestionnaire --locale fr_FR \
  "$root/examples/demo.script" || status=$?
exit "$status"
