"""read_library against the C++ reader on the same files: the same doubles, bit for bit, and the
same one-line refusals of damaged and foreign files."""

import os
import struct
import subprocess

import numpy as np
import pytest

import kirva


def python_dump(path):
    """The C++ dump tool's text, from the Python reader."""
    lib = kirva.read_library(path)

    def put(what, values):
        return what + "".join(" %016x" % struct.unpack("<Q", struct.pack("<d", float(v)))[0]
                              for v in values) + "\n"

    out = ["counts %d %d %d %d\n" % (lib.nlayer, lib.nr, lib.nzs, lib.nzrec)]
    out.append(put("r", lib.r))
    out.append(put("zs", lib.zs))
    out.append(put("zrec", lib.zrec))
    for row in lib.layers:
        out.append(put("layer", row))
    for k in range(lib.nzrec):
        out.append(put("moduli", (lib.lam[k], lib.mu[k], lib.rho[k])))
    for j in range(lib.nzs):
        out.append(put("mu_source", (lib.mu_source(j),)))
    for k in range(lib.nzrec):
        for t in kirva.SOURCE_ORDER:
            for j in range(lib.nzs):
                for c in kirva.COMPONENTS:
                    col = lib.column(k, t, j, c)
                    if col is not None:
                        out.append(put("%s %s" % (t, c), col))
    return "".join(out)


def cpp(dump_exe, path):
    return subprocess.run([dump_exe, path], capture_output=True, text=True)


def test_python_equals_cpp_bit_for_bit(run_dir, dump_exe):
    path = os.path.join(run_dir, "grnfun.all")
    c = cpp(dump_exe, path)
    assert c.returncode == 0, c.stderr
    assert python_dump(path) == c.stdout


def test_arrays_shapes_names_and_read_only(run_dir):
    lib = kirva.read_library(os.path.join(run_dir, "grnfun.all"))
    assert lib.ss.shape == (lib.nzrec, lib.nzs, 10, lib.nr)
    assert lib.cl.shape == (lib.nzrec, lib.nzs, 7, lib.nr)
    assert lib.components["cl"] == ("uz", "ur", "ezz", "err", "ett", "ezr", "duzdr")
    assert lib.column(0, "cl", 0, "ut") is None
    with pytest.raises(ValueError):
        lib.ds[0, 0, 0, 0] = 1.0
    assert isinstance(lib.ss, np.ndarray) and not lib.ss.flags.writeable
    assert len(lib.layers) == lib.nlayer and lib.layers[-1][0] == 0.0  # the half-space
    assert lib.lam.shape == lib.mu.shape == lib.rho.shape == (lib.nzrec,)


def test_distances_even_and_geometric(run_dir):
    lib = kirva.read_library(os.path.join(run_dir, "grnfun.all"))
    if lib.spacing == "even":
        assert lib.r[0] == 0.0 and lib.r[-1] == 8000.0
        np.testing.assert_allclose(np.diff(lib.r), 1000.0, rtol=1e-12)
    else:
        assert lib.r[0] == 300.0 and lib.r2 == -1.6
        np.testing.assert_allclose(lib.r[1:] / lib.r[:-1], 1.6, rtol=1e-12)


def damaged(good, how):
    b = bytearray(good)
    if how == "truncated":
        return bytes(b[:-8])
    if how == "lengthened":
        return bytes(b) + b"x"
    if how == "nzrec":
        b[44:48] = struct.pack("<i", struct.unpack_from("<i", b, 44)[0] + 1)
    elif how == "nr":
        b[4:8] = struct.pack("<i", 2)
    elif how == "nzs":
        b[24:28] = struct.pack("<i", 1)
    elif how == "zs1":
        b[28:36] = b"\xff" * 8
    elif how == "layer":
        b[64 + 32 + 16:64 + 32 + 24] = b"\xff" * 8
    elif how == "record":
        nlayer, nr, nzs = (struct.unpack_from("<i", b, o)[0] for o in (0, 4, 24))
        off = 64 + 32 * nlayer + (32 + 216 * nzs * nr) + 16
        b[off:off + 8] = b"\xff" * 8
    elif how == "zs2":
        b[36:44] = struct.pack("<d", 0.0)
    elif how == "ratio":
        b[16:24] = struct.pack("<d", 0.5)
    elif how == "text":
        return b" " * 200
    elif how == "short":
        return b"short"
    elif how == "empty":
        return b""
    return bytes(b)


