#!/usr/bin/env bash
# Builds Orvik and runs it under Wine.
# - With a working display: starts the program there and waits until it is closed.
# - Without one: starts a virtual display, puts a moving demo scene on it (a clock, a
#   bouncing ball, marching bars, Latin and Chinese text), makes a real 5-second recording of
#   it by driving the program as a person would (the menu, the save dialog, stop), with the
#   system's sound (a private sound server's speakers, into which the scene
#   ticks every second), as MP4, then a second one as lossless AVI (the codec dialog too);
#   writes a contact sheet of six frames of the MP4, a picture of its sound and one of the
#   program's main window showing the MP4 just made (also docs/main-window.png, the README's
#   picture, when run by hand), and prints where the files, a screenshot and these are and what
#   ffprobe says of the files.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
. scripts/wine-env.sh
. scripts/pulse-env.sh

# ORVIK_RUN_TREE: an already configured Windows build tree to take the program from (the
# test script passes its own, so the program is not built twice).
build=${ORVIK_RUN_TREE:-${ORVIK_BUILD_DIR:-build}/run}
if [ -z "${ORVIK_RUN_TREE:-}" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target Orvik OrvikDemoScene
case $build in /*) ;; *) build=$root/$build ;; esac
exe="$build/frame/Orvik.exe"
scene="$build/demo/OrvikDemoScene.exe"
orvik_prefix_init "$build/wineprefix"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "Starting Orvik on $DISPLAY"
  exec "$ORVIK_WINE" "$exe"
fi

out="$root/out"
mkdir -p "$out"
video="$out/demo.mp4"
lossless="$out/demo-lossless.avi"
shot="$out/demo-recording.png"
sheet="$out/demo-contact-sheet.png"
waveform="$out/demo-waveform.png"
window_shot="$out/main-window.png"
rm -f "$video" "$lossless" "$shot" "$sheet" "$waveform" "$window_shot" "$out/LICENSE" \
  "$out/THIRD-PARTY-NOTICES" "$out/COPYING.LGPLv2.1"

trap 'kill "${app:-0}" "${demo:-0}" 2>/dev/null || true; orvik_stop_all; orvik_stop_pulse' EXIT
export ORVIK_SCREEN=${ORVIK_SCREEN:-1280x720x24}
orvik_start_xvfb
# The scene's ticks play into this server's speakers, whose monitor is the system sound here.
orvik_start_pulse
orvik_start_wineserver
orvik_prefix_without_browser
# The program records the system's sound beside the picture. Wine's default output here is
# its "PulseAudio" device, which has no monitor of its own name: the speakers' monitor is named.
timeout 60 "$ORVIK_WINE" reg add 'HKCU\Software\Orvik' /v Sound /d system /f >/dev/null 2>&1 ||
  true
timeout 60 "$ORVIK_WINE" reg add 'HKCU\Software\Orvik' /v SystemSoundDevice \
  /d 'Monitor of Speakers' /f >/dev/null 2>&1 || true
echo "No display: recording a demo scene on a virtual display ($DISPLAY): 5 s as MP4, 4 s as lossless AVI"

# Every wait is bounded: a window that never comes fails the run instead of hanging it.
wait_window() {  # title regex
  timeout 30 xdotool search --sync --onlyvisible --name "$1" | head -n 1
}

# Something worth recording under the program's window: the scene fills the screen.
"$ORVIK_WINE" "$scene" >/dev/null 2>&1 &
demo=$!
wait_window '^Orvik demo scene$' >/dev/null

"$ORVIK_WINE" "$exe" >/dev/null 2>&1 &
app=$!
frame=$(wait_window '^Orvik Screen Recorder')
sleep 1

# One recording through the menus into `$1` (its extension picks the format), lasting about
# `$2` seconds. An AVI asks for its codec in the system's dialog, which opens on our lossless
# codec; an MP4 starts at once.
record() {
  local file=$1 seconds=$2
  # 文件(F) > 开始: the menu opens on its first entry.
  xdotool key --delay 150 alt+f Return
  local save
  save=$(wait_window '^保存文件$')
  sleep 0.5
  xdotool windowfocus --sync "$save"
  xdotool key ctrl+a
  xdotool type --delay 20 "Z:${file//\//\\}"
  xdotool key Return
  if [ "${file##*.}" = avi ]; then
    local codec
    codec=$(wait_window '^Video Compression$')
    sleep 0.5
    xdotool windowfocus --sync "$codec"
    xdotool key Return
  fi

  echo "Recording $(basename "$file")..."
  local started
  started=$(date +%s.%N)
  # Something to see: the pointer (painted into every frame) draws a slow circle.
  for a in $(seq 0 10 350); do
    xdotool mousemove "$(awk -v a="$a" 'BEGIN { print int(640 + 200 * cos(a * 3.14159 / 180)) }')" \
      "$(awk -v a="$a" 'BEGIN { print int(360 + 200 * sin(a * 3.14159 / 180)) }')"
    sleep 0.05
  done
  [ "$file" = "$video" ] && import -window root -display "$DISPLAY" "$shot"
  # Restoring the window and choosing 停止 take about three seconds.
  sleep "$(echo "$started" | awk -v s="$seconds" -v now="$(date +%s.%N)" \
    '{ t = s - 3.0 - (now - $1); print (t > 0 ? t : 0) }')"

  # The window went to the task bar when the recording started. Without a window manager
  # there is no task bar: the window menu (Alt+Space), whose first entry is Restore, brings it
  # back; Wine shows that menu only once the next key arrives, hence Return until it is back.
  xdotool key alt+space
  for _ in 1 2 3 4 5; do
    sleep 1
    [ "$(frame_width)" -gt 300 ] && break
    xdotool key Return
  done
  sleep 0.5
  # 文件(F) > 停止 (the third entry).
  xdotool key --delay 150 alt+f Down Down Return
  sleep 2
}
frame_width() { xdotool getwindowgeometry --shell "$frame" | awk -F= '/^WIDTH=/ { print $2 }'; }

# The main window as the README shows it: restored after a stop, its face showing the recording
# just made. At most 640 pixels wide, without the metadata that would change its bytes on every
# run, and in 256 colours should it come out larger than a README's picture should be.
shoot_main_window() {
  local raw
  raw=$(mktemp --suffix=.png)
  if import -window "$frame" -display "$DISPLAY" "$raw" 2>/dev/null; then
    convert "$raw" -resize '640x>' -strip "$window_shot" || true
    if [ -s "$window_shot" ] && [ "$(stat -c %s "$window_shot")" -gt 150000 ]; then
      convert "$raw" -resize '640x>' -strip -colors 256 "PNG8:$window_shot" || true
    fi
  fi
  rm -f "$raw"
  # The test run takes its own picture but leaves the committed one alone.
  if [ -s "$window_shot" ] && [ -z "${ORVIK_RUN_TREE:-}" ]; then
    cp "$window_shot" "$root/docs/main-window.png"
  fi
}

record "$video" 5
shoot_main_window
record "$lossless" 4
# 文件(F) > 退出 ends the program.
xdotool key --delay 150 alt+f Down Down Down Return
timeout 20 tail --pid="$app" -f /dev/null || true
kill "$demo" 2>/dev/null || true

# Six frames spread over the recording, side by side, a third of their size.
ffmpeg -v error -y -i "$video" \
  -vf "select='not(mod(n\,9))',scale=iw/3:-1,tile=3x2:margin=6:padding=6:color=white" \
  -frames:v 1 "$sheet" || true

# The sound as a picture: the scene's ticks stand a second apart, as its header flashes do.
has_sound() {
  ffprobe -v error -select_streams a -show_entries stream=index -of csv=p=0 "$video" 2>/dev/null |
    grep -q .
}
if has_sound; then
  ffmpeg -v error -y -i "$video" -filter_complex \
    "[0:a:0]showwavespic=s=1280x240:split_channels=1:colors=0x2060c0|0xc06020[wave];
     color=white:s=1280x240[paper];[paper][wave]overlay=format=auto" \
    -frames:v 1 "$waveform" || true
  if [ -s "$waveform" ]; then
    sound_line="Waveform of the recording's sound (a tick every second): $waveform"
  else
    sound_line="The recording has a sound stream, but ffmpeg could not draw its waveform."
  fi
else
  sound_line="The recording has no sound stream, so no waveform was drawn."
fi

# The licences that travel with the program, beside what it made.
for notice in LICENSE THIRD-PARTY-NOTICES COPYING.LGPLv2.1; do
  if [ -f "$(dirname "$exe")/$notice" ]; then cp "$(dirname "$exe")/$notice" "$out/"; fi
done

echo
echo "Recording (MP4: H.264 + AAC): $video"
echo "The same scene, lossless (AVI, our codec): $lossless"
echo "Screenshot during the recording: $shot"
if [ -s "$window_shot" ]; then
  echo "The main window after the MP4's stop: $window_shot"
else
  echo "The main window's picture could not be taken."
fi
echo "Contact sheet (frames 0, 9, 18, 27, 36 and 45): $sheet"
echo "$sound_line"
for f in "$video" "$lossless"; do
  echo "ffprobe says of $(basename "$f"):"
  ffprobe -v error -count_frames -show_entries \
    stream=codec_type,codec_name,width,height,r_frame_rate,nb_read_frames:format=duration,size \
    -of default=nw=1 "$f"
done
