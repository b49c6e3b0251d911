#!/bin/sh
# Installs what building and testing need on a Debian 12 machine: the native
# compiler, CMake, GoogleTest sources, both MinGW compilers (32- and 64-bit
# Windows), Wine with its 32- and 64-bit parts, python3-sqlglot, clang with
# its sanitizer and libFuzzer runtime for the fuzz targets, and the
# PostgreSQL server and sqlite3 shell that the output tests load into; with
# --demo only what the README's first command needs. Quick when everything
# is present already; needs root (or sudo) only when something is missing.
#
# A package archive can be caught mid-sync: one index of an otherwise good
# mirror has the wrong size, and the amd64 and i386 candidates of a package
# then come from different suites. So a failed `apt-get update` is retried
# and then tolerated with a warning, and an install that cannot resolve is
# retried once with the security suite pinned below the main suite, through
# a preferences file passed to that one command (the machine's own apt
# configuration is left as it is).
set -eu

packages="cmake g++ make googletest libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386 python3-sqlglot clang libclang-rt-14-dev postgresql sqlite3"
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

updated=no
for attempt in 1 2 3; do
  if $as_root apt-get update -q; then
    updated=yes
    break
  fi
  echo "install-deps: apt-get update failed (attempt $attempt of 3)" >&2
  [ "$attempt" -lt 3 ] && sleep $((attempt * 10))
done
if [ "$updated" = no ]; then
  echo "install-deps: WARNING: apt-get update kept failing (an archive mid-sync?);" \
    "installing from the indexes that did update" >&2
fi

install() {
  # shellcheck disable=SC2086
  $as_root apt-get install -y -q --no-install-recommends "$@"
}

# shellcheck disable=SC2086
if install $missing; then
  exit 0
fi

echo "install-deps: install did not resolve; retrying once with the security" \
  "suite pinned below the main suite" >&2
prefs=$(mktemp)
trap 'rm -f "$prefs"' EXIT
cat >"$prefs" <<'EOF'
Package: *
Pin: release l=Debian-Security
Pin-Priority: 100
EOF
chmod 644 "$prefs"
# shellcheck disable=SC2086
if install -o Dir::Etc::Preferences="$prefs" $missing; then
  exit 0
fi

# Last: everything but the 32-bit packages. Without them the Windows tests
# run under 64-bit Wine, and the test script says so.
rest=""
for p in $missing; do
  case "$p" in *:i386) ;; *) rest="$rest $p" ;; esac
done
if [ "$rest" = "$missing" ]; then
  exit 1
fi
echo "install-deps: WARNING: the 32-bit packages could not be installed;" \
  "installing the rest (the Windows tests will run under 64-bit Wine)" >&2
# shellcheck disable=SC2086
install -o Dir::Etc::Preferences="$prefs" $rest
