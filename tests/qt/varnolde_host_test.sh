#!/usr/bin/env bash
# The varnolde window host's start-up, run as a user runs it (offscreen platform): the
# command line, the demo database made on first start, and each start-up failure reported
# on standard error with status 1 and nothing left half-made.
#
#   varnolde_host_test.sh VARNOLDE MVDB SOURCE_DIR
set -uo pipefail
varnolde=$1 mvdb=$2 source_dir=$3
export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d "${TMPDIR:-/tmp}/varnolde-host.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0

# expect NAME STATUS PATTERN -- COMMAND...: the command exits with STATUS and its standard
# output and error hold PATTERN (a grep -E expression).
expect() {
  local name=$1 status=$2 pattern=$3
  shift 4
  local output actual
  output=$("$@" 2>&1)
  actual=$?
  if [ "$actual" -ne "$status" ] || ! grep -qE -- "$pattern" <<<"$output"; then
    echo "FAIL $name: status $actual (expected $status), output:"
    echo "$output" | sed 's/^/  | /'
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

# The command line is read before anything else: no display is needed for it.
no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
expect help 0 "Usage : varnolde" -- "${no_display[@]}" "$varnolde" --help
expect unknown-argument 2 "argument inconnu : --frobnicate" -- \
  "${no_display[@]}" "$varnolde" --frobnicate
expect missing-value 2 "--db attend une valeur" -- "${no_display[@]}" "$varnolde" --db
expect no-display 1 "aucun écran" -- "${no_display[@]}" "$varnolde" --db=x.db
expect missing-database 1 "0x80040014.*$work/absent.db" -- \
  "$varnolde" --db="$work/absent.db" --user=gestionnaire
[ ! -e "$work/absent.db" ] || { echo "FAIL missing-database: the file was created"; failures=$((failures + 1)); }

# The demo database: made from the demo data on first start, in $XDG_DATA_HOME/varnolde. An
# unknown user then stops the start after it was made.
expect demo-created-unknown-user 1 "base de démonstration créée.*0x80040020.*personne|0x80040020.*personne" -- \
  env XDG_DATA_HOME="$work/data" VARNOLDE_DEMO_DATA="$source_dir/examples/demo.jsonl" \
  "$varnolde" --user personne
[ -f "$work/data/varnolde/demo.db" ] || { echo "FAIL demo-created: no $work/data/varnolde/demo.db"; failures=$((failures + 1)); }
ls "$work/data/varnolde" | grep -q creation && { echo "FAIL demo-created: a partial file was left"; failures=$((failures + 1)); }
expect demo-data-missing 1 "données de démonstration introuvables" -- \
  env XDG_DATA_HOME="$work/other" VARNOLDE_DEMO_DATA="$work/none.jsonl" "$varnolde"
[ ! -e "$work/other/varnolde/demo.db" ] || { echo "FAIL demo-data-missing: a database was made"; failures=$((failures + 1)); }
printf '{"file": "PERIODESPAIE", "id": "1", "rec": ["200203"\n' >"$work/broken.jsonl"
expect demo-data-malformed 1 "broken.jsonl.*ligne 1" -- \
  env XDG_DATA_HOME="$work/broken" VARNOLDE_DEMO_DATA="$work/broken.jsonl" "$varnolde"
[ -z "$(ls -A "$work/broken/varnolde" 2>/dev/null)" ] || { echo "FAIL demo-data-malformed: files were left"; failures=$((failures + 1)); }

# A database without one of the panel's tables: init fails, the window does not open.
grep -v '"DETAILCALCUL"' "$source_dir/examples/demo.jsonl" >"$work/partial.jsonl"
"$mvdb" load "$work/partial.db" "$work/partial.jsonl" >/dev/null
expect table-missing 1 "0x80040010.*DETAILCALCUL" -- \
  "$varnolde" --db "$work/partial.db" --user gestionnaire
expect user-unknown 1 "0x80040020.*inconnu" -- "$varnolde" --db "$work/partial.db" --user inconnu

[ "$failures" -eq 0 ] && echo "all passed" || echo "$failures failed"
exit $((failures > 0))
