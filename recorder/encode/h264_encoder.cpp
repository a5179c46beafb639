#include "recorder/encode/h264_encoder.h"

#include <wels/codec_api.h>

#include <cstdlib>

#include "recorder/encode/bgra_to_i420.h"
#include "recorder/encode/same_frame.h"
#include "toolkit/bmp_format.h"

namespace orvik {

namespace {

constexpr uint32_t kAvc1 = 0x31637661;  // 'avc1'
constexpr uint8_t kNalSps = 7, kNalPps = 8;

struct Nal {
  const uint8_t* data;
  size_t size;
  uint8_t Type() const { return data[0] & 0x1F; }
};

// One of openh264's NAL units (it gives each with its start code and its length) without its
// start code; empty for anything else.
Nal StripStartCode(const uint8_t* p, size_t size) {
  size_t code = 0;
  if (size > 4 && p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 1)
    code = 4;
  else if (size > 3 && p[0] == 0 && p[1] == 0 && p[2] == 1)
    code = 3;
  return code ? Nal{p + code, size - code} : Nal{p, 0};
}

// Calls `f` with each NAL unit of the encoder's output.
template <typename F>
void ForEachNal(const SFrameBSInfo& info, F f) {
  for (int l = 0; l < info.iLayerNum; ++l) {
    const SLayerBSInfo& layer = info.sLayerInfo[l];
    const uint8_t* p = layer.pBsBuf;
    for (int i = 0; i < layer.iNalCount; ++i) {
      const size_t size = static_cast<size_t>(layer.pNalLengthInByte[i]);
      const Nal nal = StripStartCode(p, size);
      if (nal.size > 0) f(nal);
      p += size;
    }
  }
}

class H264Encoder : public FrameEncoder {
 public:
  H264Encoder(std::vector<uint8_t> format, int framesPerSecond, const H264Tuning& tuning)
      : rate_(framesPerSecond), tuning_(tuning) {
    video_.fourcc = kAvc1;
    video_.format = std::move(format);
  }
  ~H264Encoder() override { Close(); }

  bool Open() override;
  const EncodedVideo& Video() const override { return video_; }
  bool Encode(uint8_t* bits, bool bitsHaveRoom, EncodedFrame* out) override;
  bool ComparesFrames() const override { return true; }
  bool EncodeAfter(const uint8_t* previous, Slot slot, uint8_t* bits, bool bitsHaveRoom,
                   EncodedFrame* out) override;
  void Close() override;

 private:
  SEncParamExt Params() const;
  bool TakeParameterSets();
  void AppendLayers(const SFrameBSInfo& info);
  bool KeyFrameDue(Slot slot) const;
  bool EncodePicture(Slot slot, uint8_t* bits, EncodedFrame* out);

