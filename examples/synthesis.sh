#!/usr/bin/env bash
# The kirva-syn example, from the top of the repository after the build of the README:
#  1. the table library of a layered crust (examples/synthesis/crust-library.inp, about 1 s);
#  2. the deformation of an oblique thrust (examples/synthesis/thrust.inp, a Coulomb 3 file) on
#     its grid: displacement, line of sight of an ascending radar track (the satellite to the
#     west), and the Coulomb stress change on faults like the source, as text and NetCDF;
#  3. a map of the result (matplotlib).
# Everything goes to examples/output/synthesis/.
set -euo pipefail
cd "$(dirname "$0")/.."
out=examples/output/synthesis
mkdir -p "$out"
./build/kirva examples/synthesis/crust-library.inp >/dev/null
args=("$out/grnfun.all" --faults examples/synthesis/thrust.inp
  --quantities ux,uy,uz,los,cfs --los=-0.61/-0.11/0.78 --receiver 60/40/108)
./build/kirva-syn "${args[@]}" --output "$out/thrust.txt"
./build/kirva-syn "${args[@]}" --output "$out/thrust.nc"
/usr/bin/python3 examples/synthesis/map.py "$out/thrust.txt" "$out/map.png"
echo "kirva-syn example: $out/thrust.txt, $out/thrust.nc and $out/map.png"
