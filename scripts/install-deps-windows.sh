#!/usr/bin/env bash
# Installs what the Windows build (mingw-w64, tested under Wine) needs on Debian 12, and fetches the
# sources of the libraries Debian has no mingw package for (minizip, libdeflate, nettle) into
# build-windows/third_party/, where cmake/ThirdPartyWindows.cmake builds them. The sources come
# through apt-get source with a source list, package lists and cache of their own, so the machine's
# apt set-up is left as it was.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine
  nsis                           # makensis: the installer
  googletest nlohmann-json3-dev  # built and included from their Debian sources and headers
  dpkg-dev                       # dpkg-source: unpacks what apt-get source fetches
)
source_packages=(minizip libdeflate nettle)
third_party=build-windows/third_party

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq "${missing[@]}"
fi

fetch=()
for package in "${source_packages[@]}"; do
  [ -d "$third_party/$package" ] || fetch+=("$package")
done
[ ${#fetch[@]} -eq 0 ] && exit 0

apt_dir=$(mktemp -d)
trap 'rm -rf "$apt_dir"' EXIT
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/unpack"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
cat >"$apt_dir/sources.list" <<EOF
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm main
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm-updates main
deb-src [signed-by=$keyring] http://deb.debian.org/debian-security bookworm-security main
EOF
private_apt=(
  -o "Dir::Etc::sourcelist=$apt_dir/sources.list" -o Dir::Etc::sourceparts=/dev/null
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
  # Fetched and unpacked as the calling user, in a folder apt's sandbox user cannot read.
  -o APT::Sandbox::User="$(id -un)"
)
apt-get "${private_apt[@]}" update -qq
(cd "$apt_dir/unpack" && apt-get "${private_apt[@]}" source -qq "${fetch[@]}")

mkdir -p "$third_party"
for package in "${fetch[@]}"; do
  unpacked=$(find "$apt_dir/unpack" -mindepth 1 -maxdepth 1 -type d -name "$package-*")
  if [ "$(wc -l <<<"$unpacked")" -ne 1 ] || [ -z "$unpacked" ]; then
    echo "install-deps-windows: no single unpacked source folder for $package" >&2
    exit 1
  fi
  mv "$unpacked" "$third_party/$package"
done
