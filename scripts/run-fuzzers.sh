#!/usr/bin/env bash
# Runs every libFuzzer harness of a ZOLVA_FUZZ build for a number of seconds each, one after the
# other, over its seed corpus in tests/fuzz/corpus/<harness>/:
#   scripts/run-fuzzers.sh BUILD_DIR SECONDS [HARNESS...]
# New inputs the fuzzer finds go to BUILD_DIR/fuzz-corpus/<harness>/, never into the seeds;
# an input that fails is written to BUILD_DIR/fuzz-artifacts/ and the run fails. Keep every
# such input: copy it into the harness's seed corpus with the fix and a unit test.
set -euo pipefail

build="$1"
seconds="$2"
shift 2
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  harnesses=(fuzz_image fuzz_more_colors fuzz_fields fuzz_script fuzz_usermap)
fi

status=0
for h in "${harnesses[@]}"; do
  exe="$build/tests/fuzz/$h"
  seeds="$here/tests/fuzz/corpus/$h"
  work="$build/fuzz-corpus/$h"
  artifacts="$build/fuzz-artifacts/$h-"
  mkdir -p "$work" "$(dirname "$artifacts")"
  log="$build/fuzz-$h.log"
  echo "fuzz: $h for ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      "$exe" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
      -artifact_prefix="$artifacts" -print_final_stats=1 "$work" "$seeds" >"$log" 2>&1; then
    echo "fuzz: $h FAILED (see $log and $build/fuzz-artifacts/)" >&2
    tail -n 40 "$log" >&2
    status=1
  fi
  grep -aE '^stat::number_of_executed_units|^stat::peak_rss_mb|^Done ' "$log" | sed "s/^/fuzz: $h: /" || true
done
exit $status
