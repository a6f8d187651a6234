#!/usr/bin/env bash
# Set-up command 2: installs what is missing, then builds and runs every test
# in several builds: a plain build (build/), one with AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/), both on BuDDy through the layer
# (the plain one with the Python package and its tests),
# one on CUDD 3.0.0 built from the shared release (build-cudd/), and a 32-bit
# x86 build (build-i386/). Fails if any run fails.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/as-root.sh"
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

status=0
# ---- the modules of sources/ (a header and its source) include each other
# without a cycle; a new cycle fails the run before anything is built.
echo "==== include cycles"
if ! /usr/bin/python3 scripts/check-includes.py; then
  echo "==== include cycle FOUND"
  status=1
fi

# ---- layout of the C and C++ files (scripts/check-format.sh), before the
# builds; QUORVEL_FORMAT_CHECK=0 skips it.
if [ "${QUORVEL_FORMAT_CHECK:-1}" = 1 ]; then
  echo "==== format check"
  if ! bash scripts/check-format.sh; then
    echo "==== format check FAILED"
    status=1
  fi
fi

# The plain build also builds the Python package's extension and runs its
# tests (pytest, as the ctest test python_tests). Its compiler warnings are
# errors (QUORVEL_WERROR), as on the CUDD build below; the sanitizer, i386
# and fuzzing builds keep warnings as warnings.
for variant in plain asan; do
  if [ "$variant" = plain ]; then
    dir=build sanitize=OFF python=ON werror=ON
  else
    dir=build-asan sanitize=ON python=OFF werror=OFF
  fi
  echo "==== $variant build in $dir"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_TESTS=ON \
        -DQUORVEL_SANITIZE="$sanitize" -DQUORVEL_PYTHON="$python" -DQUORVEL_WERROR="$werror"
  cmake --build "$dir" -j2
  if ! (cd "$dir" && ctest --output-on-failure -j2); then
    echo "==== $variant tests FAILED"
    status=1
  fi
done

# ==== CUDD build (build-cudd/): CUDD 3.0.0 built from its release archive
# into a temporary folder (the library only, position-independent, as the
# README describes), then the whole suite on it.
cudd_archive=../shared/third-party/cudd-3.0.0.tar.gz
if [ ! -f "$cudd_archive" ]; then
  echo "==== cudd build skipped: $cudd_archive not found (../shared is absent)"
else
  cudd_tmp=$(mktemp -d)
  trap 'rm -rf "$cudd_tmp"' EXIT
  echo "==== building CUDD 3.0.0 into $cudd_tmp"
  tar xzf "$cudd_archive" -C "$cudd_tmp"
  if (cd "$cudd_tmp/cudd-3.0.0" &&
      ./configure --prefix="$cudd_tmp/prefix" --with-pic --disable-shared &&
      make -j2 install) >"$cudd_tmp/cudd-build.log" 2>&1; then
    echo "==== cudd build in build-cudd"
    # The CUDD found by an earlier run lived in its own temporary folder.
    cmake -S . -B build-cudd -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_TESTS=ON \
          -DQUORVEL_SANITIZE=OFF -DQUORVEL_PYTHON=OFF -DQUORVEL_WERROR=ON \
          -DCUDD_ROOT="$cudd_tmp/prefix" \
          -UCUDD_INCLUDE_DIR -UCUDD_LIBRARY -UQUORVEL_CUDD_IS_PIC
    cmake --build build-cudd -j2
    if ! (cd build-cudd && ctest --output-on-failure -j2); then
      echo "==== cudd tests FAILED"
      status=1
    fi
  else
    tail -n 30 "$cudd_tmp/cudd-build.log"
    echo "==== building CUDD FAILED"
    status=1
  fi
fi

# ---- 32-bit x86 (build-i386/): the library, the console program and the jar
# built for i386, the whole suite run as 32-bit programs and the Java check
# in a 32-bit JVM. Its BuDDy is unpacked into build-i386/deps.
# A failure here (its packages, its build or its tests) fails the run but
# lets the fuzzing below run too, so one run reports every stage.
# When the packages cannot be installed because the archive itself serves a
# broken i386 index (apt-get update still fails on a binary-i386 file after
# the retries, as while a mirror is caught mid-sync), the stage is reported
# as skipped, not failed: that is the archive's fault, not the project's.
echo "==== i386 build in build-i386"
if ! bash scripts/install-i386-deps.sh build-i386/deps; then
  refresh="$("${asRoot[@]}" apt-get update 2>&1 || true)"
  if grep -q 'Failed to fetch .*binary-i386' <<< "$refresh"; then
    grep 'Failed to fetch' <<< "$refresh"
    echo "==== i386 stage SKIPPED: the package archive serves a broken i386 index"
  else
    echo "==== i386 packages could not be installed: i386 build not run, FAILED"
    status=1
  fi
elif ! { cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/i386.cmake \
           -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_TESTS=ON &&
         cmake --build build-i386 -j2; }; then
  echo "==== i386 build FAILED"
  status=1
elif ! (cd build-i386 && ctest --output-on-failure -j2); then
  echo "==== i386 tests FAILED"
  status=1
fi

# ---- fuzzing: past failures replayed, then a bounded run (scripts/fuzz.sh)
echo "==== fuzz (clang, ASan, UBSan) in build-fuzz"
if ! bash scripts/fuzz.sh 75; then
  echo "==== fuzz FAILED"
  status=1
fi
# ---- end of fuzzing

exit "$status"
