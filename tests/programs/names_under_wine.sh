#!/usr/bin/env bash
# packrat-cli.exe under Wine on names outside ASCII, given as full paths the
# way the pickers give them: unpack over an existing .drp, then pack over an
# existing .crp, in folders and files whose names hold ’ € é (bytes 0x92,
# 0x80, 0xE9 in code page 1252, where 0x80-0x9F are the ones a conversion
# other than the system's own gets wrong) and, in a Cyrillic locale (code
# page 1251), Cyrillic letters. Every output must land under the exact name,
# hold the Linux build's bytes, and leave no other file beside it.
# Usage: names_under_wine.sh LINUX_BIN_DIR WINDOWS_BIN_DIR MAKE_SAMPLE_ARCHIVE_EXE
# Exits 77 (skipped) when there is no Linux build to compare with.
set -euo pipefail
linux_cli=$1/packrat-cli
windows_cli=$2/packrat-cli.exe
make_sample=$3
[ -x "$linux_cli" ] || { echo "no Linux build of packrat-cli in $1"; exit 77; }
wine_bin=/usr/lib/wine/wine64

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }

# The reference files, as the Linux build writes them.
mkdir "$work/ref"
timeout 60 "$wine_bin" "$make_sample" "$(winpath "$work/ref/sample.drp")" >/dev/null 2>&1
timeout 60 "$linux_cli" pack "$work/ref/sample.drp" >/dev/null
timeout 60 "$linux_cli" unpack "$work/ref/sample.crp" >/dev/null

failures=0
fail() { echo "FAIL [$1]: $2"; failures=$((failures + 1)); }

# check_folder CASE FOLDER NAME...: the folder holds exactly these names.
check_folder() {
  local label=$1 folder=$2 expected actual
  shift 2
  expected=$(printf '%s\n' "$@" | LC_ALL=C sort)
  actual=$(ls -A "$folder" | LC_ALL=C sort)
  [ "$expected" = "$actual" ] || fail "$label" "folder holds: $(echo $actual)"
}

# run_case LABEL FOLDER STEM [ENV...]: unpack STEM.crp over an old STEM.drp,
# then pack STEM.drp over an old STEM.crp.
run_case() {
  local label=$1 folder=$work/$2 stem=$3 out
  shift 3
  mkdir -p "$folder"
  cp "$work/ref/sample.crp" "$folder/$stem.crp"
  printf old >"$folder/$stem.drp"
  out=$(env "$@" timeout 60 "$wine_bin" "$windows_cli" unpack "$(winpath "$folder/$stem.crp")" 2>&1) ||
    fail "$label" "unpack: $out"
  cmp -s "$folder/$stem.drp" "$work/ref/sample.drp" || fail "$label" "the .drp differs from the Linux build's"
  check_folder "$label unpack" "$folder" "$stem.crp" "$stem.drp"

  printf old >"$folder/$stem.crp"
  out=$(env "$@" timeout 60 "$wine_bin" "$windows_cli" pack "$(winpath "$folder/$stem.drp")" 2>&1) ||
    fail "$label" "pack: $out"
  cmp -s "$folder/$stem.crp" "$work/ref/sample.crp" || fail "$label" "the .crp differs from the Linux build's"
  check_folder "$label pack" "$folder" "$stem.crp" "$stem.drp"
  echo "ok [$label]"
}

run_case "’ in folder and file" "Bob’s cars" "it’s"
run_case "€ in the file" "prices" "5 €"
run_case "é in folder and file" "café" "été"
run_case "œ and Š" "œuvres" "œuvre Š"

# Code page 1251 comes from a Russian locale, made here since the machine
# need not have it installed.
locales=$work/locales
mkdir "$locales"
if localedef -i ru_RU -f UTF-8 "$locales/ru_RU.UTF-8" >/dev/null 2>&1; then
  cyrillic_env=(LOCPATH="$locales" LC_ALL=ru_RU.UTF-8)
  # Wine takes its locale, and with it the ANSI code page, from the Unix
  # locale of each process; 0419 (Russian) means code page 1251.
  locale_id=$(env "${cyrillic_env[@]}" timeout 60 "$wine_bin" reg query 'HKCU\Control Panel\International' /v Locale 2>/dev/null |
    tr -d '\r' | awk '$1 == "Locale" { print $3 }')
  if [ "$locale_id" = 00000419 ]; then
    run_case "Cyrillic folder" "Андрей" "машина" "${cyrillic_env[@]}"
  else
    echo "note: Wine did not take the Russian locale (locale '$locale_id'); Cyrillic case not run"
  fi
else
  echo "note: the ru_RU locale could not be made (localedef); Cyrillic case not run"
fi

[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
