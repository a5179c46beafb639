#include <zlib.h>

// The bench builds this file once more with ORVIK_ZMBV_PORTABLE, the byte loops the compiler
// makes of it, to time both in one run and check that they write the same bytes.
#if defined(__SSE2__) && !defined(ORVIK_ZMBV_PORTABLE)
#include <emmintrin.h>
#define ORVIK_ZMBV_SSE2 1
#endif

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "codec/quick_deflate.h"
#include "codec/zmbv.h"

namespace orvik::zmbv {

namespace {

uint8_t FormatCode(PixelFormat stored) {
  switch (stored) {
    case PixelFormat::kPal8:
      return 4;
    case PixelFormat::kRgb555:
      return 5;
    case PixelFormat::kRgb565:
      return 6;
    default:
      return 8;
  }
}

struct Vec {
  int dx = 0, dy = 0;
  bool operator==(const Vec& o) const { return dx == o.dx && dy == o.dy; }
  bool Zero() const { return dx == 0 && dy == 0; }
};

// Exact-match probes allowed per frame in the wide search; each one usually ends at the
// first row that differs, so this bounds a frame of noise to well under a millisecond.
constexpr int kSearchBudget = 20000;
// A vector component is a signed 7-bit field.
constexpr int kMaxVector = 63;
constexpr size_t kVoteSide = 2 * kMaxVector + 1;
const uint8_t kZeros[kBlockSize * 4] = {};

uint64_t EightBytes(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Block rows are 16 pixels: 16, 32 or 64 bytes, compared 16 at a time where SSE2 is there
// (always on x86-64); a row cut by the frame's right edge ends in single bytes.
bool SameBytes(const uint8_t* a, const uint8_t* b, size_t n) {
  size_t i = 0;
#ifdef ORVIK_ZMBV_SSE2
  for (; i + 16 <= n; i += 16) {
    const __m128i eq = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)),
                                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)));
    if (_mm_movemask_epi8(eq) != 0xFFFF) return false;
  }
#endif
  return i == n || std::memcmp(a + i, b + i, n - i) == 0;
}

int DifferingBytes(const uint8_t* a, const uint8_t* b, size_t n) {
  size_t i = 0;
  int count = 0;
#ifdef ORVIK_ZMBV_SSE2
  if (n >= 16) {
    // Each lane counts its equal bytes down from zero (a compare gives -1): at most four in a
    // row of 64 bytes.
    __m128i equal = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16)
      equal = _mm_add_epi8(
          equal, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i))));
    const __m128i sums =
        _mm_sad_epu8(_mm_sub_epi8(_mm_setzero_si128(), equal), _mm_setzero_si128());
    count = static_cast<int>(i) - _mm_cvtsi128_si32(sums) - _mm_extract_epi16(sums, 4);
  }
#endif
  for (; i < n; ++i) count += a[i] != b[i];
  return count;
}

void XorBytes(uint8_t* out, const uint8_t* a, const uint8_t* b, size_t n) {
  size_t i = 0;
#ifdef ORVIK_ZMBV_SSE2
  for (; i + 16 <= n; i += 16)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i))));
#endif
  for (; i < n; ++i) out[i] = a[i] ^ b[i];
}

}  // namespace

int BytesPerPixel(PixelFormat format) {
  switch (format) {
    case PixelFormat::kPal8:
      return 1;
    case PixelFormat::kRgb555:
    case PixelFormat::kRgb565:
      return 2;
    case PixelFormat::kBgr24:
      return 3;
    case PixelFormat::kBgrx32:
      return 4;
  }
  return 0;
}

PixelFormat StoredFormat(PixelFormat input) {
  return input == PixelFormat::kBgr24 ? PixelFormat::kBgrx32 : input;
}

struct Encoder::State {
  int width = 0, height = 0;
  PixelFormat input = PixelFormat::kBgrx32;
  int bpp = 4;  // stored bytes per pixel
  int blocksX = 0, blocksY = 0;
  Options options;

