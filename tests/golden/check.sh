#!/usr/bin/env bash
# Guard against change: runs kirva on the example, the benchmark input and the inputs beside this
# script, and compares the SHA-256 of the four result files and of the console with hashes.txt;
# given kirva-syn too, also its text results for the sources and receivers in synthesis/.
# With --update it writes hashes.txt instead (only when a change of the results is meant).
#   check.sh KIRVA [KIRVA-SYN] [--update]
set -euo pipefail
exe=$1
syn=
update=
for a in "${@:2}"; do
  if [ "$a" = "--update" ]; then update=$a; else syn=$a; fi
done
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

# kirva-syn on a small layered library: every source kind, receivers on and between the
# tabulated observation depths, each kind of quantity (displacement, strain, whole gradient).
if [ -n "$syn" ]; then
  dir="$work/synthesis"
  mkdir -p "$dir"
  sed -E "s#^'OUTDIR/'#'$dir/'#" "$here/synthesis/library.inp" >"$dir/in.inp"
  (cd "$dir" && "$exe" in.inp >/dev/null) || { echo "kirva failed on the synthesis library"; exit 1; }
  all=ux,uy,uz,exx,exy,exz,eyy,eyz,ezz,tx,ty,wz,sxx,sxy,sxz,syy,syz,szz,cfs,los
  s="$here/synthesis"
  runs=(
    "faults --faults $s/faults.inp --quantities ux,uy,uz,los,cfs --los=-0.6/-0.1/0.8 --receiver 60/40/108"
    "strain --faults $s/faults.inp --quantities exx,exy,eyy,ezz,sxx,syy --threads 1"
    "mixed --patches $s/patches.txt --point=2/-1/5/30/60/90/3e16 --tensor=-1/1/7/1e16/-2e16/3e16/0.5e16/-1e16/2e16 --points $s/points.txt --quantities $all --los=0/-0.6/0.8 --receiver 10/50/90 --friction 0.3"
    "geographic --geographic 10/45 --point=10.02/45.01/6/30/60/90/3e16 --grid=9.9/10.1/0.05/44.95/45.05/0.025 --quantities ux,uy,uz,tx,ty,wz --depth 1"
  )
  for r in "${runs[@]}"; do
    name=${r%% *}
    read -r -a args <<<"${r#* }"
    (cd "$dir" && "$syn" grnfun.all "${args[@]}" --output "$name.txt" 2>"$name.err") ||
      { echo "kirva-syn failed on $name: $(cat "$dir/$name.err")"; exit 1; }
    # The first comment names the library by its path, which is the run's own.
    for f in "$dir/$name.txt" "$dir/$name.err"; do
      printf '%s %s\n' "$(grep -v '^# kirva-syn: static deformation from' "$f" | sha256sum | cut -c1-64)" \
        "synthesis/$(basename "$f")" >>"$out"
    done
  done
fi

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
