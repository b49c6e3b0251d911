#!/bin/sh
# Runs a Windows test program under Wine: quietly, and in a Wine prefix of
# its own inside the build folder (the folder holding CMakeCache.txt above
# the program) unless WINEPREFIX is set. A fresh prefix is made once, under
# a lock, so that tests run in parallel do not race to create it.
#
#   wine-run.sh [--wine64] PROGRAM [ARGS...]
#
# --wine64 runs a 64-bit program with 64-bit Wine itself: Debian's `wine`
# command always picks the 32-bit loader when it is installed, and that
# loader cannot start on a machine without 32-bit emulation.
set -e
wine=wine
if [ "${1:-}" = "--wine64" ]; then
  shift
  wine=${VRN_WINE64:-/usr/lib/wine/wine64}
  if [ ! -x "$wine" ]; then
    wine=$(command -v wine64 || true)
  fi
  if [ -z "$wine" ]; then
    echo "wine-run.sh: 64-bit Wine is not installed (Debian package wine64)" >&2
    exit 127
  fi
  WINELOADER=$wine
  export WINELOADER
fi
if [ -z "${WINEPREFIX:-}" ]; then
  dir=$(cd "$(dirname "$1")" && pwd)
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do
    dir=$(dirname "$dir")
  done
  if [ -f "$dir/CMakeCache.txt" ]; then
    WINEPREFIX="$dir/wineprefix"
    export WINEPREFIX
  fi
fi
WINEDEBUG="${WINEDEBUG:--all}"
# No .NET or HTML engine installers in a fresh prefix.
WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEDEBUG WINEDLLOVERRIDES

if [ -n "${WINEPREFIX:-}" ] && [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$wine" wineboot --init >/dev/null 2>&1 || true
      wineserver -w || true
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec "$wine" "$@"
