#!/usr/bin/env bash
# The release archive as a user gets it: the programs in their layout, the
# user guide README.txt (CR LF line ends in the Windows ZIP, LF in the Linux
# tarball) instead of the developer README, LICENSE, and the project version
# in the guide and in what the programs show.
# Usage: package_test.sh BUILD_DIR VERSION windows|linux
set -euo pipefail
build=$1 version=$2 kind=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
mkdir "$work/x"
archive=$(find "$work/out" -maxdepth 1 \( -name "*.zip" -o -name "*.tar.gz" \) | head -n1)
[ -n "$archive" ] || { echo "no archive made"; cat "$work/cpack.log"; exit 1; }
python3 - "$archive" "$work/x" <<'PY'
import sys, tarfile, zipfile
archive, dest = sys.argv[1], sys.argv[2]
if archive.endswith(".zip"):
    zipfile.ZipFile(archive).extractall(dest)
else:
    tarfile.open(archive).extractall(dest)
PY
top=$(ls "$work/x")
[ "$(echo "$top" | wc -l)" = 1 ] || { echo "more than one folder at the top: $top"; exit 1; }
root="$work/x/$top"
case "$top" in roadfire-tools-"$version"-*) ;; *) echo "folder $top does not carry version $version"; exit 1 ;; esac
status=0
fail() { echo "$*"; status=1; }

[ -e "$root/README.md" ] && fail "the developer README.md is shipped"
[ -f "$root/README.txt" ] || fail "no README.txt"
[ -f "$root/LICENSE" ] || fail "no LICENSE"
for text in README.txt LICENSE; do
  file="$root/$text"
  [ -f "$file" ] || continue
  if [ "$kind" = windows ]; then
    # Every line ends in CR LF.
    python3 -c 'import sys; d=open(sys.argv[1],"rb").read(); sys.exit(0 if d.count(b"\n")>0 and d.count(b"\n")==d.count(b"\r\n") and d.endswith(b"\r\n") else 1)' "$file" \
      || fail "$text has lines not ended by CR LF"
  else
    grep -q $'\r' "$file" && fail "$text has CR characters"
  fi
done
grep -q "Roadfire tools $version" "$root/README.txt" || fail "README.txt does not name version $version"
grep -q "MIT licence" "$root/README.txt" || fail "README.txt does not name the licence"
grep -q "LICENSE" "$root/README.txt" || fail "README.txt does not point to LICENSE"
grep -q "MIT License" "$root/LICENSE" || fail "LICENSE is not the MIT licence"
grep -q "Copyright (c) The Roadfire tools authors" "$root/LICENSE" || fail "LICENSE names no copyright holder"
grep -q "packrat.png\|cmake\|\.md" "$root/README.txt" && fail "README.txt holds developer material"

if [ "$kind" = windows ]; then
  programs=(Skinferry.exe packrat-cli.exe Packrat.exe ptxtool.exe needed_Exes/fshtool.exe needed_Exes/alphawed.exe needed_Exes/mipmill.exe)
else
  programs=(skinferry packrat-cli ptxtool needed_Exes/fshtool needed_Exes/alphawed needed_Exes/mipmill)
fi
for program in "${programs[@]}"; do
  [ -f "$root/$program" ] || fail "missing $program"
done

if [ "$kind" = linux ]; then
  # The version as the programs show it.
  # Whole outputs first: a reader that stops early (grep -q, head) would end
  # the program with SIGPIPE, which pipefail reports as a failure.
  for program in packrat-cli needed_Exes/fshtool ptxtool; do
    help=$("$root/$program" --help)
    grep -q "Roadfire tools $version" <<<"$help" || fail "$program --help shows no version"
  done
  heading=$(TMPDIR="$work" "$root/skinferry" </dev/null | sed -n 1p)
  [ "$heading" = "Skinferry v${version%.*}." ] || fail "Skinferry's heading is '$heading'"
fi
exit $status
