#!/usr/bin/env bash
# The whole Windows pipeline under Wine: Skinferry.exe on a console (a tmux
# pane) converts a sample FSH pack by starting fshtool.exe, alphawed.exe and
# mipmill.exe; the screen must show the box and the finished status, and the
# files must be those the Linux build makes from the same pack. The pack's
# name holds a character outside ASCII (the right single quote, byte 0x92 in
# the ANSI code page), and the output folder already holds a read-only and
# a hidden TGA file of the user's, which the clean-up must leave alone.
# Usage: skinferry_under_wine.sh WINDOWS_BIN_DIR MAKE_SAMPLE_FSH.exe [LINUX_BIN_DIR]
set -euo pipefail
windows_bin=$1 make_sample=$2 linux_bin=${3:-}
wine_bin=/usr/lib/wine/wine64
command -v tmux >/dev/null || { echo "no tmux"; exit 77; }

work=$(mktemp -d)
socket="roadfire-skinferry-$$"
cleanup() {
  tmux -L "$socket" kill-server 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

# A program folder of its own, with a space in its name, since Skinferry
# writes its output beside itself.
prog="$work/Skin Ferry"
mkdir -p "$prog/needed_Exes"
cp "$windows_bin/Skinferry.exe" "$prog/"
cp "$windows_bin/needed_Exes/"*.exe "$prog/needed_Exes/"
pack="it’s"
timeout 60 "$wine_bin" "$make_sample" "$(winpath "$work/$pack.fsh")" </dev/null
out="$prog/$pack"
mkdir -p "$out"
echo mine >"$out/keep.tga"
chmod 444 "$out/keep.tga"
echo mine >"$out/.hidden.tga"

tmux -L "$socket" new-session -d -x 80 -y 25 \
  "timeout --foreground 120 $wine_bin '$prog/Skinferry.exe' '$(winpath "$work/$pack.fsh")'; echo \$? >'$work/status'"
screen=""
for _ in $(seq 400); do
  screen=$(tmux -L "$socket" capture-pane -p 2>/dev/null || true)
  grep -q -E 'finished!|An error has occurred' <<<"$screen" && break
  sleep 0.2
done
echo "$screen"
status=0
grep -q 'Info:  Converting to ptx finished!' <<<"$screen" || { echo "the run did not finish"; status=1; }
# The box in code page 437 reaches the console as box characters.
sed -n 13p <<<"$screen" | grep -q '^         ╔═*╗' || { echo "no box corner at column 9, row 12"; status=1; }
grep -q 'Prosent done of converting files: *100%' <<<"$screen" || { echo "no 100%"; status=1; }
# The name in the ANSI code page, not read as code page 437 (which gives "itÆs").
sed -n 9p <<<"$screen" | grep -q "^         Name of fshfile: $pack.fsh" || { echo "the pack's name is not shown as itself"; status=1; }

# Enter until it ends: a key that comes before the program reads may be lost.
for _ in $(seq 60); do
  [ -s "$work/status" ] && break
  tmux -L "$socket" send-keys Enter 2>/dev/null || true
  sleep 0.5
done
code=$(cat "$work/status" 2>/dev/null || echo "none")
[ "$code" = 0 ] || { echo "Skinferry did not end with 0 after Enter (status: $code)"; tmux -L "$socket" capture-pane -p 2>/dev/null | tail -3; status=1; }

[ "$(head -n1 "$out/index.txt" 2>/dev/null)" = $'; Index file made by Skinferry\r' ] || { echo "no index.txt"; status=1; }
[ "$(cat "$out/keep.tga" "$out/.hidden.tga" 2>/dev/null)" = $'mine\nmine' ] || { echo "the user's read-only or hidden TGA was deleted"; status=1; }
rm -f "$out/keep.tga" "$out/.hidden.tga"
ls "$out"/*.tga >/dev/null 2>&1 && { echo "TGA files were left behind"; status=1; }

if [ -n "$linux_bin" ] && [ -x "$linux_bin/skinferry" ]; then
  lprog="$work/linux prog"
  mkdir -p "$lprog/needed_Exes" "$work/linux tmp"
  cp "$linux_bin/skinferry" "$lprog/"
  cp "$linux_bin/needed_Exes/"* "$lprog/needed_Exes/"
  TMPDIR="$work/linux tmp" timeout 60 "$lprog/skinferry" "$work/$pack.fsh" </dev/null >/dev/null
  for file in "$lprog/$pack/"*; do
    name=$(basename "$file")
    windows_file="$out/$name"
    if [ "$name" = index_old.txt ]; then
      # fshtool's list names the pack in the system's code page on each system.
      iconv -f CP1252 -t UTF-8 "$out/$name" >"$work/index_old.utf8"
      windows_file="$work/index_old.utf8"
    fi
    if cmp -s "$file" "$windows_file"; then
      echo "$name: identical to the Linux build's"
    else
      echo "$name differs from the Linux build's (or is missing)"; status=1
    fi
  done
  [ "$(ls "$lprog/$pack" | wc -l)" = "$(ls "$out" | wc -l)" ] || { echo "the file lists differ"; status=1; }
fi
exit $status
