#!/usr/bin/env bash
# Guard against change: runs kirva on the example, the benchmark input and the inputs beside this
# script, and compares the SHA-256 of the four result files and of the console with hashes.txt.
# With --update it writes hashes.txt instead (only when a change of the results is meant).
set -euo pipefail
exe=$1
update=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

inputs=("$top/examples/crust.inp" "$top/bench/large.inp" "$here"/inputs/*.inp)
out="$work/hashes.txt"
: >"$out"
for inp in "${inputs[@]}"; do
  name=$(basename "$inp" .inp)
  dir="$work/$name"
  mkdir -p "$dir"
  # Every output directory becomes the run's own.
  sed -E "s#^'(OUTDIR|examples/output)/'#'$dir/'#" "$inp" >"$dir/in.inp"
  (cd "$dir" && KIRVA_THREADS=2 "$exe" in.inp >console.txt 2>stderr.txt) ||
    { echo "kirva failed on $name: $(cat "$dir/stderr.txt")"; exit 1; }
  for f in "$dir"/grnfun.all "$dir"/*.grn "$dir/console.txt"; do
    # The console names the input file, which is the same for every run.
    printf '%s %s\n' "$(sha256sum <"$f" | cut -c1-64)" "$name/$(basename "$f")" >>"$out"
  done
done

if [ "$update" = "--update" ]; then
  cp "$out" "$here/hashes.txt"
  echo "wrote $here/hashes.txt"
  exit 0
fi
if diff -u "$here/hashes.txt" "$out"; then
  echo "$(wc -l <"$out") result files as before"
else
  echo "result files differ from tests/golden/hashes.txt (above)"
  exit 1
fi
