#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (in build-fuzz, its own build directory) and
# runs each one for a short, bounded time on its seed corpus fuzz/corpus/<target>. New inputs
# the fuzzer finds go to build-fuzz/corpus/<target>, so the seed corpus stays as committed.
# Exits non-zero when a target crashes, fails one of its checks, leaks, times out on an input
# or cannot be built; the input that did it is saved under build-fuzz/artifacts/.
#
#   scripts/fuzz-smoke.sh                  every target, FUZZ_SECONDS (default 12) each
#   FUZZ_SECONDS=600 scripts/fuzz-smoke.sh jsonl   one target, longer
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-12}
build=${FUZZ_BUILD:-build-fuzz}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(query_sentence dynarray jsonl script_parser)

scripts/install-deps.sh
mkdir -p "$build"
cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >"$build/configure.log" 2>&1 || {
  cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j"${JOBS:-2}"

status=0
for target in "${targets[@]}"; do
  binary="$build/fuzz_$target"
  if [ ! -x "$binary" ]; then
    if [ "$target" = script_parser ] && ! grep -q varnolde_script "$build/build.ninja"; then
      echo "fuzz $target: skipped, the clerk-script interpreter is not in the tree"
      continue
    fi
    echo "fuzz $target: not built"; status=1; continue
  fi
  mkdir -p "$build/corpus/$target" "$build/artifacts"
  log="$build/fuzz_$target.log"
  if "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$build/artifacts/$target-" \
       "$build/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz $target: ${runs:-?} executions in ${seconds} s, no failure"
  else
    echo "fuzz $target: FAILED (log $log)"
    grep -E "check failed|ERROR:|SUMMARY:|Test unit written" "$log" | head -20
    status=1
  fi
done
exit $status
