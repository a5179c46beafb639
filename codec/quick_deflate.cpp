#include "codec/quick_deflate.h"

// The bench's portable build of the encoder defines ORVIK_ZMBV_PORTABLE for this file too.
#if defined(__SSE2__) && !defined(ORVIK_ZMBV_PORTABLE)
#include <emmintrin.h>
#define ORVIK_QUICK_SSE2 1
#endif

#include <algorithm>
#include <array>
#include <cstring>

namespace orvik::zmbv {

namespace {

// Input bytes per block: small enough that each part of a frame gets codes of its own, large
// enough that a block's code table (about 80 bytes) is a small share.
constexpr size_t kBlockInput = 32768;
constexpr int kMaxBits = 15;       // literal/length and distance codes
constexpr int kMaxLengthBits = 7;  // the code-length code
constexpr int kLitLenSymbols = 286;
constexpr int kDistSymbols = 30;
constexpr int kEndOfBlock = 256;
constexpr size_t kMaxRun = 258;

// Length symbols of deflate: for each length 3..258, its symbol and extra bits.
struct LengthCodes {
  std::array<uint16_t, kMaxRun + 1> symbol{};
  std::array<uint8_t, kMaxRun + 1> extraBits{};
  std::array<uint16_t, kMaxRun + 1> extraValue{};
  LengthCodes() {
    static const uint16_t base[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const uint8_t extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    for (int code = 0; code < 29; ++code) {
      const int last = code == 28 ? 258 : base[code] + (1 << extra[code]) - 1;
      for (int len = base[code]; len <= last && len <= 258; ++len) {
        symbol[len] = static_cast<uint16_t>(257 + code);
        extraBits[len] = extra[code];
        extraValue[len] = static_cast<uint16_t>(len - base[code]);
      }
    }
  }
};

const LengthCodes& Lengths() {
  static const LengthCodes codes;
  return codes;
}

// A distance's deflate code and extra bits.
struct DistanceCode {
  uint8_t code = 0, extraBits = 0;
  uint16_t extraValue = 0;
  explicit DistanceCode(size_t dist) {
    static const uint16_t base[kDistSymbols] = {
        1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
        193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    while (code + 1 < kDistSymbols && base[code + 1] <= dist) ++code;
    extraBits = static_cast<uint8_t>(code < 4 ? 0 : code / 2 - 1);
    extraValue = static_cast<uint16_t>(dist - base[code]);
  }
};

uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

int TrailingZeroBits(uint64_t x) {
#if defined(__GNUC__) || defined(__clang__)
  return __builtin_ctzll(x);
#else
  int n = 0;
  while (!(x & 1)) {
    x >>= 1;
    ++n;
  }
  return n;
#endif
}

// Bytes from `pos` that repeat those `dist` before them: at most kMaxRun and no further than
// `size`.
size_t RunLength(const uint8_t* data, size_t pos, size_t dist, size_t size) {
  const size_t most = std::min(kMaxRun, size - pos);
  size_t len = 0;
  while (len + 8 <= most) {
    const uint64_t diff = Load64(data + pos + len) ^ Load64(data + pos + len - dist);
    if (diff) return len + TrailingZeroBits(diff) / 8;
    len += 8;
  }
  while (len < most && data[pos + len] == data[pos + len - dist]) ++len;
  return len;
}

// Where runs of four (shorter ones cost about what their literals cost) start: bit j of the
// result is set when the four bytes from p + j equal those `dists[k]` before them, for some
// k, and j < kLook. The caller leaves 16 bytes from p; runs are not looked for in a buffer's
// last 15 bytes, so that both ways find the same.
constexpr size_t kLoad = 16;
#ifdef ORVIK_QUICK_SSE2
constexpr size_t kLook = 13;
uint32_t RunStarts(const uint8_t* p, const size_t* dists) {
  const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  uint32_t starts = 0;
  for (int k = 0; k < 3; ++k) {
    const uint32_t same = static_cast<uint32_t>(_mm_movemask_epi8(
        _mm_cmpeq_epi8(here, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - dists[k])))));
    starts |= same & same >> 1 & same >> 2 & same >> 3;
  }
  return starts;
}
#else
constexpr size_t kLook = 5;
uint32_t RunStarts(const uint8_t* p, const size_t* dists) {
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  const uint64_t here = Load64(p);
  uint64_t starts = 0;
  for (int k = 0; k < 3; ++k) {
    // Bit 7 of each byte of `zero` is set where the byte equals the one dists[k] before it.
    const uint64_t diff = here ^ Load64(p - dists[k]);
    const uint64_t zero = ~(((diff & kLow7) + kLow7) | diff | kLow7);
    starts |= zero & zero >> 8 & zero >> 16 & zero >> 24;
  }
  uint32_t bits = 0;
  for (size_t j = 0; j < kLook; ++j) bits |= static_cast<uint32_t>(starts >> (8 * j + 7) & 1) << j;
  return bits;
}
#endif

// Code lengths of an optimal prefix code for `freq`, none longer than `maxBits`. Symbols of
// frequency 0 get no code. With fewer than two used symbols, symbols 0 and 1 are made used, so
// that the code is complete (some inflaters refuse an incomplete one).
void BuildLengths(uint32_t* freq, int n, int maxBits, uint8_t* lengths) {
  int used = 0;
  for (int i = 0; i < n; ++i) used += freq[i] != 0;
  for (int i = 0; used < 2; ++i) {
    if (freq[i] == 0) {
      freq[i] = 1;
      ++used;
    }
  }
  struct Entry {
    uint32_t freq;
    uint16_t symbol;
  };
  Entry sorted[kLitLenSymbols];
  int m = 0;
  for (int i = 0; i < n; ++i) {
    lengths[i] = 0;
    if (freq[i]) sorted[m++] = {freq[i], static_cast<uint16_t>(i)};
  }
  std::sort(sorted, sorted + m, [](const Entry& a, const Entry& b) { return a.freq < b.freq; });
  // Moffat and Katajainen's in-place computation of minimum-redundancy code lengths over the
  // ascending frequencies.
  uint32_t a[kLitLenSymbols] = {};
  for (int i = 0; i < m; ++i) a[i] = sorted[i].freq;
  a[0] += a[1];
  int root = 0, leaf = 2;
  for (int next = 1; next < m - 1; ++next) {
    if (leaf >= m || a[root] < a[leaf]) {
      a[next] = a[root];
      a[root++] = static_cast<uint32_t>(next);
    } else {
      a[next] = a[leaf++];
    }
    if (leaf >= m || (root < next && a[root] < a[leaf])) {
      a[next] += a[root];
      a[root++] = static_cast<uint32_t>(next);
    } else {
      a[next] += a[leaf++];
    }
  }
  a[m - 2] = 0;
  for (int next = m - 3; next >= 0; --next) a[next] = a[a[next]] + 1;
  int avail = 1, usedAtDepth = 0, depth = 0, next = m - 1;
  root = m - 2;
  while (avail > 0) {
    while (root >= 0 && static_cast<int>(a[root]) == depth) {
      ++usedAtDepth;
      --root;
    }
    while (avail > usedAtDepth) {
      a[next--] = static_cast<uint32_t>(depth);
      --avail;
    }
    avail = 2 * usedAtDepth;
    ++depth;
    usedAtDepth = 0;
  }
  // a[] now holds lengths, longest first. Count them per length, fold the ones past maxBits
  // in, then take codes from longer lengths until the Kraft sum is exact again.
  int count[32] = {};
  for (int i = 0; i < m; ++i) ++count[std::min<uint32_t>(a[i], 31)];
  for (int len = maxBits + 1; len < 32; ++len) {
    count[maxBits] += count[len];
    count[len] = 0;
  }
  uint32_t kraft = 0;
  for (int len = maxBits; len > 0; --len)
    kraft += static_cast<uint32_t>(count[len]) << (maxBits - len);
  while (kraft > (1u << maxBits)) {
    --count[maxBits];
    for (int len = maxBits - 1; len > 0; --len) {
      if (count[len]) {
        --count[len];
        count[len + 1] += 2;
        break;
      }
    }
    --kraft;
  }
  // The least frequent symbols take the longest codes.
  int at = 0;
  for (int len = maxBits; len > 0; --len)
    for (int k = 0; k < count[len]; ++k) lengths[sorted[at++].symbol] = static_cast<uint8_t>(len);
}

// Canonical codes for `lengths`, bit-reversed: deflate sends a code's first bit first, and
// this writer fills bytes from their lowest bit.
void AssignCodes(const uint8_t* lengths, int n, uint16_t* codes) {
  int count[kMaxBits + 1] = {};
  for (int i = 0; i < n; ++i) ++count[lengths[i]];
  count[0] = 0;
  uint32_t nextCode[kMaxBits + 2] = {};
  uint32_t code = 0;
  for (int len = 1; len <= kMaxBits; ++len) {
    code = (code + count[len - 1]) << 1;
    nextCode[len] = code;
  }
  for (int i = 0; i < n; ++i) {
    const int len = lengths[i];
    if (!len) continue;
    uint32_t c = nextCode[len]++, reversed = 0;
    for (int b = 0; b < len; ++b, c >>= 1) reversed = reversed << 1 | (c & 1);
    codes[i] = static_cast<uint16_t>(reversed);
  }
}

// Writes bits from the lowest up. Put adds up to 57 bits between two calls of Flush, which
// stores eight bytes and keeps the last partial byte: the caller leaves eight bytes of room.
class BitWriter {
 public:
  explicit BitWriter(uint8_t* out) : out_(out) {}
  void Put(uint32_t value, int bits) {
    buffer_ |= static_cast<uint64_t>(value) << count_;
    count_ += bits;
  }
  void Flush() {
    std::memcpy(out_, &buffer_, 8);
    out_ += count_ >> 3;
    buffer_ >>= count_ & ~7;
    count_ &= 7;
  }
  // Pads to a whole byte.
  void Align() {
    count_ = (count_ + 7) & ~7;
    Flush();
  }
  // Bits written so far, from `start`.
  size_t BitsFrom(const uint8_t* start) const {
    return static_cast<size_t>(out_ - start) * 8 + static_cast<size_t>(count_);
  }
  uint8_t* Bytes() { return out_; }

