# SPDX-License-Identifier: MIT
"""Operations that need no meter, and how the binding finds the library."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import kolvane

PACKAGE_DIR = os.path.dirname(kolvane.__file__)
PROJECT_DIR = os.path.dirname(os.path.dirname(os.path.dirname(PACKAGE_DIR)))


class CatalogueTest(unittest.TestCase):
    def test_list_points_parses_the_catalogue(self):
        em133 = kolvane.list_points("em133")
        self.assertEqual(em133["meter"], "em133")
        self.assertEqual(len(em133["points"]), 199)
        self.assertEqual(em133["points"][0],
                         {"pid": 3072, "name": "V1", "unit": "V", "group": "1-cycle phase values"})
        self.assertEqual(len(kolvane.list_points("EM235")["points"]), 205)
        self.assertEqual(kolvane.list_points("pm335")["meter"], "em235")

    def test_small_buffer_grows_to_the_size_the_library_asks_for(self):
        for size in (1, 100, 15000):
            self.assertEqual(kolvane.list_points("em235", buffer_size=size),
                             kolvane.list_points("em235"))

    def test_unknown_model_raises_with_the_library_message(self):
        with self.assertRaises(kolvane.KolvaneError) as caught:
            kolvane.list_points("em999")
        self.assertEqual(caught.exception.message,
                         "Unknown meter model 'em999' (expected em133 or em235)")
        self.assertEqual(caught.exception.status, -1)
        self.assertNotIsInstance(caught.exception, kolvane.Cancelled)


def package_version(cmake_lists):
    """Runs the binding's setup.py --version in a copy of the binding whose top-level
    CMakeLists.txt holds `cmake_lists` (None: there is none); returns the completed run."""
    with tempfile.TemporaryDirectory() as tree:
        binding = shutil.copytree(os.path.dirname(PACKAGE_DIR),
                                  os.path.join(tree, "bindings", "python"))
        if cmake_lists is not None:
            with open(os.path.join(tree, "CMakeLists.txt"), "w", encoding="utf-8") as f:
                f.write(cmake_lists)
        return subprocess.run([sys.executable, "setup.py", "--version"], cwd=binding,
                              capture_output=True, text=True, timeout=60)


class VersionTest(unittest.TestCase):
    def test_version_comes_from_the_library(self):
        self.assertRegex(kolvane.version(), r"^\d+\.\d+\.\d+$")
        self.assertEqual(kolvane.__version__, kolvane.version())

    def test_package_version_is_the_projects(self):
        with open(os.path.join(PROJECT_DIR, "CMakeLists.txt"), encoding="utf-8") as f:
            run = package_version(f.read())
        self.assertEqual(run.stdout.strip(), kolvane.version(), run.stderr)

    def test_package_version_is_read_from_cmake(self):
        for cmake_lists, version, error in (
                ("project(kolvane VERSION 7.8.9 LANGUAGES C CXX)\n", "7.8.9", None),
                ("project(kolvane\n        VERSION 0.10.0)\n", "0.10.0", None),
                ("project(kolvane LANGUAGES C CXX)\n", None,
                 "CMakeLists.txt has no 'project(kolvane VERSION x.y.z'"),
                (None, None, "cannot read the version from ")):
            with self.subTest(cmake_lists):
                run = package_version(cmake_lists)
                if error is None:
                    self.assertEqual((run.returncode, run.stdout.strip()), (0, version),
                                     run.stderr)
                else:
                    self.assertNotEqual(run.returncode, 0)
                    self.assertIn(error, run.stderr)

    def test_import_needs_no_library_until_the_version_is_asked(self):
        env = {**os.environ, "KOLVANE_LIBRARY": os.path.join(PROJECT_DIR, "missing.so")}
        code = "import kolvane\ntry:\n    kolvane.__version__\nexcept OSError as e:\n    print(e)"
        run = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True,
                             text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertTrue(run.stdout.startswith("libkolvane not found"), run.stdout)


def loaded_library(env, pythonpath):
    """The path of the library that a fresh interpreter loads with `env`."""
    code = "import kolvane._lib as l; print(l.load()._name)"
    run = subprocess.run([sys.executable, "-c", code], env={**env, "PYTHONPATH": pythonpath},
                         capture_output=True, text=True, timeout=60)
    if run.returncode != 0:
        raise AssertionError(run.stderr)
    return run.stdout.strip()


class LibraryLookupTest(unittest.TestCase):
    def setUp(self):
        self.library = os.environ["KOLVANE_LIBRARY"]
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("KOLVANE_LIBRARY", "LD_LIBRARY_PATH")}
        self.python_dir = os.path.dirname(PACKAGE_DIR)
        self.tmp = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.tmp)

    def test_environment_variable_names_the_library(self):
        env = {**self.env, "KOLVANE_LIBRARY": self.library}
        self.assertEqual(loaded_library(env, self.python_dir), self.library)

    def test_library_next_to_the_package_comes_before_the_system(self):
        package = shutil.copytree(PACKAGE_DIR, os.path.join(self.tmp, "kolvane"))
        shutil.copy(self.library, os.path.join(package, "libkolvane.so.1"))
        shutil.copy(self.library, os.path.join(self.tmp, "libkolvane.so.1"))
        env = {**self.env, "LD_LIBRARY_PATH": self.tmp}
        self.assertEqual(loaded_library(env, self.tmp),
                         os.path.join(package, "libkolvane.so.1"))

    def test_system_loader_finds_the_library_by_its_soname(self):
        shutil.copy(self.library, os.path.join(self.tmp, "libkolvane.so.1"))
        env = {**self.env, "LD_LIBRARY_PATH": self.tmp}
        self.assertEqual(loaded_library(env, self.python_dir), "libkolvane.so.1")

    def test_missing_library_names_the_environment_variable(self):
        env = {**self.env, "KOLVANE_LIBRARY": os.path.join(self.tmp, "missing.so")}
        with self.assertRaisesRegex(AssertionError, "libkolvane not found \\(set KOLVANE_LIBRARY"):
            loaded_library(env, self.python_dir)


if __name__ == "__main__":
    unittest.main()
