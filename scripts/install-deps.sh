#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the run command need, then the encoders'
# libraries (cross-built once from Debian's source packages, see build-codec-deps.sh).
#   install-deps.sh            everything
#   install-deps.sh --tools    what building needs (compilers, CMake, the codecs' build tools)
#   install-deps.sh --runtime  what running needs (Wine, the X server, sound, ffmpeg, Chromium);
#                              the test command installs it while the build runs
# Safe to run again: apt-get skips what is already there, and the libraries are cached.
set -euo pipefail

# Named one by one, also what another package only recommends: a machine set up with
# --no-install-recommends (like CI's) has nothing else.
tools=(
  cmake make g++ git
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
  clang libclang-rt-14-dev zlib1g-dev
  googletest
  # What build-codec-deps.sh needs: dpkg-dev for apt-get source (dpkg-source unpacks and applies
  # Debian's patches), nasm for openh264's assembly.
  dpkg-dev nasm
)
runtime=(
  # Wine, its own fonts (without them every Latin letter is a box) and the X libraries its
  # display driver loads at run time (cursor, screen size, input, text rendering).
  wine64 fonts-wine
  libxcursor1 libxrandr2 libxi6 libxinerama1 libxrender1 libxfixes3 libxcomposite1
  xvfb xauth xdotool x11-utils
  ffmpeg imagemagick
  # A private sound server for the sound tests and the demo (pulseaudio; pactl, pacat and
  # paplay from pulseaudio-utils) and sox to make and measure their sounds. Wine's own
  # PulseAudio driver needs nothing more: libpulse0 is a hard dependency of wine64's libwine,
  # and so is everything its winepulse.so links. What pulseaudio only recommends (rtkit,
  # dbus-user-session) serves a desktop session: ours runs without real-time priority or D-Bus.
  pulseaudio pulseaudio-utils sox
  # The paced microphone's feeder (scripts/paced-feed.py), for the sync tests.
  python3
  # A real browser that plays our MP4 files headless (tests/support/browser_play.py).
  chromium
  # What Wine's Media Foundation reads MP4 through (its demuxer and the H.264 and AAC decoders
  # come from GStreamer): without these MFCreateSourceReaderFromURL fails with E_FAIL.
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  fonts-droid-fallback
)

missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

# Installs what of the given packages is missing. The package lists are fetched first only when
# an install without them fails (a brand-new machine has none; a machine set up before has them).
install() {
  local wanted
  mapfile -t wanted < <(missing "$@")
  [ ${#wanted[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  if ! $sudo apt-get install -y -qq --no-install-recommends "${wanted[@]}" >/dev/null 2>&1; then
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${wanted[@]}"
  fi
}

case ${1:-all} in
  --tools) install "${tools[@]}" ;;
  --runtime) install "${runtime[@]}" ;;
  all)
    install "${tools[@]}" "${runtime[@]}"
    bash "$(dirname "${BASH_SOURCE[0]}")/build-codec-deps.sh"
    ;;
  *)
    echo "usage: install-deps.sh [--tools | --runtime]" >&2
    exit 2
    ;;
esac
