#!/usr/bin/env bash
# Sets up, builds and runs every test: the Linux suite, then the Windows
# suite under Wine (scripts/test-windows.sh).
# Usage: scripts/test.sh [--linux-only]
set -euo pipefail
cd "$(dirname "$0")/.."
windows=1
for arg in "$@"; do
  case "$arg" in
    --linux-only) windows=0 ;;
    *) echo "unknown option: $arg" >&2; exit 2 ;;
  esac
done

if [ $windows = 1 ]; then scripts/setup.sh --windows; else scripts/setup.sh; fi

cmake --preset linux
cmake --build --preset linux
ctest --preset linux

if [ $windows = 1 ]; then
  cmake --preset windows
  cmake --build --preset windows
  scripts/test-windows.sh
fi
