#!/usr/bin/env bash
# Builds the Windows tree and runs every benchmark under Wine in a virtual display, printing
# their figures. Benchmarks measure; they assert nothing and are not CTest tests.
#   scripts/bench.sh              every bench/*.exe
#   scripts/bench.sh avi_frame    only those whose names contain the word
#   scripts/bench.sh capture sound   and of their variants only those ending in the second word
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
. scripts/wine-env.sh
. scripts/pulse-env.sh

build=${ORVIK_BUILD_DIR:-build}
case $build in /*) ;; *) build=$root/$build ;; esac
win=$build/win
filter=${1:-}
only=${2:-}

cmake -S . -B "$win" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" >/dev/null

trap 'orvik_stop_all; orvik_stop_pulse' EXIT
orvik_start_xvfb
# The sound variant records from this server's devices.
orvik_start_pulse
orvik_prefix_init "$win/wineprefix"
orvik_start_wineserver
cmake --build "$win" -j "$(nproc)"

status=0
found=0
for exe in "$win"/bench/*.exe; do
  [ -e "$exe" ] || continue
  name=$(basename "$exe" .exe)
  case $name in *"$filter"*) ;; *) continue ;; esac
  found=1
  # The whole-recording bench runs with our codec at 10 and 30 fps on its own scene (text beside
  # a 640x360 video playing, as people record), beside the bare screen copy and ffmpeg's
  # lossless encoders, then uncompressed at 10 fps, then on the demo scene without and with
  # sound, then with clicks shown off and on, then with keys shown off and on, then with the main
  # window minimized and restored, then at 10 and 30 fps as MP4 beside our lossless AVI and the
  # bare copy, on the demo scene and on the empty desktop where nothing moves, then a part of its
  # own scene's window followed while it moves, beside the same part recorded as a plain area.
  variants=("")
  scene="Z:${win//\//\\}\\demo\\OrvikDemoScene.exe"
  video="Z:${win//\//\\}\\bench\\scenes\\OrvikVideoScene.exe"
  [ "$name" = capture_bench ] &&
    variants=("10 orvik $video" "30 orvik $video" "10 raw" "10 orvik $scene sound"
      "10 orvik $scene clicks" "10 orvik $scene keys" "10 orvik $scene face" "10,30 orvik $scene mp4" "10,30 orvik still mp4"
      "10 orvik $video follow")
  for args in "${variants[@]}"; do
    [ -z "$only" ] || [ "${args##* }" = "$only" ] || continue
    echo "== $name $args"
    # shellcheck disable=SC2086  # the variant's words are separate arguments
    ORVIK_RUN_TIMEOUT=3600 "$root/cmake/wine-run.sh" "$exe" $args 2>&1 | grep -v '^fixme:' ||
      status=1
  done
done
[ $found = 1 ] || { echo "no benchmark matches '$filter'" >&2; exit 1; }
exit $status
