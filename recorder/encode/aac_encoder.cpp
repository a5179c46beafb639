#include "recorder/encode/aac_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
}

#include <algorithm>

namespace orvik {

namespace {

struct CodecContextFree {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};

// libavcodec's encoder takes planar floats; the mix is interleaved 16-bit. Whole packets of
// 1024 frames are fed, the remainder waits for more (or for Drain).
class AacEncoder : public SoundEncoder {
 public:
  bool Open(uint32_t sampleRate, uint16_t channels) override;
  const std::vector<uint8_t>& DecoderConfig() const override { return config_; }
  uint32_t Priming() const override { return priming_; }
  bool Encode(const int16_t* pcm, size_t frames, const PacketSink& sink) override;
  bool Drain(const PacketSink& sink) override;
  uint64_t FramesFed() const override { return fed_; }

 private:
  bool Send(const AVFrame* frame, const PacketSink& sink);
  bool SendWaiting(const PacketSink& sink);

  std::unique_ptr<AVCodecContext, CodecContextFree> ctx_;
  std::unique_ptr<AVFrame, FrameFree> frame_;
  std::unique_ptr<AVPacket, PacketFree> packet_;
  std::vector<uint8_t> config_;
  uint32_t priming_ = 0;
  uint16_t channels_ = 0;
  int filled_ = 0;  // frames waiting in frame_
  uint64_t fed_ = 0;
  bool drained_ = false;
};

bool AacEncoder::Open(uint32_t sampleRate, uint16_t channels) {
  // The library's notes (its average quantiser at every close) would go to the program's
  // stderr; only its errors are worth a line there.
  av_log_set_level(AV_LOG_ERROR);
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
  if (!codec || channels == 0 || channels > 2) return false;
  ctx_.reset(avcodec_alloc_context3(codec));
  frame_.reset(av_frame_alloc());
  packet_.reset(av_packet_alloc());
  if (!ctx_ || !frame_ || !packet_) return false;
  ctx_->sample_rate = static_cast<int>(sampleRate);
  ctx_->sample_fmt = AV_SAMPLE_FMT_FLTP;
  ctx_->bit_rate = kAacBitRate;
  ctx_->profile = FF_PROFILE_AAC_LOW;
  ctx_->time_base = AVRational{1, static_cast<int>(sampleRate)};
  ctx_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  av_channel_layout_default(&ctx_->ch_layout, channels);
  if (avcodec_open2(ctx_.get(), codec, nullptr) != 0 || ctx_->frame_size <= 0) return false;
  frame_->format = ctx_->sample_fmt;
  frame_->nb_samples = ctx_->frame_size;
  if (av_channel_layout_copy(&frame_->ch_layout, &ctx_->ch_layout) != 0 ||
      av_frame_get_buffer(frame_.get(), 0) != 0)
    return false;
  config_.assign(ctx_->extradata, ctx_->extradata + ctx_->extradata_size);
  priming_ = static_cast<uint32_t>(ctx_->initial_padding);
  channels_ = channels;
  return !config_.empty();
}

bool AacEncoder::Encode(const int16_t* pcm, size_t frames, const PacketSink& sink) {
  if (!ctx_ || drained_) return false;
  while (frames > 0) {
    if (filled_ == 0 && av_frame_make_writable(frame_.get()) < 0) return false;
    const int take = static_cast<int>(std::min<size_t>(frames, ctx_->frame_size - filled_));
    for (int ch = 0; ch < channels_; ++ch) {
      float* out = reinterpret_cast<float*>(frame_->data[ch]) + filled_;
      for (int i = 0; i < take; ++i) out[i] = pcm[i * channels_ + ch] * (1.0f / 32768);
    }
    pcm += static_cast<size_t>(take) * channels_;
    frames -= static_cast<size_t>(take);
    filled_ += take;
    fed_ += static_cast<uint64_t>(take);
    if (filled_ == ctx_->frame_size && !SendWaiting(sink)) return false;
  }
  return true;
}

bool AacEncoder::SendWaiting(const PacketSink& sink) {
  frame_->nb_samples = filled_;
  frame_->pts = static_cast<int64_t>(fed_) - filled_;
  filled_ = 0;
  return Send(frame_.get(), sink);
}

// Hands `frame` (null: the end) to the encoder and every packet it gives to `sink`.
bool AacEncoder::Send(const AVFrame* frame, const PacketSink& sink) {
  if (avcodec_send_frame(ctx_.get(), frame) < 0) return false;
  int rc;
  while ((rc = avcodec_receive_packet(ctx_.get(), packet_.get())) == 0) {
    const bool taken = sink(packet_->data, static_cast<uint32_t>(packet_->size));
    av_packet_unref(packet_.get());
    if (!taken) return false;
  }
  return rc == AVERROR(EAGAIN) || rc == AVERROR_EOF;
}

bool AacEncoder::Drain(const PacketSink& sink) {
  if (!ctx_ || drained_) return false;
  drained_ = true;
  // The encoder takes a short last frame and pads it itself.
  if (filled_ > 0 && !SendWaiting(sink)) return false;
  return Send(nullptr, sink);
}

}  // namespace

std::unique_ptr<SoundEncoder> MakeAacEncoder() { return std::make_unique<AacEncoder>(); }

}  // namespace orvik
