# shellcheck shell=bash
# Sourced by the other scripts (and by the Windows tests' helpers, through bash): a private
# PulseAudio sound server for one run, with the devices the sound tests and the demo record.
#   speakers      null sink, 48 kHz stereo, the default sink; Wine lists its monitor as the
#                 capture device "Monitor of Speakers": what "system sound" records here, since
#                 this Wine refuses WASAPI loopback
#   headphones    null sink, 48 kHz stereo, "Headphones": an output the default can change to
#   micsink       null sink, 48 kHz mono, remapped as the default source "Microphone" (mic)
#   fastmic_feed  optional (orvik_pulse_add_fast_mic): a microphone "Fast Microphone" whose
#                 samples arrive 1000 ppm faster than it says, as a real device's clock drifts
#   surround51, surround71, quad
#                 optional (orvik_pulse_add_surround): surround outputs, for a test to add
# Sounds go in with orvik_pulse_play (orvik_pulse_play_channels for a surround output). Every
# process this starts is ended by its PID.

ORVIK_PULSE_RATE=48000
ORVIK_PULSE_FAST_RATE=48048 # +1000 ppm
ORVIK_PULSE_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# pactl, bounded: a server that hangs must fail the run, not hold it.
orvik_pulse_ctl() {
  timeout 5 pactl "$@" </dev/null
}

# Starts the server, its devices and the keep-alive streams, and waits until both sinks'
# monitors deliver sound at once. Sets ORVIK_PULSE_PID; exports what clients (Wine's
# processes among them) need to find the server and no other.
orvik_start_pulse() {
  ORVIK_PULSE_PID=""
  ORVIK_PULSE_DIR=$(mktemp -d /tmp/orvik-pulse.XXXXXX)
  local d=$ORVIK_PULSE_DIR
  # mktemp made the folder private (0700), and so everything in it.
  mkdir -p "$d/run" "$d/pids" "$d/cfg/pulse"
  # Fixed rates: with the defaults a sink's rate flips between 44.1 and 48 kHz between runs.
  # memfd blocks make the server log an error for every packet a client records.
  printf '%s\n' "default-sample-rate = $ORVIK_PULSE_RATE" \
    "alternate-sample-rate = $ORVIK_PULSE_RATE" "enable-memfd = no" >"$d/daemon.conf"
  # No autospawn: a client whose server has gone must fail, not start a stranger one.
  printf 'autospawn = no\n' >"$d/client.conf"
  cat >"$d/server.pa" <<EOF
load-module module-native-protocol-unix auth-anonymous=1 socket=$d/run/native
load-module module-null-sink sink_name=speakers rate=$ORVIK_PULSE_RATE channels=2 sink_properties=device.description=Speakers
load-module module-null-sink sink_name=micsink rate=$ORVIK_PULSE_RATE channels=1 sink_properties='device.description="Microphone feed"'
load-module module-null-sink sink_name=headphones rate=$ORVIK_PULSE_RATE channels=2 sink_properties=device.description=Headphones
load-module module-remap-source source_name=mic master=micsink.monitor source_properties=device.description=Microphone
set-default-sink speakers
set-default-source mic
EOF
  export PULSE_SERVER="unix:$d/run/native"
  export PULSE_COOKIE="$d/cfg/pulse/cookie" PULSE_CLIENTCONFIG="$d/client.conf"
  export ORVIK_PULSE_DIR=$d ORVIK_PULSE_ENV="$ORVIK_PULSE_HERE/pulse-env.sh"
  # The server's own files stay in the scratch folder, never in $HOME. It ends with the shell
  # that started it, should that be killed before it could stop it (and its clients with it).
  XDG_RUNTIME_DIR="$d/run" XDG_CONFIG_HOME="$d/cfg" HOME="$d" PULSE_CONFIG="$d/daemon.conf" \
    setpriv --pdeathsig TERM pulseaudio -n -F "$d/server.pa" --daemonize=no --use-pid-file=no \
    --system=no --exit-idle-time=-1 --high-priority=no --realtime=no \
    --log-target="file:$d/server.log" </dev/null >/dev/null 2>&1 &
  ORVIK_PULSE_PID=$!
  echo "$ORVIK_PULSE_PID" >"$d/server.pid"
  local i
  for i in $(seq 1 100); do
    orvik_pulse_ctl info >/dev/null 2>&1 && break
    if ! orvik_pulse_alive "$ORVIK_PULSE_PID" || [ "$i" = 100 ]; then
      echo "PulseAudio did not start; its log ($d/server.log):" >&2
      tail -n 5 "$d/server.log" >&2 2>/dev/null || true
      orvik_stop_pulse
      return 1
    fi
    sleep 0.05
  done
  orvik_pulse_keep_alive speakers 2
  orvik_pulse_keep_alive micsink 1
  orvik_pulse_keep_alive headphones 2
  if ! orvik_pulse_warm_up speakers.monitor 2 || ! orvik_pulse_warm_up mic 1 ||
    ! orvik_pulse_warm_up headphones.monitor 2; then
    orvik_stop_pulse
    return 1
  fi
}

