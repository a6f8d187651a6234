#!/usr/bin/env bash
# Installs what the 32-bit x86 build (cmake/i386.cmake) needs on a 64-bit
# Debian 12 host, only what is missing.
# Usage: bash scripts/install-i386-deps.sh [DEPS-DIR]   (default: build-i386/deps)
#
# System-wide, through Debian multiarch: the 32-bit compiler support, GoogleTest
# and a 32-bit JDK (its JVM runs the Java check), and libsbml's 32-bit runtime.
# These packages are co-installable with their 64-bit versions.
#
# BuDDy and CaDiCaL are not: installing libbdd-dev:i386 or libcadical-dev:i386
# removes the 64-bit package that the other builds use. So their 32-bit
# packages are downloaded and unpacked into DEPS-DIR instead
# (DEPS-DIR/usr/include, DEPS-DIR/usr/lib/i386-linux-gnu), where
# cmake/i386.cmake looks for them; nothing is installed system-wide.
# DEPS-DIR also gets the link name of libsbml's 32-bit runtime (see below).
set -euo pipefail
depsDir="$(realpath -m "${1:-$(dirname "$0")/../build-i386/deps}")"
source "$(dirname "${BASH_SOURCE[0]}")/as-root.sh"
cd "$(dirname "$0")/.."

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "adding the i386 architecture"
  "${asRoot[@]}" dpkg --add-architecture i386
  bash scripts/update-package-index.sh
fi

# A 32-bit package must have the same version as its installed 64-bit twin,
# so apt may upgrade some 64-bit packages too; it never removes any.
bash scripts/install-deps.sh g++-multilib libgtest-dev:i386 openjdk-17-jdk-headless:i386 \
  libsbml5:i386

# BuDDy and CaDiCaL (a static library only), privately. The stamp names the
# unpacked versions, so a newer Debian package is unpacked afresh.
buddyPackages=(libbdd0c2:i386 libbdd-dev:i386 libcadical-dev:i386)
versions="$(apt-cache policy "${buddyPackages[@]}" | awk '/Candidate:/ {print $2}' | tr '\n' ' ')"
if [ -z "${versions// /}" ] || [[ "$versions" == *"(none)"* ]]; then
  bash scripts/update-package-index.sh
  versions="$(apt-cache policy "${buddyPackages[@]}" | awk '/Candidate:/ {print $2}' | tr '\n' ' ')"
fi
stamp="$depsDir/unpacked"
libDir="$depsDir/usr/lib/i386-linux-gnu"
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$versions" ] || [ ! -e "$libDir/libbdd.so" ] ||
   [ ! -e "$libDir/libcadical.a" ]; then
  echo "unpacking BuDDy and CaDiCaL for i386 ($versions) into $depsDir"
  rm -rf "$depsDir"
  mkdir -p "$depsDir"
  download="$(mktemp -d)"
  trap 'rm -rf "$download"' EXIT
  # As root, apt downloads as its own user, which must own the folder.
  if [ "$(id -u)" -eq 0 ] && id _apt > /dev/null 2>&1; then
    chown _apt "$download"
  fi
  (cd "$download" && apt-get download "${buddyPackages[@]}")
  for deb in "$download"/*.deb; do
    dpkg-deb -x "$deb" "$depsDir"
  done
  echo "$versions" > "$stamp"
fi

# libsbml: its 32-bit runtime is installed above, and its headers are the
# same for every architecture (those of the 64-bit libsbml5-dev serve), but
# the link name libsbml.so comes only with libsbml5-dev:i386, which would
# replace the 64-bit libsbml5-dev. The deps folder gets that one link, so
# that a 32-bit find_library(... NAMES sbml) finds the runtime.
ln -sfn /usr/lib/i386-linux-gnu/libsbml.so.5 "$libDir/libsbml.so"
