#include "avi/avi_tools.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
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

std::vector<uint8_t> SoundBytes(size_t from, size_t size) {
  std::vector<uint8_t> out(size);
  for (size_t i = 0; i < size; ++i) {
    const uint64_t at = from + i;
    out[i] = static_cast<uint8_t>((at * 0x9E3779B97F4A7C15ull) >> 56 ^ at);
  }
  return out;
}

avi::StreamFormat VideoStream(const avi::VideoFormat& format) {
  avi::StreamFormat s;
  s.video = format;
  return s;
}

avi::StreamFormat SoundStream(uint16_t channels, uint32_t samplesPerSecond, uint16_t bits) {
  avi::StreamFormat s;
  s.kind = avi::StreamFormat::Kind::Audio;
  s.audio.channels = channels;
  s.audio.samplesPerSecond = samplesPerSecond;
  s.audio.bitsPerSample = bits;
  return s;
}

uint32_t FrameCrc(const std::vector<uint8_t>& bytes) {
  uint32_t a = 0, b = 0;
  for (uint8_t byte : bytes) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

avi::IoStatus MemorySink::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (image.size() < offset + size) image.resize(offset + size);
  std::memcpy(&image[offset], data, size);
  return avi::IoStatus::Ok;
}

avi::IoStatus MemorySink::Flush() {
  ++flushes;
  return avi::IoStatus::Ok;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

namespace {

std::optional<std::vector<CrcPacket>> ReadFrameCrc(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::vector<CrcPacket> packets;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    CrcPacket p;
    long long dts = 0, pts = 0, duration = 0;
    unsigned long size = 0;
    unsigned crc = 0;
    if (std::sscanf(line.c_str(), "%d, %lld, %lld, %lld, %lu, 0x%x", &p.stream, &dts, &pts,
                    &duration, &size, &crc) != 6)
      return std::nullopt;
    p.pts = pts;
    p.size = size;
    p.crc = crc;
    packets.push_back(p);
  }
  return packets;
}

}  // namespace

std::vector<std::optional<std::vector<CrcPacket>>> FrameCrcs(const std::vector<std::string>& paths,
                                                             const std::string& inputOptions) {
  std::string inputs, outputs;
  for (size_t i = 0; i < paths.size(); ++i) {
    inputs += " " + inputOptions + " -i \"" + paths[i] + "\"";
    outputs += " -map " + std::to_string(i) +
               " -c:v rawvideo -pix_fmt bgr24 -c:a copy -fps_mode passthrough -f framecrc \"" +
               paths[i] + ".crc\"";
  }
  std::string log;
  const bool ran = Run("ffmpeg -v error -nostdin -y" + inputs + outputs + " 2>&1", &log, 120) == 0;
  std::vector<std::optional<std::vector<CrcPacket>>> out;
  for (const std::string& path : paths) {
    if (!ran && paths.size() > 1) {
      out.push_back(FrameCrcs({path}, inputOptions)[0]);
      continue;
    }
    out.push_back(ran ? ReadFrameCrc(path + ".crc") : std::nullopt);
    std::remove((path + ".crc").c_str());
  }
  return out;
}

std::vector<std::map<std::string, std::string>> ProbeStreams(const std::string& path) {
  std::string raw;
  std::vector<std::map<std::string, std::string>> streams;
  if (Run("ffprobe -v error -show_entries stream -of compact=p=0 \"" + path + "\"", &raw) != 0)
    return streams;
  std::istringstream lines(raw);
  std::string line;
  while (std::getline(lines, line)) {
    std::map<std::string, std::string> fields;
    std::istringstream parts(line);
    std::string part;
    while (std::getline(parts, part, '|')) {
      const size_t eq = part.find('=');
      if (eq != std::string::npos) fields[part.substr(0, eq)] = part.substr(eq + 1);
    }
    if (!fields.empty()) streams.push_back(fields);
  }
  return streams;
}

std::vector<uint8_t> DecodeRaw(const std::string& path, const std::string& outputOptions) {
  const std::string raw = path + ".raw";
  std::string log;
  std::vector<uint8_t> bytes;
  if (Run("ffmpeg -v error -nostdin -y -i \"" + path + "\" " + outputOptions + " \"" + raw +
              "\" 2>&1",
          &log) == 0) {
    std::ifstream in(raw, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::remove(raw.c_str());
  return bytes;
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
