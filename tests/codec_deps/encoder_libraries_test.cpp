// The encoder libraries cross-built from Debian's sources, linked statically into a Windows exe:
// openh264 writes an H.264 stream and libavcodec's native encoder AAC-LC, and the machine's
// ffmpeg reads both back without an error.
#include <gtest/gtest.h>
#include <wels/codec_api.h>
#include <windows.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "support/unix_tools.h"

namespace {

using testsupport::ReadWholeFile;
using testsupport::RunShell;
using testsupport::ScratchFile;
using testsupport::ShellQuote;
using testsupport::UnixPath;

constexpr int kWidth = 320, kHeight = 240, kFrames = 10;
constexpr int kRate = 48000, kChannels = 2;
constexpr double kPi = 3.14159265358979323846;

std::string Field(const std::string& out, const char* key) {
  std::smatch m;
  std::regex re(std::string("(^|\n)") + key + "=([^\r\n]*)");
  return std::regex_search(out, m, re) ? m[2].str() : std::string();
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  CloseHandle(h);
  return ok;
}

// A file in the machine's /tmp, removed when the test ends.
struct ScratchOutput {
  std::wstring path = ScratchFile(L"enc");
  std::string unix = ShellQuote(UnixPath(path));
  ~ScratchOutput() { DeleteFileW(path.c_str()); }
};

// One I420 frame of a screen: a grey ramp, a moving white window with dark text-like bars,
// and a coloured band, so that every plane and every frame differs.
std::vector<uint8_t> ScreenFrame(int n) {
  std::vector<uint8_t> f(kWidth * kHeight * 3 / 2);
  uint8_t* y = f.data();
  for (int r = 0; r < kHeight; ++r)
    for (int c = 0; c < kWidth; ++c) y[r * kWidth + c] = static_cast<uint8_t>(40 + c / 4);
  const int left = 20 + n * 12, top = 40 + n * 6;
  for (int r = top; r < top + 100; ++r)
    for (int c = left; c < left + 160; ++c) {
      bool bar = (r - top) % 12 < 6 && (c - left) % 9 < 7 && r > top + 10;
      y[r * kWidth + c] = bar ? 30 : 235;
    }
  uint8_t* u = y + kWidth * kHeight;
  uint8_t* v = u + kWidth * kHeight / 4;
  for (int r = 0; r < kHeight / 2; ++r)
    for (int c = 0; c < kWidth / 2; ++c) {
      bool band = r < 20;
      u[r * kWidth / 2 + c] = band ? 200 : 128;
      v[r * kWidth / 2 + c] = band ? 60 : 128;
    }
  return f;
}

// Screen content in real time, one thread, CABAC (Main profile), BT.709 limited range.
SEncParamExt ScreenParams(ISVCEncoder* encoder) {
  SEncParamExt p;
  encoder->GetDefaultParams(&p);
  p.iUsageType = SCREEN_CONTENT_REAL_TIME;
  p.iPicWidth = kWidth;
  p.iPicHeight = kHeight;
  p.fMaxFrameRate = 10;
  p.iTargetBitrate = 1000000;
  p.iRCMode = RC_QUALITY_MODE;
  p.iSpatialLayerNum = 1;
  p.iTemporalLayerNum = 1;
  p.uiIntraPeriod = 20;
  p.iEntropyCodingModeFlag = 1;
  p.iMultipleThreadIdc = 1;
  p.bEnableFrameSkip = false;
  SSpatialLayerConfig& layer = p.sSpatialLayers[0];
  layer.iVideoWidth = kWidth;
  layer.iVideoHeight = kHeight;
  layer.fFrameRate = 10;
  layer.iSpatialBitrate = p.iTargetBitrate;
  layer.uiProfileIdc = PRO_MAIN;
  layer.bVideoSignalTypePresent = true;
  layer.uiVideoFormat = VF_UNDEF;
  layer.bFullRange = false;
  layer.bColorDescriptionPresent = true;
  layer.uiColorPrimaries = CP_BT709;
  layer.uiTransferCharacteristics = TRC_BT709;
  layer.uiColorMatrix = CM_BT709;
  return p;
}

// Encodes the frames into one Annex-B stream (openh264 writes the start codes itself).
std::string EncodeH264(const std::vector<std::vector<uint8_t>>& frames) {
  ISVCEncoder* encoder = nullptr;
  if (WelsCreateSVCEncoder(&encoder) != 0 || !encoder) return {};
  std::string stream;
  SEncParamExt params = ScreenParams(encoder);
  int format = videoFormatI420;
  if (encoder->InitializeExt(&params) == cmResultSuccess &&
      encoder->SetOption(ENCODER_OPTION_DATAFORMAT, &format) == cmResultSuccess) {
    for (size_t n = 0; n < frames.size(); ++n) {
      SSourcePicture pic{};
      pic.iColorFormat = videoFormatI420;
      pic.iPicWidth = kWidth;
      pic.iPicHeight = kHeight;
      pic.iStride[0] = kWidth;
      pic.iStride[1] = pic.iStride[2] = kWidth / 2;
      pic.pData[0] = const_cast<uint8_t*>(frames[n].data());
      pic.pData[1] = pic.pData[0] + kWidth * kHeight;
      pic.pData[2] = pic.pData[1] + kWidth * kHeight / 4;
      pic.uiTimeStamp = static_cast<long long>(n) * 100;
      SFrameBSInfo info{};
      if (encoder->EncodeFrame(&pic, &info) != cmResultSuccess) {
        stream.clear();
        break;
      }
      for (int l = 0; l < info.iLayerNum; ++l) {
        const SLayerBSInfo& layer = info.sLayerInfo[l];
        size_t size = 0;
        for (int i = 0; i < layer.iNalCount; ++i) size += layer.pNalLengthInByte[i];
        stream.append(reinterpret_cast<const char*>(layer.pBsBuf), size);
      }
    }
    encoder->Uninitialize();
  }
  WelsDestroySVCEncoder(encoder);
  return stream;
}

// The 7-byte ADTS header of one AAC-LC packet at 48 kHz, stereo.
std::string AdtsHeader(size_t payload) {
  const size_t len = payload + 7;
  const int lc = 1, rateIndex48k = 3, stereo = 2;
  unsigned char h[7] = {0xFF,
                        0xF1,
                        static_cast<unsigned char>((lc << 6) | (rateIndex48k << 2) | (stereo >> 2)),
                        static_cast<unsigned char>(((stereo & 3) << 6) | (len >> 11)),
                        static_cast<unsigned char>((len >> 3) & 0xFF),
                        static_cast<unsigned char>(((len & 7) << 5) | 0x1F),
                        0xFC};
  return std::string(reinterpret_cast<char*>(h), sizeof h);
}

// A left tone of 1 kHz at half scale and a right one of 440 Hz at quarter scale.
float ToneSample(int channel, int i) {
  return channel == 0 ? 0.5f * static_cast<float>(std::sin(2 * kPi * 1000 * i / kRate))
                      : 0.25f * static_cast<float>(std::sin(2 * kPi * 440 * i / kRate));
}

bool Drain(AVCodecContext* ctx, AVPacket* pkt, std::string* adts) {
  int rc;
  while ((rc = avcodec_receive_packet(ctx, pkt)) == 0) {
    *adts += AdtsHeader(pkt->size);
    adts->append(reinterpret_cast<const char*>(pkt->data), pkt->size);
    av_packet_unref(pkt);
  }
  return rc == AVERROR(EAGAIN) || rc == AVERROR_EOF;
}

bool FeedTones(AVCodecContext* ctx, AVFrame* frame, AVPacket* pkt, int samples, std::string* adts) {
  for (int start = 0; start < samples; start += ctx->frame_size) {
    frame->nb_samples = std::min(ctx->frame_size, samples - start);
    if (av_frame_make_writable(frame) < 0) return false;
    for (int ch = 0; ch < kChannels; ++ch) {
      float* out = reinterpret_cast<float*>(frame->data[ch]);
      for (int i = 0; i < frame->nb_samples; ++i) out[i] = ToneSample(ch, start + i);
    }
    frame->pts = start;
    if (avcodec_send_frame(ctx, frame) < 0 || !Drain(ctx, pkt, adts)) return false;
  }
  return avcodec_send_frame(ctx, nullptr) == 0 && Drain(ctx, pkt, adts);
}

// One second of the tones as AAC-LC at 160 kbit/s, in ADTS.
std::string EncodeAac() {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
  if (!codec) return {};
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  AVFrame* frame = av_frame_alloc();
  AVPacket* pkt = av_packet_alloc();
  std::string adts;
  ctx->sample_rate = kRate;
  ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
  ctx->bit_rate = 160000;
  ctx->profile = FF_PROFILE_AAC_LOW;
  ctx->time_base = AVRational{1, kRate};
  av_channel_layout_default(&ctx->ch_layout, kChannels);
  bool ok = avcodec_open2(ctx, codec, nullptr) == 0;
  if (ok) {
    frame->format = ctx->sample_fmt;
    frame->nb_samples = ctx->frame_size;
    ok = av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout) == 0 &&
         av_frame_get_buffer(frame, 0) == 0 && FeedTones(ctx, frame, pkt, kRate, &adts);
  }
  av_packet_free(&pkt);
  av_frame_free(&frame);
  avcodec_free_context(&ctx);
  return ok ? adts : std::string();
}