  std::vector<uint8_t> prev;     // the last frame as the decoder holds it, top-down, tight
  std::vector<uint8_t> staging;  // 24-bit input widened to 32 bits
  std::vector<uint8_t> raw;      // room for what a delta frame feeds to deflate
  size_t rawSize = 0;            // the part of it this frame uses
  std::vector<Vec> vectors, lastVectors;
  std::vector<int> costs;  // per block: bytes its XOR data leaves non-zero (0: exact)
  std::vector<uint32_t> voteCounts = std::vector<uint32_t>(kVoteSide * kVoteSide);
  std::vector<uint8_t> changed;  // per block: differs from the previous frame
  Vec dominant;                  // the most used non-zero vector of the last frame

  z_stream zs{};
  bool zReady = false;
  // Delta frames' coder (by default): zlib only ever writes key frames then, each after a
  // reset, so its window never needs what this one wrote.
  QuickDeflater quick;
  bool needKey = true;
  uint32_t sinceKey = 0;  // frames since the last key frame, that one included

  Palette palette{};
  Palette sentPalette{};

  // The frame being encoded: top-down rows in the stored format.
  const uint8_t* cur = nullptr;
  ptrdiff_t curStride = 0;
  int searchLeft = 0;

  ~State() {
    if (zReady) deflateEnd(&zs);
  }

  size_t RowBytes() const { return static_cast<size_t>(width) * bpp; }
  const uint8_t* CurRow(int y) const { return cur + curStride * y; }
  const uint8_t* PrevRow(int y) const { return prev.data() + RowBytes() * y; }

  void BlockRect(int bx, int by, int& x, int& y, int& w, int& h) const {
    x = bx * kBlockSize;
    y = by * kBlockSize;
    w = std::min(kBlockSize, width - x);
    h = std::min(kBlockSize, height - y);
  }

  // Row j of the block's reference under `v`: the previous frame, zeros where the vector
  // points outside it (decoders read the outside as zero, which also lets a block at the
  // edge of a scroll take the new rows as plain pixels).
  const uint8_t* RefRow(int x, int y, int w, Vec v, int j, uint8_t* scratch) const {
    const int sy = y + v.dy + j;
    const int sx = x + v.dx;
    if (sy < 0 || sy >= height) return kZeros;
    if (sx >= 0 && sx + w <= width) return PrevRow(sy) + static_cast<size_t>(sx) * bpp;
    std::memset(scratch, 0, static_cast<size_t>(w) * bpp);
    const int from = std::max(sx, 0), to = std::min(sx + w, width);
    if (from < to)
      std::memcpy(scratch + static_cast<size_t>(from - sx) * bpp,
                  PrevRow(sy) + static_cast<size_t>(from) * bpp,
                  static_cast<size_t>(to - from) * bpp);
    return scratch;
  }

  bool Matches(int x, int y, int w, int h, Vec v) const {
    const size_t n = static_cast<size_t>(w) * bpp;
    uint8_t scratch[kBlockSize * 4];
    for (int j = 0; j < h; ++j) {
      if (!SameBytes(CurRow(y + j) + static_cast<size_t>(x) * bpp, RefRow(x, y, w, v, j, scratch),
                     n))
        return false;
    }
    return true;
  }

  // Differing bytes under `v`: what the XOR data would leave for deflate to squeeze. A
  // vector is taken only when cheaper than the best so far, so counting stops, a row at a
  // time, once the count reaches `best`: the result is then `best` or more, never less.
  int Cost(int x, int y, int w, int h, Vec v, int best = INT_MAX) const {
    const size_t n = static_cast<size_t>(w) * bpp;
    uint8_t scratch[kBlockSize * 4];
    int cost = 0;
    for (int j = 0; j < h; ++j) {
      cost += DifferingBytes(CurRow(y + j) + static_cast<size_t>(x) * bpp,
                             RefRow(x, y, w, v, j, scratch), n);
      if (cost >= best) break;
    }
    return cost;
  }

