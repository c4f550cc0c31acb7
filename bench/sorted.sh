#!/usr/bin/env bash
# Whole-process cost of the three ways to get the results of one input: the
# sorted text to a file (`-o OUT`, the default order), the lines as found
# (`--order none -o OUT`) and the count (`--count`). Every command runs
# pinned to one core (taskset -c 0); CPU seconds are user + sys as
# /usr/bin/time reads them, the median of `runs` runs (default 3), and peak
# resident memory is that of the median run. Prints a Markdown table;
# "sorted / none" is the ratio of the two CPU medians.
#   bash bench/sorted.sh [runs]        BICLIQUES=path/to/bicliques to time another build
set -euo pipefail
cd "$(dirname "$0")/.."
exe=${BICLIQUES:-build/release/cli/bicliques}
runs=${1:-3}
big=../shared/data/big
data=../shared/data
out=bench/out
mkdir -p "$out"
[ -f "$out/rand-1000x100-20.txt" ] || "$exe" generate 1000 100 20 --seed 1 >"$out/rand-1000x100-20.txt"

# Median "cpu peak" of `runs` runs of the command.
measure() {
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%U %S %M" taskset -c 0 "$exe" --quiet "$@" 2>&1 >/dev/null | tail -1 |
      awk '{ printf "%.2f %.0f\n", $1 + $2, $3 / 1024 }'
  done | sort -n | sed -n "$(((runs + 1) / 2))p"
}

echo "| input | results | sorted -o: CPU s, peak MiB | --order none -o: CPU s, peak MiB | --count: CPU s, peak MiB | sorted / none |"
echo "|---|---:|---|---|---|---:|"
while read -r name args; do
  # shellcheck disable=SC2086 # the options and file of each row
  count=$("$exe" --quiet --count $args)
  # shellcheck disable=SC2086
  read -r sorted sortedPeak < <(measure $args -o "$out/sorted.txt")
  # shellcheck disable=SC2086
  read -r none nonePeak < <(measure $args --order none -o "$out/none.txt")
  # shellcheck disable=SC2086
  read -r counted countedPeak < <(measure $args --count)
  ratio=$(awk -v a="$sorted" -v b="$none" 'BEGIN { printf "%.2f", a / b }')
  echo "| $name | $count | $sorted, $sortedPeak | $none, $nonePeak | $counted, $countedPeak | $ratio |"
done <<LIST
retail --from fimi $big/orig/joapingut_aia-1718-t5/retail.dat
konect_youtube --from fimi $big/konect_youtube.dat
mushroom_fimi $data/mushroom_fimi.txt
rand-1000x100-20 $out/rand-1000x100-20.txt
LIST
rm -f "$out/sorted.txt" "$out/none.txt"
