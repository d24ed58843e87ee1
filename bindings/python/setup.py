# SPDX-License-Identifier: MIT
"""The package's version is the project's, which stands only in project(VERSION) of the
top-level CMakeLists.txt; everything else about the package is in pyproject.toml.

Building needs only what Debian's python3-setuptools and python3-wheel provide, so it works
without a package index (`pip install --no-index --no-build-isolation ./bindings/python`).
Setuptools' scratch files (build/, kolvane.egg-info) go to a temporary directory that is
removed afterwards, so that installing leaves the source tree as it was."""

import atexit
import pathlib
import re
import shutil
import tempfile

from setuptools import setup

CMAKE_LISTS = pathlib.Path(__file__).resolve().parents[2] / "CMakeLists.txt"
PROJECT = re.compile(r"project\(\s*kolvane\s+VERSION\s+(\d+\.\d+\.\d+)[\s)]")


def project_version():
    try:
        found = PROJECT.search(CMAKE_LISTS.read_text(encoding="utf-8"))
    except OSError as exc:
        raise RuntimeError(f"kolvane: cannot read the version from {CMAKE_LISTS}: "
                           f"{exc.strerror}") from None
    if found is None:
        raise RuntimeError(f"kolvane: {CMAKE_LISTS} has no 'project(kolvane VERSION x.y.z'")
    return found.group(1)


def scratch_directory():
    path = tempfile.mkdtemp(prefix="kolvane-setup-")
    atexit.register(shutil.rmtree, path, ignore_errors=True)
    return path


SCRATCH = scratch_directory()
setup(version=project_version(),
      options={"build": {"build_base": f"{SCRATCH}/build"}, "egg_info": {"egg_base": SCRATCH}})
