#!/bin/bash
# Builds and tests vrndll three times: a native build (build/), a native
# build with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/),
# and the 32-bit Windows cross build run under Wine (build-win/); then runs
# both fuzz targets for a fixed short time (build-fuzz/, fuzz/run.sh;
# FUZZ_SECONDS per target, default 60).
#
#   tools/run-tests.sh [native] [asan] [windows] [fuzz]     (default: all four)
#
# Every stage runs even when an earlier one failed; the script ends with the
# line "N passed, N failed" over all test runs and fails when any build or
# test failed. JOBS sets the build parallelism (default 2).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-2}
stages=("$@")
[ ${#stages[@]} -eq 0 ] && stages=(native asan windows fuzz)

total_passed=0
total_failed=0
status=0

log() { printf '\n==== %s\n' "$*"; }

# run_stage NAME BUILD_DIR CMAKE_ARGS...
run_stage() {
  local name=$1 dir=$2
  shift 2
  local start=$SECONDS
  log "$name: configure $dir"
  if ! cmake -S "$root" -B "$dir" "$@"; then
    echo "$name: configure FAILED"
    status=1; total_failed=$((total_failed + 1)); return
  fi
  log "$name: build"
  if ! cmake --build "$dir" -j "$jobs"; then
    echo "$name: build FAILED"
    status=1; total_failed=$((total_failed + 1)); return
  fi
  log "$name: test"
  local out
  out=$(mktemp)
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" 2>&1 | tee "$out"
  local rc=${PIPESTATUS[0]}
  # "100% tests passed, 0 tests failed out of 12"
  local summary
  summary=$(grep -E '[0-9]+ tests? failed out of [0-9]+' "$out" | tail -1)
  rm -f "$out"
  if [ -n "$summary" ]; then
    local failed all
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
    all=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$summary")
    total_passed=$((total_passed + all - failed))
    total_failed=$((total_failed + failed))
  elif [ "$rc" -ne 0 ]; then
    total_failed=$((total_failed + 1))
  fi
  if [ "$rc" -ne 0 ]; then
    status=1
  fi
  echo "$name: finished in $((SECONDS - start)) s"
}

for stage in "${stages[@]}"; do
  case "$stage" in
    native)
      run_stage native build -DCMAKE_BUILD_TYPE=Release
      ;;
    asan)
      # Light optimisation and line tables only: half the compile time of a
      # full -O2 -g build, and reports still name file and line.
      run_stage asan build-asan -DCMAKE_BUILD_TYPE=Debug -DVRN_SANITIZE=ON \
        "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" "-DCMAKE_C_FLAGS_DEBUG=-O1 -g1"
      ;;
    windows)
      # Quiet Wine, in a prefix of its own inside the build folder.
      export WINEDEBUG=-all
      export WINEPREFIX="$root/build-win/wineprefix"
      run_stage windows build-win -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
      # Stop the Wine server of this prefix rather than leave it lingering.
      wineserver -k >/dev/null 2>&1 || true
      unset WINEPREFIX WINEDEBUG
      ;;
    fuzz)
      # Any crash, leak, timeout or write outside the output folder fails it.
      log "fuzz: build and run both fuzz targets"
      start=$SECONDS
      if "$root/fuzz/run.sh" "${FUZZ_SECONDS:-60}"; then
        total_passed=$((total_passed + 1))
      else
        total_failed=$((total_failed + 1))
        status=1
      fi
      echo "fuzz: finished in $((SECONDS - start)) s"
      ;;
    *)
      echo "unknown stage: $stage (use native, asan, windows, fuzz)" >&2
      exit 2
      ;;
  esac
done

echo
echo "$total_passed passed, $total_failed failed"
exit $status
