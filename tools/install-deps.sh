#!/bin/sh
# Installs what building and testing need on a Debian 12 machine: the native
# and the MinGW compilers, CMake, GoogleTest sources, Wine (with its 32-bit
# part), python3-sqlglot, and clang with its sanitizer and libFuzzer runtime
# for the fuzz targets; with --demo only what the README's first
# command needs. Quick when everything is present already; needs
# root (or sudo) only when something is missing.
set -eu

packages="cmake g++ make googletest libgtest-dev g++-mingw-w64-i686 wine wine32:i386 python3-sqlglot clang libclang-rt-14-dev"
# --demo: only what building the library, vrnrecover and mkdump needs (the
# GoogleTest sources are read when the build is configured, not built).
if [ "${1:-}" = "--demo" ]; then
  packages="cmake g++ make googletest"
fi

missing=""
for p in $packages; do
  if ! dpkg -s "$p" >/dev/null 2>&1; then
    missing="$missing $p"
  fi
done
if [ -z "$missing" ]; then
  echo "install-deps: all packages present"
  exit 0
fi
echo "install-deps: installing$missing"

if [ "$(id -u)" -eq 0 ]; then
  as_root=""
elif command -v sudo >/dev/null 2>&1; then
  as_root="sudo"
else
  echo "install-deps: missing packages and not root:$missing" >&2
  exit 1
fi

case "$missing" in
  *:i386*)
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      $as_root dpkg --add-architecture i386
    fi
    ;;
esac
export DEBIAN_FRONTEND=noninteractive
$as_root apt-get update -q
# shellcheck disable=SC2086
$as_root apt-get install -y -q --no-install-recommends $missing
