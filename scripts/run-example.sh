#!/usr/bin/env bash
# Set-up command 1: installs what is missing, builds the library, the console
# program and the jar into build/, and analyses a bundled example network.
# Usage: bash scripts/run-example.sh [NETWORK-FILE]  (default: the toggle switch)
set -euo pipefail
cd "$(dirname "$0")/.."
network="${1:-examples/toggle-switch.net}"

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_SANITIZE=OFF -DQUORVEL_TESTS=OFF
cmake --build build -j2
./build/quorvel "$network"
