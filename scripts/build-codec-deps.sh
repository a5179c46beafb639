#!/usr/bin/env bash
# Cross-builds the encoders' libraries for Windows from Debian's own source packages, once:
#   openh264   libopenh264.a (H.264)
#   ffmpeg     libavcodec.a with only its native AAC encoder and the libavutil.a it needs
#              (libswscale.a too, as caches made before have it; nothing links it now)
#   libyuv     libyuv.a (the picture's BGRA to I420, SIMD)
# No Debian package ships MinGW builds of them. The sources come through apt-get from the registry
# and suites this machine's apt configuration already names (deb-src lines made at run time in a
# private list, so the system's configuration is left alone); nothing third-party is kept in the
# repository. Results: $ORVIK_DEPS_DIR/<package>-<version><flavour>/{include,lib}, and
# <package><flavour> linked to the one in use. The flavour names what a build has beyond the first
# one's, in the folder and in the link, so that neither a cache built before it nor an older
# checkout's script (which links <package> to its own build) stands in for it. Does nothing when those versions are already built.
set -euo pipefail

deps=${ORVIK_DEPS_DIR:-/var/cache/orvik-deps}
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
triple=x86_64-w64-mingw32
apt_dir=$deps/apt

fail() {
  echo "build-codec-deps: $*" >&2
  exit 1
}

# dpkg-dev for apt-get source (dpkg-source unpacks and applies Debian's patches), nasm for
# openh264's assembly, make, CMake (libyuv's build) and the MinGW compilers for the builds.
install_tools() {
  local packages=(dpkg-dev nasm make cmake g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq || fail "apt-get update failed"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" || fail "could not install ${missing[*]}"
}

# The machine's binary sources, as deb-src, in the two formats apt reads.
write_one_line_sources() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -r "$f" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]\+/deb-src /p' "$f"
  done
}

# deb822 stanzas whose Types name deb, with Types made deb-src; disabled ones are left out.
write_deb822_sources() {
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -r "$f" ] || continue
    awk '
      function flush() {
        if (stanza != "" && deb && !disabled) printf "%s\n", stanza
        stanza = ""; deb = 0; disabled = 0
      }
      /^[[:space:]]*$/ { flush(); next }
      /^#/ { next }
      tolower($1) == "types:" {
        for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1
        stanza = stanza "Types: deb-src\n"; next
      }
      tolower($1) == "enabled:" && tolower($2) == "no" { disabled = 1 }
      { stanza = stanza $0 "\n" }
      END { flush() }
    ' "$f"
  done
}

apt_private() {
  apt-get -o Dir::Etc::SourceList="$apt_dir/sources.list" \
    -o Dir::Etc::SourceParts="$apt_dir/sources.list.d" \
    -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache" \
    -o Dir::Cache::pkgcache="" -o Dir::Cache::srcpkgcache="" "$@"
}

# The source lists are fetched again once a day, or when the machine's sources change; an old copy
# serves when the registry is out of reach, so a built cache keeps working offline.
update_source_lists() {
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  local listed=$apt_dir/sources.list parts=$apt_dir/sources.list.d/machine.sources
  local stamp=$apt_dir/updated
  write_one_line_sources >"$listed.new"
  write_deb822_sources >"$parts.new"
  [ -s "$listed.new" ] || [ -s "$parts.new" ] ||
    fail "this machine's apt configuration names no deb sources to take deb-src lines from"
  cmp -s "$listed.new" "$listed" && cmp -s "$parts.new" "$parts" || rm -f "$stamp"
  mv "$listed.new" "$listed"
  mv "$parts.new" "$parts"
  [ -n "$(find "$stamp" -mmin -1440 2>/dev/null)" ] && return 0
  echo "build-codec-deps: fetching the source package lists"
  if apt_private update -qq; then
    touch "$stamp"
  else
    echo "build-codec-deps: warning: apt-get update reported errors" >&2
  fi
}

# The version `apt-get source NAME` would fetch, without its epoch (it names a folder).
source_version() {
  local dsc
  dsc=$(apt_private source --print-uris -qq "$1" 2>/dev/null | awk '{print $2}' | grep '\.dsc$' |
    head -n 1)
  [ -n "$dsc" ] || fail "the registry's source lists have no source package $1 (no deb-src?)"
  dsc=${dsc%.dsc}
  echo "${dsc#*_}"
}

# Fetches and unpacks NAME's source into the current folder; prints the unpacked folder.
fetch_source() {
  apt_private source -qq "$1" >fetch.log 2>&1 || {
    cat fetch.log >&2
    fail "apt-get source $1 failed"
  }
  find . -mindepth 1 -maxdepth 1 -type d -name "$1-*" | head -n 1
}

