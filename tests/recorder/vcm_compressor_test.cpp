// Real codecs under Wine, driven frame by frame into our own AVI writer, and the files checked
// by ffprobe (frames, key frames) and ffmpeg (pixels).
#include "recorder/vcm_compressor.h"

#include <gtest/gtest.h>

#include <cstring>

#include "avi/avi_writer.h"
#include "recorder/file_sink.h"
#include "codec/zmbv_driver.h"
#include "recorder/bmp_samples.h"
#include "support/unix_tools.h"
#include "toolkit/files.h"

using namespace testsupport;
using orvik::VcmCompressor;

namespace {

constexpr int kW = 64, kH = 40, kFrames = 12;

// A noise picture with a solid rectangle moving across it: format, pixels and what a decoder
// should show, per frame.
struct Clip {
  std::vector<uint8_t> format;
  std::vector<std::vector<uint8_t>> bits, expected;
};

Clip MakeClip(int bitCount, bool clrUsedZero = false) {
  Clip clip;
  for (int i = 0; i < kFrames; ++i) {
    samples::BmpRecipe recipe{kW, kH, bitCount, 5};
    std::vector<uint8_t> bmp = samples::MakeBmp(recipe);
    const size_t offBits = samples::Get32(bmp, 10), stride = samples::Stride(kW, bitCount);
    const int bytes = bitCount / 8;
    for (int y = 4 + i; y < 20 + i; ++y)
      for (int x = 3 * i; x < 3 * i + 20; ++x)
        std::memset(&bmp[offBits + (kH - 1 - y) * stride + x * bytes], 0xC3, bytes);
    if (bitCount == 8 && !clrUsedZero) samples::Put32(bmp, 46, 256);
    clip.format.assign(bmp.begin() + 14, bmp.begin() + offBits);
    clip.bits.emplace_back(bmp.begin() + offBits, bmp.end());
    clip.expected.push_back(samples::ExpectedBgr24(bmp));
  }
  return clip;
}

orvik::CodecSettings Options(DWORD handler, DWORD flags = 0, DWORD keyEvery = 0) {
  orvik::CodecSettings o;
  o.handler = handler;
  o.flags = flags;
  o.keyFrameEvery = keyEvery;
  return o;
}

class VcmCompressorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(orvik::zmbv::RegisterOrvikCodec());
    dir_ = MakeTempDir(L"vcm");
    path_ = dir_ + L"\\out.avi";
  }
  void TearDown() override {
    orvik::zmbv::UnregisterOrvikCodec();
    RemoveTree(dir_);
  }

  // Compresses the clip into the AVI file and returns ffprobe's verdict on each packet: 'K' for
  // a key frame, '_' for a delta frame.
  std::string Record(VcmCompressor& c, Clip clip) {
    tk::File file = tk::File::Open(path_, tk::FileMode::Replace);
    orvik::FileSink sink(file);
    avi::Writer writer;
    EXPECT_TRUE(writer.Open(sink, avi::VideoFormat{kW, kH, c.Handler(), c.OutputFormat(), 10, 1}));
    for (int i = 0; i < kFrames; ++i) {
      avi::Payload payload;
      bool key = false;
      EXPECT_TRUE(c.Compress(clip.bits[i].data(), false, &payload, &key)) << i;
      EXPECT_LE(payload.size, c.MaxFrameBytes());
      // Uncompressed frames go out as they are; compressed ones with room for one write.
      EXPECT_EQ(payload.data == clip.bits[i].data(), c.Uncompressed()) << "frame " << i;
      EXPECT_EQ(payload.room, !c.Uncompressed());
      EXPECT_TRUE(writer.WriteFrame(0, i, payload, key));
    }
    EXPECT_TRUE(writer.Close());
    file.Close();
    const ProbeInfo probe = Probe(path_);
    EXPECT_EQ(probe.frames, kFrames) << probe.raw;
    std::string flags;
    RunShell("ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 '" +
                 UnixPath(path_) + "' | cut -c1 | tr -d '\\n'",
             &flags);
    return flags;
  }

  // Every frame decodes to the clip's pictures, up to `slack` wrong pixels a frame.
  void ExpectPictures(const Clip& clip, int slack = 0) {
    const DecodedFrames decoded = DecodeBgr24(path_, kW, kH);
    ASSERT_EQ(decoded.frames.size(), clip.expected.size());
    for (size_t i = 0; i < clip.expected.size(); ++i) {
      int wrong = 0;
      for (size_t p = 0; p < clip.expected[i].size(); p += 3)
        wrong += std::memcmp(&decoded.frames[i][p], &clip.expected[i][p], 3) != 0;
      EXPECT_LE(wrong, slack) << "frame " << i;
    }
  }

  std::wstring dir_, path_;
};

