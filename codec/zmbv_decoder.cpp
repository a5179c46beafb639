#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "codec/zmbv.h"

namespace orvik::zmbv {

namespace {

bool FormatFromCode(uint8_t code, PixelFormat& format) {
  switch (code) {
    case 4:
      format = PixelFormat::kPal8;
      return true;
    case 5:
      format = PixelFormat::kRgb555;
      return true;
    case 6:
      format = PixelFormat::kRgb565;
      return true;
    case 8:
      format = PixelFormat::kBgrx32;
      return true;
    default:
      return false;
  }
}

}  // namespace

// What a key frame's header sets for the frames up to the next one.
struct StreamLayout {
  bool compressed = true;
  PixelFormat format = PixelFormat::kBgrx32;
  int bpp = 4;
  int blockW = 16, blockH = 16;
};

struct Decoder::State {
  int width = 0, height = 0;
  bool haveKey = false;  // a key frame started the current stream and nothing failed since
  bool everDecoded = false;
  StreamLayout layout;
  std::vector<uint8_t> cur, prev;
  std::vector<uint8_t> work;  // one frame's bytes after inflate
  Palette palette{};
  z_stream zs{};
  bool zReady = false;

  ~State() {
    if (zReady) inflateEnd(&zs);
  }

  size_t RowBytes(const StreamLayout& l) const { return static_cast<size_t>(width) * l.bpp; }
  size_t RowBytes() const { return RowBytes(layout); }
  size_t FrameBytes(const StreamLayout& l) const { return RowBytes(l) * height; }
  size_t FrameBytes() const { return FrameBytes(layout); }
  size_t Blocks(const StreamLayout& l) const {
    return static_cast<size_t>((width + l.blockW - 1) / l.blockW) *
           ((height + l.blockH - 1) / l.blockH);
  }
  size_t Blocks() const { return Blocks(layout); }
  // The most a frame of that layout can hold: palette, block table, XOR data of every block.
  size_t MaxPayload(const StreamLayout& l) const {
    return 768 + ((Blocks(l) * 2 + 3) & ~size_t{3}) + FrameBytes(l);
  }

  // Inflates (or copies) the payload into `work`; returns the bytes produced, or false when
  // the zlib data is broken or would produce more than any frame of layout `l` can hold.
  bool Unpack(const StreamLayout& l, const uint8_t* data, size_t size, size_t& produced) {
    const size_t cap = MaxPayload(l) + 1;  // one spare byte tells "too much" from "exactly full"
    if (work.size() < cap) work.resize(cap);
    if (!l.compressed) {
      if (size >= cap) return false;
      if (size > 0) std::memcpy(work.data(), data, size);
      produced = size;
      return true;
    }
    zs.next_in = const_cast<Bytef*>(data);
    zs.next_out = work.data();
    zs.avail_out = static_cast<uInt>(cap);
    size_t left = size;
    while (true) {
      const uInt chunk = static_cast<uInt>(std::min<size_t>(left, 1u << 30));
      zs.avail_in = chunk;
      const int rc = inflate(&zs, Z_SYNC_FLUSH);
      left -= chunk - zs.avail_in;
      if (rc == Z_STREAM_END) break;  // a finished stream: later deltas fail on it
      if (rc != Z_OK && rc != Z_BUF_ERROR) return false;
      if (zs.avail_out == 0) return false;
      if (left == 0) break;
      if (rc == Z_BUF_ERROR) return false;
    }
    produced = static_cast<size_t>(zs.next_out - work.data());
    return produced < cap;
  }

  // Nothing of the decoder changes unless the whole key frame is good: a refused one (of
  // another depth, cut short) leaves the last picture, its format and palette as they were.
  bool KeyFrame(const uint8_t* data, size_t size) {
    if (size < kKeyHeaderBytes) return false;
    StreamLayout l;
    if (data[1] != 0 || data[2] != 1 || data[3] > 1 || !FormatFromCode(data[4], l.format) ||
        data[5] == 0 || data[6] == 0)
      return false;
    l.bpp = BytesPerPixel(l.format);
    l.blockW = data[5];
    l.blockH = data[6];
    l.compressed = data[3] == 1;
    if (l.compressed && inflateReset(&zs) != Z_OK) return false;
    size_t n = 0;
    if (!Unpack(l, data + kKeyHeaderBytes, size - kKeyHeaderBytes, n)) return false;
    const size_t pal = l.format == PixelFormat::kPal8 ? 768 : 0;
    if (n != pal + FrameBytes(l)) return false;  // a key frame is the whole picture
    layout = l;
    if (cur.size() != FrameBytes()) {
      cur.assign(FrameBytes(), 0);
      prev.assign(FrameBytes(), 0);
    }
    if (pal) std::memcpy(palette.data(), work.data(), 768);
    std::memcpy(cur.data(), work.data() + pal, FrameBytes());
    return true;
  }