 private:
  uint8_t* out_;
  uint64_t buffer_ = 0;
  int count_ = 0;
};

// The code lengths of a block's two codes as the header sends them: runs folded into the
// repeat symbols 16 (previous length 3-6 times), 17 (3-10 zeros) and 18 (11-138 zeros).
struct LengthRuns {
  std::array<uint8_t, kLitLenSymbols + kDistSymbols> symbol{}, extra{};
  int count = 0;
  uint32_t freq[19] = {};

  void Add(int s, int e) {
    symbol[count] = static_cast<uint8_t>(s);
    extra[count++] = static_cast<uint8_t>(e);
    ++freq[s];
  }
  void Fill(const uint8_t* lengths, int n) {
    for (int i = 0; i < n;) {
      const int len = lengths[i];
      int run = 1;
      while (i + run < n && lengths[i + run] == len) ++run;
      i += run;
      if (len == 0) {
        for (; run >= 11; run -= std::min(run, 138)) Add(18, std::min(run, 138) - 11);
        if (run >= 3) {
          Add(17, run - 3);
          run = 0;
        }
      } else {
        Add(len, 0);
        for (--run; run >= 3; run -= std::min(run, 6)) Add(16, std::min(run, 6) - 3);
      }
      for (; run > 0; --run) Add(len, 0);
    }
  }
};

constexpr uint8_t kLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                      11, 4,  12, 3, 13, 2, 14, 1, 15};
constexpr uint8_t kRepeatExtraBits[19] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};

