#!/usr/bin/env bash
# Set-up command 2: installs what is missing, then builds and runs every test
# twice: a plain build (build/) and one with AddressSanitizer and
# UndefinedBehaviorSanitizer (build-asan/). Fails if either run fails.
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
# ---- fuzzing: past failures replayed, then a bounded run (scripts/fuzz.sh)
echo "==== fuzz (clang, ASan, UBSan) in build-fuzz"
if ! bash scripts/fuzz.sh 75; then
  echo "==== fuzz FAILED"
  status=1
fi
# ---- end of fuzzing

exit "$status"