  // Looks for a vector that reproduces the block exactly: first along the axes (scrolling),
  // then around the origin, within what is left of this frame's budget.
  bool Search(int x, int y, int w, int h, Vec& found) {
    const int r = std::clamp(options.searchRange, 0, kMaxVector);
    const uint8_t* first = CurRow(y) + static_cast<size_t>(x) * bpp;
    const bool wide = static_cast<size_t>(w) * bpp >= 8;
    auto probe = [&](Vec v) {
      if (searchLeft <= 0) return false;
      --searchLeft;
      // Most vectors fail on the first eight bytes: those are compared here, without a call.
      const int sx = x + v.dx, sy = y + v.dy;
      if (wide && sy >= 0 && sy < height && sx >= 0 && sx + w <= width &&
          EightBytes(first) != EightBytes(PrevRow(sy) + static_cast<size_t>(sx) * bpp))
        return false;
      if (!Matches(x, y, w, h, v)) return false;
      found = v;
      return true;
    };
    // The loops end with the budget too: a frame of video spends it on its first few blocks.
    for (int d = 1; d <= r && searchLeft > 0; ++d) {
      if (probe({0, d}) || probe({0, -d}) || probe({d, 0}) || probe({-d, 0})) return true;
    }
    const int r2 = std::min(r, 8);
    for (int dy = -r2; dy <= r2 && searchLeft > 0; ++dy) {
      for (int dx = -r2; dx <= r2 && searchLeft > 0; ++dx) {
        if (dx != 0 && dy != 0 && probe({dx, dy})) return true;
      }
    }
    return false;
  }

  bool Changed(int bx, int by) const {
    return bx >= 0 && by >= 0 && bx < blocksX && by < blocksY &&
           changed[static_cast<size_t>(by) * blocksX + bx];
  }

  // Picks the vector of one changed block: exact when a neighbour's, the block's last one,
  // the last frame's usual one or (inside a changed area) a bounded search finds one;
  // otherwise the cheapest of those tried, with XOR data.
  void Choose(int bx, int by) {
    int x, y, w, h;
    BlockRect(bx, by, x, y, w, h);
    const size_t i = static_cast<size_t>(by) * blocksX + bx;
    Vec candidates[5];
    int n = 0;
    auto add = [&](Vec v) {
      if (v.Zero()) return;
      for (int k = 0; k < n; ++k)
        if (candidates[k] == v) return;
      candidates[n++] = v;
    };
    if (bx > 0) add(vectors[i - 1]);
    if (by > 0) add(vectors[i - blocksX]);
    add(lastVectors[i]);
    add(dominant);
    if (bx + 1 < blocksX && by > 0) add(vectors[i - blocksX + 1]);
    for (int k = 0; k < n; ++k) {
      if (Matches(x, y, w, h, candidates[k])) {
        vectors[i] = candidates[k];
        costs[i] = 0;
        return;
      }
    }
    // A wide search only inside a changed area: at its edges content moved in or out, and
    // no vector is exact there.
    const bool interior =
        Changed(bx - 1, by) && Changed(bx + 1, by) && Changed(bx, by - 1) && Changed(bx, by + 1);
    if (interior && Search(x, y, w, h, vectors[i])) {
      costs[i] = 0;
      return;
    }
    vectors[i] = {};
    costs[i] = Cost(x, y, w, h, {});
    for (int k = 0; k < n && costs[i] > 0; ++k) {
      const int c = Cost(x, y, w, h, candidates[k], costs[i]);
      if (c < costs[i]) {
        costs[i] = c;
        vectors[i] = candidates[k];
      }
    }
  }

  // The most used non-zero vector among the blocks this frame reproduced exactly.
  Vec Dominant() {
    std::fill(voteCounts.begin(), voteCounts.end(), 0);
    uint32_t best = 0;
    Vec winner;
    for (size_t i = 0; i < vectors.size(); ++i) {
      const Vec v = vectors[i];
      if (v.Zero() || costs[i] != 0) continue;
      uint32_t& c =
          voteCounts[static_cast<size_t>(v.dy + kMaxVector) * kVoteSide + (v.dx + kMaxVector)];
      if (++c > best) {
        best = c;
        winner = v;
      }
    }
    return winner;
  }

