# Sourced by the other scripts: where Wine lives and how every Wine process is started.
# Callers set WINEPREFIX before sourcing or calling orvik_prefix_init.

ORVIK_WINE=/usr/lib/wine/wine64
[ -x "$ORVIK_WINE" ] || ORVIK_WINE=$(command -v wine64 || command -v wine)
ORVIK_WINESERVER=/usr/lib/wine/wineserver
[ -x "$ORVIK_WINESERVER" ] || ORVIK_WINESERVER=$(command -v wineserver)
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

ORVIK_WINE_FONTS=/usr/share/wine/fonts
ORVIK_CJK_FONT=/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf

# Without Wine's own fonts every Latin letter a program draws is an empty box, and tests of
# drawn text fail for no reason of their own: refuse to go on.
orvik_check_fonts() {
  if ! ls "$ORVIK_WINE_FONTS"/*.ttf >/dev/null 2>&1; then
    echo "Wine's fonts are missing ($ORVIK_WINE_FONTS): install the Debian package fonts-wine" \
      "(bash scripts/install-deps.sh does)." >&2
    return 1
  fi
  if [ ! -f "$ORVIK_CJK_FONT" ]; then
    echo "The Chinese fallback font is missing ($ORVIK_CJK_FONT): install the Debian package" \
      "fonts-droid-fallback (bash scripts/install-deps.sh does)." >&2
    return 1
  fi
}

# Creates the prefix once: crash dialogs off, no window-manager wait at exit,
# Wine's own fonts plus a CJK fallback so menus in Chinese render. A prefix that was made
# without the fonts (an older set-up) is made again.
orvik_prefix_init() {
  local prefix=$1
  export WINEPREFIX=$prefix
  orvik_check_fonts || return 1
  local fonts="$prefix/drive_c/windows/Fonts"
  if [ -f "$prefix/.orvik-ready" ]; then
    if [ -f "$fonts/tahoma.ttf" ] && [ -f "$fonts/$(basename "$ORVIK_CJK_FONT")" ]; then
      return 0
    fi
    echo "The Wine prefix $prefix was made without fonts: making it again." >&2
    timeout 60 "$ORVIK_WINESERVER" -k 2>/dev/null || true
    rm -rf "$prefix"
  fi
  mkdir -p "$prefix"
  timeout 120 "$ORVIK_WINE" wineboot -i >/dev/null 2>&1 || true
  local w="timeout 60 $ORVIK_WINE reg add"
  $w 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
  $w 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  local link='DroidSansFallbackFull.ttf,Droid Sans Fallback'
  for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "MS Sans Serif"; do
    $w 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$face" /t REG_MULTI_SZ /d "$link" /f >/dev/null 2>&1 || true
  done
  mkdir -p "$fonts"
  cp -f "$ORVIK_WINE_FONTS"/*.ttf "$fonts/"
  cp -f "$ORVIK_CJK_FONT" "$fonts/"
  timeout 60 "$ORVIK_WINESERVER" -w || true
  touch "$prefix/.orvik-ready"
}

# The program opens its web page at every start (Wine hands it to xdg-open, which may start a
# real browser: Chromium is installed for the tests). Under the tests and on a virtual display
# the page goes nowhere: an empty browser list makes Wine's launcher give up at once.
orvik_prefix_without_browser() {
  timeout 60 "$ORVIK_WINE" reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d '' /f \
    >/dev/null 2>&1 || true
}

# The scalings the tests run at besides 100%: 125%, 150% and 200%.
ORVIK_TEST_DPIS="120 144 192"

# The prefix a test at `dpi` runs in: the suite's own at 96, else one beside it.
orvik_dpi_prefix() {
  local suite=$1 dpi=$2
  if [ "$dpi" = 96 ]; then echo "$suite"; else echo "$suite-dpi$dpi"; fi
}

# Makes the prefix for `dpi` once, from the suite's prefix (made first): Wine reads the DPI
# from LogPixels under HKCU\Control Panel\Desktop when a process starts, so the prefix is the
# suite's registry with that value set. Its drive C: is the suite's own (a link): the 700 MB of
# system files are the same, and the tests run one after another, never in two prefixes at once.
orvik_dpi_prefix_init() {
  local suite=$1 dpi=$2
  local prefix
  prefix=$(orvik_dpi_prefix "$suite" "$dpi")
  export WINEPREFIX=$prefix
  [ "$prefix" = "$suite" ] && return 0
  # Made again when the suite's prefix was (its marker is newer).
  if [ -f "$prefix/.orvik-ready" ] && [ ! "$suite/.orvik-ready" -nt "$prefix/.orvik-ready" ]; then
    return 0
  fi
  rm -rf "$prefix"
  mkdir -p "$prefix/dosdevices"
  cp -a "$suite/system.reg" "$suite/user.reg" "$suite/userdef.reg" "$suite/.update-timestamp" \
    "$prefix/"
  ln -s "$suite/drive_c" "$prefix/drive_c"
  ln -s ../drive_c "$prefix/dosdevices/c:"
  ln -s / "$prefix/dosdevices/z:"
  timeout 60 "$ORVIK_WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
    /d "$dpi" /f >/dev/null 2>&1 || return 1
  timeout 60 "$ORVIK_WINESERVER" -w || true
  touch "$prefix/.orvik-ready"
}

# Starts Xvfb on the first free display from `first` to `last` and waits until it answers. Sets
# ORVIK_NEW_XVFB_PID and ORVIK_NEW_DISPLAY (":n").
orvik_xvfb_between() { # first last
  local n i
  for n in $(seq "$1" "$2"); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 "${ORVIK_SCREEN:-1920x1080x24}" -nolisten tcp >/dev/null 2>&1 &
    ORVIK_NEW_XVFB_PID=$!
    ORVIK_NEW_DISPLAY=":$n"
    for i in $(seq 1 50); do
      DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && return 0
      sleep 0.1
    done
    echo "Xvfb did not start on :$n" >&2
    return 1
  done
  echo "no free X display" >&2
  return 1
}

# Starts Xvfb on a free display unless DISPLAY already works. Sets ORVIK_XVFB_PID.
orvik_start_xvfb() {
  ORVIK_XVFB_PID=""
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  orvik_xvfb_between 91 140 || return 1
  ORVIK_XVFB_PID=$ORVIK_NEW_XVFB_PID
  export DISPLAY=$ORVIK_NEW_DISPLAY
}

# One persistent wineserver for the whole run, in the prefix WINEPREFIX names. Adds the prefix
# to ORVIK_STARTED_PREFIXES when it started one (orvik_stop_all ends those).
orvik_start_wineserver() {
  if "$ORVIK_WINESERVER" -p </dev/null >/dev/null 2>&1; then
    ORVIK_STARTED_PREFIXES="${ORVIK_STARTED_PREFIXES:-}$WINEPREFIX
"
  fi
  # Warm-up: starts Wine's own services now, detached from any caller's output pipe,
  # so later test processes do not keep a pipe open for them.
  timeout 120 "$ORVIK_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

orvik_stop_all() {
  local prefix
  while IFS= read -r prefix; do
    [ -n "$prefix" ] || continue
    WINEPREFIX=$prefix timeout 20 "$ORVIK_WINESERVER" -k 2>/dev/null || true
    WINEPREFIX=$prefix timeout 20 "$ORVIK_WINESERVER" -w 2>/dev/null || true
  done <<<"${ORVIK_STARTED_PREFIXES:-}"
  ORVIK_STARTED_PREFIXES=""
  if [ -n "${ORVIK_XVFB_PID:-}" ]; then
    kill "$ORVIK_XVFB_PID" 2>/dev/null || true
    wait "$ORVIK_XVFB_PID" 2>/dev/null || true
  fi
}
