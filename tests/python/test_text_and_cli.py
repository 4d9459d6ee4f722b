"""read_text_table against the binary file of the same run, and the command line on real files:
info, extract (exact values back), plot (a picture of the stated size that is not blank)."""

import os
import struct
import subprocess
import zlib

import numpy as np
import pytest

import kirva
from conftest import EVEN as EVEN_INPUT, kirva_cli


def test_text_tables_hold_the_first_depth_to_six_digits(run_dir):
    lib = kirva.read_library(os.path.join(run_dir, "grnfun.all"))
    for t, name in (("ss", "ss.grn"), ("ds", "ds.grn"), ("cl", "cl.grn")):
        tab = kirva.read_text_table(os.path.join(run_dir, name))
        assert tab.title == kirva.SOURCE_TYPES[t]["title"]
        assert tab.components == lib.components[t]
        assert (tab.nr, tab.nzs) == (lib.nr, lib.nzs)
        assert tab.values.shape == (lib.nzs, len(lib.components[t]), lib.nr)
        assert tab.zrec == lib.zrec[0] and tab.zs1 == lib.zs1
        assert tab.lam == float("%.4e" % lib.lam[0]) and tab.mu == float("%.4e" % lib.mu[0])
        # Each value is the binary one rounded to 6 significant digits.
        exact = np.asarray(lib.table(t)[0])
        rounded = np.vectorize(lambda v: float("%.5e" % v))(exact)
        np.testing.assert_array_equal(tab.values, rounded)
        np.testing.assert_allclose(tab.r, lib.r, rtol=1e-5)


def test_text_table_three_digit_exponents_and_damage(tmp_path, even_dir):
    src = open(os.path.join(even_dir, "cl.grn"), "rb").read().split(b"\r\n")
    line = bytearray(src[12])
    line[0:14] = b"  0.100000-119"
    line[14:28] = b" -0.250000+101"
    src[12] = bytes(line)
    p = tmp_path / "cl.grn"
    p.write_bytes(b"\r\n".join(src))
    tab = kirva.read_text_table(str(p))
    assert tab.values[0, 0, 0] == 1.0e-120 and tab.values[0, 1, 0] == -2.5e100
    p.write_bytes(b"\r\n".join(src[:-3]) + b"\r\n")  # two data lines lost
    with pytest.raises(kirva.LibraryError) as e:
        kirva.read_text_table(str(p))
    assert str(e.value) == "%s: expected 27 data lines (nzs 3 times nr 9), found 25" % p
    src[14] = src[14][:-3]
    p.write_bytes(b"\r\n".join(src))
    with pytest.raises(kirva.LibraryError) as e:
        kirva.read_text_table(str(p))
    assert str(e.value) == "%s: line 15: expected 7 values of 14 characters, found 95 characters" % p


def test_info_names_model_ranges_and_largest_values(even_dir):
    path = os.path.join(even_dir, "grnfun.all")
    p = kirva_cli("info", path)
    assert p.returncode == 0, p.stderr
    lib = kirva.read_library(path)
    assert "%d bytes" % os.path.getsize(path) in p.stdout
    assert "distances: 9 from 0 to 8000 m, evenly spaced, step 1000 m" in p.stdout
    assert "source depths: 3 from 1000 to 4000 m, step 1500 m" in p.stdout
    assert "observation depths: 3: 0, 2000, 4000 m" in p.stdout
    rows = [l.split() for l in p.stdout.splitlines() if l.startswith("  cl ")]
    assert rows[0][3] == "-"  # the CLVD has no ut
    assert float(rows[0][1]) == pytest.approx(np.max(np.abs(lib.cl[:, :, 0, :])), rel=1e-4)


def test_extract_gives_the_exact_values(even_dir):
    path = os.path.join(even_dir, "grnfun.all")
    p = kirva_cli("extract", path, "--type", "ds", "--zs", "2.5", "--zrec", "2")
    assert p.returncode == 0, p.stderr
    lines = p.stdout.splitlines()
    assert lines[1].split() == ["#", "r[m]", "uz[m]", "ur[m]", "ut[m]", "ezz", "err", "ett", "ezr",
                                "ert", "etz", "duz/dr"]
    a = np.loadtxt(lines)
    lib = kirva.read_library(path)
    np.testing.assert_array_equal(a[:, 0], lib.r)
    np.testing.assert_array_equal(a[:, 1:].T, lib.ds[1, 1])


def test_extract_and_plot_refuse_depths_not_tabulated(even_dir, tmp_path):
    path = os.path.join(even_dir, "grnfun.all")
    p = kirva_cli("extract", path, "--type", "cl", "--zs", "2.0")
    assert p.returncode == 1 and p.stdout == ""
    assert p.stderr == ("kirva: no source depth at 2 km in %s; the tabulated ones are (km): "
                        "1, 2.5, 4\n" % path)
    p = kirva_cli("plot", path, "--zs", "1", "--zrec", "1", "-o", str(tmp_path / "x.png"))
    assert p.returncode == 1 and "no observation depth at 1 km" in p.stderr
    assert not (tmp_path / "x.png").exists()
    p = kirva_cli("info", str(tmp_path / "none"))
    assert p.returncode == 1
    assert p.stderr == "kirva: %s: cannot open: No such file or directory\n" % (tmp_path / "none")


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n" and head[12:16] == b"IHDR"
    return struct.unpack(">II", head[16:24])


