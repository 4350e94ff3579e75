#!/usr/bin/env bash
# Sets up, builds, and runs the tool-set on sample data that it makes itself.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux
bin=build/linux/bin
demo=build/demo
rm -rf "$demo" && mkdir -p "$demo"

echo
echo "== Packrat: pack a sample archive, unpack it again, compare"
build/linux/tests/make_sample_archive "$demo/sample.drp"
cp "$demo/sample.drp" "$demo/original.drp"
"$bin/packrat-cli" pack "$demo/sample.drp"
rm "$demo/sample.drp"
"$bin/packrat-cli" unpack "$demo/sample.crp"
ls -l "$demo/original.drp" "$demo/sample.crp" "$demo/sample.drp"
cmp "$demo/original.drp" "$demo/sample.drp"
echo "Round trip is byte-exact: sample.drp -> sample.crp -> sample.drp"

echo
echo "== Skinferry: convert a sample FSH pack to PTX textures"
# Skinferry writes beside itself, so give it a program folder of its own.
prog="$demo/skinferry"
mkdir -p "$prog/needed_Exes"
cp "$bin/skinferry" "$prog/"
cp "$bin/needed_Exes/"* "$prog/needed_Exes/"
build/linux/tests/make_sample_fsh "$demo/sample.fsh"
TMPDIR="$PWD/$demo" "$prog/skinferry" "$PWD/$demo/sample.fsh" </dev/null
echo
echo "Output folder $prog/sample:"
ls -l "$prog/sample"
echo "index.txt:"
cat "$prog/sample/index.txt"

echo
echo "== packrat-cli: what the sample archive holds, taken apart and built again"
"$bin/packrat-cli" list "$demo/sample.crp" | tail -n 3
"$bin/packrat-cli" extract "$demo/sample.crp" "$demo/sample-parts"
"$bin/packrat-cli" build "$demo/sample-parts" "$demo/rebuilt.crp"
cmp "$demo/sample.crp" "$demo/rebuilt.crp"
echo "extract + build gives the same archive, byte for byte"

echo
echo "== ptxtool: the first texture Skinferry made, and its level 1 as PNG"
first_ptx=$(find "$prog/sample" -maxdepth 1 -name '*.ptx' | sort | head -n 1)
"$bin/ptxtool" info "$first_ptx"
"$bin/ptxtool" export "$first_ptx" "$demo/first-texture.png"
ls -l "$demo/first-texture.png"
