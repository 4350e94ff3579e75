#!/usr/bin/env bash
# Builds the release archives into dist/: the Windows ZIP and the Linux
# tarball, each with the programs laid out as users run them.
# Usage: scripts/package.sh [linux] [windows]   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(linux windows)
mkdir -p dist
for preset in "${presets[@]}"; do
  case "$preset" in linux | windows) ;; *) echo "unknown preset: $preset" >&2; exit 2 ;; esac
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  out=build/$preset/package
  rm -rf "$out"
  (cd "build/$preset" && cpack -B "$PWD/package" >/dev/null)
  for archive in "$out"/*.zip "$out"/*.tar.gz; do
    [ -e "$archive" ] || continue
    cp "$archive" dist/
    echo "dist/$(basename "$archive")"
  done
done