  void BlockRect(size_t i, int& x, int& y, int& w, int& h) const {
    const int blocksX = (width + layout.blockW - 1) / layout.blockW;
    x = static_cast<int>(i % blocksX) * layout.blockW;
    y = static_cast<int>(i / blocksX) * layout.blockH;
    w = std::min(layout.blockW, width - x);
    h = std::min(layout.blockH, height - y);
  }

  // The XOR bytes a block table asks for; a frame must carry exactly these after it.
  size_t XorBytes(const uint8_t* table, size_t blocks) const {
    size_t total = 0;
    for (size_t i = 0; i < blocks; ++i) {
      if (!(table[2 * i] & 1)) continue;
      int x, y, w, h;
      BlockRect(i, x, y, w, h);
      total += static_cast<size_t>(w) * h * layout.bpp;
    }
    return total;
  }

  // The whole frame is checked before any of it is applied: a refused delta leaves the
  // picture and the palette as the last good frame left them.
  bool DeltaFrame(const uint8_t* data, size_t size) {
    const uint8_t flags = data[0];
    size_t n = 0;
    if (!Unpack(layout, data + 1, size - 1, n)) return false;
    const bool newPalette = flags & kFlagPalette;
    const size_t paletteBytes = newPalette ? 768 : 0;
    if (newPalette && layout.format != PixelFormat::kPal8) return false;
    const size_t blocks = Blocks();
    const size_t tableBytes = (blocks * 2 + 3) & ~size_t{3};
    if (n < paletteBytes + tableBytes) return false;
    const uint8_t* table = work.data() + paletteBytes;
    if (n - paletteBytes - tableBytes != XorBytes(table, blocks)) return false;

    for (size_t i = 0; i < paletteBytes; ++i) palette[i] ^= work[i];
    // Blocks are patched in place; only a frame with motion needs the old picture aside,
    // since a vector may read what an earlier block already overwrote.
    bool motion = false;
    for (size_t i = 0; i < blocks && !motion; ++i)
      motion = (table[2 * i] | table[2 * i + 1]) & 0xFE;
    if (motion) prev = cur;
    const uint8_t* xorData = table + tableBytes;
    for (size_t i = 0; i < blocks; ++i) {
      int x, y, w, h;
      BlockRect(i, x, y, w, h);
      const int dx = static_cast<int8_t>(table[2 * i]) >> 1;
      const int dy = static_cast<int8_t>(table[2 * i + 1]) >> 1;
      if (dx != 0 || dy != 0) CopyBlock(x, y, w, h, dx, dy);
      if (table[2 * i] & 1) xorData = XorBlock(x, y, w, h, xorData);
    }
    return true;
  }

  // XORs the block at (x, y) with the bytes at `d`; returns where the next block's begin.
  const uint8_t* XorBlock(int x, int y, int w, int h, const uint8_t* d) {
    const size_t rowBytes = static_cast<size_t>(w) * layout.bpp;
    for (int j = 0; j < h; ++j, d += rowBytes) {
      uint8_t* o = cur.data() + RowBytes() * (y + j) + static_cast<size_t>(x) * layout.bpp;
      for (size_t k = 0; k < rowBytes; ++k) o[k] ^= d[k];
    }
    return d;
  }

