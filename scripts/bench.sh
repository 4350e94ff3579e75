#!/usr/bin/env bash
# Builds the benchmarks and runs them all: the archive engine against LZ4,
# zlib, zstd and memcpy (Google Benchmark), then the whole programs against
# lz4, gzip, zstd and ImageMagick (hyperfine) and the peak memory of an
# unpack. Prints the tables, the targets first, and writes them with a
# description of the machine to build/bench/results/performance.md.
#
# Usage: scripts/bench.sh [--quick]   (--quick: fewer repetitions, for a try-out)
set -euo pipefail
cd "$(dirname "$0")/.."

repetitions=5
runs=15
if [ "${1:-}" = "--quick" ]; then
  repetitions=1
  runs=3
fi

scripts/setup.sh --bench
cmake --preset bench >/dev/null
cmake --build --preset bench

build=build/bench
results=$build/results
inputs=$results/inputs
rm -rf "$results"
mkdir -p "$inputs"
"$build/bench/make_bench_inputs" "$inputs"
inputs=$(cd "$inputs" && pwd)  # the tools take names relative to their own folder
tools=$(cd "$build/bin/needed_Exes" && pwd)
packrat=$(cd "$build/bin" && pwd)/packrat-cli
convert=/usr/bin/convert

echo "== Codec benchmarks ($repetitions repetitions, interleaved)"
"$build/bench/codec_bench" --benchmark_repetitions="$repetitions" --benchmark_enable_random_interleaving=true \
  --benchmark_min_time=0.1 --benchmark_report_aggregates_only=true --table_out="$results/codec.md" \
  --figures_out="$results/codec-figures.txt"

# hyperfine over a list of commands; writes CSV with the median of each.
time_commands() {
  local csv=$1
  shift
  hyperfine --shell=none --warmup 3 --runs "$runs" --style basic --export-csv "$csv" "$@"
}

# The same 15 MiB image for the command-line codecs, each writing its output
# file as packrat-cli does: lz4 and zstd expand it, gzip and zstd compress it.
anchors=$inputs/anchors
mkdir -p "$anchors"
cp "$inputs/pack/archive.drp" "$anchors/archive.drp"
lz4 -q -f "$anchors/archive.drp" "$anchors/archive.drp.lz4"
zstd -q -f -1 "$anchors/archive.drp" -o "$anchors/archive.drp.zst"

echo "== Whole programs ($runs runs each)"
time_commands "$results/unpack.csv" \
  "$packrat unpack $inputs/unpack/archive.crp" \
  "lz4 -d -q -f $anchors/archive.drp.lz4 $anchors/lz4-out.drp" \
  "zstd -d -q -f $anchors/archive.drp.zst -o $anchors/zstd-out.drp"
time_commands "$results/pack.csv" \
  "$packrat pack $inputs/pack/archive.drp" \
  "gzip -1 -k -f $anchors/archive.drp" \
  "gzip -6 -k -f $anchors/archive.drp" \
  "zstd -1 -q -f $anchors/archive.drp -o $anchors/out-1.zst" \
  "zstd -3 -q -f $anchors/archive.drp -o $anchors/out-3.zst"

# The same mip chain (1024 down to 4, nine levels, each the 2 x 2 box mean of
# the one before) written uncompressed into one file: -scale 50% is
# ImageMagick's box filter, and MIFF its own uncompressed format. The DDS
# writer's own mip chain (resampled, not boxed) is timed too.
half="( +clone -scale 50% )"
time_commands "$results/mipmill.csv" \
  "$tools/mipmill $inputs/texture.tga" \
  "$convert $inputs/texture.tga $half $half $half $half $half $half $half $half $inputs/texture-im.miff" \
  "$convert $inputs/texture.tga -define dds:compression=none -define dds:mipmaps=8 $inputs/texture-im.dds"

# Colour plus the red channel of the alpha bitmap as alpha, to a 32-bit TGA.
time_commands "$results/alphawed.csv" \
  "$tools/alphawed $inputs/colour.bmp $inputs/alpha.bmp $inputs/merged.tga" \
  "$convert $inputs/colour.bmp ( $inputs/alpha.bmp -channel R -separate ) -alpha off -compose CopyOpacity -composite $inputs/merged-im.tga"

echo "== Peak memory of packrat-cli unpack (median of 5)"
image_bytes=$(stat -c %s "$inputs/pack/archive.drp")
for i in 1 2 3 4 5; do "$build/bench/peak_rss" "$packrat" unpack "$inputs/unpack/archive.crp"; done | sort -n |
  sed -n 3p >"$results/unpack-rss.txt"
for i in 1 2 3 4 5; do "$build/bench/peak_rss" "$packrat" pack "$inputs/pack/archive.drp"; done | sort -n |
  sed -n 3p >"$results/pack-rss.txt"

# One row per command: median wall time, mean CPU time (user + system), and
# both as ratios against the first command of its file.
program_rows() {
  sed -e "s|$inputs/||g" -e "s|$tools/||g" -e "s|$packrat|packrat-cli|g" -e "s|$convert|convert|g" \
    -e "s|anchors/||g" "$1" |
    awk -F, -v label="$2" 'NR == 1 { next }
    {
      name = $1; median = $4 * 1000; cpu = ($5 + $6) * 1000
      if (NR == 2) { base_median = median; base_cpu = cpu }
      printf "| %s | `%s` | %.1f | %.1f | %.2f× | %.2f× |\n", label, name, median, cpu, median / base_median, cpu / base_cpu
    }'
}

