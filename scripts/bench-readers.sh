#!/usr/bin/env bash
# Times the readers on sales-list-shaped workbooks: generates them (outside the repository) with
# the shared generator, then runs `tessaly-cli dump WORKBOOK --stats` (load + read every cell)
# several times and prints the median wall time and the peak memory of each.
#   scripts/bench-readers.sh [--out DIR] [--runs N] [FILE ...]
# FILE names come from the generator: sales_10k.xlsx sales_100k.xlsx sales_1m.xlsx
# sales_10k.xls sales_65k.xls sales_4x65k.xls (default: all of them).
set -euo pipefail
cd "$(dirname "$0")/.."
out="${TMPDIR:-/tmp}/tessaly-bench"
runs=5
files=()
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out="$2"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    *) files+=("$1"); shift ;;
  esac
done
[ ${#files[@]} -gt 0 ] || files=(sales_10k.xlsx sales_100k.xlsx sales_1m.xlsx sales_10k.xls sales_65k.xls sales_4x65k.xls)

scripts/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j2 --target tessaly-cli >/dev/null
cli=build/release/bin/tessaly-cli

mkdir -p "$out"
todo=()
for f in "${files[@]}"; do [ -f "$out/$f" ] || todo+=("$f"); done
[ ${#todo[@]} -eq 0 ] || /usr/bin/python3 ../shared/bench/make_workbooks.py --out "$out" "${todo[@]}"

printf '%-18s %10s %12s %14s\n' file MB "median s" "peak MiB"
for f in "${files[@]}"; do
  times=()
  peak=0
  for _ in $(seq "$runs"); do
    read -r secs kib < <(/usr/bin/time -f '%e %M' "$cli" dump "$out/$f" --stats 2>&1 >/dev/null | tail -1)
    times+=("$secs")
    [ "$kib" -gt "$peak" ] && peak=$kib
  done
  median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
  size=$(stat -c %s "$out/$f")
  printf '%-18s %10.1f %12s %14.1f\n' "$f" "$(echo "$size/1048576" | bc -l)" "$median" "$(echo "$peak/1024" | bc -l)"
done