TEST_F(VcmCompressorTest, FullFramesHandTheInputOverAsKeyFramesAndPlayExactly) {
  for (int bits : {8, 32}) {
    SCOPED_TRACE(bits);
    const Clip clip = MakeClip(bits);
    VcmCompressor c;
    ASSERT_TRUE(c.Begin(Options(mmioFOURCC('D', 'I', 'B', ' ')), clip.format, 10));
    EXPECT_TRUE(c.Uncompressed());
    EXPECT_EQ(c.Handler(), mmioFOURCC('D', 'I', 'B', ' '));
    EXPECT_EQ(c.OutputFormat(), clip.format);
    EXPECT_EQ(Record(c, clip), std::string(kFrames, 'K'));
    ExpectPictures(clip);
  }
}

// The dialog's interval (4) is kept; without the flag the codec's default (100 frames) leaves
// only the first.
TEST_F(VcmCompressorTest, ZmbvPlaysExactlyWithTheKeyFramesTheOptionsAsk) {
  const DWORD zmbv = orvik::zmbv::kZmbvFourCC;
  for (int bits : {32, 24}) {
    SCOPED_TRACE(bits);
    const Clip clip = MakeClip(bits);
    VcmCompressor c;
    const bool interval = bits == 32;
    ASSERT_TRUE(c.Begin(interval ? Options(zmbv, AVICOMPRESSF_KEYFRAMES, 4) : Options(zmbv),
                        clip.format, 10));
    EXPECT_FALSE(c.Uncompressed());
    EXPECT_EQ(c.Handler(), zmbv);
    EXPECT_EQ(Record(c, clip), interval ? "K___K___K___" : "K___________");
    ExpectPictures(clip);
  }
}

// An 8-bit format that leaves biClrUsed 0 would abort the process inside Wine's MS-RLE.
TEST_F(VcmCompressorTest, MsRleCompressesPaletteFramesAllKeyOthersRefuseWhatTheyCannotTake) {
  const Clip clip = MakeClip(8, true), trueColour = MakeClip(24);
  VcmCompressor c;
  for (DWORD handler : {mmioFOURCC('m', 's', 'v', 'c'), mmioFOURCC('c', 'v', 'i', 'd'),
                        mmioFOURCC('x', 'x', 'x', 'x'), mmioFOURCC('m', 'r', 'l', 'e')}) {
    EXPECT_FALSE(c.Begin(Options(handler), trueColour.format, 10));
    EXPECT_FALSE(c.IsOpen());
  }
  EXPECT_FALSE(c.Begin(Options(orvik::zmbv::kZmbvFourCC),
                       std::vector<uint8_t>(clip.format.begin(), clip.format.begin() + 40), 10));
  orvik::CodecSettings rle = Options(mmioFOURCC('m', 'r', 'l', 'e'), AVICOMPRESSF_KEYFRAMES, 5);
  rle.quality = ICQUALITY_HIGH;
  ASSERT_TRUE(c.Begin(rle, clip.format, 10));
  EXPECT_EQ(Record(c, clip), std::string(kFrames, 'K'));
  // Wine's encoder gets the odd pixel beside a run wrong (its own decoder shows the same).
  ExpectPictures(clip, 4);
}

}  // namespace
