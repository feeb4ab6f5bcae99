#!/usr/bin/env bash
# Installs what building and testing need on Debian (12 or later).
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  zlib1g-dev libminizip-dev libdeflate-dev nettle-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libxcb1-dev
  clang-14 libclang-rt-14-dev clang-format
  dpkg-dev  # dpkg-shlibdeps: the Debian package's dependencies (scripts/package.sh)
  xvfb x11-utils  # the window tests on a real X server: Xvfb, and xprop to read its titles
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}"
