#!/usr/bin/env bash
# Runs one cross-built executable under Wine, in the prefix of the build tree it lives in.
# Every run is bounded so that a stuck dialog fails the test instead of hanging the suite.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../scripts/wine-env.sh
. "$here/../scripts/wine-env.sh"
# A test given a lane by CTest (scripts/lanes.sh) runs on that lane's display, in its prefix.
if [ -n "${CTEST_RESOURCE_GROUP_0_LANES:-}" ] && [ -n "${ORVIK_LANES_DIR:-}" ]; then
  lane=${CTEST_RESOURCE_GROUP_0_LANES#id:}
  lane=${lane%%,*}
  # shellcheck source=/dev/null
  . "$ORVIK_LANES_DIR/lane-$lane.env" || exit 1
fi
if [ -z "${WINEPREFIX:-}" ]; then
  dir=$(cd "$(dirname "$1")" && pwd)
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  export WINEPREFIX="$dir/wineprefix"
fi
orvik_prefix_init "$WINEPREFIX"
# A test meant for another scaling (ORVIK_DPI, set by CTest) runs in that scaling's prefix.
if [ -n "${ORVIK_DPI:-}" ]; then
  orvik_dpi_prefix_init "$WINEPREFIX" "$ORVIK_DPI" || exit 1
fi
exec timeout --kill-after=5 "${ORVIK_RUN_TIMEOUT:-300}" "$ORVIK_WINE" "$@"
