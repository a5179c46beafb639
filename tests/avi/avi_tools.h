#pragma once
// Native test helpers: DIB frames with known pixels, and the machine's ffprobe/ffmpeg run on a
// written file (each run bounded by coreutils' timeout).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "avi/avi_writer.h"

namespace avitest {

// Runs `command` through /bin/sh, bounded to `seconds`; stdout goes to *output.
// Returns the exit status, or -1 when it could not run or timed out.
int Run(const std::string& command, std::string* output, int seconds = 60);

// A fresh folder under /tmp, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// An uncompressed bottom-up BI_RGB format of `bits` (24 or 32) per pixel.
avi::VideoFormat DibFormat(uint32_t width, uint32_t height, int bits, uint32_t rate = 10,
                           uint32_t scale = 1);
// Bytes of one frame of that format (rows padded to 4 bytes).
size_t DibFrameBytes(uint32_t width, uint32_t height, int bits);
// Frame `seed`: every pixel differs from its neighbours and from other seeds' pixels.
std::vector<uint8_t> DibFrame(uint32_t width, uint32_t height, int bits, uint32_t seed);
// The same frame as ffmpeg decodes it to bgr24: top-down, packed rows.
std::vector<uint8_t> TopDownBgr24(const std::vector<uint8_t>& dib, uint32_t width, uint32_t height,
                                  int bits);

// What ffprobe reports of a file's video stream.
struct Probe {
  bool ok = false;
  std::map<std::string, std::string> stream;  // width, height, r_frame_rate, nb_frames, ...
  std::vector<int64_t> pts;                   // every packet, in stream time base
  std::vector<int64_t> pos;                   // file offset of every packet
  std::string raw;
};
Probe ProbeFile(const std::string& path, const std::string& extraOptions = {});

// Every decoded frame as bgr24 (one output per packet: timestamps are not filled in).
std::vector<std::vector<uint8_t>> DecodeBgr24(const std::string& path, uint32_t width,
                                              uint32_t height);

}  // namespace avitest
