#!/usr/bin/env bash
# Builds both trees and runs every test: the native window-free core (ASan/UBSan, fuzzers)
# and the Windows build under Wine in a virtual display.
#   scripts/test.sh                 everything
#   scripts/test.sh -R CdibReader   only tests whose names match (passed on to ctest)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
. scripts/wine-env.sh

jobs=$(nproc)
build=${ORVIK_BUILD_DIR:-build}
native=$build/native
win=$build/win

cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$native" -j "$jobs"
cmake -S . -B "$win" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" >/dev/null

trap orvik_stop_all EXIT
orvik_start_xvfb
case $win in /*) ;; *) win=$root/$win ;; esac
orvik_prefix_init "$win/wineprefix"
orvik_start_wineserver
# Test discovery runs during the build, so the display and the server must be up first.
cmake --build "$win" -j "$jobs"

status=0
echo "== native tests (sanitizers, fuzzers)"
(cd "$native" && ctest --output-on-failure --timeout 600 "$@") || status=1
echo "== Windows tests under Wine (DISPLAY=$DISPLAY)"
(cd "$win" && ctest --output-on-failure --timeout 600 "$@") || status=1
exit $status
