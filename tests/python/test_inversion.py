"""The slip inversion of examples/inversion.py on a smaller problem (50 patches, 20 stations, 400
pixels) in the tables of the example's layered crust, made here by the kirva program: the
non-negative, smoothed solution from greens_matrix recovers the slip whose data synthesize made,
for two draws of positions and noise."""

import os
import sys

import pytest

from conftest import TOP, run_kirva

sys.path.insert(0, os.path.join(TOP, "examples"))
import inversion  # noqa: E402


@pytest.fixture(scope="module")
def crust(kirva_exe, tmp_path_factory):
    with open(os.path.join(TOP, "examples", "synthesis", "crust-library.inp")) as f:
        text = f.read().replace("'examples/output/synthesis/'", "'./'")
    return os.path.join(run_kirva(kirva_exe, str(tmp_path_factory.mktemp("crust")), text),
                        "grnfun.all")


@pytest.mark.parametrize("seed", [1, 2])
def test_inversion_recovers_slip(crust, tmp_path, seed):
    png = tmp_path / "inversion.png"
    r = inversion.main([crust, str(png), "--along", "10", "--down", "5", "--gnss", "20",
                        "--insar", "400", "--seed", str(seed)])
    assert r["correlation"] >= 0.9
    assert r["moment"] / r["moment_true"] == pytest.approx(1.0, abs=0.1)
    # Fitted to the noise, no better and no worse: the data of synthesize and the matrices of
    # greens_matrix are the same physics, and the smoothing does not drown the signal.
    assert 0.7 <= r["chi2"] / r["n_data"] <= 1.3
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