build_openh264() {
  local src=$1 out=$2
  nice -n 10 make -C "$src" -j "$(nproc)" OS=mingw_nt ARCH=x86_64 \
    CC="$triple-gcc-posix" CXX="$triple-g++-posix" AR="$triple-ar" libopenh264.a >build.log 2>&1 ||
    {
      tail -n 40 build.log >&2
      fail "the openh264 build failed (log: $PWD/build.log)"
    }
  mkdir -p "$out/lib" "$out/include/wels"
  cp "$src/libopenh264.a" "$out/lib/"
  cp "$src"/codec/api/wels/*.h "$out/include/wels/"
  cp "$src/LICENSE" "$out/"
}

build_ffmpeg_libs() {
  local src=$1 out=$2
  (
    cd "$src"
    nice -n 10 ./configure --prefix="$out" --enable-cross-compile --target-os=mingw32 \
      --arch=x86_64 --cross-prefix="$triple-" --cc="$triple-gcc-posix" --cxx="$triple-g++-posix" \
      --enable-static --disable-shared --disable-autodetect --disable-everything \
      --enable-encoder=aac --disable-avformat --disable-avdevice --disable-avfilter \
      --enable-swscale --disable-swresample --disable-postproc --disable-network \
      --disable-programs --disable-doc --disable-debug &&
      nice -n 10 make -j "$(nproc)" &&
      make install
  ) >build.log 2>&1 || {
    tail -n 40 build.log >&2
    fail "the ffmpeg (libavcodec AAC, libswscale) build failed (log: $PWD/build.log)"
  }
  rm -rf "$out/share" "$out/lib/pkgconfig"
  cp "$src/COPYING.LGPLv2.1" "$out/"
}

# libyuv.a alone (no JPEG, no tools), by its own CMake build with ours for MinGW.
build_libyuv() {
  local src=$1 out=$2
  {
    cmake -S "$src" -B "$src/build" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/toolchain-mingw64.cmake" \
      -DCMAKE_DISABLE_FIND_PACKAGE_JPEG=ON &&
      nice -n 10 cmake --build "$src/build" -j "$(nproc)" --target yuv
  } >build.log 2>&1 || {
    tail -n 40 build.log >&2
    fail "the libyuv build failed (log: $PWD/build.log)"
  }
  mkdir -p "$out/lib"
  cp "$src/build/libyuv.a" "$out/lib/"
  cp -r "$src/include" "$out/"
  cp "$src/LICENSE" "$out/"
}

# Builds NAME at VERSION into $deps/NAME-VERSIONFLAVOUR unless it is there; points
# $deps/NAMEFLAVOUR at it.
ensure() {
  local name=$1 builder=$2 flavour=${3:-} version target work src
  version=$(source_version "$name")
  target=$deps/$name-$version$flavour
  if [ ! -f "$target/VERSION" ]; then
    echo "build-codec-deps: building $name $version (a few minutes, once)"
    rm -rf "$deps/.work-$name."* # what an earlier failed build left for reading
    work=$(mktemp -d "$deps/.work-$name.XXXXXX")
    chmod 755 "$work" # apt-get downloads as its own user
    (
      cd "$work"
      src=$(fetch_source "$name")
      [ -n "$src" ] || fail "apt-get source $name unpacked nothing"
      got=$(cd "$src" && dpkg-parsechangelog -S Version)
      [ "${got#*:}" = "$version" ] || fail "asked for $name $version, apt-get source gave $got"
      rm -rf "$target.new"
      "$builder" "$work/$src" "$target.new"
      echo "$got" >"$target.new/VERSION"
    ) || {
      rm -rf "$target.new"
      fail "$name was not built; the cache is unchanged (work folder kept: $work)"
    }
    rm -rf "$target"
    mv "$target.new" "$target"
    rm -rf "$work"
  fi
  ln -sfn "$name-$version$flavour" "$deps/$name$flavour"
  echo "build-codec-deps: $name$flavour $(cat "$target/VERSION") in $target"
}

main() {
  mkdir -p "$deps" 2>/dev/null && [ -w "$deps" ] ||
    fail "cannot write $deps; set ORVIK_DEPS_DIR to a folder of yours"
  install_tools
  # One build at a time, whichever checkout asks.
  exec 9>"$deps/.lock"
  flock -w 1800 9 || fail "another build of the codec libraries holds $deps/.lock"
  update_source_lists
  ensure openh264 build_openh264
  ensure ffmpeg build_ffmpeg_libs +swscale
  ensure libyuv build_libyuv
}

main "$@"
