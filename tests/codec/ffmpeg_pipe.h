#pragma once
// The machine's ffmpeg and ffprobe from the native tests: they read what the codec wrote
// and decode it to raw pixels, the reference every frame is checked against.
#include <cstdint>
#include <string>
#include <vector>

#include "avi/avi_tools.h"

namespace codectest {

// Commands and scratch folders are the AVI tests' (avitest::Run, avitest::TempDir).
using avitest::Run;
using avitest::TempDir;

bool ReadFile(const std::string& path, std::vector<uint8_t>& data);

// Every video packet of an AVI file as stored, in order, with ffprobe's key flag.
struct Packet {
  std::vector<uint8_t> data;
  bool key = false;
};
std::vector<Packet> ReadPackets(const std::string& aviPath);

// Every frame ffmpeg decodes from the file, as raw `pixFmt` (e.g. "bgr0", "pal8": indices
// followed by ffmpeg's 1024-byte palette). Empty when ffmpeg fails.
std::vector<std::vector<uint8_t>> FfmpegFrames(const std::string& aviPath, const char* pixFmt,
                                               size_t frameBytes);

}  // namespace codectest
