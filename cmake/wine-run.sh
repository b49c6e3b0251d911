#!/bin/sh
# Runs a Windows test program under Wine: quietly, and in a Wine prefix of
# its own inside the build folder (the folder holding CMakeCache.txt above
# the program) unless WINEPREFIX is set. A fresh prefix is made once, under
# a lock, so that tests run in parallel do not race to create it.
set -e
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
      wineboot --init >/dev/null 2>&1 || true
      wineserver -w || true
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
