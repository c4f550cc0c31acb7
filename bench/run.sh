#!/usr/bin/env bash
# Benchmark suite: builds the release binary, makes the random matrices with
# `bicliques generate`, runs every engine on them and on the real matrices of
# the shared data folder, and prints a Markdown table (see bench/README.md).
#
#   bash bench/run.sh [--repeat N] [--timeout SECONDS] [--reference-timeout SECONDS]
#                     [--memory MIB] [--data DIR] [--only NAME]
set -euo pipefail
cd "$(dirname "$0")/.."

repeat=3
timeout_s=60
reference_timeout_s=120
memory_mib=8192
data_dir=../shared/data
only=""
while [ $# -gt 0 ]; do
  case "$1" in
    --repeat) repeat=$2; shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --reference-timeout) reference_timeout_s=$2; shift 2 ;;
    --memory) memory_mib=$2; shift 2 ;;
    --data) data_dir=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    *) sed -n '2,8p' "$0" >&2; exit 2 ;;
  esac
done

bash scripts/setup.sh >/dev/null
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$(nproc)" --target bicliques bicliques-reference >/dev/null
exe=build/bench/cli/bicliques
reference=build/bench/bench/bicliques-reference
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

engines="reference consensus closure"

# Runs one engine on one file, `repeat` times (the slow reference once); prints
# the median run by whole time as "enumeration-s whole-s peak-MiB bicliques
# passes", or "timeout" for a run that ran out of time or memory.
measure() {
  local engine=$1 file=$2 runs=() command limit times=$repeat
  if [ "$engine" = reference ]; then
    command=("$reference" "$file") limit=$reference_timeout_s times=1
  else
    command=("$exe" --engine "$engine" --stats "$file") limit=$timeout_s
  fi
  for _ in $(seq "$times"); do
    if ! (ulimit -v $((memory_mib * 1024)) && timeout "$limit" /usr/bin/time -f '%e %M' -o "$out/time.txt" \
        "${command[@]}" >/dev/null 2>"$out/stats.txt"); then
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
  printf '%s\n' "${runs[@]}" | sort -n -k2 | sed -n "$(((times + 1) / 2))p"
}

header="| matrix | sources | targets | bicliques | passes"
rule="|---|---:|---:|---:|---:"
for engine in $engines; do
  header+=" | $engine enum s | $engine whole s | $engine peak MiB"
  rule+="|---:|---:|---:"
done
header+=" | consensus speed-up over reference"
rule+="|---:"
echo "Machine: $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo); $(date -u +%Y-%m-%d); median of $repeat runs (reference: 1 run); limits ${timeout_s} s (reference ${reference_timeout_s} s) and ${memory_mib} MiB"
echo
echo "$header |"
echo "$rule|"
for file in "${inputs[@]}"; do
  name=$(basename "$file" .txt)
  [ -z "$only" ] || [[ "$name" == *"$only"* ]] || continue
  read -r s t < <(awk 'NR == 1 {w = length($0)} END {print NR, w}' "$file")
  row="" count="-" passes="-" reference_enum="" speedup="-"
  for engine in $engines; do
    result=$(measure "$engine" "$file")
    if [ "$result" = timeout ]; then
      row+=" | timeout | timeout | -"
    else
      read -r enum whole peak count_e passes_e <<<"$result"
      count=$count_e
      case "$engine" in
        reference) reference_enum=$enum ;;
        consensus)
          passes=$passes_e
          if [ -n "$reference_enum" ]; then
            speedup=$(awk -v r="$reference_enum" -v c="$enum" 'BEGIN { printf (c > 0 ? "%.0f" : "-"), r / c }')
          else
            speedup="> $(awk -v r="$reference_timeout_s" -v c="$enum" 'BEGIN { printf (c > 0 ? "%.0f" : "-"), r / c }')"
          fi
          ;;
      esac
      row+=" | $enum | $whole | $peak"
    fi
  done
  echo "| $name | $s | $t | $count | $passes$row | $speedup |"
done
