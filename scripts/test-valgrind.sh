#!/usr/bin/env bash
# Runs alphawed under valgrind's memcheck over the matrix of BMP kinds that
# the alphawed tests check, two files a run: one as the colour bitmap, the
# next as the alpha bitmap, so both ways of loading (whole, and only the
# corner over the colour bitmap) meet the kinds, whose variants lie side by
# side in the list. A run costs most of a second of start-up under valgrind,
# so each file is loaded once. The sanitizers do not see reads
# of uninitialised memory; memcheck does, bytes written to the TGA included.
# Any memcheck error, and any message from the program (every file of the
# matrix is valid), fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset linux
cmake --build --preset linux --target alphawed make_bmp_matrix

work=build/linux/valgrind-bmp-matrix
rm -rf "$work"
mkdir -p "$work/bitmaps" "$work/runs"
build/linux/tests/make_bmp_matrix "$work/bitmaps" > "$work/list.txt"
program=$PWD/build/linux/bin/needed_Exes/alphawed

# One line per run: number, colour bitmap, alpha bitmap.
mapfile -t names < "$work/list.txt"
count=${#names[@]}
for ((i = 0; i < count; i += 2)); do
  echo "$i ${names[i]} ${names[(i + 1) % count]}"
done > "$work/runs.txt"

run_one() {
  local n=$1 colour=$2 alpha=$3 dir=$work/runs/$1
  mkdir -p "$dir"
  if ! valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
      --log-file="$dir/valgrind.txt" "$program" "$PWD/$work/bitmaps/$colour" "$PWD/$work/bitmaps/$alpha" \
      "$PWD/$dir/out.tga" > "$dir/stdout.txt" 2> "$dir/stderr.txt"; then
    echo "FAILED: alphawed $colour $alpha"; cat "$dir/valgrind.txt"; return 1
  fi
  if [ -s "$dir/stderr.txt" ] || [ ! -s "$dir/out.tga" ]; then
    echo "FAILED: alphawed $colour $alpha wrote no TGA or said:"; cat "$dir/stderr.txt"; return 1
  fi
}
export -f run_one
export work program

# Two at a time: valgrind runs one thread per process.
if xargs -P 2 -L 1 bash -c 'run_one "$@"' _ < "$work/runs.txt"; then
  echo "valgrind: alphawed over the $count files of the BMP matrix, no errors"
else
  echo "valgrind: errors, see above" >&2
  exit 1
fi
