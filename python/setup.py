"""The extension zarntrade._core built by the repository's CMake build.

The version is the CMake project's (project(zarntrade VERSION ...) in the
top CMakeLists.txt), the one the library, zarn-replay and the packages carry.
By default CMake configures build/python-wheel at the repository's top
(Release, no tests); ZARNTRADE_CMAKE_BUILD_DIR names a build tree configured
with -DZT_BUILD_PYTHON=ON for this interpreter instead (build/native, say),
whose extension is then only brought up to date.
"""
import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text()
    match = re.search(r"project\(\s*zarntrade\s+VERSION\s+([0-9][0-9.]*)", text)
    if match is None:
        raise RuntimeError(f"no project(zarntrade VERSION ...) in {ROOT / 'CMakeLists.txt'}")
    return match.group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        jobs = str(os.cpu_count() or 1)
        build_dir = os.environ.get("ZARNTRADE_CMAKE_BUILD_DIR")
        if build_dir:
            build_dir = pathlib.Path(build_dir).resolve()
        else:
            build_dir = ROOT / "build" / "python-wheel"
            configure = ["cmake", "-S", str(ROOT), "-B", str(build_dir), "-DCMAKE_BUILD_TYPE=Release",
                         "-DZT_BUILD_PYTHON=ON", "-DZT_BUILD_TESTS=OFF", "-DZT_BUILD_BENCHMARKS=OFF",
                         f"-DPython3_EXECUTABLE={sys.executable}"]
            if shutil.which("ninja") and not (build_dir / "CMakeCache.txt").exists():
                configure += ["-G", "Ninja"]
            subprocess.check_call(configure)
        subprocess.check_call(["cmake", "--build", str(build_dir), "--target", "zarntrade_python", "-j", jobs])
        built = sorted((build_dir / "python" / "zarntrade").glob("_core*.so"))
        if len(built) != 1:
            raise RuntimeError(f"expected one zarntrade/_core*.so in {build_dir / 'python'}, found {built}")
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        if built[0].name != target.name:
            raise RuntimeError(f"{built[0]} was built for another Python than {sys.executable} ({target.name}): "
                               "configure the build with -DPython3_EXECUTABLE")
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


setup(
    version=project_version(),
    ext_modules=[Extension("zarntrade._core", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # setuptools' own build folders at the top, beside CMake's.
    options={"build": {"build_base": str(ROOT / "build" / "python-setuptools")}},
)