// One block's codes, chosen from its symbol counts.
struct BlockCode {
  uint8_t litLen[kLitLenSymbols] = {}, dist[kDistSymbols] = {};
  uint16_t litCode[kLitLenSymbols] = {}, distCode[kDistSymbols] = {};
  int litCount = 257, distCount = 1;
  uint8_t all[kLitLenSymbols + kDistSymbols] = {};
  uint8_t runLen[19] = {};
  uint16_t runCode[19] = {};
  int runCount = 4;

  LengthRuns runs;

  // Chooses the codes; returns the bits of the whole block: header, tables and symbols.
  size_t Build(uint32_t* litFreq, uint32_t* distFreq, size_t extraBits) {
    BuildLengths(litFreq, kLitLenSymbols, kMaxBits, litLen);
    BuildLengths(distFreq, kDistSymbols, kMaxBits, dist);
    AssignCodes(litLen, kLitLenSymbols, litCode);
    AssignCodes(dist, kDistSymbols, distCode);
    litCount = kLitLenSymbols;
    while (litCount > 257 && litLen[litCount - 1] == 0) --litCount;
    distCount = kDistSymbols;
    while (distCount > 1 && dist[distCount - 1] == 0) --distCount;
    std::memcpy(all, litLen, litCount);
    std::memcpy(all + litCount, dist, distCount);
    runs.Fill(all, litCount + distCount);
    BuildLengths(runs.freq, 19, kMaxLengthBits, runLen);
    AssignCodes(runLen, 19, runCode);
    runCount = 19;
    while (runCount > 4 && runLen[kLengthOrder[runCount - 1]] == 0) --runCount;
    size_t bits = 3 + 5 + 5 + 4 + 3 * static_cast<size_t>(runCount) + extraBits;
    for (int s = 0; s < 19; ++s)
      bits += static_cast<size_t>(runs.freq[s]) * (runLen[s] + kRepeatExtraBits[s]);
    for (int s = 0; s < kLitLenSymbols; ++s) bits += static_cast<size_t>(litFreq[s]) * litLen[s];
    for (int s = 0; s < kDistSymbols; ++s) bits += static_cast<size_t>(distFreq[s]) * dist[s];
    return bits;
  }