double Rms(const std::vector<float>& interleaved, int channel, size_t from, size_t count) {
  double sum = 0;
  for (size_t i = from; i < from + count; ++i) {
    double s = interleaved[i * kChannels + channel];
    sum += s * s;
  }
  return std::sqrt(sum / count);
}

TEST(EncoderLibraries, OpenH264ScreenStreamDecodesAsMainProfile) {
  std::vector<std::vector<uint8_t>> frames;
  for (int n = 0; n < kFrames; ++n) frames.push_back(ScreenFrame(n));
  const std::string stream = EncodeH264(frames);
  ASSERT_FALSE(stream.empty());
  ScratchOutput h264;
  ASSERT_TRUE(WriteWholeFile(h264.path, stream));

  std::string out;
  EXPECT_EQ(RunShell("ffmpeg -v error -xerror -f h264 -i " + h264.unix + " -f null -", &out), 0)
      << out;
  ASSERT_EQ(RunShell("ffprobe -v error -f h264 -count_frames -select_streams v:0 -show_entries "
                     "stream=codec_name,profile,width,height,pix_fmt,has_b_frames,color_range,"
                     "color_space,color_primaries,nb_read_frames -of default=nw=1 " +
                         h264.unix,
                     &out),
            0)
      << out;
  EXPECT_EQ(Field(out, "codec_name"), "h264") << out;
  EXPECT_EQ(Field(out, "profile"), "Main") << out;
  EXPECT_EQ(Field(out, "width"), std::to_string(kWidth));
  EXPECT_EQ(Field(out, "height"), std::to_string(kHeight));
  EXPECT_EQ(Field(out, "pix_fmt"), "yuv420p");
  EXPECT_EQ(Field(out, "has_b_frames"), "0");
  EXPECT_EQ(Field(out, "color_range"), "tv");
  EXPECT_EQ(Field(out, "color_space"), "bt709");
  EXPECT_EQ(Field(out, "color_primaries"), "bt709");
  EXPECT_EQ(Field(out, "nb_read_frames"), std::to_string(kFrames));

  // The pictures themselves come back: every decoded frame close to its source (the stream's
  // own samples, so that no range conversion stands between them).
  ScratchOutput raw;
  ASSERT_EQ(RunShell("ffmpeg -v error -y -f h264 -i " + h264.unix +
                         " -f rawvideo -pix_fmt yuv420p " + raw.unix,
                     &out),
            0)
      << out;
  const std::string decoded = ReadWholeFile(raw.path);
  const size_t frameSize = frames[0].size();
  ASSERT_EQ(decoded.size(), frameSize * kFrames);
  for (int n = 0; n < kFrames; ++n) {
    double squared = 0;
    for (size_t i = 0; i < frameSize; ++i) {
      double d = static_cast<uint8_t>(decoded[n * frameSize + i]) - frames[n][i];
      squared += d * d;
    }
    double psnr = 10 * std::log10(255.0 * 255.0 / std::max(squared / frameSize, 1e-9));
    EXPECT_GT(psnr, 35.0) << "frame " << n;
  }
}

