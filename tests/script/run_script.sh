#!/bin/sh
# Runs one clerk script on a fresh database made from JSON-lines files, as a person would:
#   run_script.sh MVDB VARNOLDE_SCRIPT WORK_DIR LOGIN LOCALE SCRIPT JSONL...
# The JSON-lines files are loaded in order (a later record replaces an earlier one of the same
# key). Exits with varnolde-script's status.
set -eu
mvdb=$1 tool=$2 work=$3 login=$4 locale=$5 script=$6
shift 6
rm -rf "$work"
mkdir -p "$work"
cat "$@" | "$mvdb" load "$work/test.db" - > /dev/null
"$tool" --db "$work/test.db" --user "$login" --locale "$locale" "$script"
