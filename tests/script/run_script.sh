#!/bin/sh
# Runs one clerk script on a fresh database made from JSON-lines files, as a person would:
#   run_script.sh MVDB VARNOLDE_SCRIPT TOOLKIT WORK_DIR LOGIN LOCALE SCRIPT JSONL...
# TOOLKIT is headless or qt (varnolde-script --toolkit). The JSON-lines files are loaded in
# order (a later record replaces an earlier one of the same key). Exits with varnolde-script's
# status.
set -eu
mvdb=$1 tool=$2 toolkit=$3 work=$4 login=$5 locale=$6 script=$7
shift 7
rm -rf "$work"
mkdir -p "$work"
cat "$@" | "$mvdb" load "$work/test.db" - > /dev/null
"$tool" --toolkit "$toolkit" --db "$work/test.db" --user "$login" --locale "$locale" "$script"
