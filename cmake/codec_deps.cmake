# The encoders' libraries, cross-built for Windows by scripts/build-codec-deps.sh into a cache
# outside the repository. Optional: when they are not there, ORVIK_HAVE_CODEC_DEPS is OFF and
# nothing that needs them is built. Gives orvik::openh264, orvik::avcodec_aac (libavcodec with
# only the AAC encoder, and its libavutil) and orvik::yuv (the picture's BGRA to I420), all
# static: the exe still imports only system DLLs.
set(ORVIK_HAVE_CODEC_DEPS OFF)
if(NOT WIN32)
  return()
endif()
if(DEFINED ENV{ORVIK_DEPS_DIR})
  set(orvik_deps_default "$ENV{ORVIK_DEPS_DIR}")
else()
  set(orvik_deps_default /var/cache/orvik-deps)
endif()
set(ORVIK_DEPS_DIR "${orvik_deps_default}" CACHE PATH "Cross-built codec libraries")

# The versioned folders the links point at now (scripts/build-codec-deps.sh names the links).
file(REAL_PATH "${ORVIK_DEPS_DIR}/openh264" orvik_openh264)
file(REAL_PATH "${ORVIK_DEPS_DIR}/ffmpeg+swscale" orvik_ffmpeg)
file(REAL_PATH "${ORVIK_DEPS_DIR}/libyuv" orvik_libyuv)
if(NOT EXISTS "${orvik_openh264}/lib/libopenh264.a" OR
   NOT EXISTS "${orvik_libyuv}/lib/libyuv.a" OR
   NOT EXISTS "${orvik_ffmpeg}/lib/libavcodec.a" OR
   NOT EXISTS "${orvik_ffmpeg}/lib/libavutil.a")
  message(STATUS "Codec libraries: not in ${ORVIK_DEPS_DIR} (scripts/build-codec-deps.sh)")
  return()
endif()

function(orvik_import_static name lib include)
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES IMPORTED_LOCATION "${lib}"
                        INTERFACE_INCLUDE_DIRECTORIES "${include}")
endfunction()

orvik_import_static(orvik::openh264 "${orvik_openh264}/lib/libopenh264.a" "${orvik_openh264}/include")
orvik_import_static(orvik::avutil "${orvik_ffmpeg}/lib/libavutil.a" "${orvik_ffmpeg}/include")
# libavutil seeds its random numbers through bcrypt.
set_target_properties(orvik::avutil PROPERTIES INTERFACE_LINK_LIBRARIES bcrypt)
orvik_import_static(orvik::avcodec_aac "${orvik_ffmpeg}/lib/libavcodec.a" "${orvik_ffmpeg}/include")
set_target_properties(orvik::avcodec_aac PROPERTIES INTERFACE_LINK_LIBRARIES orvik::avutil)
orvik_import_static(orvik::yuv "${orvik_libyuv}/lib/libyuv.a" "${orvik_libyuv}/include")

file(READ "${orvik_openh264}/VERSION" orvik_openh264_version)
file(READ "${orvik_ffmpeg}/VERSION" orvik_ffmpeg_version)
file(READ "${orvik_libyuv}/VERSION" orvik_libyuv_version)
string(STRIP "${orvik_libyuv_version}" orvik_libyuv_version)
string(STRIP "${orvik_openh264_version}" orvik_openh264_version)
string(STRIP "${orvik_ffmpeg_version}" orvik_ffmpeg_version)
message(STATUS "Codec libraries: openh264 ${orvik_openh264_version}, "
               "ffmpeg ${orvik_ffmpeg_version} (AAC encoder), libyuv ${orvik_libyuv_version} "
               "from ${ORVIK_DEPS_DIR}")
set(ORVIK_HAVE_CODEC_DEPS ON)