  void WriteHeader(BitWriter& w) const {
    w.Put(2 << 1, 3);  // not final, dynamic codes
    w.Put(static_cast<uint32_t>(litCount - 257), 5);
    w.Put(static_cast<uint32_t>(distCount - 1), 5);
    w.Put(static_cast<uint32_t>(runCount - 4), 4);
    w.Flush();
    for (int i = 0; i < runCount; ++i) {
      w.Put(runLen[kLengthOrder[i]], 3);
      w.Flush();
    }
    for (int i = 0; i < runs.count; ++i) {
      const uint8_t s = runs.symbol[i];
      w.Put(runCode[s], runLen[s]);
      w.Put(runs.extra[i], kRepeatExtraBits[s]);
      w.Flush();
    }
  }
};

void WriteStored(BitWriter& w, const uint8_t* data, size_t size) {
  w.Put(0, 3);  // not final, stored
  w.Align();
  uint8_t* o = w.Bytes();
  o[0] = static_cast<uint8_t>(size);
  o[1] = static_cast<uint8_t>(size >> 8);
  o[2] = static_cast<uint8_t>(~size);
  o[3] = static_cast<uint8_t>(~size >> 8);
  if (size) std::memcpy(o + 4, data, size);
  w = BitWriter(o + 4 + size);
}

// Literals from `data` in the block's code. Three codes of at most 15 bits fit in the bits
// Put may add between flushes.
void PutLiterals(BitWriter& w, const BlockCode& code, const uint8_t* data, size_t n) {
  size_t i = 0;
  for (; i + 3 <= n; i += 3) {
    w.Put(code.litCode[data[i]], code.litLen[data[i]]);
    w.Put(code.litCode[data[i + 1]], code.litLen[data[i + 1]]);
    w.Put(code.litCode[data[i + 2]], code.litLen[data[i + 2]]);
    w.Flush();
  }
  for (; i < n; ++i) {
    w.Put(code.litCode[data[i]], code.litLen[data[i]]);
    w.Flush();
  }
}

// What the three distances of one call are, and their codes.
struct Distances {
  size_t dist[3];
  DistanceCode code[3];
  size_t farthest;
  Distances(size_t pixelBytes, size_t rowBytes)
      : dist{1, pixelBytes, rowBytes},
        code{DistanceCode(1), DistanceCode(pixelBytes), DistanceCode(rowBytes)},
        farthest(std::max(pixelBytes, rowBytes)) {}
};

// One block's symbols as counted, before its codes are chosen.
struct Counts {
  uint32_t litFreq[kLitLenSymbols] = {}, distFreq[kDistSymbols] = {};
  size_t extraBits = 0;
};

