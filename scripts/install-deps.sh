#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the run command need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

# Named one by one, also what another package only recommends: a machine set up with
# --no-install-recommends (like CI's) has nothing else.
packages=(
  cmake make g++ git
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
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
  clang libclang-rt-14-dev zlib1g-dev
  googletest
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
