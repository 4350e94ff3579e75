#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine.
# Usage: scripts/setup.sh [--windows] [--bench] [--fuzz]
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libstb-dev nlohmann-json3-dev tmux util-linux imagemagick valgrind)
for arg in "$@"; do
  case "$arg" in
    --windows) packages+=(g++-mingw-w64-x86-64-posix wine64 wine xvfb xdotool tmux imagemagick locales) ;;
    --bench) packages+=(libbenchmark-dev liblz4-dev zlib1g-dev libzstd-dev lz4 gzip zstd hyperfine imagemagick) ;;
    --fuzz) packages+=(clang libclang-rt-14-dev) ;;
    *) echo "unknown option: $arg" >&2; exit 2 ;;
  esac
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
