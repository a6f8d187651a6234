#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing Quorvel needs,
# only those that are missing. Runs as root, or through sudo otherwise.
set -euo pipefail

packages=(cmake make g++ binutils libbdd-dev openjdk-17-jdk-headless libgtest-dev
          clang libclang-rt-14-dev)

missing=()
for package in "${packages[@]}"; do
  status="$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)"
  if [ "$status" != "install ok installed" ]; then
    missing+=("$package")
  fi
done
[ "${#missing[@]}" -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  asRoot=()
else
  asRoot=(sudo)
fi
echo "installing: ${missing[*]}"
# Slim images lack the manual directories that the JDK's alternatives expect.
"${asRoot[@]}" mkdir -p /usr/share/man/man1
"${asRoot[@]}" apt-get update
"${asRoot[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y --no-install-recommends "${missing[@]}"