TEST(EncoderLibraries, AvcodecAacLcStereoDecodesWithBothTones) {
  const std::string adts = EncodeAac();
  ASSERT_FALSE(adts.empty());
  ScratchOutput aac;
  ASSERT_TRUE(WriteWholeFile(aac.path, adts));

  std::string out;
  EXPECT_EQ(RunShell("ffmpeg -v error -xerror -i " + aac.unix + " -f null -", &out), 0) << out;
  ASSERT_EQ(RunShell("ffprobe -v error -select_streams a:0 -show_entries "
                     "stream=codec_name,profile,sample_rate,channels -of default=nw=1 " +
                         aac.unix,
                     &out),
            0)
      << out;
  EXPECT_EQ(Field(out, "codec_name"), "aac") << out;
  EXPECT_EQ(Field(out, "profile"), "LC");
  EXPECT_EQ(Field(out, "sample_rate"), std::to_string(kRate));
  EXPECT_EQ(Field(out, "channels"), std::to_string(kChannels));
  // 160 kbit/s is 20000 bytes a second; the rate control keeps near it even for plain tones.
  EXPECT_GT(adts.size(), 10000u);
  EXPECT_LT(adts.size(), 30000u);

  ScratchOutput pcm;
  ASSERT_EQ(
      RunShell("ffmpeg -v error -y -i " + aac.unix + " -f f32le -acodec pcm_f32le " + pcm.unix,
               &out),
      0)
      << out;
  const std::string bytes = ReadWholeFile(pcm.path);
  std::vector<float> samples(bytes.size() / sizeof(float));
  std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
  const size_t frames = samples.size() / kChannels;
  // The encoder's priming (1024 samples) and the last packet's padding come on top of the second.
  EXPECT_GE(frames, static_cast<size_t>(kRate));
  EXPECT_LE(frames, static_cast<size_t>(kRate + 3 * 1024));
  ASSERT_GT(frames, 40000u);
  // Away from the edges each channel carries its own tone at its own level.
  EXPECT_NEAR(Rms(samples, 0, 4096, 32768), 0.5 / std::sqrt(2.0), 0.03);
  EXPECT_NEAR(Rms(samples, 1, 4096, 32768), 0.25 / std::sqrt(2.0), 0.02);
}

// Linked statically: nothing beside the exe is needed, only DLLs every Windows has.
TEST(EncoderLibraries, ExeImportsOnlySystemDlls) {
  wchar_t exe[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, exe, MAX_PATH), 0u);
  std::string out;
  ASSERT_EQ(RunShell("x86_64-w64-mingw32-objdump -p " + ShellQuote(UnixPath(exe)) +
                         " | sed -n 's/^[[:space:]]*DLL Name: //p'",
                     &out),
            0)
      << out;
  wchar_t system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
  std::vector<std::string> names;
  std::regex line("[^\r\n]+");
  for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator();
       ++it)
    names.push_back(it->str());
  ASSERT_FALSE(names.empty());
  for (const std::string& name : names) {
    EXPECT_FALSE(
        std::regex_search(name, std::regex("avcodec|avutil|openh264|^lib", std::regex::icase)))
        << name;
    std::wstring inSystem = std::wstring(system) + L"\\" + testsupport::Wide(name);
    EXPECT_NE(GetFileAttributesW(inSystem.c_str()), INVALID_FILE_ATTRIBUTES) << name;
  }
}

}  // namespace
