#pragma once
// Native test helpers for the MP4 writer: real H.264 and AAC made by the machine's ffmpeg and
// cut into samples as an encoder hands them over, and files in memory for the writer and the
// repair.
#include <cstdint>
#include <string>
#include <vector>

#include "mp4/memory_file.h"
#include "mp4/mp4_writer.h"

namespace mp4test {

// H.264 as the writer takes it: SPS and PPS apart, each access unit's NAL units
// length-prefixed.
struct AvcStream {
  std::vector<uint8_t> sps, pps;
  std::vector<std::vector<uint8_t>> frames;
  std::vector<bool> keys;
};
AvcStream SplitAnnexB(const std::vector<uint8_t>& annexB);

// AAC frames without their ADTS headers, and the AudioSpecificConfig the headers describe.
struct AacStream {
  std::vector<uint8_t> audioSpecificConfig;
  uint32_t sampleRate = 0;
  uint16_t channels = 0;
  std::vector<std::vector<uint8_t>> frames;
};
AacStream SplitAdts(const std::vector<uint8_t>& adts);

// `seconds` of a moving test picture (libx264, no B-frames, a key frame every `gop` frames) and
// of a 48 kHz stereo tone (ffmpeg's AAC encoder), kept in `dir` as h264 and adts files too.
struct TestStreams {
  AvcStream video;
  AacStream sound;
  mp4::VideoFormat videoFormat;
  mp4::SoundFormat soundFormat;
  std::string h264Path, adtsPath;
  uint64_t soundSamples = 0;  // of the tone, before the encoder's priming and padding
};
bool MakeTestStreams(const std::string& dir, uint32_t width, uint32_t height, uint32_t fps,
                     int seconds, int gop, TestStreams* out);

// A recording of the first `frames` pictures as the program makes one: a picture in every slot,
// the sound kept just ahead of it, a commit every `commitEvery` pictures. Closed when `close`,
// else left as fragments, as a killed recorder leaves it (what came after the last commit is
// lost). False when the writer refused a call.
bool RecordTestStreams(const TestStreams& streams, mp4::Sink& sink, size_t frames,
                       size_t commitEvery, bool close);

std::vector<uint8_t> ReadFile(const std::string& path);

// The top-level boxes of a file: type and offset, up to the first that does not fit.
std::vector<std::pair<uint32_t, uint64_t>> TopLevelBoxes(const std::vector<uint8_t>& file);

}  // namespace mp4test