def test_plot_has_the_stated_size_and_is_not_blank(even_dir, tmp_path):
    out = str(tmp_path / "tables.png")
    p = kirva_cli("plot", os.path.join(even_dir, "grnfun.all"), "--zs", "2.5", "--zrec", "0",
                  "-o", out)
    assert p.returncode == 0, p.stderr
    assert png_size(out) == (1100, 1000)
    import matplotlib.image
    img = matplotlib.image.imread(out)[:, :, :3]
    ink = np.any(img < 0.9, axis=2).mean()  # share of pixels that are not (nearly) white
    assert 0.02 < ink < 0.5
    # The three source types' line colours are there.
    colours = {tuple(np.round(c, 1)) for c in img.reshape(-1, 3)[::7]}
    assert len(colours) > 10


def test_info_shows_the_provenance_where_present(kirva_exe, tmp_path):
    d = str(tmp_path)
    with open(os.path.join(d, "in.inp"), "w") as f:
        f.write(EVEN_INPUT)
    for args, shown in ((["in.inp"], "default mode, smoothing 750 m (max(smoothing_m, "),
                        (["--accurate", "in.inp"], "accurate mode, smoothing 0.1 m (smoothing_m "
                                                   "at every distance)")):
        p = subprocess.run([kirva_exe] + args, cwd=d, capture_output=True, text=True)
        assert p.returncode == 0, p.stderr
        path = os.path.join(d, "grnfun.all")
        info = kirva_cli("info", path)
        assert info.returncode == 0, info.stderr
        made = [l for l in info.stdout.splitlines() if l.startswith("made by: ")]
        assert made and made[0].startswith("made by: kirva "), info.stdout
        assert shown in made[0]
        assert made[0].endswith("sampfac 10, input in.inp")
        prov, problem = kirva.read_provenance(path)
        assert problem is None
        assert prov["input"] == EVEN_INPUT
        assert prov["arguments"] == args
    # A damaged grnfun.json is named, the tables are still shown; without one, nothing is said.
    with open(os.path.join(d, "grnfun.json"), "w") as f:
        f.write('{"program": "kirva", ')
    info = kirva_cli("info", os.path.join(d, "grnfun.all"))
    assert info.returncode == 0, info.stderr
    assert "made by: unknown (" in info.stdout and "not a JSON document" in info.stdout
    os.remove(os.path.join(d, "grnfun.json"))
    info = kirva_cli("info", os.path.join(d, "grnfun.all"))
    assert info.returncode == 0 and "made by" not in info.stdout
    assert kirva.read_provenance(os.path.join(d, "grnfun.all")) == (None, None)



def test_cli_with_and_without_the_explosion_table(even_dir, tmp_path):
    from conftest import with_explosion
    import matplotlib.image
    plain = os.path.join(even_dir, "grnfun.all")
    path, ext, values = with_explosion(even_dir, tmp_path)
    first = "%s: 17816 bytes, 3 observation depths x 3 source types%s x 3 source depths x 9 dist"
    picture = {}
    for f, extra in ((plain, ""), (path, " (+ explosion)")):
        out = kirva_cli("info", f).stdout
        assert out.startswith(first % (f, extra)) and ("  ex " in out) == bool(extra)
        picture[f] = str(tmp_path / ("%d.png" % len(extra)))
        assert kirva_cli("plot", f, "--zs", "2.5", "-o", picture[f]).returncode == 0
    ex = [l.split() for l in out.splitlines() if l.startswith("  ex ")][0]
    assert ex[3] == "-" and float(ex[-1]) == pytest.approx(np.abs(values[0, :, :, 6]).max(), 1e-4)
    a, b = (matplotlib.image.imread(picture[f]) for f in (plain, path))
    assert a.shape == b.shape and np.any(a != b)  # the explosion's curves are drawn

    p = kirva_cli("extract", path, "--type", "ex", "--zs", "2.5", "--zrec", "4")
    assert p.stdout.startswith("# %s: Source type: explosion, zs = 2500 m, zrec = 4000 m" % path)
    np.testing.assert_array_equal(np.loadtxt(p.stdout.splitlines())[:, 1:].T, values[0, 2, 1])
    with open(str(tmp_path / "grnfun.ext"), "wb") as f:
        f.write(ext[:-1])
    for args, line in (((plain, "--type", "ex"), "%s: no explosion table: run kirva with "
                        "--isotropic to make one\n" % plain),
                       ((path, "--type", "ss"), "%s: truncated or foreign grnfun.ext: expected "
                        "%d bytes" % (tmp_path / "grnfun.ext", len(ext)))):
        p = kirva_cli("extract", *args, "--zs", "1")
        assert (p.returncode, p.stdout) == (1, "") and p.stderr.count("\n") == 1
        assert p.stderr.startswith("kirva: " + line)
