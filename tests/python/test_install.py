"""The package as pip installs it from the build tree, without network: the pure files and the
compiled engine together, working from their new place."""

import os
import subprocess
import sys

import kirva


def test_pip_installs_the_built_package(tmp_path, okada_library):
    built = os.path.dirname(os.path.dirname(os.path.abspath(kirva.__file__)))
    assert os.path.isfile(os.path.join(built, "pyproject.toml")), built
    target = str(tmp_path / "site")
    p = subprocess.run([sys.executable, "-m", "pip", "install", "--no-build-isolation",
                        "--no-deps", "--no-index", "--target", target, built],
                       capture_output=True, text=True)
    assert p.returncode == 0, p.stdout + p.stderr
    script = ("import kirva, kirva._engine as e; print(kirva.__file__, e.__file__); "
              "print(kirva.synthesize(%r, [[3, 4]], points=[[0, 0, 5, 0, 90, 0, 1e16]])[0, 0])"
              % okada_library)
    env = dict(os.environ, PYTHONPATH=target)
    r = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, env=env,
                       cwd=str(tmp_path))
    assert r.returncode == 0, r.stderr
    files, value = r.stdout.splitlines()
    assert all(f.startswith(target) for f in files.split())
    assert float(value) == kirva.synthesize(okada_library, [[3, 4]],
                                            points=[[0, 0, 5, 0, 90, 0, 1e16]])[0, 0]
