#pragma once
// Native test helpers: DIB frames with known pixels, sound with known samples, files in memory,
// and the machine's ffprobe/ffmpeg run on written files (each run bounded by coreutils'
// timeout).
#include <cstdint>
#include <map>
#include <optional>
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

// Sound bytes [from, from + size) of an endless test signal: every byte differs from its
// neighbours, so a sample out of place shows.
std::vector<uint8_t> SoundBytes(size_t from, size_t size);
avi::StreamFormat VideoStream(const avi::VideoFormat& format);
avi::StreamFormat SoundStream(uint16_t channels, uint32_t samplesPerSecond, uint16_t bits);

// The checksum ffmpeg's framecrc muxer prints (Adler-32 started from 0).
uint32_t FrameCrc(const std::vector<uint8_t>& bytes);

// A file kept in memory; `image` is what the writes made of it. Flushes are counted.
class MemorySink : public avi::Sink {
 public:
  std::vector<uint8_t> image;
  size_t flushes = 0;
  avi::IoStatus WriteAt(uint64_t offset, const void* data, size_t size) override;
  avi::IoStatus Flush() override;
};

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

// One packet as ffmpeg's framecrc muxer lists it: video decoded to bgr24, sound copied.
struct CrcPacket {
  int stream = 0;
  int64_t pts = 0;
  size_t size = 0;
  uint32_t crc = 0;
};
// Reads many files with one ffmpeg run (`inputOptions` before each input); a file ffmpeg cannot
// read gets no value. Where the batch fails, each file is tried alone.
std::vector<std::optional<std::vector<CrcPacket>>> FrameCrcs(const std::vector<std::string>& paths,
                                                             const std::string& inputOptions = {});

// Every stream ffprobe reports: index, codec_type, duration, nb_frames, sample_rate, ...
std::vector<std::map<std::string, std::string>> ProbeStreams(const std::string& path);
// What ffmpeg writes for `outputOptions` (e.g. "-map 0:a -f s16le"); empty when it fails.
std::vector<uint8_t> DecodeRaw(const std::string& path, const std::string& outputOptions);

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
