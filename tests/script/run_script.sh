#!/bin/sh
# Runs one example clerk script on a fresh demo database, as a person would:
#   run_example.sh MVDB VARNOLDE_SCRIPT DEMO_JSONL WORK_DIR LOGIN SCRIPT
# Exits with varnolde-script's status.
set -eu
mvdb=$1 tool=$2 demo=$3 work=$4 login=$5 script=$6
rm -rf "$work"
mkdir -p "$work"
"$mvdb" load "$work/demo.db" "$demo" > /dev/null
"$tool" --db "$work/demo.db" --user "$login" --locale fr_FR "$script"
