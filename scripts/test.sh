#!/usr/bin/env bash
# Builds both trees and runs every test: the native window-free core (ASan/UBSan, fuzzers)
# and the Windows build under Wine in a virtual display.
#   scripts/test.sh                 everything, then the run command's real recording
#   scripts/test.sh -R CdibReader   only tests whose names match (passed on to ctest)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

# Each phase's wall time, printed at the end.
phases=()
phase_started=$SECONDS
phase_done() { # name
  phases+=("$(printf '%-46s %4d s' "$1" $((SECONDS - phase_started)))")
  phase_started=$SECONDS
}
print_phases() {
  echo "== phases"
  printf '   %s\n' "${phases[@]}"
  printf '   %-46s %4d s\n' "total" "$SECONDS"
}

# What building needs comes first; what running needs (Wine, Chromium, ffmpeg: most of the
# download) installs while the encoders' libraries and the trees build.
bash scripts/install-deps.sh --tools
phase_done "install build tools"
bash scripts/install-deps.sh --runtime >"${TMPDIR:-/tmp}/orvik-runtime-install.log" 2>&1 &
runtime_install=$!

jobs=$(nproc)
build=${ORVIK_BUILD_DIR:-build}
native=$build/native
win=$build/win
case $win in /*) ;; *) win=$root/$win ;; esac

bash scripts/build-codec-deps.sh
phase_done "encoder libraries (openh264, libavcodec)"
cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$native" -j "$jobs"
phase_done "native build (sanitizers, fuzzers)"
# Release: the program as it ships, and its tests build in half the time debug information takes.
cmake -S . -B "$win" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" >/dev/null
cmake --build "$win" -j "$jobs"
phase_done "Windows build"

if ! wait "$runtime_install"; then
  cat "${TMPDIR:-/tmp}/orvik-runtime-install.log" >&2
  echo "could not install what the tests run on" >&2
  exit 1
fi
phase_done "runtime packages (waited for)"

. scripts/wine-env.sh
. scripts/pulse-env.sh
. scripts/lanes.sh
trap 'orvik_lanes_down; orvik_stop_browser; orvik_stop_pulse' EXIT
status=0
# The native tests run while the lanes' Wine prefixes are made (mostly waiting on Wine).
echo "== native tests (sanitizers, fuzzers)"
(cd "$native" && ctest -j "$jobs" --output-on-failure --timeout 600 "$@") >"$native/ctest.log" 2>&1 &
native_tests=$!
# One sound server for the whole run: Wine's processes find it through PULSE_SERVER. The fast
# microphone is there from the start, since Wine reads the device list once per process.
orvik_start_pulse
orvik_pulse_add_fast_mic
orvik_pulse_add_paced_mic
orvik_lanes_up "$win"
orvik_start_browser
wait "$native_tests" || status=1
cat "$native/ctest.log"
phase_done "native tests, sound server and Wine lanes"

echo "== Windows tests under Wine, $ORVIK_LANES lanes"
(cd "$win" && ctest -j "$ORVIK_LANES" --resource-spec-file "$ORVIK_LANES_DIR/resources.json" \
  --output-on-failure --timeout 600 "$@") || status=1
phase_done "Windows tests"

if [ $# -eq 0 ]; then
  # The README's run command, as a user runs it: a real recording through the menus.
  echo "== run command: a short recording driven through the program's own windows"
  orvik_lanes_down
  orvik_stop_browser
  orvik_stop_pulse
  trap - EXIT
  demo=$(DISPLAY='' ORVIK_RUN_TREE=$win timeout 600 bash scripts/run.sh 2>&1) || true
  printf '%s\n' "$demo" | tail -n 40
  # Each file's video frame count (a sound stream has a frame count of its own): the MP4 of about
  # 5 s, then the lossless AVI of about 4 s.
  counts=($(printf '%s\n' "$demo" |
    awk -F= '/^codec_type=/ { type = $2 } /^nb_read_frames=/ && type == "video" { print $2 }'))
  if [ "${counts[0]:-0}" -lt 40 ] || [ "${counts[1]:-0}" -lt 30 ]; then
    echo "FAILED: the run command did not leave two playable recordings (frames: ${counts[*]:-none})"
    status=1
  fi
  if ! ffmpeg -v error -xerror -i "$root/out/demo.mp4" -f null - >/dev/null 2>&1; then
    echo "FAILED: ffmpeg -xerror finds errors in the run command's MP4"
    status=1
  fi
  if [ ! -s "$root/out/demo-contact-sheet.png" ]; then
    echo "FAILED: the run command wrote no contact sheet"
    status=1
  fi
  if ffprobe -v error -select_streams a -show_entries stream=index -of csv=p=0 \
    "$root/out/demo.mp4" 2>/dev/null | grep -q . && [ ! -s "$root/out/demo-waveform.png" ]; then
    echo "FAILED: the recording has sound, but the run command drew no waveform of it"
    status=1
  fi
  phase_done "run command"
fi
print_phases
exit $status
