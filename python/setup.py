"""Packaging of kirva (the metadata is in pyproject.toml). Built from the CMake build tree
(build/python) the package holds the compiled engine, and the wheel is marked as one for this
platform; built from python/ it holds the pure readers only."""

import glob
import os

from setuptools import setup
from setuptools.dist import Distribution

HERE = os.path.dirname(os.path.abspath(__file__))
ENGINE = glob.glob(os.path.join(HERE, "kirva", "_engine*.so"))


class _Distribution(Distribution):
    def has_ext_modules(self):
        return bool(ENGINE)


setup(distclass=_Distribution, package_data={"kirva": ["_engine*.so"]})
