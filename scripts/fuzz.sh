#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset), writes their seed corpora and
# runs each target on its corpus for a while.
#
# Usage: scripts/fuzz.sh [seconds-per-target] [target ...]
#   seconds-per-target  default 20 (what CI uses); e.g. 600 for a long run
#   target              only these (names as in build/fuzz/fuzz/targets.txt)
#
# Corpora grow in build/fuzz/corpus/<target>/ (new inputs found are kept there
# between runs); crashes, leaks and timeouts are written to
# build/fuzz/findings/<target>/ and make the script fail. Each run's log is
# build/fuzz/logs/<target>.log.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-20}"
shift || true
case "$seconds" in
  ''|*[!0-9]*) echo "seconds-per-target must be a number: $seconds" >&2; exit 2 ;;
esac

scripts/setup.sh --fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

build=build/fuzz
bin="$build/fuzz"
"$bin/make_fuzz_seeds" "$build/seeds"

if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < "$bin/targets.txt"
fi

mkdir -p "$build/logs" "$build/tmp"
# Targets that need files keep them here: libFuzzer ends a timed run without
# running exit handlers, so their scratch files stay behind.
export TMPDIR="$PWD/$build/tmp"
failed=()
for target in "${targets[@]}"; do
  [ -n "$target" ] || continue
  corpus="$build/corpus/$target"
  findings="$build/findings/$target"
  mkdir -p "$corpus" "$findings"
  log="$build/logs/$target.log"
  echo "== $target: ${seconds}s"
  # Seeds are read-only inputs; new finds go to the first folder, the corpus.
  # Regression inputs committed under tests/regressions/<target>/ run first.
  extra=()
  [ -d "tests/regressions/$target" ] && extra+=("tests/regressions/$target")
  # Memory: 2 GiB resident for every target. The .crp reader takes in files
  # of a few KiB that announce images of up to 16 MiB and copies every block
  # once for each entry that uses it; no single allocation it makes for such
  # a file needs more than about 50 MiB (a 16 MiB image, the record arrays of
  # a directory of that size), so a larger one is a finding too.
  limits=(-rss_limit_mb=2048)
  [ "$target" = fuzz_read_crp ] && limits+=(-malloc_limit_mb=128)
  if "$bin/$target" "$corpus" "$build/seeds/$target" "${extra[@]}" \
      -max_total_time="$seconds" -timeout=10 "${limits[@]}" -print_final_stats=1 \
      -artifact_prefix="$findings/" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$log" | tail -2 | sed 's/^/   /'
  else
    echo "   FAILED: see $log and $findings/" >&2
    tail -25 "$log" >&2
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets with findings: ${failed[*]}" >&2
  exit 1
fi
echo "all fuzz targets ran clean"
