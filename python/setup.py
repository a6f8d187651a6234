"""Builds and installs the package quorvel from a clone, offline:

    python3 -m pip install --user --break-system-packages --no-index --no-build-isolation ./python

The extension quorvel._native is built by the project's CMake (target
quorvel_python, with the BDD engine CMake finds: CUDD through -DCUDD_ROOT in
QUORVEL_CMAKE_ARGS, else BuDDy through the project's layer) for the
interpreter that runs this script, with Debian's pybind11.
"""
import os
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


class cmake_build_ext(build_ext):
    def build_extension(self, ext):
        build_dir = os.path.join(os.path.abspath(self.build_temp), "cmake")
        os.makedirs(build_dir, exist_ok=True)
        configure = ["cmake", "-S", ROOT, "-B", build_dir, "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                     "-DQUORVEL_TESTS=OFF", "-DQUORVEL_PYTHON=ON",
                     "-DPython_EXECUTABLE=" + sys.executable]
        configure += os.environ.get("QUORVEL_CMAKE_ARGS", "").split()
        subprocess.check_call(configure)
        jobs = os.environ.get("QUORVEL_BUILD_JOBS", "2")
        subprocess.check_call(["cmake", "--build", build_dir, "--target", "quorvel_python",
                               "-j", jobs])
        built = os.path.join(build_dir, "python", "quorvel",
                             os.path.basename(self.get_ext_filename(ext.name)))
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(built, target)


setup(
    name="quorvel",
    version="0.2.0",
    description="Every attractor of a Boolean gene-regulatory network (BDDs), from Python",
    packages=["quorvel"],
    ext_modules=[Extension("quorvel._native", sources=[])],
    cmdclass={"build_ext": cmake_build_ext},
    python_requires=">=3.9",
    entry_points={"console_scripts": ["quorvel-screen = quorvel.screening:main"]},
    zip_safe=False,
)
