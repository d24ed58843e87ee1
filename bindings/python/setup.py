"""The package's version is the project's, which stands only in project(VERSION) of the
top-level CMakeLists.txt; everything else about the package is in pyproject.toml."""

import pathlib
import re

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


setup(version=project_version())
