#!/usr/bin/env bash
# Runs each fuzz target of a libFuzzer build for a while:
#   [FUZZ_RUNS=N] scripts/fuzz.sh BUILD_DIR SECONDS TARGET...
# Each target starts from its seed corpus (tests/fuzz/corpus/<target>) plus
# what earlier runs found (BUILD_DIR/corpus/<target>); an input that crashes
# it, leaks or hangs is saved under tests/fuzz/crashes/<target>/, where the
# replay test in `make test` picks it up. A target stops after SECONDS, or
# after FUZZ_RUNS inputs when that is set and comes first; tests/fuzz/<target>.dict,
# when there is one, gives the fuzzer the words of its format. Exits non-zero
# when any target failed.
set -uo pipefail
cd "$(dirname "$0")/.."
build=$1 seconds=$2
shift 2

status=0
for target in "$@"; do
  seeds=tests/fuzz/corpus/$target
  found=$build/corpus/$target
  crashes=tests/fuzz/crashes/$target
  mkdir -p "$found" "$crashes"
  options=(-max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=300 ${FUZZ_RUNS:+-runs=$FUZZ_RUNS})
  [ -f "tests/fuzz/$target.dict" ] && options+=(-dict="tests/fuzz/$target.dict")
  # The window target builds real windows: more memory than the others.
  [ "$target" = fuzz_ProfileSettings ] && options+=(-rss_limit_mb=2048)
  echo "== $target: $seconds s"
  # -max_len keeps each input small enough to be fast; -timeout turns an
  # input that takes ten seconds into a failure of its own.
  # ASan keeps 256 MB of freed memory to catch late uses; a sixteenth of it
  # still catches uses soon after the free, and leaves room under -rss_limit_mb.
  # Three frames of each allocation's stack (not 30) halve the cost of a small
  # allocation; the replay in `make test` reports a saved crash in full.
  QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 ASAN_OPTIONS=quarantine_size_mb=16:malloc_context_size=3 LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
    "$build/tests/fuzz/$target" "$found" "$seeds" "${options[@]}" \
    -artifact_prefix="$crashes/" -print_final_stats=1 2>&1 |
    tee "$build/$target.log" | grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)|ERROR|SUMMARY|Test unit written|check failed'
  rc=${PIPESTATUS[0]}
  if [ "$rc" -ne 0 ]; then
    echo "== $target FAILED (exit $rc): see $build/$target.log and $crashes/"
    status=1
  fi
done
exit $status
