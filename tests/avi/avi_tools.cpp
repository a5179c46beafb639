#include "avi/avi_tools.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "avi/avi_format.h"

namespace avitest {

int Run(const std::string& command, std::string* output, int seconds) {
  const std::string bounded =
      "timeout -s KILL " + std::to_string(seconds) + " sh -c '" + command + "'";
  FILE* pipe = ::popen(bounded.c_str(), "r");
  if (!pipe) return -1;
  char buffer[1 << 14];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    if (output) output->append(buffer, n);
  const int status = ::pclose(pipe);
  if (status == -1 || !WIFEXITED(status)) return -1;
  const int code = WEXITSTATUS(status);
  return code == 137 ? -1 : code;  // 128 + SIGKILL: timeout stopped it
}

TempDir::TempDir() {
  char tmpl[] = "/tmp/orvik_avi_XXXXXX";
  if (::mkdtemp(tmpl)) path_ = tmpl;
}

TempDir::~TempDir() {
  if (!path_.empty()) Run("rm -rf \"" + path_ + "\"", nullptr);
}

size_t DibFrameBytes(uint32_t width, uint32_t height, int bits) {
  const size_t stride = (size_t{width} * bits / 8 + 3) & ~size_t{3};
  return stride * height;
}

avi::VideoFormat DibFormat(uint32_t width, uint32_t height, int bits, uint32_t rate,
                           uint32_t scale) {
  avi::VideoFormat f;
  f.width = width;
  f.height = height;
  f.handler = avi::kDibHandler;
  f.rate = rate;
  f.scale = scale;
  f.bitmapInfo.assign(40, 0);
  avi::Store32(&f.bitmapInfo[0], 40);
  avi::Store32(&f.bitmapInfo[4], width);
  avi::Store32(&f.bitmapInfo[8], height);  // positive: bottom-up rows
  avi::Store16(&f.bitmapInfo[12], 1);
  avi::Store16(&f.bitmapInfo[14], static_cast<uint16_t>(bits));
  avi::Store32(&f.bitmapInfo[20], static_cast<uint32_t>(DibFrameBytes(width, height, bits)));
  return f;
}

std::vector<uint8_t> DibFrame(uint32_t width, uint32_t height, int bits, uint32_t seed) {
  std::vector<uint8_t> out(DibFrameBytes(width, height, bits), 0);
  const size_t stride = out.size() / height;
  const int bpp = bits / 8;
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      for (int c = 0; c < bpp; ++c) {
        uint32_t v = (seed * 2654435761u) ^ (x * 40503u + y * 9973u + c * 131u);
        v ^= v >> 13;
        out[y * stride + size_t{x} * bpp + c] = static_cast<uint8_t>(v * 0x9E3779B1u >> 24);
      }
  return out;
}

std::vector<uint8_t> TopDownBgr24(const std::vector<uint8_t>& dib, uint32_t width, uint32_t height,
                                  int bits) {
  std::vector<uint8_t> out(size_t{width} * height * 3);
  const size_t stride = dib.size() / height;
  const int bpp = bits / 8;
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* row = &dib[(height - 1 - y) * stride];
    for (uint32_t x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) out[(size_t{y} * width + x) * 3 + c] = row[x * bpp + c];
  }
  return out;
}

Probe ProbeFile(const std::string& path, const std::string& extraOptions) {
  Probe p;
  const int code = Run("ffprobe -v error " + extraOptions +
                           " -select_streams v:0 -show_entries "
                           "stream=width,height,r_frame_rate,nb_frames,codec_tag_string,duration"
                           " -show_entries packet=pts,pos -of default=nw=1 \"" +
                           path + "\" 2>&1",
                       &p.raw);
  std::istringstream lines(p.raw);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "pts")
      p.pts.push_back(std::stoll(value));
    else if (key == "pos")
      p.pos.push_back(std::stoll(value));
    else
      p.stream[key] = value;
  }
  p.ok = code == 0 && p.stream.count("width");
  return p;
}

std::vector<std::vector<uint8_t>> DecodeBgr24(const std::string& path, uint32_t width,
                                              uint32_t height) {
  const std::string raw = path + ".bgr24";
  std::vector<std::vector<uint8_t>> frames;
  std::string log;
  if (Run("ffmpeg -v error -nostdin -y -i \"" + path +
              "\" -fps_mode passthrough -f rawvideo -pix_fmt bgr24 \"" + raw + "\" 2>&1",
          &log) != 0)
    return frames;
  std::ifstream in(raw, std::ios::binary);
  const std::vector<uint8_t> all((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
  const size_t frameBytes = size_t{width} * height * 3;
  for (size_t at = 0; at + frameBytes <= all.size(); at += frameBytes)
    frames.emplace_back(all.begin() + at, all.begin() + at + frameBytes);
  std::remove(raw.c_str());
  return frames;
}

}  // namespace avitest
