#!/bin/bash
# The largest output, memory and time of a recovery over a corpus of dumps.
#
#   fuzz/measure.sh CORPUS_DIR [MAX_BYTES]     (default MAX_BYTES: 1 MiB)
#
# Every input of at most MAX_BYTES is recovered by vrnrecover of the native
# build (build/bin, BUILD sets another folder) into a fresh folder, under
# /usr/bin/time for its peak memory. Prints the inputs measured and, for
# each figure, the largest value and the input that gave it; one figure is
# the output's size over the input's (inputs of at least 4 KiB: a dump
# smaller than a page gives no table).
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${1:?usage: fuzz/measure.sh CORPUS_DIR [MAX_BYTES]}
max_bytes=${2:-1048576}
host=${BUILD:-$root/build}/bin/vrnrecover
[ -x "$host" ] || { echo "measure: no $host (build vrnrecover first)" >&2; exit 2; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
count=0
best_out=0 best_out_input=
best_rss=0 best_rss_input=
best_time=0 best_time_input=
best_ratio=0 best_ratio_input=
for input in "$corpus"/*; do
  [ -f "$input" ] || continue
  size=$(stat -c %s "$input")
  [ "$size" -le "$max_bytes" ] || continue
  rm -rf "$scratch/out"
  /usr/bin/time -f '%M %e' -o "$scratch/time" "$host" -q --force -o "$scratch/out" "$input" >/dev/null 2>&1
  # The last line: a first one says when the exit status was not 0.
  read -r rss seconds < <(tail -n 1 "$scratch/time") || continue
  out=$(du -sb "$scratch/out" 2>/dev/null | cut -f1)
  out=${out:-0}
  count=$((count + 1))
  if [ "$out" -gt "$best_out" ]; then best_out=$out; best_out_input=$input; fi
  if [ "$rss" -gt "$best_rss" ]; then best_rss=$rss; best_rss_input=$input; fi
  if awk -v a="$seconds" -v b="$best_time" 'BEGIN { exit !(a > b) }'; then
    best_time=$seconds; best_time_input=$input
  fi
  ratio=$(awk -v o="$out" -v s="$size" 'BEGIN { printf "%.2f", (s >= 4096 ? o / s : 0) }')
  if awk -v a="$ratio" -v b="$best_ratio" 'BEGIN { exit !(a > b) }'; then
    best_ratio=$ratio; best_ratio_input=$input
  fi
done
echo "measure: $count inputs of at most $max_bytes bytes"
echo "measure: largest output $best_out bytes ($best_out_input, $(stat -c %s "$best_out_input" 2>/dev/null) bytes)"
echo "measure: largest peak memory $best_rss KiB ($best_rss_input)"
echo "measure: slowest $best_time s ($best_time_input)"
echo "measure: largest output for its input ${best_ratio}x ($best_ratio_input, $(stat -c %s "$best_ratio_input" 2>/dev/null) bytes)"
