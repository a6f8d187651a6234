#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/, one per network file format:
#   fuzzNetwork  the rule format  seeds tests/fuzz/seeds/       network.dict
#   fuzzBnet     .bnet            seeds tests/fuzz/seeds-bnet/  bnet.dict
#   fuzzSbml     SBML-qual        seeds tests/fuzz/seeds-sbml/  sbml.dict
# For each target it replays every past failure kept in its crashes folder
# (tests/fuzz/crashes/, crashes-bnet/, crashes-sbml/), then fuzzes from its
# hand-made seeds and the small shared networks of its format in
# ../shared/networks (copied into a scratch corpus at run time; skipped when
# ../shared is absent). SECONDS (default 75) is the whole run, shared evenly
# by the targets named (default all three). Fails on any failure found; the
# failing input is left in build-fuzz/artifacts/.
#   bash scripts/fuzz.sh [SECONDS [TARGET...]]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-75}"
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(fuzzNetwork fuzzBnet fuzzSbml)
dir=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVEL_TESTS=ON -DQUORVEL_SANITIZE=ON -DQUORVEL_FUZZ=ON
cmake --build "$dir" -j2 --target "${targets[@]}"
mkdir -p "$dir/artifacts"
share=$(( seconds / ${#targets[@]} ))
[ "$share" -gt 0 ] || share=1
shopt -s nullglob

for target in "${targets[@]}"; do
  case "$target" in
    fuzzNetwork) tag="" shared="" pattern='*.net' maxLen=2048 ;;
    fuzzBnet) tag="-bnet" shared=bnet pattern='*.bnet' maxLen=2048 ;;
    fuzzSbml) tag="-sbml" shared=sbml pattern='*.sbml' maxLen=8192 ;;
    *) echo "unknown fuzz target $target" >&2; exit 2 ;;
  esac
  dict=tests/fuzz/network.dict
  [ -z "$tag" ] || dict="tests/fuzz/${tag#-}.dict"
  fuzzer="$dir/tests/fuzz/$target"
  options=(-max_len="$maxLen" -timeout=20 -rss_limit_mb=2048 -dict="$dict")

  crashes=(tests/fuzz/crashes"$tag"/*)
  if [ "${#crashes[@]}" -gt 0 ]; then
    echo "==== $target: replaying ${#crashes[@]} past failure(s)"
    "$fuzzer" "${options[@]}" "${crashes[@]}"
  fi

  corpus="$(mktemp -d)"
  trap 'rm -rf "$corpus"' EXIT
  cp tests/fuzz/seeds"$tag"/* "$corpus"/
  if [ -d ../shared/networks ]; then
    # Named after their folder too: models/ and inputs-off/ share file names.
    while IFS= read -r network; do
      cp "$network" "$corpus/$(basename "$(dirname "$network")")-$(basename "$network")"
    done < <(find "../shared/networks/$shared" -name "$pattern" -size -"$((maxLen / 1024))"k)
  else
    echo "==== ../shared is absent: fuzzing from the hand-made seeds only"
  fi
  echo "==== $target: fuzzing for $share s from $(ls "$corpus" | wc -l) seeds"
  "$fuzzer" "${options[@]}" -max_total_time="$share" -print_final_stats=1 \
    -artifact_prefix="$dir/artifacts/$target-" "$corpus"
  rm -rf "$corpus"
  trap - EXIT
done
