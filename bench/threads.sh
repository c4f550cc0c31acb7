#!/usr/bin/env bash
# Wall time of `bicliques --count` on one thread and on two, for the inputs
# with more than a second of work; median of 3 runs each. Prints a Markdown
# table; "ratio" is the two-thread time over the one-thread time.
#   bash bench/threads.sh
set -euo pipefail
cd "$(dirname "$0")/.."
exe=build/release/cli/bicliques
big=../shared/data/big
out=bench/out
mkdir -p "$out"
for shape in "300 300 20" "4000 4000 1.8"; do
  read -r s t d <<<"$shape"
  [ -f "$out/rand-${s}x$t-$d.txt" ] || "$exe" generate "$s" "$t" "$d" --seed 1 >"$out/rand-${s}x$t-$d.txt"
done

median_wall() { # threads, arguments...
  local threads=$1
  shift
  for _ in 1 2 3; do
    /usr/bin/time -f "%e" "$exe" --threads "$threads" --count "$@" 2>&1 >/dev/null
  done | sort -n | sed -n 2p
}

echo "| input | results | 1 thread wall s | 2 threads wall s | ratio |"
echo "|---|---:|---:|---:|---:|"
while read -r name args; do
  # shellcheck disable=SC2086 # the options and file of each row
  count=$("$exe" --count $args)
  # shellcheck disable=SC2086
  one=$(median_wall 1 $args)
  # shellcheck disable=SC2086
  two=$(median_wall 2 $args)
  echo "| $name | $count | $one | $two | $(awk -v a="$two" -v b="$one" 'BEGIN { printf "%.2f", a / b }') |"
done <<LIST
retail --from fimi $big/orig/joapingut_aia-1718-t5/retail.dat
T10I4D100K --from fimi $big/orig/JakeShelley1_Apriori/T10I4D100K.dat
konect_youtube --from fimi $big/konect_youtube.dat
snap_email_euall --from fimi $big/snap_email_euall.dat
fimi_chess-support-1000 --from fimi --min-sources 1000 $big/fimi_chess.dat
rand-300x300-20 $out/rand-300x300-20.txt
rand-4000x4000-1.8 $out/rand-4000x4000-1.8.txt
vegan_bci ../shared/data/vegan_bci.txt
LIST
