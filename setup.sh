#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing KIRVA need, those that are
# missing only. Run as root or with sudo available; does nothing when everything is there.
set -euo pipefail

packages=(
  g++ cmake make                          # compiler and build
  libgtest-dev libgmock-dev               # C++ tests (GoogleTest)
  libbenchmark-dev                        # benchmarks (Google Benchmark)
  clang libclang-rt-14-dev                # fuzzing (libFuzzer) and ThreadSanitizer in CI
  libcli11-dev                            # command lines (CLI11)
  libnetcdf-dev                           # gridded output (NetCDF)
  libgeographiclib-dev                    # map projections (GeographicLib)
  python3 python3-numpy python3-matplotlib python3-pytest  # the Python package and its tests
  python3-dev pybind11-dev                # the compiled Python module (pybind11)
  python3-pip python3-setuptools python3-wheel  # pip install of the built package
  python3-scipy                           # the inversion example (bounded least squares)
  python3-xarray python3-netcdf4 gmt      # tests: others read our NetCDF (xarray, GMT)
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