@pytest.mark.parametrize("how", ["truncated", "lengthened", "nzrec", "nr", "nzs", "zs1", "layer",
                                 "record", "zs2", "ratio", "text", "short", "empty"])
def test_damaged_files_refused_with_the_cpp_readers_line(even_dir, dump_exe, tmp_path, how):
    with open(os.path.join(even_dir, "grnfun.all"), "rb") as f:
        good = f.read()
    if how == "ratio":  # r2 < r1: geometric, but with a shrinking ratio
        good = good[:8] + struct.pack("<d", 300.0) + good[16:]
    path = str(tmp_path / "bad.all")
    with open(path, "wb") as f:
        f.write(damaged(good, how))
    c = cpp(dump_exe, path)
    assert c.returncode == 1 and c.stdout == ""
    with pytest.raises(kirva.LibraryError) as e:
        kirva.read_library(path)
    assert str(e.value) + "\n" == c.stderr
    assert str(e.value).startswith(path + ": ")


def test_missing_file_and_directory(tmp_path, dump_exe):
    for path in (str(tmp_path / "none.all"), str(tmp_path)):
        c = cpp(dump_exe, path)
        with pytest.raises(kirva.LibraryError) as e:
            kirva.read_library(path)
        assert str(e.value) + "\n" == c.stderr


def test_to_xarray_hands_over_coordinates_and_every_column(even_dir, tmp_path):
    """Every table column and the model reach xarray unchanged, and come back the same from the
    NetCDF file that xarray writes of them."""
    import xarray as xr  # a test dependency: missing, this fails rather than skips

    lib = kirva.read_library(os.path.join(even_dir, "grnfun.all"))
    ds = lib.to_xarray()
    assert isinstance(ds, xr.Dataset)
    for name, values in (("zrec", lib.zrec), ("zs", lib.zs), ("r", lib.r),
                         ("layer", np.arange(1, lib.nlayer + 1))):
        assert ds[name].dims == (name,) and name in ds.coords
        np.testing.assert_array_equal(ds[name].values, values)
    model = {"lambda": lib.lam, "mu": lib.mu, "rho": lib.rho, "thickness": lib.layers[:, 0],
             "vp": lib.layers[:, 1], "vs": lib.layers[:, 2], "density": lib.layers[:, 3]}
    for name, values in model.items():
        np.testing.assert_array_equal(ds[name].values, values)
    columns = {"%s_%s" % (t, c): lib.table(t)[:, :, i, :]
               for t in kirva.SOURCE_ORDER for i, c in enumerate(lib.components[t])}
    assert len(columns) == 27  # 10 + 10 + 7
    assert set(ds.data_vars) == set(columns) | set(model)
    for name, values in columns.items():
        assert ds[name].dims == ("zrec", "zs", "r")
        np.testing.assert_array_equal(ds[name].values, values)

    path = str(tmp_path / "tables.nc")
    ds.to_netcdf(path, engine="netcdf4")
    with xr.open_dataset(path, engine="netcdf4") as back:
        xr.testing.assert_identical(back.load(), ds)


def test_to_xarray_without_xarray_says_so(even_dir, monkeypatch):
    import sys
    monkeypatch.setitem(sys.modules, "xarray", None)  # import xarray then fails
    lib = kirva.read_library(os.path.join(even_dir, "grnfun.all"))
    with pytest.raises(ImportError, match="to_xarray needs the xarray package"):
        lib.to_xarray()


def test_a_run_without_observation_depths(kirva_exe, dump_exe, tmp_path):
    """dzrec = 0: the file holds the header and the model only; both readers agree on it."""
    from conftest import EVEN, run_kirva
    d = run_kirva(kirva_exe, str(tmp_path), "0.0  0.0  0.0\n" + EVEN.split("\n", 1)[1])
    path = os.path.join(d, "grnfun.all")
    lib = kirva.read_library(path)
    assert lib.nzrec == 0 and lib.size == kirva.file_length(lib.nlayer, 9, 3, 0)
    assert lib.ss.shape == (0, 3, 10, 9) and lib.cl.shape == (0, 3, 7, 9)
    assert python_dump(path) == cpp(dump_exe, path).stdout