machine() {
  echo "- CPU: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) logical cores"
  echo "- Memory: $(free -g | awk '/^Mem:/ { print $2 }') GiB; kernel $(uname -r)"
  echo "- Compiler: $(c++ --version | head -1); build type Release (-O3)"
  echo "- Libraries: LZ4 $(dpkg-query -W -f='${Version}' liblz4-dev), zlib $(dpkg-query -W -f='${Version}' zlib1g-dev)," \
    "zstd $(dpkg-query -W -f='${Version}' libzstd-dev), gzip $(dpkg-query -W -f='${Version}' gzip)," \
    "Google Benchmark $(dpkg-query -W -f='${Version}' libbenchmark-dev), ImageMagick" \
    "$(dpkg-query -W -f='${Version}' imagemagick), hyperfine $(dpkg-query -W -f='${Version}' hyperfine)"
  echo "- Load average when the run ended: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "- Date: $(date -u +%Y-%m-%d)"
}

# Row N's median (seconds) from a hyperfine CSV.
median_of() { awk -F, -v row="$2" 'NR == row + 1 { print $4 }' "$1"; }
# Our figure against a target: "yes" when at or below (le) or above (ge) it.
judge() { awk -v x="$1" -v t="$3" -v how="$2" 'BEGIN { ok = how == "le" ? x <= t : x >= t; print ok ? "yes" : "**no**" }'; }
figures_for() { awk -v name="$1" '$1 == name { printf "%s%s %s", sep, $3 "×", "(" $2 ")"; sep = ", " }' "$results/codec-figures.txt"; }
worst_of() { awk -v name="$1" '$1 == name { if (min == "" || $3 < min) min = $3 } END { print min }' "$results/codec-figures.txt"; }

targets() {
  local unpack pack memory decode encode
  unpack=$(awk -v a="$(median_of "$results/unpack.csv" 1)" -v b="$(median_of "$results/unpack.csv" 2)" 'BEGIN { printf "%.2f", a / b }')
  pack=$(awk -v a="$(median_of "$results/pack.csv" 1)" -v b="$(median_of "$results/pack.csv" 2)" 'BEGIN { printf "%.2f", a / b }')
  memory=$(awk -v image="$image_bytes" '{ printf "%.2f", $1 * 1024 / image }' "$results/unpack-rss.txt")
  decode=$(worst_of decode-vs-lz4)
  encode=$(worst_of encode-vs-zlib1)
  echo "| measure | target | aim | measured | met? |"
  echo "|---|--:|--:|---|---|"
  echo "| \`packrat-cli unpack\` / \`lz4 -d\`, whole process, 15 MiB mixed (median wall time) | ≤ 1.3 | ≤ 1.0 | ${unpack}× | $(judge "$unpack" le 1.3) |"
  echo "| \`packrat-cli pack\` / \`gzip -1\`, whole process (median wall time) | ≤ 1.3 | ≤ 1.0 | ${pack}× | $(judge "$pack" le 1.3) |"
  echo "| peak memory of unpack / image size | ≤ 2.0 | ≤ 1.5 | ${memory}× | $(judge "$memory" le 2.0) |"
  echo "| \`DecodeLz\` / LZ4 decode, in memory | ≥ 0.5 | ≥ 1.0 | $(figures_for decode-vs-lz4) | $(judge "$decode" ge 0.5) |"
  echo "| \`EncodeLz\` / zlib level 1, in memory | ≥ 0.8 | ≥ 1.0 | $(figures_for encode-vs-zlib1) | $(judge "$encode" ge 0.8) |"
}

{
  echo "## Targets"
  echo
  echo "Ratios of two measurements taken in the same run; a codec target is met when every mixed image meets it."
  echo
  targets
  echo
  echo "## Machine"
  echo
  machine
  echo
  echo "## Codec and image benchmarks"
  echo
  echo "Medians of $repetitions repetitions (CPU time), all measured in one run on the same bytes."
  echo
  cat "$results/codec.md"
  echo
  echo "## Whole programs"
  echo
  echo "Median wall time and mean CPU time (user + system) of $runs runs after 3 warm-ups; ratios are to the"
  echo "first row of each group (so a ratio of 5 means the first program was 5 times faster)."
  echo
  echo "| job | command | median ms | CPU ms | wall ratio | CPU ratio |"
  echo "|---|---|--:|--:|--:|--:|"
  program_rows "$results/unpack.csv" "15 MiB unpack"
  program_rows "$results/pack.csv" "15 MiB pack"
  program_rows "$results/mipmill.csv" "1024² mip chain"
  program_rows "$results/alphawed.csv" "1024² alpha merge"
  echo
  echo "## Peak resident memory"
  echo
  echo "| command | peak KiB | image KiB | peak / image |"
  echo "|---|--:|--:|--:|"
  for job in unpack pack; do
    awk -v job="$job" -v image="$image_bytes" '{ printf "| packrat-cli %s | %d | %d | %.2f× |\n", job, $1, image / 1024, $1 * 1024 / image }' \
      "$results/$job-rss.txt"
  done
} >"$results/performance.md"

echo
cat "$results/performance.md"
echo
echo "Written to $results/performance.md"