  // Block vectors of a delta frame: the changed blocks get theirs, then the blocks still
  // needing XOR data try the frame's usual vector, which reaches blocks scanned before it
  // was found (the top row and left column of a scroll).
  void ChooseVectors() {
    lastVectors.swap(vectors);
    std::fill(vectors.begin(), vectors.end(), Vec{});
    std::fill(costs.begin(), costs.end(), 0);
    searchLeft = kSearchBudget;
    for (int by = 0; by < blocksY; ++by)
      for (int bx = 0; bx < blocksX; ++bx)
        if (changed[static_cast<size_t>(by) * blocksX + bx]) Choose(bx, by);
    dominant = Dominant();
    if (dominant.Zero()) return;
    for (int by = 0; by < blocksY; ++by) {
      for (int bx = 0; bx < blocksX; ++bx) {
        const size_t i = static_cast<size_t>(by) * blocksX + bx;
        if (costs[i] == 0 || vectors[i] == dominant) continue;
        int x, y, w, h;
        BlockRect(bx, by, x, y, w, h);
        const int c = Cost(x, y, w, h, dominant, costs[i]);
        if (c < costs[i]) {
          costs[i] = c;
          vectors[i] = dominant;
        }
      }
    }
  }

  // Marks the blocks that differ from the previous frame. Whole rows are compared first:
  // on a screen most rows are unchanged, and one long memcmp beats many short ones.
  void FindChanges() {
    std::fill(changed.begin(), changed.end(), 0);
    const size_t rowBytes = RowBytes();
    const size_t blockBytes = static_cast<size_t>(kBlockSize) * bpp;
    for (int y = 0; y < height; ++y) {
      const uint8_t* a = CurRow(y);
      const uint8_t* b = PrevRow(y);
      if (std::memcmp(a, b, rowBytes) == 0) continue;
      uint8_t* flags = &changed[static_cast<size_t>(y / kBlockSize) * blocksX];
      for (int bx = 0; bx < blocksX; ++bx) {
        if (flags[bx]) continue;
        const size_t off = static_cast<size_t>(bx) * blockBytes;
        const size_t n = std::min(blockBytes, rowBytes - off);
        if (std::memcmp(a + off, b + off, n) != 0) flags[bx] = 1;
      }
    }
  }

  void AppendXor(int x, int y, int w, int h, Vec v) {
    const size_t n = static_cast<size_t>(w) * bpp;
    uint8_t scratch[kBlockSize * 4];
    for (int j = 0; j < h; ++j) {
      XorBytes(raw.data() + rawSize, CurRow(y + j) + static_cast<size_t>(x) * bpp,
               RefRow(x, y, w, v, j, scratch), n);
      rawSize += n;
    }
  }

  bool Deflate(const uint8_t* data, size_t size, int flush) {
    zs.next_in = const_cast<Bytef*>(data);
    zs.avail_in = static_cast<uInt>(size);
    const int rc = deflate(&zs, flush);
    return (rc == Z_OK || rc == Z_BUF_ERROR) && zs.avail_in == 0 && zs.avail_out > 0;
  }

  // The whole frame through zlib, restarted. Returns the frame's size; 0 when it failed.
  size_t WriteKeyFrame(uint8_t* out, size_t capacity) {
    out[0] = kFlagKeyFrame;
    out[1] = 0;  // version 0.1
    out[2] = 1;
    out[3] = 1;  // zlib
    out[4] = FormatCode(StoredFormat(input));
    out[5] = kBlockSize;
    out[6] = kBlockSize;
    const size_t pos = kKeyHeaderBytes;
    if (deflateReset(&zs) != Z_OK) return 0;
    for (int y = 0; y < height; ++y)
      std::memcpy(prev.data() + RowBytes() * y, CurRow(y), RowBytes());
    zs.next_out = out + pos;
    zs.avail_out = static_cast<uInt>(std::min<size_t>(capacity - pos, 0xFFFFFFFFu));
    if (input == PixelFormat::kPal8 && !Deflate(palette.data(), palette.size(), Z_NO_FLUSH))
      return 0;
    if (!Deflate(prev.data(), prev.size(), Z_SYNC_FLUSH)) return 0;
    std::fill(vectors.begin(), vectors.end(), Vec{});
    dominant = {};
    return static_cast<size_t>(zs.next_out - out);
  }

