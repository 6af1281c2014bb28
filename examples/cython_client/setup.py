"""Builds the Cython client against the installed vantor, in place:

    python setup.py build_ext --inplace
    python check.py

Cython finds vantor's .pxd files on sys.path (they are installed beside its modules); the C
compiler finds <raylib.h> and vantor's headers in vantor.get_include(). Nothing is linked from
vantor: the client reaches it through the operation tables at import time.
"""

from Cython.Build import cythonize
from setuptools import Extension, setup

import vantor

extension = Extension("cython_client", ["cython_client.pyx"], include_dirs=[vantor.get_include()])

setup(name="vantor-cython-client", ext_modules=cythonize([extension]))
