#!/bin/sh
# The same JSON lines loaded into a database file and into a database on the test server dump
# to the same text, indexes included:  same_dump.sh MVDB JSONL WORK_DIR
set -eu
mvdb=$1 jsonl=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
name="varnolde_d$$"
psql "$VARNOLDE_TEST_SERVER" -qc "CREATE DATABASE $name" >/dev/null
trap 'psql "$VARNOLDE_TEST_SERVER" -qc "DROP DATABASE IF EXISTS $name WITH (FORCE)" >/dev/null' EXIT
"$mvdb" load "$work/file.db" "$jsonl" >/dev/null
"$mvdb" load "$VARNOLDE_TEST_SERVER dbname=$name" "$jsonl" >/dev/null
"$mvdb" dump "$work/file.db" >"$work/file.jsonl"
"$mvdb" dump "$VARNOLDE_TEST_SERVER dbname=$name" >"$work/server.jsonl"
[ -s "$work/file.jsonl" ] || { echo "empty dump" >&2; exit 1; }
cmp "$work/file.jsonl" "$work/server.jsonl"
