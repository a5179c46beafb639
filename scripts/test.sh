#!/usr/bin/env bash
# Builds both trees and runs every test: the native window-free core (ASan/UBSan, fuzzers)
# and the Windows build under Wine in a virtual display.
#   scripts/test.sh                 everything, then the run command's real recording
#   scripts/test.sh -R CdibReader   only tests whose names match (passed on to ctest)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
. scripts/wine-env.sh
. scripts/pulse-env.sh

jobs=$(nproc)
build=${ORVIK_BUILD_DIR:-build}
native=$build/native
win=$build/win

cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$native" -j "$jobs"
cmake -S . -B "$win" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" >/dev/null

trap 'orvik_stop_all; orvik_stop_pulse' EXIT
orvik_start_xvfb
# One sound server for the whole run: Wine's processes find it through PULSE_SERVER. The fast
# microphone is there from the start, since Wine reads the device list once per process.
orvik_start_pulse
orvik_pulse_add_fast_mic
orvik_pulse_add_paced_mic
case $win in /*) ;; *) win=$root/$win ;; esac
orvik_prefix_init "$win/wineprefix"
orvik_start_wineserver
orvik_prefix_without_browser
# The tests at other scalings run in prefixes of their own, each with its server.
for dpi in $ORVIK_TEST_DPIS; do
  orvik_dpi_prefix_init "$win/wineprefix" "$dpi"
  orvik_start_wineserver
  orvik_prefix_without_browser
done
export WINEPREFIX=$win/wineprefix
# Test discovery runs during the build, so the display and the server must be up first.
cmake --build "$win" -j "$jobs"

status=0
echo "== native tests (sanitizers, fuzzers)"
(cd "$native" && ctest --output-on-failure --timeout 600 "$@") || status=1
echo "== Windows tests under Wine (DISPLAY=$DISPLAY)"
(cd "$win" && ctest --output-on-failure --timeout 600 "$@") || status=1

if [ $# -eq 0 ]; then
  # The README's run command, as a user runs it: a real recording through the menus.
  echo "== run command: a short recording driven through the program's own windows"
  orvik_stop_all
  orvik_stop_pulse
  trap - EXIT
  demo=$(DISPLAY='' ORVIK_RUN_TREE=$win timeout 600 bash scripts/run.sh 2>&1) || true
  printf '%s\n' "$demo" | tail -n 20
  # The video's frames: a sound stream has a frame count of its own.
  frames=$(printf '%s\n' "$demo" |
    awk -F= '/^codec_type=/ { type = $2 } /^nb_read_frames=/ && type == "video" { print $2 }')
  if [ "${frames:-0}" -lt 40 ]; then
    echo "FAILED: the run command did not leave a playable recording"
    status=1
  fi
  if [ ! -s "$root/out/demo-contact-sheet.png" ]; then
    echo "FAILED: the run command wrote no contact sheet"
    status=1
  fi
  if ffprobe -v error -select_streams a -show_entries stream=index -of csv=p=0 \
    "$root/out/demo.avi" 2>/dev/null | grep -q . && [ ! -s "$root/out/demo-waveform.png" ]; then
    echo "FAILED: the recording has sound, but the run command drew no waveform of it"
    status=1
  fi
fi
exit $status
