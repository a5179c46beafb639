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

# Starts Xvfb on a free display unless DISPLAY already works. Sets ORVIK_XVFB_PID.
orvik_start_xvfb() {
  ORVIK_XVFB_PID=""
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  local n
  for n in $(seq 91 140); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      Xvfb ":$n" -screen 0 "${ORVIK_SCREEN:-1920x1080x24}" -nolisten tcp >/dev/null 2>&1 &
      ORVIK_XVFB_PID=$!
      export DISPLAY=":$n"
      local i
      for i in $(seq 1 50); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
      done
      echo "Xvfb did not start on :$n" >&2
      return 1
    fi
  done
  echo "no free X display" >&2
  return 1
}

# One persistent wineserver for the whole run. Sets ORVIK_WINESERVER_STARTED.
orvik_start_wineserver() {
  ORVIK_WINESERVER_STARTED=0
  if "$ORVIK_WINESERVER" -p </dev/null >/dev/null 2>&1; then
    ORVIK_WINESERVER_STARTED=1
  fi
  # Warm-up: starts Wine's own services now, detached from any caller's output pipe,
  # so later test processes do not keep a pipe open for them.
  timeout 120 "$ORVIK_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

orvik_stop_all() {
  if [ "${ORVIK_WINESERVER_STARTED:-0}" = 1 ]; then
    timeout 20 "$ORVIK_WINESERVER" -k 2>/dev/null || true
    timeout 20 "$ORVIK_WINESERVER" -w 2>/dev/null || true
  fi
  if [ -n "${ORVIK_XVFB_PID:-}" ]; then
    kill "$ORVIK_XVFB_PID" 2>/dev/null || true
    wait "$ORVIK_XVFB_PID" 2>/dev/null || true
  fi
}
