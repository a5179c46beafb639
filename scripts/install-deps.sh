#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the run command need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  cmake make g++ git
  g++-mingw-w64-x86-64-posix
  wine64 xvfb xdotool x11-utils
  ffmpeg imagemagick
  fonts-droid-fallback
  clang libclang-rt-14-dev
  googletest
  python3
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
