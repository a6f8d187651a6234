#!/usr/bin/env bash
# Set-up command 2: installs what is missing, then builds and runs every test
# in each build: a plain build (build/), one with AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/), and a 32-bit x86 build
# (build-i386/). Fails if any run fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

status=0
for variant in plain asan; do
  if [ "$variant" = plain ]; then
    dir=build sanitize=OFF
  else
    dir=build-asan sanitize=ON
  fi
  echo "==== $variant build in $dir"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_TESTS=ON \
        -DQUORVEL_SANITIZE="$sanitize"
  cmake --build "$dir" -j2
  if ! (cd "$dir" && ctest --output-on-failure -j2); then
    echo "==== $variant tests FAILED"
    status=1
  fi
done

# ---- 32-bit x86 (build-i386/): the library, the console program and the jar
# built for i386, the whole suite run as 32-bit programs and the Java check
# in a 32-bit JVM. Its BuDDy is unpacked into build-i386/deps.
echo "==== i386 build in build-i386"
bash scripts/install-i386-deps.sh build-i386/deps
cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/i386.cmake \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_TESTS=ON
cmake --build build-i386 -j2
if ! (cd build-i386 && ctest --output-on-failure -j2); then
  echo "==== i386 tests FAILED"
  status=1
fi

exit "$status"
