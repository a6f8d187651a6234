#!/usr/bin/env bash
# Builds the libFuzzer target fuzzNetwork with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/, replays every past failure kept
# in tests/fuzz/crashes/, then fuzzes for SECONDS (default 75) from the
# hand-made seeds in tests/fuzz/seeds/ and the small shared networks of
# ../shared/networks (copied into a scratch corpus at run time; skipped when
# ../shared is absent). Fails on any failure found; the failing input is left
# in build-fuzz/artifacts/.
#   bash scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-75}"
dir=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVEL_TESTS=ON -DQUORVEL_SANITIZE=ON -DQUORVEL_FUZZ=ON
cmake --build "$dir" -j2 --target fuzzNetwork
fuzzer="$dir/tests/fuzz/fuzzNetwork"
options=(-max_len=2048 -timeout=20 -rss_limit_mb=2048 -dict=tests/fuzz/network.dict)

shopt -s nullglob
crashes=(tests/fuzz/crashes/*)
if [ "${#crashes[@]}" -gt 0 ]; then
  echo "==== replaying ${#crashes[@]} past failure(s)"
  "$fuzzer" "${options[@]}" "${crashes[@]}"
fi

corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
cp tests/fuzz/seeds/* "$corpus"/
if [ -d ../shared/networks ]; then
  # Named after their folder too: models/ and inputs-off/ share file names.
  while IFS= read -r network; do
    cp "$network" "$corpus/$(basename "$(dirname "$network")")-$(basename "$network")"
  done < <(find ../shared/networks -name '*.net' -size -2k)
else
  echo "==== ../shared is absent: fuzzing from the hand-made seeds only"
fi
mkdir -p "$dir/artifacts"
echo "==== fuzzing for $seconds s from $(ls "$corpus" | wc -l) seeds"
"$fuzzer" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$dir/artifacts/" "$corpus"
