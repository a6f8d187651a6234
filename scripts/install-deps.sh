#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing Quorvel needs,
# only those that are missing. Runs as root, or through sudo otherwise.
# Usage: bash scripts/install-deps.sh [PACKAGE ...]
# With arguments, installs those packages (the missing ones) instead.
set -euo pipefail

packages=(cmake make g++ binutils libbdd-dev libsbml5-dev openjdk-17-jdk-headless libgtest-dev
          nlohmann-json3-dev libcadical-dev clang libclang-rt-14-dev
          # the layout check (scripts/check-format.sh)
          clang-format
          # the Python package (python/) for the system interpreter, and its tests
          python3-dev python3-pybind11 pybind11-dev python3-pip python3-setuptools python3-wheel
          python3-numpy python3-pandas python3-matplotlib python3-graphviz graphviz python3-pytest
          # perturbation screens on Dask (quorvel.screen, quorvel-screen) and their progress bar
          python3-distributed python3-tqdm)
if [ "$#" -gt 0 ]; then
  packages=("$@")
fi

# A name without ":ARCH" means the machine's own architecture (or "all"),
# also when the package of another architecture is installed beside it.
native="$(dpkg --print-architecture)"
installed() {
  local name="$1" arch="$native|all"
  if [[ "$name" == *:* ]]; then
    arch="${name#*:}"
    name="${name%%:*}"
  fi
  dpkg-query -W -f='${Architecture} ${Status}\n' "$name" 2>/dev/null |
    grep -qE "^($arch) install ok installed$"
}
missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
[ "${#missing[@]}" -eq 0 ] && exit 0

source "$(dirname "${BASH_SOURCE[0]}")/as-root.sh"
echo "installing: ${missing[*]}"
# Slim images lack the manual directories that the JDK's alternatives expect.
"${asRoot[@]}" mkdir -p /usr/share/man/man1
bash "$(dirname "$0")/update-package-index.sh"
"${asRoot[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y --no-install-recommends "${missing[@]}"
