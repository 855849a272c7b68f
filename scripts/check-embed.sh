#!/usr/bin/env bash
# Checks that a host application can embed the panel from an installed Varnolde: builds
# Varnolde without its tests, installs it into a temporary prefix, builds examples/embed
# against that prefix only (find_package(Varnolde)), then opens the example's window once on
# the offscreen platform over a demo database made with the installed mvdb tool.
#
#   scripts/check-embed.sh        exit 0 when all of it worked; the failing step is named
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)
jobs=${JOBS:-2}

work=$(mktemp -d "${TMPDIR:-/tmp}/varnolde-embed.XXXXXX")
trap 'rm -rf "$work"' EXIT

step() { echo "check-embed: $*"; }
fail() { echo "check-embed: FAILED: $*" >&2; exit 1; }

step "building Varnolde (no tests)"
cmake -S "$source_dir" -B "$work/build" -G Ninja -DVARNOLDE_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX="$work/prefix" >"$work/configure.log" 2>&1 \
  || { cat "$work/configure.log" >&2; fail "configuring Varnolde"; }
cmake --build "$work/build" -j"$jobs" >"$work/build.log" 2>&1 \
  || { tail -40 "$work/build.log" >&2; fail "building Varnolde"; }

step "installing into $work/prefix"
cmake --install "$work/build" >"$work/install.log" 2>&1 \
  || { cat "$work/install.log" >&2; fail "installing Varnolde"; }
[ -f "$work/prefix/lib/cmake/Varnolde/VarnoldeConfig.cmake" ] || fail "no VarnoldeConfig.cmake installed"

step "building examples/embed against the installed package"
cmake -S "$source_dir/examples/embed" -B "$work/embed" -G Ninja \
  -DCMAKE_PREFIX_PATH="$work/prefix" >"$work/embed-configure.log" 2>&1 \
  || { cat "$work/embed-configure.log" >&2; fail "configuring the example"; }
cmake --build "$work/embed" -j"$jobs" >"$work/embed-build.log" 2>&1 \
  || { cat "$work/embed-build.log" >&2; fail "building the example"; }

step "opening the example's window once (offscreen)"
"$work/prefix/bin/mvdb" load "$work/demo.db" "$work/prefix/share/varnolde/demo.jsonl" >/dev/null \
  || fail "creating the demo database with the installed mvdb"
QT_QPA_PLATFORM=offscreen PAYROLL_WINDOW_QUIT=1 timeout 60 \
  "$work/embed/payroll_window" "$work/demo.db" gestionnaire \
  || fail "running the example"

step "ok"
