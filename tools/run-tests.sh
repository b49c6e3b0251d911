#!/bin/bash
# Builds and tests vrndll: a native build (build/), a native build with
# AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/), the tests
# that run code on several threads built with ThreadSanitizer (build-tsan/,
# the threads_tests binary alone), and the Windows cross build run under
# Wine; then runs both fuzz targets for a fixed short time (build-fuzz/,
# fuzz/run.sh; FUZZ_SECONDS per target, default 60).
#
#   tools/run-tests.sh [native] [asan] [tsan] [windows] [fuzz]   (default: all five)
#
# The windows stage always builds the 32-bit binaries (build-win/) and checks
# them as PE files. Where this machine runs 32-bit programs, the whole suite
# runs under 32-bit Wine. Where it cannot (a kernel without 32-bit
# emulation), the same code is built as 64-bit Windows binaries
# (build-win64/) and the whole suite runs under 64-bit Wine. The stage says
# which on one line, and fails when neither can run. `windows32` and
# `windows64` run one of the two whatever the machine.
#
# Every stage runs even when an earlier one failed; the script ends with the
# line "N passed, N failed" over all test runs and fails when any build or
# test failed. JOBS sets the build parallelism (default 2).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-2}
stages=("$@")
[ ${#stages[@]} -eq 0 ] && stages=(native asan tsan windows fuzz)

total_passed=0
total_failed=0
windows_line=""
status=0

log() { printf '\n==== %s\n' "$*"; }

# run_stage NAME BUILD_DIR CMAKE_ARGS...
# (BUILD_TARGETS: build only these; CTEST_ARGS: extra ctest arguments)
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
  local targets=()
  for t in ${BUILD_TARGETS:-}; do targets+=(--target "$t"); done
  if ! cmake --build "$dir" -j "$jobs" "${targets[@]}"; then
    echo "$name: build FAILED"
    status=1; total_failed=$((total_failed + 1)); return
  fi
  log "$name: test"
  local out
  out=$(mktemp)
  # shellcheck disable=SC2086
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" ${CTEST_ARGS:-} 2>&1 | tee "$out"
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

# Wine's own loaders are Linux programs of the Windows program's width, so
# they tell whether this machine can run 32-bit (or 64-bit) Windows
# programs: the 32-bit one fails with "Exec format error" where the kernel
# has no 32-bit emulation.
wine32=${VRN_WINE32:-/usr/lib/wine/wine}
wine64=${VRN_WINE64:-/usr/lib/wine/wine64}
can_run_wine32() { [ -x "$wine32" ] && "$wine32" --version >/dev/null 2>&1; }
can_run_wine64() {
  [ -x "$wine64" ] && "$wine64" --version >/dev/null 2>&1 &&
    command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1
}
wine32_error() {
  if [ ! -x "$wine32" ]; then echo "$wine32 is missing"; else "$wine32" --version 2>&1 | head -1; fi
}

# The 32-bit binaries alone, checked as PE files, where they cannot run.
checks_only() {
  BUILD_TARGETS="vrndll tlvcmn vrnrecover" CTEST_ARGS="-R ^binary_" "$@"
}

# Quiet Wine, in a prefix of its own inside the build folder; the Wine
# server of that prefix is stopped afterwards rather than left lingering.
# run_windows 32 or run_windows 64: the stage windows (build-win) or
# windows64 (build-win64) with the MinGW toolchain of that width.
run_windows() {
  local win_stage=windows win_build=build-win win_toolchain=mingw-i686
  if [ "$1" = 64 ]; then win_stage=windows64 win_build=build-win64 win_toolchain=mingw-x86_64; fi
  export WINEDEBUG=-all
  export WINEPREFIX="$root/$win_build/wineprefix"
  run_stage "$win_stage" "$win_build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$win_toolchain.cmake"
  wineserver -k >/dev/null 2>&1 || true
  unset WINEPREFIX WINEDEBUG
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
    tsan)
      # Only the threads tests: a race anywhere they reach fails the stage
      # (halt_on_error ends the run at the first report).
      TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}" \
      BUILD_TARGETS="threads_tests" CTEST_ARGS="-R ^threads_tests$" \
        run_stage tsan build-tsan -DCMAKE_BUILD_TYPE=Debug -DVRN_TSAN=ON \
        "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" "-DCMAKE_C_FLAGS_DEBUG=-O1 -g1"
      ;;
    windows)
      if can_run_wine32; then
        run_windows 32
        windows_line="Windows: 32-bit under Wine"
      elif can_run_wine64; then
        checks_only run_windows 32
        run_windows 64
        windows_line="Windows: 64-bit under Wine, 32-bit binaries checked, not run"
      else
        checks_only run_windows 32
        windows_line="Windows: FAILED, neither 32-bit nor 64-bit Windows programs run under Wine here ($(wine32_error); is wine64 installed?)"
        status=1; total_failed=$((total_failed + 1))
      fi
      echo "$windows_line"
      ;;
    windows32)
      run_windows 32
      windows_line="Windows: 32-bit under Wine"
      echo "$windows_line"
      ;;
    windows64)
      run_windows 64
      windows_line="Windows: 64-bit under Wine"
      echo "$windows_line"
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
      echo "unknown stage: $stage (use native, asan, tsan, windows, windows32, windows64, fuzz)" >&2
      exit 2
      ;;
  esac
done

echo
[ -n "$windows_line" ] && echo "$windows_line"
echo "$total_passed passed, $total_failed failed"
exit $status