  // Vectors and XOR data against the previous frame. Returns the frame's size; 0 when it
  // failed.
  size_t WriteDeltaFrame(uint8_t* out, size_t capacity) {
    out[0] = 0;
    rawSize = 0;
    if (input == PixelFormat::kPal8 && palette != sentPalette) {
      out[0] |= kFlagPalette;
      for (size_t i = 0; i < palette.size(); ++i) raw[rawSize++] = palette[i] ^ sentPalette[i];
    }
    const size_t blocks = static_cast<size_t>(blocksX) * blocksY;
    const size_t infoAt = rawSize;
    rawSize += (blocks * 2 + 3) & ~size_t{3};
    std::fill(raw.begin() + infoAt, raw.begin() + rawSize, 0);
    FindChanges();
    ChooseVectors();
    for (int by = 0; by < blocksY; ++by) {
      for (int bx = 0; bx < blocksX; ++bx) {
        const size_t i = static_cast<size_t>(by) * blocksX + bx;
        const Vec v = vectors[i];
        const bool xorData = costs[i] != 0;
        raw[infoAt + 2 * i] = static_cast<uint8_t>((v.dx * 2) | (xorData ? 1 : 0));
        raw[infoAt + 2 * i + 1] = static_cast<uint8_t>(v.dy * 2);
        if (!xorData) continue;
        int x, y, w, h;
        BlockRect(bx, by, x, y, w, h);
        AppendXor(x, y, w, h, v);
      }
    }
    const size_t size = options.deltaCoder == DeltaCoder::kQuick ? DeflateQuickly(out, capacity)
                                                                 : DeflateWithZlib(out, capacity);
    if (size == 0) return 0;
    // Only now may the reference change: every vector above pointed into the old frame.
    for (int by = 0; by < blocksY; ++by) {
      for (int bx = 0; bx < blocksX; ++bx) {
        if (!changed[static_cast<size_t>(by) * blocksX + bx]) continue;
        int x, y, w, h;
        BlockRect(bx, by, x, y, w, h);
        for (int j = 0; j < h; ++j)
          std::memcpy(prev.data() + RowBytes() * (y + j) + static_cast<size_t>(x) * bpp,
                      CurRow(y + j) + static_cast<size_t>(x) * bpp, static_cast<size_t>(w) * bpp);
      }
    }
    return size;
  }

  size_t DeflateWithZlib(uint8_t* out, size_t capacity) {
    zs.next_out = out + 1;
    zs.avail_out = static_cast<uInt>(std::min<size_t>(capacity - 1, 0xFFFFFFFFu));
    if (!Deflate(raw.data(), rawSize, Z_SYNC_FLUSH)) return 0;
    return static_cast<size_t>(zs.next_out - out);
  }

  size_t DeflateQuickly(uint8_t* out, size_t capacity) {
    const size_t n = quick.Deflate(raw.data(), rawSize, static_cast<size_t>(bpp),
                                   static_cast<size_t>(kBlockSize) * bpp, out + 1, capacity - 1);
    return n == 0 ? 0 : 1 + n;
  }
};

Encoder::Encoder() = default;
Encoder::~Encoder() = default;

