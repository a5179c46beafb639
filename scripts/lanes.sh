# shellcheck shell=bash
# Sourced by test.sh after wine-env.sh: the Windows tests run in two lanes at once, each with its
# own virtual display, Wine prefix (and the prefixes at the other scalings made from it) and
# wineserver, so that one lane's windows, focus, registry and files never meet the other's. CTest
# hands each test a lane (its resource "lanes", see orvik_discover in cmake/orvik.cmake) and
# cmake/wine-run.sh reads the lane's settings from $ORVIK_LANES_DIR/lane-<n>.env. The tests that
# play or record through the one sound server hold it alone; the others share it.
# Also one headless Chromium for the whole run, whose tabs the browser checks open.

ORVIK_LANES=2
ORVIK_LANE_XVFB_PIDS=""

# A free display for a lane, from ten numbers of its own (lanes start at once): its name in
# ORVIK_LANE_DISPLAY, the server's PID added to ORVIK_LANE_XVFB_PIDS.
orvik_lane_xvfb() { # lane
  local first=$((91 + 10 * $1))
  orvik_xvfb_between "$first" $((first + 9)) || return 1
  ORVIK_LANE_XVFB_PIDS="$ORVIK_LANE_XVFB_PIDS $ORVIK_NEW_XVFB_PID"
  ORVIK_LANE_DISPLAY=$ORVIK_NEW_DISPLAY
}

# Lane `n` in the build tree `win`: its display, its prefixes made and their servers started,
# and the settings file wine-run.sh reads. Runs in a subshell of its own, so lanes are made at
# once; the servers it starts outlive it (orvik_lanes_down ends them).
orvik_lane_up() { # n win
  local n=$1 win=$2 prefix dpi
  prefix=$win/wineprefix
  [ "$n" = 0 ] || prefix=$win/wineprefix-lane$n
  orvik_lane_xvfb "$n" || return 1
  export DISPLAY=$ORVIK_LANE_DISPLAY
  orvik_prefix_init "$prefix" || return 1
  orvik_start_wineserver
  orvik_prefix_without_browser
  for dpi in $ORVIK_TEST_DPIS; do
    orvik_dpi_prefix_init "$prefix" "$dpi" || return 1
    orvik_start_wineserver
    orvik_prefix_without_browser
  done
  printf 'export DISPLAY=%s\nexport WINEPREFIX=%s\n' "$DISPLAY" "$prefix" \
    >"$ORVIK_LANES_DIR/lane-$n.env"
  printf '%s\n' "$ORVIK_LANE_XVFB_PIDS" >"$ORVIK_LANES_DIR/lane-$n.xvfb"
  printf '%s' "${ORVIK_STARTED_PREFIXES:-}" >"$ORVIK_LANES_DIR/lane-$n.prefixes"
}

# Every lane of the build tree `win` up at once; CTest's resource file written beside them.
# Exports ORVIK_LANES_DIR and, for test discovery and anything run outside a lane, lane 0's
# DISPLAY and WINEPREFIX.
orvik_lanes_up() { # win
  local win=$1 n status=0 pids=()
  export ORVIK_LANES_DIR=$win/lanes
  rm -rf "$ORVIK_LANES_DIR"
  mkdir -p "$ORVIK_LANES_DIR"
  for n in $(seq 0 $((ORVIK_LANES - 1))); do
    (orvik_lane_up "$n" "$win") &
    pids+=($!)
  done
  for n in "${pids[@]}"; do wait "$n" || status=1; done
  local groups=""
  for n in $(seq 0 $((ORVIK_LANES - 1))); do
    groups="$groups${groups:+,}{\"id\":\"$n\",\"slots\":1}"
    [ -f "$ORVIK_LANES_DIR/lane-$n.env" ] || status=1
  done
  printf '{"version":{"major":1,"minor":0},"local":[{"lanes":[%s]}]}\n' "$groups" \
    >"$ORVIK_LANES_DIR/resources.json"
  [ $status -eq 0 ] || return 1
  # shellcheck source=/dev/null
  . "$ORVIK_LANES_DIR/lane-0.env"
}

# Ends every lane's servers and displays by their PIDs.
orvik_lanes_down() {
  local f pid
  [ -n "${ORVIK_LANES_DIR:-}" ] && [ -d "$ORVIK_LANES_DIR" ] || return 0
  for f in "$ORVIK_LANES_DIR"/lane-*.prefixes; do
    [ -f "$f" ] && ORVIK_STARTED_PREFIXES=$(cat "$f") ORVIK_XVFB_PID="" orvik_stop_all
  done
  for f in "$ORVIK_LANES_DIR"/lane-*.xvfb; do
    [ -f "$f" ] || continue
    for pid in $(cat "$f"); do
      kill "$pid" 2>/dev/null || true
    done
  done
  rm -f "$ORVIK_LANES_DIR"/lane-*.prefixes "$ORVIK_LANES_DIR"/lane-*.xvfb
}

# One headless Chromium for the run, with the flags browser_play.py gives its own; exports its
# DevTools address as ORVIK_BROWSER_DEVTOOLS. A browser that does not come up is no failure:
# each check then starts a browser of its own.
orvik_start_browser() {
  ORVIK_BROWSER_PID=""
  ORVIK_BROWSER_PROFILE=$(mktemp -d /tmp/orvik-browser.XXXXXX)
  command -v chromium >/dev/null || return 0
  local flags
  flags=$(python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); import browser_play
print(" ".join(browser_play.BROWSER_FLAGS))' "$ORVIK_LANES_HERE/../tests/support") || return 0
  # shellcheck disable=SC2086
  setsid chromium $flags --remote-debugging-port=0 --user-data-dir="$ORVIK_BROWSER_PROFILE" \
    about:blank </dev/null >/dev/null 2>&1 &
  ORVIK_BROWSER_PID=$!
  local i port
  for i in $(seq 1 100); do
    if [ -s "$ORVIK_BROWSER_PROFILE/DevToolsActivePort" ]; then
      port=$(head -n 1 "$ORVIK_BROWSER_PROFILE/DevToolsActivePort")
      export ORVIK_BROWSER_DEVTOOLS=http://127.0.0.1:$port
      return 0
    fi
    sleep 0.1
  done
  echo "the shared browser did not come up: each browser check starts its own" >&2
}

orvik_stop_browser() {
  if [ -n "${ORVIK_BROWSER_PID:-}" ]; then
    kill -KILL -- "-$ORVIK_BROWSER_PID" 2>/dev/null || kill -KILL "$ORVIK_BROWSER_PID" 2>/dev/null || true
    wait "$ORVIK_BROWSER_PID" 2>/dev/null || true
  fi
  [ -n "${ORVIK_BROWSER_PROFILE:-}" ] && rm -rf "$ORVIK_BROWSER_PROFILE"
  unset ORVIK_BROWSER_DEVTOOLS ORVIK_BROWSER_PID
}

ORVIK_LANES_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