def test_explosion_tables_of_grnfun_ext_read_back(run_dir, tmp_path):
    """The elastic explosion read back; an explosion at a later time alone leaves that time
    without the types of grnfun.all and is refused (the interleaving of many tables per
    observation depth: test_times.py)."""
    from conftest import with_explosion
    plain = kirva.read_library(os.path.join(run_dir, "grnfun.all"))
    assert not plain.has_isotropic and plain.descriptors == [] and "ex" not in plain.components
    with pytest.raises(kirva.LibraryError) as e:
        plain.column(0, "ex", 0, "uz")
    assert str(e.value) == "%s: no explosion table: run kirva with --isotropic to make one" % (
        plain.path)
    path, _, values = with_explosion(run_dir, tmp_path, times=(0.0,))
    lib = kirva.read_library(path)
    assert lib.has_isotropic and lib.descriptors == [("ex", 0.0)] and list(lib.times) == [0.0]
    np.testing.assert_array_equal(lib.table("ex"), values[0])
    assert not lib.ex.flags.writeable and lib.column(0, "ex", 0, "ut") is None
    for t in kirva.SOURCE_ORDER:  # grnfun.all's tables are untouched by the extension
        np.testing.assert_array_equal(lib.table(t), plain.table(t))
    np.testing.assert_array_equal(lib.to_xarray()["ex_ezr"].values, values[0, :, :, 5])
    with_explosion(run_dir, tmp_path, times=(0.0, 10.0))
    with pytest.raises(kirva.LibraryError) as e:
        kirva.read_library(path)
    assert str(e.value).endswith("expected the source types 1 to 3 at every time after the "
                                 "source, found no table of source type 1 at 10 years")


def test_damaged_or_foreign_grnfun_ext_refused(even_dir, tmp_path):
    from conftest import with_explosion
    path, ext, _ = with_explosion(even_dir, tmp_path)
    name, n, nlayer = str(tmp_path / "grnfun.ext"), len(ext), struct.unpack_from("<i", ext, 16)[0]
    d = 16 + 64 + 32 * nlayer  # the first descriptor

    def put(at, fmt, v):
        return ext[:at] + struct.pack(fmt, v) + ext[at + struct.calcsize(fmt):]
    x, t = "not a grnfun.ext file: expected ", "truncated or foreign grnfun.ext: expected "
    other = "belongs to another run: its header and layers differ from " + path
    time = x + "a finite time of at least 0 years in descriptor 1, found "
    short = t + "%d bytes for 1 tables, nlayer %d, nr 9, nzs 3, nzrec 3, found " % (n, nlayer)
    cases = [
        (put(0, "8s", b"KIRVA\nXT"), x + "the magic KIRVAEXT, found KIRVA\\x0aXT"),
        (put(8, "<i", 2), x + "version 1, found 2"),
        (put(12, "<i", 0), x + "ntables of at least 1, found 0"),
        (put(88, "<d", 1.0), other),  # vp of the first layer row
        (put(d, "<i", 3), x + "source type 4 (ex) in descriptor 1, found 3"),
        (put(d + 4, "<i", 1), x + "0 in the reserved field of descriptor 1, found 1"),
        (put(d + 8, "<d", -1.0), time + "-1.0"),
        (put(d + 8, "<d", np.nan), time + "nan"),
        (put(12, "<i", 2)[:d + 16] + ext[d:],
         x + "one table per type and time, found descriptor 2 repeating ex at 0.0 years"),
        (ext[:10], x + "a head of 16 bytes, found 10 bytes in all"),
        (ext[:d + 8], t + "at least %d bytes for the head, the header and %d layer rows and 1 "
                          "descriptors, found %d" % (d + 16, nlayer, d + 8)),
        (ext[:-8], short + str(n - 8)), (ext + bytes(8), short + str(n + 8)),
        (None, "cannot read: not a regular file")]
    for data, message in cases:
        if data is None:
            os.remove(name)
            os.mkdir(name)
        else:
            with open(name, "wb") as f:
                f.write(data)
        with pytest.raises(kirva.LibraryError) as e:
            kirva.read_library(path)
        assert str(e.value) == name + ": " + message
