#include "recorder/encode/vcm_compressor.h"

#include <cstdlib>
#include <cstring>

#include "recorder/encode/uncompressed_encoder.h"

namespace orvik {

namespace {

constexpr uint32_t kDibHandler = mmioFOURCC('D', 'I', 'B', ' ');
constexpr uint32_t kAnyCase = 0x20202020;  // a fourcc's letters compared without case

bool SameFourcc(uint32_t a, uint32_t b) { return (a | kAnyCase) == (b | kAnyCase); }

BITMAPINFOHEADER* Header(std::vector<uint8_t>& format) {
  return reinterpret_cast<BITMAPINFOHEADER*>(format.data());
}

// Checks an uncompressed frame format and completes what codecs rely on: the frame size in
// biSizeImage and, for palette depths, the colour count in biClrUsed (Wine's MS-RLE aborts the
// process on an 8-bit format that leaves it 0). Returns the bytes of one frame, 0 if unusable.
uint32_t NormaliseInput(std::vector<uint8_t>& format) {
  if (format.size() < sizeof(BITMAPINFOHEADER)) return 0;
  BITMAPINFOHEADER bi;
  std::memcpy(&bi, format.data(), sizeof bi);
  if (bi.biSize < sizeof(BITMAPINFOHEADER) || bi.biSize > format.size() || bi.biWidth <= 0 ||
      bi.biHeight == 0 || bi.biPlanes != 1)
    return 0;
  const WORD bits = bi.biBitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return 0;
  size_t tail = 0;  // bytes that must follow the header
  if (bi.biCompression == BI_BITFIELDS) {
    if (bits != 16 && bits != 32) return 0;
    if (bi.biSize == sizeof(BITMAPINFOHEADER)) tail = 3 * sizeof(DWORD);
  } else if (bi.biCompression != BI_RGB) {
    return 0;
  }
  if (bits <= 8) {
    const DWORD colors = bi.biClrUsed ? bi.biClrUsed : 1u << bits;
    if (colors > (1u << bits)) return 0;
    bi.biClrUsed = colors;
    tail = colors * sizeof(RGBQUAD);
  }
  if (format.size() - bi.biSize < tail) return 0;
  const uint64_t stride = (static_cast<uint64_t>(bi.biWidth) * bits + 31) / 32 * 4;
  const uint64_t rows = bi.biHeight > 0 ? bi.biHeight : -static_cast<int64_t>(bi.biHeight);
  const uint64_t bytes = stride * rows;
  if (bytes == 0 || bytes >= (1ull << 31)) return 0;
  bi.biSizeImage = static_cast<DWORD>(bytes);
  std::memcpy(format.data(), &bi, sizeof bi);
  return static_cast<uint32_t>(bytes);
}

// A DWORD a codec reports through a pointer; `fallback` when it does not answer.
DWORD AskCodec(HIC hic, UINT message, DWORD fallback) {
  DWORD value = fallback;
  if (ICSendMessage(hic, message, reinterpret_cast<DWORD_PTR>(&value), sizeof value) != ICERR_OK)
    return fallback;
  return value;
}

// The largest compressed frame the codec names, or a bound of our own: a codec that names none
// or answers with an error code (ICERR_UNSUPPORTED is -1, which read as a size would be 4 GiB)
// gets room for twice the raw frame.
uint32_t FrameBound(LRESULT named, uint32_t frameBytes) {
  const uint64_t ours = uint64_t{frameBytes} * 2 + 4096;
  if (named <= 0 || static_cast<uint64_t>(named) > ours * 4) return static_cast<uint32_t>(ours);
  return static_cast<uint32_t>(named);
}

}  // namespace

CodecSettings CodecSettings::From(const AVICOMPRESSOPTIONS& options) {
  CodecSettings s;
  s.handler = options.fccHandler;
  s.flags = options.dwFlags;
  s.keyFrameEvery = options.dwKeyFrameEvery;
  s.quality = options.dwQuality;
  s.bytesPerSecond = options.dwBytesPerSecond;
  if (options.lpParms && options.cbParms > 0) {
    const auto* state = static_cast<const uint8_t*>(options.lpParms);
    s.state.assign(state, state + options.cbParms);
  }
  return s;
}

std::wstring CodecDescription(uint32_t handler) {
  UniqueHic hic(ICOpen(ICTYPE_VIDEO, handler, ICMODE_QUERY));
  if (!hic) return L"";
  ICINFO info{};
  info.dwSize = sizeof info;
  if (ICGetInfo(hic.get(), &info, sizeof info) == 0) return L"";
  info.szDescription[sizeof info.szDescription / sizeof(wchar_t) - 1] = L'\0';
  return info.szDescription;
}

std::unique_ptr<FrameEncoder> MakeFrameEncoder(const CodecSettings& settings,
                                               std::vector<uint8_t> format, int framesPerSecond) {
  const uint32_t frameBytes = NormaliseInput(format);
  if (frameBytes == 0) return nullptr;
  if (settings.handler == 0 || SameFourcc(settings.handler, kDibHandler))
    return std::make_unique<UncompressedEncoder>(std::move(format), frameBytes);
  return std::make_unique<VcmCompressor>(settings, std::move(format), framesPerSecond);
}

VcmCompressor::VcmCompressor(CodecSettings settings, std::vector<uint8_t> input,
                             int framesPerSecond)
    : settings_(std::move(settings)),
      framesPerSecond_(framesPerSecond > 0 ? framesPerSecond : 1),
      inFormat_(std::move(input)) {}

bool VcmCompressor::Open() {
  Close();
  frameBytes_ = NormaliseInput(inFormat_);
  if (frameBytes_ == 0 || !OpenCodec()) {
    Close();
    return false;
  }
  const auto* in = reinterpret_cast<const BITMAPINFOHEADER*>(inFormat_.data());
  video_.width = static_cast<uint32_t>(in->biWidth);
  video_.height = static_cast<uint32_t>(std::abs(in->biHeight));
  video_.fourcc = settings_.handler;
  open_ = true;
  return true;
}

bool VcmCompressor::OpenCodec() {
  hic_.reset(ICOpen(ICTYPE_VIDEO, settings_.handler, ICMODE_COMPRESS));
  if (!hic_) return false;
  HIC hic = hic_.get();
  ICINFO info{};
  info.dwSize = sizeof info;
  const DWORD caps = ICGetInfo(hic, &info, sizeof info) > 0 ? info.dwFlags : 0;
  if (!settings_.state.empty()) {
    std::vector<uint8_t> state = settings_.state;  // the codec may write to it
    ICSetState(hic, state.data(), static_cast<DWORD>(state.size()));
  }

  auto* in = reinterpret_cast<BITMAPINFO*>(inFormat_.data());
  // 'msvc' and 'cvid' open in compress mode under Wine but are decoders only: the query fails.
  if (ICCompressQuery(hic, in, nullptr) != ICERR_OK) return false;
  const LRESULT formatSize = ICCompressGetFormat(hic, in, nullptr);
  if (formatSize < static_cast<LRESULT>(sizeof(BITMAPINFOHEADER)) || formatSize > (1 << 20))
    return false;
  std::vector<uint8_t>& outFormat = video_.format;
  outFormat.assign(static_cast<size_t>(formatSize), 0);
  auto* out = reinterpret_cast<BITMAPINFO*>(outFormat.data());
  if (ICCompressGetFormat(hic, in, out) != ICERR_OK) return false;
  if (out->bmiHeader.biSize < sizeof(BITMAPINFOHEADER) || out->bmiHeader.biSize > formatSize)
    return false;
  maxFrameBytes_ = FrameBound(static_cast<LRESULT>(ICSendMessage(hic, ICM_COMPRESS_GET_SIZE,
                                                                 reinterpret_cast<DWORD_PTR>(in),
                                                                 reinterpret_cast<DWORD_PTR>(out))),
                              frameBytes_);

  if (!(caps & VIDCF_TEMPORAL)) {
    keyEvery_ = 1;  // every frame stands alone
  } else if (SameFourcc(settings_.handler, mmioFOURCC('m', 'r', 'l', 'e'))) {
    // Wine's MS-RLE claims temporal compression, but its delta frames do not decode.
    keyEvery_ = 1;
  } else if (settings_.flags & AVICOMPRESSF_KEYFRAMES) {
    keyEvery_ = settings_.keyFrameEvery;
  } else {
    keyEvery_ = AskCodec(hic, ICM_GETDEFAULTKEYFRAMERATE, 0);
  }
  quality_ = settings_.quality;
  if (quality_ == static_cast<DWORD>(ICQUALITY_DEFAULT))
    quality_ = AskCodec(hic, ICM_GETDEFAULTQUALITY, static_cast<DWORD>(ICQUALITY_DEFAULT));
  if ((settings_.flags & AVICOMPRESSF_DATARATE) && (caps & VIDCF_CRUNCH))
    frameSize_ = settings_.bytesPerSecond / static_cast<DWORD>(framesPerSecond_);

  // Tells the codec the stream's rate, key-frame spacing and budget before it starts.
  ICCOMPRESSFRAMES frames{};
  frames.lpbiOutput = &out->bmiHeader;
  frames.lpbiInput = &in->bmiHeader;
  frames.lQuality = static_cast<LONG>(quality_);
  frames.lDataRate = static_cast<LONG>(frameSize_);
  frames.lKeyRate = static_cast<LONG>(keyEvery_);
  frames.dwRate = static_cast<DWORD>(framesPerSecond_);
  frames.dwScale = 1;
  ICSendMessage(hic, ICM_COMPRESS_FRAMES_INFO, reinterpret_cast<DWORD_PTR>(&frames), sizeof frames);

  if (ICCompressBegin(hic, in, out) != ICERR_OK) return false;
  begun_ = true;
  workFormat_ = outFormat;
  out_.assign(kFrameRoomBefore + maxFrameBytes_ + kFrameRoomAfter, 0);
  keepPrev_ = (caps & VIDCF_TEMPORAL) && !(caps & VIDCF_FASTTEMPORALC) && keyEvery_ != 1;
  if (keepPrev_) prev_.assign(frameBytes_, 0);
  return true;
}

bool VcmCompressor::Encode(uint8_t* bits, bool, EncodedFrame* out) {
  if (!open_ || !bits) return false;
  const bool askKey = frameNum_ == 0 || keyEvery_ == 1 || (keyEvery_ > 0 && sinceKey_ >= keyEvery_);
  auto* in = reinterpret_cast<BITMAPINFOHEADER*>(inFormat_.data());
  BITMAPINFOHEADER* outFormat = Header(workFormat_);
  outFormat->biSizeImage = maxFrameBytes_;
  const bool withPrev = keepPrev_ && frameNum_ > 0;
  uint8_t* compressed = out_.data() + kFrameRoomBefore;
  DWORD flags = 0, ckid = 0;
  const DWORD result = ICCompress(
      hic_.get(), askKey ? ICCOMPRESS_KEYFRAME : 0, outFormat, compressed, in, bits, &ckid, &flags,
      frameNum_, frameSize_, quality_, withPrev ? in : nullptr, withPrev ? prev_.data() : nullptr);
  if (result != ICERR_OK || outFormat->biSizeImage > maxFrameBytes_) return false;
  if (keepPrev_) std::memcpy(prev_.data(), bits, frameBytes_);
  const bool isKey = (flags & AVIIF_KEYFRAME) != 0;
  sinceKey_ = isKey ? 1 : sinceKey_ + 1;
  ++frameNum_;
  *out = EncodedFrame{compressed, outFormat->biSizeImage, true, isKey};
  return true;
}

void VcmCompressor::Close() {
  if (begun_) ICCompressEnd(hic_.get());
  begun_ = false;
  hic_.reset();
  open_ = keepPrev_ = false;
  frameBytes_ = maxFrameBytes_ = keyEvery_ = sinceKey_ = quality_ = frameSize_ = 0;
  frameNum_ = 0;
  workFormat_.clear();
  out_.clear();
  out_.shrink_to_fit();
  prev_.clear();
  prev_.shrink_to_fit();
}

}  // namespace orvik