// Literals and runs from `start` to about kBlockInput bytes on (a run may go past): fills runs
// and `counts`, returns where the block ends.
size_t ParseBlock(const uint8_t* data, size_t size, size_t start, const Distances& dists,
                  std::vector<QuickDeflater::Run>& runs, Counts& counts) {
  const LengthCodes& lengths = Lengths();
  const size_t end = std::min(size, start + kBlockInput);
  runs.clear();
  size_t pos = start, literalsFrom = start;
  while (pos < end) {
    if (pos < dists.farthest || pos + kLoad > size) {
      ++pos;
      continue;
    }
    // Neither past the block's end nor into the buffer's last 15 bytes, so that both ways of
    // looking find the same runs and cut blocks at the same bytes.
    const size_t look = std::min({kLook, end - pos, size + 1 - kLoad - pos});
    const uint32_t starts = RunStarts(data + pos, dists.dist) & ((1u << look) - 1);
    if (starts == 0) {
      pos += look;
      continue;
    }
    pos += static_cast<size_t>(TrailingZeroBits(starts));
    size_t len = 0;
    int k = 0;
    for (int i = 0; i < 3; ++i) {
      const size_t l = RunLength(data, pos, dists.dist[i], size);
      if (l > len) {
        len = l;
        k = i;
      }
    }
    ++counts.litFreq[lengths.symbol[len]];
    ++counts.distFreq[dists.code[k].code];
    counts.extraBits += lengths.extraBits[len] + dists.code[k].extraBits;
    runs.push_back({static_cast<uint32_t>(pos - literalsFrom), static_cast<uint16_t>(len),
                    static_cast<uint8_t>(k)});
    pos += len;
    literalsFrom = pos;
  }
  runs.push_back({static_cast<uint32_t>(pos - literalsFrom), 0, 0});
  const uint8_t* p = data + start;
  for (const QuickDeflater::Run& run : runs) {
    for (const uint8_t* literalsEnd = p + run.literals; p < literalsEnd; ++p) ++counts.litFreq[*p];
    p += run.length;
  }
  counts.litFreq[kEndOfBlock] = 1;
  return pos;
}

// The block parsed last, with codes of its own or stored, whichever is shorter. False when it
// would not leave room for the end marker in `capacity`.
bool WriteBlock(const uint8_t* block, size_t size, const Distances& dists,
                const std::vector<QuickDeflater::Run>& runs, Counts& counts, BitWriter& w,
                const uint8_t* out, size_t capacity) {
  const LengthCodes& lengths = Lengths();
  BlockCode code;
  const size_t dynamicBits = code.Build(counts.litFreq, counts.distFreq, counts.extraBits);
  const size_t storedBits = 3 + 7 + 32 + 8 * size;
  // The end marker, and eight bytes of room for the writer's last store.
  if ((w.BitsFrom(out) + std::min(dynamicBits, storedBits)) / 8 + 5 + 8 > capacity) return false;
  if (storedBits <= dynamicBits) {
    WriteStored(w, block, size);
    return true;
  }
  code.WriteHeader(w);
  const uint8_t* p = block;
  for (const QuickDeflater::Run& run : runs) {
    PutLiterals(w, code, p, run.literals);
    p += run.literals + run.length;
    if (!run.length) continue;
    const int sym = lengths.symbol[run.length];
    w.Put(code.litCode[sym], code.litLen[sym]);
    w.Put(lengths.extraValue[run.length], lengths.extraBits[run.length]);
    const DistanceCode& d = dists.code[run.distance];
    w.Put(code.distCode[d.code], code.dist[d.code]);
    w.Put(d.extraValue, d.extraBits);
    w.Flush();
  }
  w.Put(code.litCode[kEndOfBlock], code.litLen[kEndOfBlock]);
  w.Flush();
  return true;
}

}  // namespace

size_t QuickDeflater::Bound(size_t size) {
  // A stored block per block of input (which may run on by one run), then the end marker.
  const size_t blocks = size / kBlockInput + 1;
  return size + blocks * 5 + 5 + 8;
}

size_t QuickDeflater::Deflate(const uint8_t* data, size_t size, size_t pixelBytes, size_t rowBytes,
                              uint8_t* out, size_t capacity) {
  if (capacity < 16 || pixelBytes == 0 || rowBytes == 0 || pixelBytes > 32768 || rowBytes > 32768)
    return 0;
  const Distances dists(pixelBytes, rowBytes);
  BitWriter w(out);
  for (size_t start = 0; start < size;) {
    Counts counts;
    const size_t end = ParseBlock(data, size, start, dists, runs_, counts);
    if (!WriteBlock(data + start, end - start, dists, runs_, counts, w, out, capacity)) return 0;
    start = end;
  }
  // The sync-flush marker: an empty stored block, which also ends on a byte.
  WriteStored(w, nullptr, 0);
  return static_cast<size_t>(w.Bytes() - out);
}

}  // namespace orvik::zmbv
