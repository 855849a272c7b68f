#!/bin/sh
# Runs one clerk script on a fresh database made from JSON-lines files, as a person would:
#   run_script.sh MVDB VARNOLDE_SCRIPT RUN WORK_DIR LOGIN LOCALE SCRIPT JSONL...
# RUN is headless or qt (varnolde-script --toolkit) on a database file, or server: headless on
# a database of its own on the test server (VARNOLDE_TEST_SERVER names the server; the
# database is dropped at the end), its rights given by `mvdb roles`, the panel connected as
# LOGIN's role and told no --user: the server enforces the rights the panel shows. The
# JSON-lines files are loaded in order (a later record replaces an earlier one of the same
# key). Exits with varnolde-script's status.
set -eu
mvdb=$1 tool=$2 run=$3 work=$4 login=$5 locale=$6 script=$7
shift 7
rm -rf "$work"
mkdir -p "$work"
toolkit=$run
db="$work/test.db"
if [ "$run" = server ]; then
  toolkit=headless
  name="varnolde_s$$"
  psql "$VARNOLDE_TEST_SERVER" -qc "CREATE DATABASE $name" >/dev/null
  trap 'psql "$VARNOLDE_TEST_SERVER" -qc "DROP DATABASE IF EXISTS $name WITH (FORCE)" >/dev/null' EXIT
  db="$VARNOLDE_TEST_SERVER dbname=$name"
fi
cat "$@" | "$mvdb" load "$db" - > /dev/null
if [ "$run" = server ]; then
  "$mvdb" roles "$db" > /dev/null
  "$tool" --toolkit "$toolkit" --db "$db user=$login" --locale "$locale" "$script"
else
  "$tool" --toolkit "$toolkit" --db "$db" --user "$login" --locale "$locale" "$script"
fi
