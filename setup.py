"""Builds the `vorlix` package (see pyproject.toml): CMake compiles the extension module
_vorlix and the libraries it links, in Release and nothing else (no programs, tests or
benchmarks), for the interpreter that runs the build; the package's Python files and type
stubs come from python/vorlix. The compiled module links the reading library statically,
so the installed package needs nothing of the source tree.

CMake runs in build-pip/ of the checkout and keeps its folder there between builds, so a
second build compiles only what changed. CMAKE_C_COMPILER_LAUNCHER and
CMAKE_CXX_COMPILER_LAUNCHER (ccache, say) and CMAKE_BUILD_PARALLEL_LEVEL pass through from
the environment.
"""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent
BUILD_BASE = "build-pip"


def project_version():
    """The version of the project's CMakeLists.txt, the one place it is written."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(Vorlix\s+VERSION\s+([0-9.]+)", text)
    if not match:
        raise RuntimeError("no project version in CMakeLists.txt")
    return match.group(1)


class CMakeBuild(build_ext):
    """Builds the extension with CMake instead of setuptools' compiler calls."""

    def build_extension(self, ext):
        target = Path(self.get_ext_fullpath(ext.name)).resolve()
        build = Path(self.build_temp).resolve() / "cmake"
        configure = [
            "cmake", "-S", str(ROOT), "-B", str(build),
            "-DCMAKE_BUILD_TYPE=Release",
            f"-DPython3_EXECUTABLE={sys.executable}",
            "-DVORLIX_BUILD_PYTHON=ON",
            "-DVORLIX_BUILD_GUI=OFF",
            "-DVORLIX_BUILD_TESTS=OFF",
            "-DVORLIX_BUILD_BENCH=OFF",
        ]
        for name in ("CMAKE_C_COMPILER_LAUNCHER", "CMAKE_CXX_COMPILER_LAUNCHER"):
            if os.environ.get(name):
                configure.append(f"-D{name}={os.environ[name]}")
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "_vorlix", "-j", jobs],
                       check=True)
        # The module and the version file CMake writes beside it.
        built = build / "python" / "vorlix"
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built / target.name, target)
        shutil.copyfile(built / "_version.py", target.parent / "_version.py")


# setuptools keeps its files in build-pip/ too: build/ is the folder the README's CMake
# commands use.
os.makedirs(ROOT / BUILD_BASE, exist_ok=True)
setup(
    version=project_version(),
    packages=["vorlix"],
    package_dir={"": "python"},
    package_data={"vorlix": ["py.typed", "*.pyi"]},
    ext_modules=[Extension("vorlix._vorlix", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    options={"build": {"build_base": BUILD_BASE}, "egg_info": {"egg_base": BUILD_BASE}},
    zip_safe=False,
)