# An idle null sink renders in 2-second blocks, so its monitor read from cold gives nothing
# for up to 2 s: a silent stream into it keeps it rendering in short blocks.
orvik_pulse_keep_alive() { # sink channels
  pacat -p -d "$1" --latency-msec=20 --format=s16le --rate="$ORVIK_PULSE_RATE" \
    --channels="$2" --client-name="orvik keep-alive" /dev/zero </dev/null >/dev/null 2>&1 &
  echo $! >"$ORVIK_PULSE_DIR/pids/pacat.keep-alive-$1"
}

# Waits until a source delivers its first 20 ms: the last idle block has then ended, and from
# now on it answers at once.
orvik_pulse_warm_up() { # source channels
  local bytes=$((ORVIK_PULSE_RATE * 2 * $2 / 50)) got
  got=$({ timeout 5 parec -d "$1" --raw --format=s16le --rate="$ORVIK_PULSE_RATE" \
    --channels="$2" --latency-msec=20 2>/dev/null || true; } | head -c "$bytes" | wc -c)
  if [ "$got" -lt "$bytes" ]; then
    echo "PulseAudio's source $1 delivered no sound within 5 s" >&2
    return 1
  fi
}

# True while the process runs. A process whose parent has gone waits as a zombie until the
# container's first process reaps it, so a signal test alone would call it alive.
orvik_pulse_alive() { # pid
  local state
  state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}

# Ends a process by its PID, if it still runs the program it was started as (a PID left
# in a file may by now belong to another), and waits (bounded) until it is gone.
orvik_pulse_end() { # pid program
  [ -n "$1" ] && orvik_pulse_alive "$1" || return 0
  [ "$(cat "/proc/$1/comm" 2>/dev/null)" = "$2" ] || return 0
  kill "$1" 2>/dev/null || return 0
  local i
  for i in $(seq 1 40); do
    orvik_pulse_alive "$1" || return 0
    sleep 0.05
  done
  kill -9 "$1" 2>/dev/null || true
}

