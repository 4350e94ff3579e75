#!/usr/bin/env bash
# Sets up, builds and runs every test: the Linux suite, the same suite under
# the address, undefined-behaviour and leak sanitizers, alphawed under
# valgrind over every BMP kind, every fuzz target
# briefly on its corpus, then the Windows suite under Wine.
# Usage: scripts/test.sh [--linux-only] [--fuzz-seconds N]
set -euo pipefail
cd "$(dirname "$0")/.."
windows=1
fuzz_seconds=20
while [ $# -gt 0 ]; do
  case "$1" in
    --linux-only) windows=0 ;;
    --fuzz-seconds) fuzz_seconds=$2; shift ;;
    *) echo "unknown option: $1" >&2; exit 2 ;;
  esac
  shift
done

# One installation step for everything below.
if [ $windows = 1 ]; then scripts/setup.sh --windows --fuzz; else scripts/setup.sh --fuzz; fi

started=$(date +%s)
stage() { echo; echo "=== $1 ($(( $(date +%s) - started )) s)"; }

stage "Linux build and tests"
cmake --preset linux
cmake --build --preset linux
ctest --preset linux

stage "Sanitizer build and tests"
scripts/test-asan.sh

stage "alphawed under valgrind over every BMP kind"
scripts/test-valgrind.sh

if [ "$fuzz_seconds" -gt 0 ]; then
  stage "Fuzz targets, ${fuzz_seconds} s each"
  scripts/fuzz.sh "$fuzz_seconds"
fi

if [ $windows = 1 ]; then
  stage "Windows build and tests under Wine"
  cmake --preset windows
  cmake --build --preset windows
  scripts/test-windows.sh
fi
stage "All done"