  int rate_;
  H264Tuning tuning_;
  EncodedVideo video_;
  BgraToI420 converter_;
  ISVCEncoder* encoder_ = nullptr;
  std::vector<uint8_t> out_;
  size_t frameBytes_ = 0;
  Slot nextSlot_ = 0;       // where a frame given without its slot goes
  long long lastKey_ = -1;  // the slot of the last key frame; none yet
};

// Real time on one thread (the capture has the other core), in the tuning's mode, CABAC for
// Main profile, one layer, a fixed quantiser: a busy screen keeps its text sharp, where a bit rate
// target would blur it. Key frames come by the recording's time, not by the frames encoded
// (a repeated frame is not encoded at all): the encoder is asked for each (KeyFrameDue).
SEncParamExt H264Encoder::Params() const {
  SEncParamExt p;
  encoder_->GetDefaultParams(&p);
  p.iUsageType = tuning_.screenContent ? SCREEN_CONTENT_REAL_TIME : CAMERA_VIDEO_REAL_TIME;
  if (!tuning_.screenContent) p.iComplexityMode = MEDIUM_COMPLEXITY;
  p.iPicWidth = converter_.Width();
  p.iPicHeight = converter_.Height();
  p.fMaxFrameRate = static_cast<float>(rate_);
  p.iRCMode = RC_OFF_MODE;
  p.iTargetBitrate = 0;
  p.iMinQp = p.iMaxQp = tuning_.qp;
  p.iSpatialLayerNum = 1;
  p.iTemporalLayerNum = 1;
  p.uiIntraPeriod = 0;
  p.iEntropyCodingModeFlag = 1;
  p.iMultipleThreadIdc = 1;
  p.bEnableFrameSkip = false;
  p.bEnableSceneChangeDetect = false;  // key frames every keyFrameSeconds, no others
  // One SPS and PPS for the whole stream: the file's header holds them.
  p.eSpsPpsIdStrategy = CONSTANT_ID;
  SSpatialLayerConfig& layer = p.sSpatialLayers[0];
  layer.iVideoWidth = p.iPicWidth;
  layer.iVideoHeight = p.iPicHeight;
  layer.fFrameRate = p.fMaxFrameRate;
  layer.iDLayerQp = tuning_.qp;
  layer.uiProfileIdc = PRO_MAIN;
  layer.bVideoSignalTypePresent = true;
  layer.uiVideoFormat = VF_UNDEF;
  layer.bFullRange = false;
  layer.bColorDescriptionPresent = true;
  layer.uiColorPrimaries = CP_BT709;
  layer.uiTransferCharacteristics = TRC_BT709;
  layer.uiColorMatrix = CM_SMPTE170M;  // BT.601, as BgraToI420 converts
  return p;
}

bool H264Encoder::Open() {
  if (video_.format.size() < bmp::kInfoHeaderSize || rate_ < 1) return false;
  const bmp::InfoHeader h = bmp::DecodeInfoHeader(video_.format.data());
  if (h.biBitCount != 32 || h.biCompression != bmp::kBiRgb || h.biWidth <= 0) return false;
  if (!converter_.Open(h.biWidth, h.biHeight)) return false;
  frameBytes_ = static_cast<size_t>(h.biWidth) * 4 * static_cast<size_t>(std::abs(h.biHeight));
  video_.width = static_cast<uint32_t>(converter_.Width());
  video_.height = static_cast<uint32_t>(converter_.Height());
  if (WelsCreateSVCEncoder(&encoder_) != 0 || !encoder_) return false;
  int quiet = WELS_LOG_QUIET;
  encoder_->SetOption(ENCODER_OPTION_TRACE_LEVEL, &quiet);
  SEncParamExt params = Params();
  int format = videoFormatI420;
  return encoder_->InitializeExt(&params) == cmResultSuccess &&
         encoder_->SetOption(ENCODER_OPTION_DATAFORMAT, &format) == cmResultSuccess &&
         TakeParameterSets();
}

bool H264Encoder::TakeParameterSets() {
  SFrameBSInfo info{};
  if (encoder_->EncodeParameterSets(&info) != cmResultSuccess) return false;
  ForEachNal(info, [this](const Nal& nal) {
    if (nal.Type() == kNalSps) video_.sps.assign(nal.data, nal.data + nal.size);
    if (nal.Type() == kNalPps) video_.pps.assign(nal.data, nal.data + nal.size);
  });
  return !video_.sps.empty() && !video_.pps.empty();
}

// The frame's NAL units with 4-byte big-endian lengths, its parameter sets left out (the file's
// header has them; the strategy above keeps them the same all along).
void H264Encoder::AppendLayers(const SFrameBSInfo& info) {
  ForEachNal(info, [this](const Nal& nal) {
    if (nal.Type() == kNalSps || nal.Type() == kNalPps) return;
    const uint32_t n = static_cast<uint32_t>(nal.size);
    const uint8_t length[4] = {static_cast<uint8_t>(n >> 24), static_cast<uint8_t>(n >> 16),
                               static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)};
    out_.insert(out_.end(), length, length + 4);
    out_.insert(out_.end(), nal.data, nal.data + nal.size);
  });
}

bool H264Encoder::Encode(uint8_t* bits, bool bitsHaveRoom, EncodedFrame* out) {
  return EncodeAfter(nullptr, nextSlot_, bits, bitsHaveRoom, out);
}

// A frame the same as the one before is no new picture: the file holds the one before, at the
// cost of the comparison alone. A key frame is encoded all the same when one is due, so that a
// seek and a file cut off after a long still screen find one within keyFrameSeconds.
bool H264Encoder::EncodeAfter(const uint8_t* previous, Slot slot, uint8_t* bits, bool,
                              EncodedFrame* out) {
  if (!encoder_ || !bits) return false;
  nextSlot_ = slot + 1;
  if (previous && !KeyFrameDue(slot) && SameFrame(previous, bits, frameBytes_)) {
    *out = EncodedFrame{};
    return true;
  }
  return EncodePicture(slot, bits, out);
}

bool H264Encoder::KeyFrameDue(Slot slot) const {
  return lastKey_ < 0 || slot - lastKey_ >= static_cast<long long>(rate_) * tuning_.keyFrameSeconds;
}

bool H264Encoder::EncodePicture(Slot slot, uint8_t* bits, EncodedFrame* out) {
  if (!converter_.Convert(bits)) return false;
  SSourcePicture pic{};
  pic.iColorFormat = videoFormatI420;
  pic.iPicWidth = converter_.Width();
  pic.iPicHeight = converter_.Height();
  for (int i = 0; i < 3; ++i) {
    pic.iStride[i] = converter_.Stride(i);
    pic.pData[i] = converter_.Plane(i);
  }
  pic.uiTimeStamp = static_cast<long long>(slot) * 1000 / rate_;
  if (KeyFrameDue(slot) && lastKey_ >= 0) encoder_->ForceIntraFrame(true);
  SFrameBSInfo info{};
  if (encoder_->EncodeFrame(&pic, &info) != cmResultSuccess) return false;
  out_.clear();
  // A frame the encoder skips is no picture: the file holds the one before.
  if (info.eFrameType != videoFrameTypeSkip) AppendLayers(info);
  const bool key = info.eFrameType == videoFrameTypeIDR;
  if (key) lastKey_ = slot;
  *out = EncodedFrame{out_.data(), static_cast<uint32_t>(out_.size()), false, key};
  return true;
}

void H264Encoder::Close() {
  nextSlot_ = 0;
  lastKey_ = -1;
  if (!encoder_) return;
  encoder_->Uninitialize();
  WelsDestroySVCEncoder(encoder_);
  encoder_ = nullptr;
}

}  // namespace

std::unique_ptr<FrameEncoder> MakeH264Encoder(const std::vector<uint8_t>& frameFormat,
                                              int framesPerSecond, const H264Tuning& tuning) {
  return std::make_unique<H264Encoder>(frameFormat, framesPerSecond, tuning);
}

}  // namespace orvik
