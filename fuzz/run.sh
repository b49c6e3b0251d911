#!/bin/bash
# Builds the fuzz targets with clang and runs them.
#
#   fuzz/run.sh [SECONDS] [recovery] [row]     (default: 60 s each, both)
#
# Each target runs for SECONDS on its seed corpus (written by fuzz_seeds
# from the dump writer) and on the corpus earlier runs kept in
# build-fuzz/corpus/<target>, so longer or repeated runs go on from where
# the last one stopped. The fuzzers run in an empty folder that must stay
# empty. The script fails on any crash, leak, timeout (a unit taking more
# than FUZZ_TIMEOUT s), memory beyond 2 GiB, or write outside the output folder;
# the input that caused it is kept in build-fuzz/findings/. FUZZ_BUILD
# sets the build folder, JOBS the build parallelism (default 2),
# FUZZ_TIMEOUT the seconds a unit may take (default 10; the limit is wall
# time, so a run at low priority on a busy machine needs more, e.g. 120).
#
#   FUZZ_TIMEOUT=120 nice -n 19 fuzz/run.sh 3600 recovery   # idle CPU only
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-$root/build-fuzz}
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(recovery row)

if ! cmake -S "$root" -B "$build" -DVRN_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null; then
  echo "fuzz: configure FAILED (clang and libclang-rt-14-dev are needed)"
  exit 1
fi
if ! cmake --build "$build" -j "${JOBS:-2}" --target recovery_fuzzer row_fuzzer fuzz_seeds; then
  echo "fuzz: build FAILED"
  exit 1
fi

status=0
for target in "${targets[@]}"; do
  case "$target" in
    recovery) max_len=3145728 ;; # format-15 dumps of 16 KiB pages need 2.6 MiB
    row) max_len=1048576 ;;
    *) echo "unknown target: $target (use recovery, row)" >&2; exit 2 ;;
  esac
  fuzzer=$build/bin/${target}_fuzzer
  seeds=$build/seeds/$target
  corpus=$build/corpus/$target
  findings=$build/findings
  rm -rf "$build/seeds"
  mkdir -p "$build/seeds/recovery" "$build/seeds/row" "$corpus" "$findings"
  "$build/bin/fuzz_seeds" "$build/seeds/recovery" "$build/seeds/row" || exit 1

  work=$(mktemp -d)
  log=$build/$target.log
  echo "fuzz: $target for $seconds s"
  (cd "$work" && "$fuzzer" "$corpus" "$seeds" -dict="$root/fuzz/dump.dict" \
     -max_len=$max_len -timeout="${FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 -max_total_time="$seconds" \
     -print_final_stats=1 -artifact_prefix="$findings/$target-" >"$log" 2>&1)
  rc=$?
  leftovers=$(ls -A "$work")
  rm -rf "$work"
  final=$(grep -E '^#[0-9]+.*(DONE|cov:)' "$log" | tail -1)
  runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log")
  cov=$(sed -nE 's/.* cov: ([0-9]+) ft: ([0-9]+) .*/cov \1, ft \2/p' <<<"$final")
  if [ "$rc" -ne 0 ]; then
    echo "fuzz: $target FAILED (exit $rc); the input is in $findings:"
    grep -E 'ERROR|SUMMARY|recovery_fuzzer:|row_fuzzer:|Test unit written' "$log" | head -20
    status=1
  elif [ -n "$leftovers" ]; then
    echo "fuzz: $target FAILED: written into the folder it ran in: $leftovers"
    status=1
  else
    echo "fuzz: $target passed: ${runs:-0} runs in $seconds s, $cov, corpus $(ls "$corpus" | wc -l) inputs"
  fi
done
exit $status