bool Encoder::Begin(int width, int height, PixelFormat format, const Options& options) {
  s_.reset();
  if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension ||
      BytesPerPixel(format) == 0)
    return false;
  auto s = std::make_unique<State>();
  s->width = width;
  s->height = height;
  s->input = format;
  s->bpp = BytesPerPixel(StoredFormat(format));
  s->options = options;
  s->blocksX = (width + kBlockSize - 1) / kBlockSize;
  s->blocksY = (height + kBlockSize - 1) / kBlockSize;
  const size_t blocks = static_cast<size_t>(s->blocksX) * s->blocksY;
  s->prev.assign(s->RowBytes() * height, 0);
  if (format == PixelFormat::kBgr24) s->staging.assign(s->RowBytes() * height, 0);
  s->vectors.assign(blocks, {});
  s->lastVectors.assign(blocks, {});
  s->costs.assign(blocks, 0);
  s->raw.assign(sizeof(Palette) + ((blocks * 2 + 3) & ~size_t{3}) + s->RowBytes() * height, 0);
  s->changed.assign(blocks, 0);
  const int level = std::clamp(options.zlibLevel, 0, 9);
  if (deflateInit2(&s->zs, level, Z_DEFLATED, 15, 8, options.zlibStrategy) != Z_OK) return false;
  s->zReady = true;
  if (options.keyFrameInterval > 0) {
    keyInterval_ = options.keyFrameInterval;
  } else {
    const double fps = options.framesPerSecond > 0 ? options.framesPerSecond : 10;
    keyInterval_ = static_cast<uint32_t>(std::clamp(std::lround(fps * 10), 1L, 1L << 20));
  }
  s_ = std::move(s);
  return true;
}

void Encoder::End() { s_.reset(); }

void Encoder::SetPalette(const Palette& rgb) {
  if (s_) s_->palette = rgb;
}

size_t MaxFrameBytes(int width, int height, PixelFormat input) {
  if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension) return 0;
  const size_t blocks = static_cast<size_t>((width + kBlockSize - 1) / kBlockSize) *
                        ((height + kBlockSize - 1) / kBlockSize);
  const size_t raw = 768 + ((blocks * 2 + 3) & ~size_t{3}) +
                     static_cast<size_t>(width) * height * BytesPerPixel(StoredFormat(input));
  // Above deflate's worst case (stored blocks), plus the sync-flush marker.
  return kKeyHeaderBytes + raw + raw / 1000 * 6 + 64 + 16;
}

size_t Encoder::MaxFrameBytes() const {
  return s_ ? zmbv::MaxFrameBytes(s_->width, s_->height, s_->input) : 0;
}

Encoded Encoder::Encode(const uint8_t* pixels, ptrdiff_t stride, bool forceKey, uint8_t* out,
                        size_t capacity) {
  Encoded result;
  if (!s_ || !pixels || capacity < kKeyHeaderBytes + 16) return result;
  State& s = *s_;
  // The input, as rows of the stored format.
  if (s.input == PixelFormat::kBgr24) {
    for (int y = 0; y < s.height; ++y) {
      const uint8_t* src = pixels + stride * y;
      uint8_t* dst = s.staging.data() + s.RowBytes() * y;
      for (int x = 0; x < s.width; ++x, src += 3, dst += 4) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
        dst[3] = 0;
      }
    }
    s.cur = s.staging.data();
    s.curStride = static_cast<ptrdiff_t>(s.RowBytes());
  } else {
    s.cur = pixels;
    s.curStride = stride;
  }
  const bool key = forceKey || s.needKey || s.sinceKey >= keyInterval_;
  s.needKey = true;  // until this frame has been written whole
  const size_t size = key ? s.WriteKeyFrame(out, capacity) : s.WriteDeltaFrame(out, capacity);
  if (size == 0) return result;
  s.sentPalette = s.palette;
  s.sinceKey = key ? 1 : s.sinceKey + 1;
  s.needKey = false;
  result.size = size;
  result.key = key;
  return result;
}

Encoded Encoder::Encode(const uint8_t* pixels, ptrdiff_t stride, bool forceKey,
                        std::vector<uint8_t>& out) {
  out.resize(MaxFrameBytes());
  const Encoded e = Encode(pixels, stride, forceKey, out.data(), out.size());
  out.resize(e.size);
  return e;
}

}  // namespace orvik::zmbv
