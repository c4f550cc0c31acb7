#!/usr/bin/env bash
# Benchmark suite: builds the release binary, makes the random matrices with
# `bicliques generate`, runs every engine on them and on the real matrices of
# the shared data folder, and prints a Markdown table (see bench/README.md).
#
#   bash bench/run.sh [--repeat N] [--timeout SECONDS] [--data DIR] [--only NAME]
set -euo pipefail
cd "$(dirname "$0")/.."

repeat=3
timeout_s=60
data_dir=../shared/data
only=""
while [ $# -gt 0 ]; do
  case "$1" in
    --repeat) repeat=$2; shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --data) data_dir=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    *) echo "usage: bench/run.sh [--repeat N] [--timeout SECONDS] [--data DIR] [--only NAME]" >&2; exit 2 ;;
  esac
done

bash scripts/setup.sh >/dev/null
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target bicliques >/dev/null
exe=build/release/cli/bicliques
out=bench/out
mkdir -p "$out"

# name sources targets density
ladder=(
  "rand-50x50-50 50 50 50"
  "rand-100x100-25 100 100 25"
  "rand-200x200-10 200 200 10"
  "rand-60x60-60 60 60 60"
  "rand-1000x100-20 1000 100 20"
  "rand-100x1000-20 100 1000 20"
  "rand-300x300-20 300 300 20"
  "rand-2000x2000-1 2000 2000 1"
)
inputs=()
for entry in "${ladder[@]}"; do
  read -r name s t d <<<"$entry"
  [ -f "$out/$name.txt" ] || "$exe" generate "$s" "$t" "$d" --seed 1 >"$out/$name.txt"
  inputs+=("$out/$name.txt")
done
for file in "$data_dir"/*.txt; do
  [ "$(basename "$file")" = SOURCES.txt ] || inputs+=("$file")
done

engines=$("$exe" --help | grep -q -- '--engine' && echo "consensus closure" || echo "consensus")

# Runs one engine on one file `repeat` times; prints the median run as
# "enumeration-seconds whole-seconds peak-MiB bicliques passes", or "timeout".
measure() {
  local engine=$1 file=$2 runs=()
  for _ in $(seq "$repeat"); do
    local engine_flag=()
    [ "$engines" = consensus ] || engine_flag=(--engine "$engine")
    if ! timeout "$timeout_s" /usr/bin/time -f '%e %M' -o "$out/time.txt" \
        "$exe" "${engine_flag[@]}" --stats "$file" >/dev/null 2>"$out/stats.txt"; then
      echo timeout
      return
    fi
    # stats: sources S, targets T, bicliques B, passes P, enumeration E s
    local stats enum whole peak
    stats=$(tr -d ',' <"$out/stats.txt")
    enum=$(awk '{print $10}' <<<"$stats")
    read -r whole peak <"$out/time.txt"
    runs+=("$enum $whole $((peak / 1024)) $(awk '{print $6, $8}' <<<"$stats")")
  done
  printf '%s\n' "${runs[@]}" | sort -n -k2 | sed -n "$(((repeat + 1) / 2))p"
}

header="| matrix | sources | targets | bicliques | passes"
rule="|---|---:|---:|---:|---:"
for engine in $engines; do
  header+=" | $engine enum s | $engine whole s | $engine peak MiB"
  rule+="|---:|---:|---:"
done
echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo); $(date -u +%Y-%m-%d); median of $repeat runs; timeout ${timeout_s} s"
echo
echo "$header |"
echo "$rule|"
for file in "${inputs[@]}"; do
  name=$(basename "$file" .txt)
  [ -z "$only" ] || [[ "$name" == *"$only"* ]] || continue
  read -r s t < <(awk 'NR == 1 {w = length($0)} END {print NR, w}' "$file")
  row="" count="-" passes="-"
  for engine in $engines; do
    result=$(measure "$engine" "$file")
    if [ "$result" = timeout ]; then
      row+=" | timeout | timeout | -"
    else
      read -r enum whole peak count_e passes_e <<<"$result"
      count=$count_e
      [ "$engine" = consensus ] && passes=$passes_e
      row+=" | $enum | $whole | $peak"
    fi
  done
  echo "| $name | $s | $t | $count | $passes$row |"
done