# Ends every player and keep-alive stream a helper started, and then the server (let go on
# first, should a test have left it stopped).
orvik_stop_pulse() {
  local d=${ORVIK_PULSE_DIR:-} f
  [ -n "$d" ] && [ -d "$d" ] || return 0
  orvik_pulse_thaw
  # Each file is named after the program it started: program.what
  for f in "$d"/pids/*; do
    [ -f "$f" ] && orvik_pulse_end "$(cat "$f")" "$(basename "${f%%.*}")"
  done
  orvik_pulse_end "$(cat "$d/server.pid" 2>/dev/null)" pulseaudio
  wait "${ORVIK_PULSE_PID:-}" 2>/dev/null || true
  rm -rf "$d"
  ORVIK_PULSE_PID=""
  unset ORVIK_PULSE_DIR PULSE_SERVER PULSE_COOKIE PULSE_CLIENTCONFIG
}

# A microphone whose clock runs fast: a pipe source reading a FIFO that PulseAudio's own pipe
# sink writes at a real 48048 samples a second by the system clock, while the source says
# 48000. What is played into the sink fastmic_feed is what the microphone hears (silence
# otherwise). Optional arguments: a sound to play into it at once (see orvik_pulse_play).
# Wine reads the device list once, when a process first uses sound: add it before that.
orvik_pulse_add_fast_mic() { # [sound...]
  local d=$ORVIK_PULSE_DIR
  if ! orvik_pulse_ctl list short sources | grep -q $'\tfastmic\t'; then
    rm -f "$d/fastmic.fifo"
    # The source makes the FIFO and refuses one that exists; the sink takes it as it is.
    if ! orvik_pulse_ctl load-module module-pipe-source source_name=fastmic \
      file="$d/fastmic.fifo" format=s16le rate="$ORVIK_PULSE_RATE" channels=1 \
      "source_properties='device.description=\"Fast Microphone\"'" >"$d/fastmic.modules" ||
      ! orvik_pulse_ctl load-module module-pipe-sink sink_name=fastmic_feed \
        file="$d/fastmic.fifo" format=s16le rate="$ORVIK_PULSE_FAST_RATE" channels=1 \
        use_system_clock_for_timing=yes \
        "sink_properties='device.description=\"Fast Microphone feed\"'" >>"$d/fastmic.modules"
    then
      echo "PulseAudio refused the fast microphone's modules" >&2
      orvik_pulse_remove_fast_mic
      return 1
    fi
    # Idle, the pipe sink writes in blocks of some 40 ms; a stream keeps them short.
    orvik_pulse_keep_alive fastmic_feed 1
    orvik_pulse_warm_up fastmic 1 || return 1
  fi
  [ $# -eq 0 ] || orvik_pulse_play fastmic_feed "$@"
}

# "Paced Microphone": a source whose samples come from scripts/paced-feed.py, which writes them
# at a real rate it is given (48048 Hz for a clock 1000 ppm fast) with clicks at instants of the
# clock Wine's programs read: a sync test knows where each click belongs. It gives nothing while
# no feeder runs.
orvik_pulse_add_paced_mic() {
  local d=$ORVIK_PULSE_DIR
  orvik_pulse_ctl list short sources | grep -q $'\tpacedmic\t' && return 0
  rm -f "$d/pacedmic.fifo"
  orvik_pulse_ctl load-module module-pipe-source source_name=pacedmic file="$d/pacedmic.fifo" \
    format=s16le rate="$ORVIK_PULSE_RATE" channels=1 \
    "source_properties='device.description=\"Paced Microphone\"'" >"$d/pacedmic.module"
}

# Feeds the paced microphone at RATE until the clock reaches UNTIL, with clicks at each
# CLICK_AT (all in seconds of CLOCK_MONOTONIC_RAW, which Wine's QueryPerformanceCounter reads);
# prints the feeder's PID.
orvik_pulse_feed_paced_mic() { # rate until [click_at...]
  python3 "$ORVIK_PULSE_HERE/paced-feed.py" "$ORVIK_PULSE_DIR/pacedmic.fifo" "$@" \
    </dev/null >/dev/null 2>&1 &
  echo $! >"$ORVIK_PULSE_DIR/pids/python3.paced-feed-$!"
  echo $!
}

# Stops the server as a hung driver or a wedged device would stop answering (SIGSTOP), for
# SECONDS at most: a guard lets it go on then, whatever becomes of the caller.
# orvik_pulse_thaw lets it go on at once.
orvik_pulse_freeze() { # seconds
  local pid
  pid=$(cat "$ORVIK_PULSE_DIR/server.pid" 2>/dev/null) || return 1
  [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = pulseaudio ] || return 1
  kill -STOP "$pid" || return 1
  sh -c "sleep $1; kill -CONT $pid" </dev/null >/dev/null 2>&1 &
  echo $! >"$ORVIK_PULSE_DIR/pids/sh.thaw-guard"
}

orvik_pulse_thaw() {
  local d=$ORVIK_PULSE_DIR pid
  pid=$(cat "$d/server.pid" 2>/dev/null) || return 0
  [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = pulseaudio ] && kill -CONT "$pid"
  orvik_pulse_end "$(cat "$d/pids/sh.thaw-guard" 2>/dev/null)" sh
  rm -f "$d/pids/sh.thaw-guard"
}

# The description of the default sink ("Speakers"), as Wine names the output.
orvik_pulse_default_output() {
  local sink
  sink=$(orvik_pulse_ctl get-default-sink) || return 1
  orvik_pulse_ctl list sinks | awk -v sink="$sink" '
    $1 == "Name:" { name = $2 }
    $1 == "Description:" && name == sink { sub(/^[ \t]*Description: /, ""); print; exit }'
}

# Makes the speakers the default output again. Streams that did not choose their sink follow
# the default (the keep-alive streams among them): the headphones' keep-alive plays into them
# again.
orvik_pulse_restore_default_output() {
  orvik_pulse_ctl set-default-sink speakers || return 1
  orvik_pulse_end "$(cat "$ORVIK_PULSE_DIR/pids/pacat.keep-alive-headphones" 2>/dev/null)" pacat
  orvik_pulse_keep_alive headphones 2
  orvik_pulse_warm_up headphones.monitor 2
}

orvik_pulse_remove_fast_mic() {
  local d=${ORVIK_PULSE_DIR:-} m
  [ -f "$d/fastmic.modules" ] || return 0
  orvik_pulse_end "$(cat "$d/pids/pacat.keep-alive-fastmic_feed" 2>/dev/null)" pacat
  for m in $(tac "$d/fastmic.modules"); do orvik_pulse_ctl unload-module "$m" || true; done
  rm -f "$d/fastmic.modules" "$d/fastmic.fifo"
}

# Sounds, as the helpers below take them:
#   tone HZ SECONDS [AMPLITUDE]         a sine, peak AMPLITUDE of full scale (0.5)
#   clicks SECONDS [AMPLITUDE] at T...  SECONDS of silence with a 10 ms burst of 1 kHz
#                                       starting at each instant T (seconds from the start)
# True when the words make one; else says how they should read.
orvik_pulse_sound_ok() { # sound...
  case ${1:-} in
  tone) [ $# -ge 3 ] && [ $# -le 4 ] && return 0 ;;
  clicks) [ "${3:-}" = at ] || [ "${4:-}" = at ] && return 0 ;;
  *) echo "unknown sound '${1:-}' (tone or clicks)" >&2 && return 2 ;;
  esac
  case $1 in
  tone) echo "tone HZ SECONDS [AMPLITUDE]" >&2 ;;
  clicks) echo "clicks SECONDS [AMPLITUDE] at T..." >&2 ;;
  esac
  return 2
}

# Writes a sound to standard output as raw 16-bit samples at 48 kHz.
orvik_pulse_make_sound() { # channels sound...
  local gen=(-D -n -r "$ORVIK_PULSE_RATE" -c "$1") raw=(-b 16 -e signed -t raw -)
  shift
  orvik_pulse_sound_ok "$@" || return $?
  if [ "$1" = tone ]; then
    sox "${gen[@]}" "${raw[@]}" synth "$3" sine "$2" vol "${4:-0.5}"
    return
  fi
  local seconds=$2 amplitude=0.8 t
  shift 2
  [ "$1" = at ] || { amplitude=$1 && shift; }
  shift
  # Each click is its own input, padded to its instant; -v 1 keeps sox from scaling mixed
  # inputs down. The silent input gives the sound its length.
  local inputs=(-v 1 "|sox ${gen[*]} -p trim 0 $seconds")
  for t in "$@"; do
    inputs+=(-v 1 "|sox ${gen[*]} -p synth 0.010 sine 1000 vol $amplitude pad $t")
  done
  sox -D -m "${inputs[@]}" "${raw[@]}" trim 0 "$seconds"
}

# Plays a sound (see orvik_pulse_make_sound) into a sink and returns at once; the player
# ends once the sound has played. Sets and prints ORVIK_PULSE_PLAY_PID, the player's PID,
# which orvik_pulse_wait_played and orvik_pulse_end (as pacat) take.
orvik_pulse_play() { # sink sound...
  orvik_pulse_can_play "$@" || return $?
  local sink=$1 channels=1
  shift
  case $sink in speakers | headphones) channels=2 ;; esac
  # A short buffer, so the sound reaches the sink within a few tens of milliseconds.
  orvik_pulse_make_sound "$channels" "$@" 2>/dev/null |
    pacat -p -d "$sink" --latency-msec=20 --raw --format=s16le --rate="$ORVIK_PULSE_RATE" \
      --channels="$channels" --client-name="orvik test sound" >/dev/null 2>&1 &
  orvik_pulse_player_started
}

# Plays a sound into some channels of a surround output (see orvik_pulse_add_surround) and
# leaves the others silent, as orvik_pulse_play does: CARRYING lists the channels that carry
# it, from 1 in the layout's order, e.g. 1,2 for stereo content (the front pair).
orvik_pulse_play_channels() { # layout carrying sound...
  local layout=$1 carrying=",$2," sink description map channels remix=() c
  shift 2
  orvik_pulse_surround "$layout" || return $?
  orvik_pulse_can_play "$sink" "$@" || return $?
  for c in $(seq 1 "$channels"); do
    case $carrying in *",$c,"*) remix+=(1) ;; *) remix+=(0) ;; esac
  done
  # The stream names the sink's own channels, so the server passes them through unmixed.
  orvik_pulse_make_sound 1 "$@" 2>/dev/null |
    sox -D -t raw -r "$ORVIK_PULSE_RATE" -b 16 -e signed -c 1 - -t raw - remix "${remix[@]}" |
    pacat -p -d "$sink" --latency-msec=20 --raw --format=s16le --rate="$ORVIK_PULSE_RATE" \
      --channels="$channels" --channel-map="$map" --client-name="orvik test sound" \
      >/dev/null 2>&1 &
  orvik_pulse_player_started
}

# True when a sound server runs and the words make a sound; else says why.
orvik_pulse_can_play() { # sink sound...
  if [ ! -d "${ORVIK_PULSE_DIR:-}" ]; then
    echo "no sound server: orvik_start_pulse first" >&2
    return 1
  fi
  # Checked here, so that a mistyped sound fails the call and not a player in the background.
  shift
  orvik_pulse_sound_ok "$@"
}

# Records the player just started in the background (see orvik_pulse_play).
orvik_pulse_player_started() {
  ORVIK_PULSE_PLAY_PID=$!
  echo "$ORVIK_PULSE_PLAY_PID" >"$ORVIK_PULSE_DIR/pids/pacat.play-$ORVIK_PULSE_PLAY_PID"
  echo "$ORVIK_PULSE_PLAY_PID"
}

# Waits up to SECONDS until a player ended; false when it still plays.
orvik_pulse_wait_played() { # pid seconds
  local i
  for i in $(seq 1 $(($2 * 20))); do
    orvik_pulse_alive "$1" || return 0
    sleep 0.05
  done
  return 1
}

# Surround outputs a test adds for itself (and removes: the suite's other tests count on the
# devices above alone). Each is a null sink, 48 kHz, whose monitor Wine lists as the capture
# device "Monitor of <description>":
#   layout  sink        description  channels
#   5.1     surround51  Surround51   front-left,front-right,front-center,lfe,rear-left,rear-right
#   7.1     surround71  Surround71   the same, then side-left,side-right
#   quad    quad        Quad         front-left,front-right,rear-left,rear-right
# Sets sink, description, map and channels for a layout; false, saying so, for one it does not
# know.
orvik_pulse_surround() { # layout
  local five=front-left,front-right,front-center,lfe,rear-left,rear-right
  case $1 in
  5.1) sink=surround51 description=Surround51 map=$five channels=6 ;;
  7.1) sink=surround71 description=Surround71 map=$five,side-left,side-right channels=8 ;;
  quad) sink=quad description=Quad map=front-left,front-right,rear-left,rear-right channels=4 ;;
  *) echo "unknown layout '$1' (5.1, 7.1 or quad)" >&2 && return 2 ;;
  esac
}

# Adds a surround output, keeps it rendering and waits until its monitor answers. Wine reads
# the device list once, when a process first uses sound: add it before that.
orvik_pulse_add_surround() { # layout
  local sink description map channels d=$ORVIK_PULSE_DIR
  orvik_pulse_surround "$1" || return $?
  [ -f "$d/$sink.module" ] && return 0
  if ! orvik_pulse_ctl load-module module-null-sink sink_name="$sink" rate="$ORVIK_PULSE_RATE" \
    channels="$channels" channel_map="$map" sink_properties=device.description="$description" \
    >"$d/$sink.module"; then
    echo "PulseAudio refused the $1 output" >&2
    rm -f "$d/$sink.module"
    return 1
  fi
  orvik_pulse_keep_alive "$sink" "$channels"
  orvik_pulse_warm_up "$sink.monitor" "$channels"
}

orvik_pulse_remove_surround() { # layout
  local sink description map channels d=${ORVIK_PULSE_DIR:-}
  orvik_pulse_surround "$1" || return $?
  [ -f "$d/$sink.module" ] || return 0
  orvik_pulse_end "$(cat "$d/pids/pacat.keep-alive-$sink" 2>/dev/null)" pacat
  rm -f "$d/pids/pacat.keep-alive-$sink"
  orvik_pulse_ctl unload-module "$(cat "$d/$sink.module")" || true
  rm -f "$d/$sink.module"
}
