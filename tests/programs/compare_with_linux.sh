#!/usr/bin/env bash
# The Windows builds of alphawed, mipmill and ptxtool, run under Wine, must
# write the same bytes as the Linux builds for the same inputs: colour and
# alpha BMPs made here -> TGA (32-bit, and 24-bit with the no-alpha marker)
# -> PTX; ptxtool exports a PTX level to PNG and imports a PNG to PTX.
# Usage: compare_with_linux.sh LINUX_BIN_DIR WINDOWS_BIN_DIR
# Exits 77 (skipped) when there is no Linux build to compare with.
set -euo pipefail
linux_tools=$1/needed_Exes
windows_tools=$2/needed_Exes
for tool in alphawed mipmill; do
  [ -x "$linux_tools/$tool" ] || { echo "no Linux build of $tool in $linux_tools"; exit 77; }
done
# ptxtool lies beside the front ends, not among Skinferry's tools.
linux_ptxtool=$1/ptxtool
windows_ptxtool=$2/ptxtool.exe
[ -x "$linux_ptxtool" ] || { echo "no Linux build of ptxtool in $1"; exit 77; }
wine_bin=/usr/lib/wine/wine64

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

le16() { printf '\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)); }
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }

# make_bmp FILE SIDE colour|alpha: an uncompressed 24-bit bottom-up BMP.
make_bmp() {
  local file=$1 side=$2 kind=$3 x y r g b px line
  local row=$(((side * 3 + 3) / 4 * 4)) header
  header="BM$(le32 $((54 + row * side)))$(le32 0)$(le32 54)$(le32 40)$(le32 "$side")$(le32 "$side")"
  header+="$(le16 1)$(le16 24)$(le32 0)$(le32 $((row * side)))$(le32 2835)$(le32 2835)$(le32 0)$(le32 0)"
  {
    printf "$header"
    for ((y = 0; y < side; y++)); do
      line=""
      for ((x = 0; x < side; x++)); do
        if [ "$kind" = colour ]; then
          b=$(((x * 8 + y) & 255)); g=$(((y * 8) & 255)); r=$(((x * y * 3) & 255))
        else
          r=$((((x + y) * 4) & 255)); g=$(((x * 5) & 255)); b=0
        fi
        printf -v px '\\x%02x\\x%02x\\x%02x' "$b" "$g" "$r"
        line+=$px
      done
      printf "$line"
    done
  } >"$file"
}

# Outputs in folders whose names hold spaces, so the quoting is exercised too.
# No dashes in names: mipmill reads every dash on its command line as an option.
mkdir "$work/linux out" "$work/windows out"
make_bmp "$work/car.bmp" 32 colour
make_bmp "$work/car_a.bmp" 32 alpha
make_bmp "$work/wheel.bmp" 16 colour

winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

run_linux() {
  if [ "$1" = ptxtool ]; then timeout 60 "$linux_ptxtool" "${@:2}"; else timeout 60 "$linux_tools/$1" "${@:2}"; fi
}
run_windows() {
  local tool=$1 args=() a program
  shift
  for a in "$@"; do
    case "$a" in /*) args+=("$(winpath "$a")") ;; *) args+=("$a") ;; esac
  done
  program=$windows_tools/$tool.exe
  [ "$tool" = ptxtool ] && program=$windows_ptxtool
  timeout 60 "$wine_bin" "$program" "${args[@]}" </dev/null
}

for side in linux windows; do
  out="$work/$side out"
  "run_$side" alphawed "$work/car.bmp" "$work/car_a.bmp" "$out/car3.tga"
  "run_$side" alphawed "$work/wheel.bmp" "No alpha image" "$out/wheel.tga"
  "run_$side" mipmill -3 "$out/car3.tga"
  "run_$side" mipmill "$out/wheel.tga"
  # Level 2 of the 32-bit texture and the sheet of the 24-bit one as PNG;
  # then a PNG the Linux build exported, imported under a name outside
  # ASCII (é is one byte in the Windows code page) with two levels.
  "run_$side" ptxtool export "$out/car3.ptx" "$out/car3-2.png" --level 2
  "run_$side" ptxtool export "$out/wheel.ptx" --sheet
  "run_$side" ptxtool import "$work/linux out/car3-2.png" "$out/voiture é.ptx" --levels 2
done

status=0
for name in car3.tga wheel.tga car3.ptx wheel.ptx car3-2.png wheel-sheet.png "voiture é.ptx"; do
  if [ ! -s "$work/linux out/$name" ]; then
    echo "the Linux build wrote no $name"; status=1
  elif ! cmp "$work/linux out/$name" "$work/windows out/$name"; then
    echo "$name differs between the Linux and the Windows build"; status=1
  else
    echo "$name: identical ($(stat -c %s "$work/linux out/$name") bytes)"
  fi
done
exit $status
