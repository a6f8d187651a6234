#!/usr/bin/env bash
# Refreshes apt's package index, trying again after a pause when that fails:
# a Debian mirror in the middle of a sync serves index files whose size does
# not match its release file ("Mirror sync in progress?"), and apt-get update
# then exits with an error that the same command a minute later does not
# meet. When every try fails, it says so and goes on: apt keeps the index
# files it did fetch (and the old ones of the others), and the install that
# follows either finds what it needs there or fails with apt's own message.
# Runs as root, or through sudo otherwise.
# Usage: bash scripts/update-package-index.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/as-root.sh"
attempts=3
for attempt in $(seq "$attempts"); do
  if "${asRoot[@]}" apt-get update; then
    exit 0
  fi
  if [ "$attempt" -lt "$attempts" ]; then
    echo "apt-get update failed (attempt $attempt of $attempts); trying again in 30 s" >&2
    sleep 30
  fi
done
echo "apt-get update failed $attempts times; going on with the index files apt has" >&2