  // The block at (x, y) of `cur` from (x + dx, y + dy) of `prev`; what lies outside the
  // frame reads as zero.
  void CopyBlock(int x, int y, int w, int h, int dx, int dy) {
    const int bpp = layout.bpp;
    for (int j = 0; j < h; ++j) {
      uint8_t* o = cur.data() + RowBytes() * (y + j) + static_cast<size_t>(x) * bpp;
      const int sy = y + j + dy;
      const size_t rowBytes = static_cast<size_t>(w) * bpp;
      if (sy < 0 || sy >= height) {
        std::memset(o, 0, rowBytes);
        continue;
      }
      const int sx0 = std::max(x + dx, 0);
      const int sx1 = std::min(x + dx + w, width);
      if (sx0 >= sx1) {
        std::memset(o, 0, rowBytes);
        continue;
      }
      const size_t lead = static_cast<size_t>(sx0 - (x + dx)) * bpp;
      const size_t mid = static_cast<size_t>(sx1 - sx0) * bpp;
      std::memset(o, 0, lead);
      std::memcpy(o + lead, prev.data() + RowBytes() * sy + static_cast<size_t>(sx0) * bpp, mid);
      std::memset(o + lead + mid, 0, rowBytes - lead - mid);
    }
  }
};

Decoder::Decoder() = default;
Decoder::~Decoder() = default;

bool Decoder::Begin(int width, int height) {
  s_.reset();
  if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension) return false;
  auto s = std::make_unique<State>();
  s->width = width;
  s->height = height;
  if (inflateInit(&s->zs) != Z_OK) return false;
  s->zReady = true;
  s_ = std::move(s);
  return true;
}

DecodeResult Decoder::Decode(const uint8_t* data, size_t size) {
  if (!s_ || !data || size == 0) return DecodeResult::kError;
  State& s = *s_;
  const bool key = data[0] & kFlagKeyFrame;
  bool ok;
  if (key) {
    ok = s.KeyFrame(data, size);
  } else {
    ok = s.haveKey && s.DeltaFrame(data, size);
  }
  s.haveKey = ok;
  if (!ok) return DecodeResult::kError;
  s.everDecoded = true;
  return key ? DecodeResult::kKeyFrame : DecodeResult::kDeltaFrame;
}

int Decoder::Width() const { return s_ ? s_->width : 0; }
int Decoder::Height() const { return s_ ? s_->height : 0; }
PixelFormat Decoder::Format() const { return s_ ? s_->layout.format : PixelFormat::kBgrx32; }

const Palette& Decoder::CurrentPalette() const {
  static const Palette kEmpty{};
  return s_ ? s_->palette : kEmpty;
}

const uint8_t* Decoder::Pixels() const { return s_ && s_->everDecoded ? s_->cur.data() : nullptr; }

bool Decoder::CopyTo(uint8_t* dst, ptrdiff_t stride, PixelFormat format) const {
  if (!s_ || !s_->everDecoded || !dst) return false;
  const State& s = *s_;
  const bool narrow = s.layout.format == PixelFormat::kBgrx32 && format == PixelFormat::kBgr24;
  const bool to565 = s.layout.format == PixelFormat::kRgb555 && format == PixelFormat::kRgb565;
  const bool to555 = s.layout.format == PixelFormat::kRgb565 && format == PixelFormat::kRgb555;
  if (format != s.layout.format && !narrow && !to565 && !to555) return false;
  for (int y = 0; y < s.height; ++y) {
    const uint8_t* src = s.cur.data() + s.RowBytes() * y;
    uint8_t* o = dst + stride * y;
    if (format == s.layout.format) {
      std::memcpy(o, src, s.RowBytes());
    } else if (narrow) {
      for (int x = 0; x < s.width; ++x, src += 4, o += 3) {
        o[0] = src[0];
        o[1] = src[1];
        o[2] = src[2];
      }
    } else {
      for (int x = 0; x < s.width; ++x, src += 2, o += 2) {
        const unsigned v = src[0] | src[1] << 8;
        // Green gains or loses its lowest bit; red and blue stay.
        const unsigned w = to565 ? (v & 0x7C00) << 1 | (v & 0x03E0) << 1 | (v & 0x1F)
                                 : (v & 0xF800) >> 1 | (v & 0x07C0) >> 1 | (v & 0x1F);
        o[0] = static_cast<uint8_t>(w);
        o[1] = static_cast<uint8_t>(w >> 8);
      }
    }
  }
  return true;
}

}  // namespace orvik::zmbv
