#!/usr/bin/env bash
# The consensus engine's rows: whole-process CPU seconds (user + sys) and peak
# resident memory of `bicliques --engine consensus --count`, pinned to one
# core (taskset -c 0), measured by /usr/bin/time. Prints one Markdown table
# with the peer figures of bench/peers.tsv where it has the row.
#
#   bash bench/consensus.sh [--bin PATH] [--before PATH] [--repeat N] [--data DIR] [--only TEXT]
#
# --before PATH runs a second binary (an older build) on every row too, each
# run right after the first one's, and adds its columns and the ratios.
set -euo pipefail
cd "$(dirname "$0")/.."

bin=build/release/cli/bicliques
before=""
repeat=3
data=../shared/data
only=""
while [ $# -gt 0 ]; do
  case "$1" in
  --bin) bin=$2; shift 2 ;;
  --before) before=$2; shift 2 ;;
  --repeat) repeat=$2; shift 2 ;;
  --data) data=$2; shift 2 ;;
  --only) only=$2; shift 2 ;;
  *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done

out=bench/out
mkdir -p "$out"
# name, then the file: gen:SOURCES TARGETS DENSITY (the project's generator,
# seed 1, as bench/cpu.py makes them) or a path under --data.
rows=(
  "rand-1000x100-20|gen:1000 100 20"
  "mushroom_fimi|mushroom_fimi.txt"
  "house_votes84|house_votes84.txt"
  "rand-300x10000-3|gen:300 10000 3"
  "rand-3000x20-50|gen:3000 20 50"
  "rand-150x150-40|gen:150 150 40"
)

# Prints "CPU_S PEAK_MIB" for one run of binary $1 on file $2.
measure() {
  local times
  times=$({ taskset -c 0 /usr/bin/time -f '%U %S %M' "$1" --engine consensus --count --quiet "$2" >/dev/null; } 2>&1 | tail -1)
  awk '{ printf "%.2f %.0f\n", $1 + $2, $3 / 1024 }' <<<"$times"
}

# The median of the numbers on standard input.
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

peer() { awk -F'\t' -v n="$1" -v c="$2" '$1 == n { print $c }' bench/peers.tsv; }

if [ -n "$before" ]; then
  echo "| input | results | before CPU s | before peak MiB | after CPU s | after peak MiB | CPU after/before | peak after/before | best peer CPU s, peak MiB |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|---|"
else
  echo "| input | results | CPU s | peak MiB | best peer CPU s, peak MiB |"
  echo "|---|---:|---:|---:|---|"
fi
for row in "${rows[@]}"; do
  name=${row%%|*}
  file=${row#*|}
  if [ -n "$only" ] && [[ "$name" != *"$only"* ]]; then continue; fi
  if [[ "$file" == gen:* ]]; then
    read -r s t d <<<"${file#gen:}"
    path=$out/$name.txt
    [ -f "$path" ] || "$bin" generate "$s" "$t" "$d" --seed 1 >"$path"
  else
    path=$data/$file
  fi
  results=$("$bin" --engine consensus --count --quiet "$path")
  after_cpu=()
  after_peak=()
  before_cpu=()
  before_peak=()
  for _ in $(seq "$repeat"); do
    read -r c p < <(measure "$bin" "$path")
    after_cpu+=("$c")
    after_peak+=("$p")
    if [ -n "$before" ]; then
      read -r c p < <(measure "$before" "$path")
      before_cpu+=("$c")
      before_peak+=("$p")
    fi
  done
  ac=$(printf '%s\n' "${after_cpu[@]}" | median)
  ap=$(printf '%s\n' "${after_peak[@]}" | median)
  peer_cpu=$(peer "$name" 4)
  peer_text=${peer_cpu:+$peer_cpu, $(peer "$name" 5)}
  if [ -n "$before" ]; then
    bc=$(printf '%s\n' "${before_cpu[@]}" | median)
    bp=$(printf '%s\n' "${before_peak[@]}" | median)
    ratios=$(awk -v ac="$ac" -v bc="$bc" -v ap="$ap" -v bp="$bp" 'BEGIN { printf "%.2f | %.2f", ac / bc, ap / bp }')
    echo "| $name | $results | $bc | $bp | $ac | $ap | $ratios | ${peer_text:--} |"
  else
    echo "| $name | $results | $ac | $ap | ${peer_text:--} |"
  fi
done
