#include "mp4/mp4_boxes.h"

#include <algorithm>
#include <iterator>

namespace mp4 {

namespace {

constexpr uint32_t kUnity = 0x00010000;
constexpr uint16_t kUndeterminedLanguage = 0x55C4;  // 'und', 5 bits a letter
constexpr uint32_t kDefaultBaseIsMoof = 0x020000;
// The identity box's type of our own, and the program it names.
constexpr uint8_t kIdentityType[16] = {0xDF, 0x11, 0xF1, 0x64, 0xCE, 0x7F, 0x43, 0x20,
                                       0x8F, 0xBA, 0xD5, 0xDD, 0x69, 0x8F, 0xE4, 0xF3};
constexpr char kProgramName[] = "Orvik";
// The edit's length while the movie's is not known yet: 0, which ffmpeg and Chromium take as
// "up to the end of the media" and which a finished moov replaces by the real length.
constexpr uint64_t kOpenEditDuration = 0;

uint64_t Rescale(uint64_t value, uint32_t to, uint32_t from) {
  if (from == 0) return 0;
  const unsigned __int128 scaled = static_cast<unsigned __int128>(value) * to + from / 2;
  return static_cast<uint64_t>(scaled / from);
}

void Matrix(BoxBuilder& b) {
  for (uint32_t v : {kUnity, 0u, 0u, 0u, kUnity, 0u, 0u, 0u, 0x40000000u}) b.U32(v);
}

// The track's duration as its header gives it, in the movie's timescale: the sound's edit.
uint64_t PresentedDuration(const Track& t, uint32_t movieScale) {
  uint64_t media = t.end;
  if (t.priming > 0) {
    media = t.end > t.priming ? t.end - t.priming : 0;
    if (t.length > 0) media = std::min(media, t.length);
  }
  return Rescale(media, movieScale, t.timescale);
}

void Mvhd(BoxBuilder& b, const Movie& m, uint64_t duration) {
  const size_t box = b.OpenFull(FourCC('m', 'v', 'h', 'd'), 1, 0);
  b.Zeros(16);  // creation and modification times
  b.U32(m.timescale);
  b.U64(duration);
  b.U32(kUnity);  // rate
  b.U16(0x0100);  // volume
  b.Zeros(10);
  Matrix(b);
  b.Zeros(24);
  uint32_t next = 1;
  for (const Track& t : m.tracks) next = std::max(next, t.id + 1);
  b.U32(next);
  b.Close(box);
}

void Tkhd(BoxBuilder& b, const Track& t, uint64_t duration) {
  const size_t box = b.OpenFull(FourCC('t', 'k', 'h', 'd'), 1, 3);  // enabled, in the movie
  b.Zeros(16);
  b.U32(t.id);
  b.U32(0);
  b.U64(duration);
  b.Zeros(8);
  b.U16(0);  // layer
  b.U16(0);  // alternate group
  b.U16(t.handler == kSoundHandler ? 0x0100 : 0);
  b.U16(0);
  Matrix(b);
  b.U32(t.width << 16);
  b.U32(t.height << 16);
  b.Close(box);
}

void Edts(BoxBuilder& b, const Track& t, uint64_t duration) {
  const size_t edts = b.Open(FourCC('e', 'd', 't', 's'));
  const size_t elst = b.OpenFull(FourCC('e', 'l', 's', 't'), 1, 0);
  b.U32(1);
  b.U64(duration);
  b.U64(t.priming);  // media time
  b.U32(kUnity);
  b.Close(elst);
  b.Close(edts);
}

void Hdlr(BoxBuilder& b, uint32_t handler) {
  const size_t box = b.OpenFull(FourCC('h', 'd', 'l', 'r'), 0, 0);
  b.U32(0);
  b.U32(handler);
  b.Zeros(12);
  const char* name = handler == kSoundHandler ? "SoundHandler" : "VideoHandler";
  for (const char* c = name; *c; ++c) b.U8(static_cast<uint8_t>(*c));
  b.U8(0);
  b.Close(box);
}

void Dinf(BoxBuilder& b) {
  const size_t dinf = b.Open(FourCC('d', 'i', 'n', 'f'));
  const size_t dref = b.OpenFull(FourCC('d', 'r', 'e', 'f'), 0, 0);
  b.U32(1);
  b.Close(b.OpenFull(FourCC('u', 'r', 'l', ' '), 0, 1));  // the data is in this file
  b.Close(dref);
  b.Close(dinf);
}

void Stts(BoxBuilder& b, const Track& t) {
  std::vector<std::pair<uint32_t, uint32_t>> runs;
  for (size_t i = 0; i < t.samples.size(); ++i) {
    const uint64_t next = i + 1 < t.samples.size() ? t.samples[i + 1].time : t.end;
    const uint32_t delta = static_cast<uint32_t>(
        std::min<uint64_t>(next > t.samples[i].time ? next - t.samples[i].time : 0, UINT32_MAX));
    if (!runs.empty() && runs.back().second == delta)
      ++runs.back().first;
    else
      runs.emplace_back(1, delta);
  }
  const size_t box = b.OpenFull(FourCC('s', 't', 't', 's'), 0, 0);
  b.U32(static_cast<uint32_t>(runs.size()));
  for (const auto& [count, delta] : runs) {
    b.U32(count);
    b.U32(delta);
  }
  b.Close(box);
}

void Stss(BoxBuilder& b, const Track& t) {
  const size_t box = b.OpenFull(FourCC('s', 't', 's', 's'), 0, 0);
  const size_t count = b.Size();
  b.U32(0);
  uint32_t keys = 0;
  for (size_t i = 0; i < t.samples.size(); ++i)
    if (t.samples[i].key) {
      b.U32(static_cast<uint32_t>(i + 1));
      ++keys;
    }
  Store32(&b.Bytes()[count], keys);
  b.Close(box);
}

void Stsc(BoxBuilder& b, const Track& t) {
  std::vector<std::pair<uint32_t, uint32_t>> runs;  // first chunk (from 1), samples per chunk
  for (size_t i = 0; i < t.chunks.size(); ++i)
    if (runs.empty() || runs.back().second != t.chunks[i].samples)
      runs.emplace_back(static_cast<uint32_t>(i + 1), t.chunks[i].samples);
  const size_t box = b.OpenFull(FourCC('s', 't', 's', 'c'), 0, 0);
  b.U32(static_cast<uint32_t>(runs.size()));
  for (const auto& [first, samples] : runs) {
    b.U32(first);
    b.U32(samples);
    b.U32(1);
  }
  b.Close(box);
}

void Stsz(BoxBuilder& b, const Track& t) {
  const size_t box = b.OpenFull(FourCC('s', 't', 's', 'z'), 0, 0);
  b.U32(0);
  b.U32(static_cast<uint32_t>(t.samples.size()));
  for (const Sample& s : t.samples) b.U32(s.size);
  b.Close(box);
}

void Co64(BoxBuilder& b, const Track& t) {
  const size_t box = b.OpenFull(FourCC('c', 'o', '6', '4'), 0, 0);
  b.U32(static_cast<uint32_t>(t.chunks.size()));
  for (const Chunk& c : t.chunks) b.U64(c.offset);
  b.Close(box);
}

void Stbl(BoxBuilder& b, const Track& t, bool fragmented) {
  const size_t stbl = b.Open(FourCC('s', 't', 'b', 'l'));
  const size_t stsd = b.OpenFull(FourCC('s', 't', 's', 'd'), 0, 0);
  b.U32(1);
  b.Bytes(t.sampleEntry);
  b.Close(stsd);
  Stts(b, t);
  if (!fragmented && t.handler == kVideoHandler) Stss(b, t);
  Stsc(b, t);
  Stsz(b, t);
  Co64(b, t);
  b.Close(stbl);
}

void Trak(BoxBuilder& b, const Track& t, uint32_t movieScale, bool fragmented) {
  const uint64_t presented = fragmented ? 0 : PresentedDuration(t, movieScale);
  const size_t trak = b.Open(FourCC('t', 'r', 'a', 'k'));
  Tkhd(b, t, presented);
  // Also while recording: a file left as fragments plays its sound in step with the picture.
  if (t.priming > 0) Edts(b, t, fragmented ? kOpenEditDuration : presented);
  const size_t mdia = b.Open(FourCC('m', 'd', 'i', 'a'));
  const size_t mdhd = b.OpenFull(FourCC('m', 'd', 'h', 'd'), 1, 0);
  b.Zeros(16);
  b.U32(t.timescale);
  b.U64(fragmented ? 0 : t.end);
  b.U16(kUndeterminedLanguage);
  b.U16(0);
  b.Close(mdhd);
  Hdlr(b, t.handler);
  const size_t minf = b.Open(FourCC('m', 'i', 'n', 'f'));
  if (t.handler == kSoundHandler) {
    const size_t smhd = b.OpenFull(FourCC('s', 'm', 'h', 'd'), 0, 0);
    b.Zeros(4);  // balance, reserved
    b.Close(smhd);
  } else {
    const size_t vmhd = b.OpenFull(FourCC('v', 'm', 'h', 'd'), 0, 1);
    b.Zeros(8);  // graphics mode, opcolor
    b.Close(vmhd);
  }
  Dinf(b);
  Stbl(b, t, fragmented);
  b.Close(minf);
  b.Close(mdia);
  b.Close(trak);
}

void Mvex(BoxBuilder& b, const Movie& m) {
  const size_t mvex = b.Open(FourCC('m', 'v', 'e', 'x'));
  for (const Track& t : m.tracks) {
    const size_t trex = b.OpenFull(FourCC('t', 'r', 'e', 'x'), 0, 0);
    b.U32(t.id);
    b.U32(1);  // sample description
    b.Zeros(12);
    b.Close(trex);
  }
  b.Close(mvex);
}

}  // namespace

uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

uint32_t Load32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

uint64_t Load64(const uint8_t* p) { return uint64_t{Load32(p)} << 32 | Load32(p + 4); }

void Store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

void Store64(uint8_t* p, uint64_t v) {
  Store32(p, static_cast<uint32_t>(v >> 32));
  Store32(p + 4, static_cast<uint32_t>(v));
}

void BoxBuilder::U16(uint16_t v) {
  U8(static_cast<uint8_t>(v >> 8));
  U8(static_cast<uint8_t>(v));
}

void BoxBuilder::U32(uint32_t v) {
  bytes_.resize(bytes_.size() + 4);
  Store32(&bytes_[bytes_.size() - 4], v);
}

void BoxBuilder::U64(uint64_t v) {
  bytes_.resize(bytes_.size() + 8);
  Store64(&bytes_[bytes_.size() - 8], v);
}

size_t BoxBuilder::Open(uint32_t type) {
  const size_t at = bytes_.size();
  U32(0);
  U32(type);
  return at;
}

size_t BoxBuilder::OpenFull(uint32_t type, uint8_t version, uint32_t flags) {
  const size_t at = Open(type);
  U32(uint32_t{version} << 24 | (flags & 0xFFFFFF));
  return at;
}

void BoxBuilder::Close(size_t at) {
  const size_t size = Size() - at;
  overflowed_ |= size > UINT32_MAX;
  Store32(&bytes_[at], static_cast<uint32_t>(size));
}

std::vector<uint8_t> BuildIdentity(const Identity& identity) {
  BoxBuilder b;
  const size_t box = b.Open(kUuid);
  for (uint8_t v : kIdentityType) b.U8(v);
  b.U32(0);  // version and flags
  for (uint8_t v : identity.id) b.U8(v);
  b.U64(identity.moovAt);
  for (char c : kProgramName) b.U8(static_cast<uint8_t>(c));  // with its terminating zero
  b.Close(box);
  return std::move(b.Bytes());
}

bool ReadIdentity(const uint8_t* box, size_t size, Identity* identity) {
  if (size != kIdentityBytes || Load32(box) != kIdentityBytes || Load32(box + 4) != kUuid ||
      !std::equal(std::begin(kIdentityType), std::end(kIdentityType), box + 8) ||
      Load32(box + 24) != 0 ||
      !std::equal(std::begin(kProgramName), std::end(kProgramName), box + 52))
    return false;
  std::copy(box + 28, box + 44, identity->id.begin());
  identity->moovAt = Load64(box + 44);
  return true;
}

std::vector<uint8_t> BuildFtyp() {
  BoxBuilder b;
  const size_t ftyp = b.Open(kFtyp);
  b.U32(FourCC('i', 's', 'o', 'm'));
  b.U32(0x200);
  for (uint32_t brand : {FourCC('i', 's', 'o', 'm'), FourCC('i', 's', 'o', '2'),
                         FourCC('a', 'v', 'c', '1'), FourCC('m', 'p', '4', '1')})
    b.U32(brand);
  b.Close(ftyp);
  return std::move(b.Bytes());
}

std::vector<uint8_t> BuildAvc1(uint32_t width, uint32_t height, const std::vector<uint8_t>& sps,
                               const std::vector<uint8_t>& pps) {
  BoxBuilder b;
  const size_t avc1 = b.Open(FourCC('a', 'v', 'c', '1'));
  b.Zeros(6);
  b.U16(1);  // data reference
  b.Zeros(16);
  b.U16(static_cast<uint16_t>(width));
  b.U16(static_cast<uint16_t>(height));
  b.U32(0x00480000);  // 72 dpi
  b.U32(0x00480000);
  b.U32(0);
  b.U16(1);  // frames per sample
  b.Zeros(32);
  b.U16(0x0018);
  b.U16(0xFFFF);
  const size_t avcC = b.Open(FourCC('a', 'v', 'c', 'C'));
  b.U8(1);
  b.U8(sps[1]);  // profile, its compatibility flags, level
  b.U8(sps[2]);
  b.U8(sps[3]);
  b.U8(0xFF);  // 4-byte NAL unit lengths
  b.U8(0xE1);  // one SPS
  b.U16(static_cast<uint16_t>(sps.size()));
  b.Bytes(sps);
  b.U8(1);
  b.U16(static_cast<uint16_t>(pps.size()));
  b.Bytes(pps);
  b.Close(avcC);
  const size_t colr = b.Open(FourCC('c', 'o', 'l', 'r'));
  b.U32(FourCC('n', 'c', 'l', 'x'));
  b.U16(1);  // BT.709 primaries, transfer and matrix
  b.U16(1);
  b.U16(1);
  b.U8(0);  // limited range
  b.Close(colr);
  const size_t pasp = b.Open(FourCC('p', 'a', 's', 'p'));
  b.U32(1);
  b.U32(1);
  b.Close(pasp);
  b.Close(avc1);
  return std::move(b.Bytes());
}

std::vector<uint8_t> BuildMp4a(uint32_t sampleRate, uint16_t channels,
                               const std::vector<uint8_t>& audioSpecificConfig) {
  const uint8_t asc = static_cast<uint8_t>(audioSpecificConfig.size());
  BoxBuilder b;
  const size_t mp4a = b.Open(FourCC('m', 'p', '4', 'a'));
  b.Zeros(6);
  b.U16(1);
  b.Zeros(8);
  b.U16(channels);
  b.U16(16);
  b.Zeros(4);
  b.U32(sampleRate << 16);
  const size_t esds = b.OpenFull(FourCC('e', 's', 'd', 's'), 0, 0);
  b.U8(0x03);  // ES descriptor
  b.U8(static_cast<uint8_t>(3 + 2 + 13 + 2 + asc + 3));
  b.U16(0);
  b.U8(0);
  b.U8(0x04);  // decoder configuration
  b.U8(static_cast<uint8_t>(13 + 2 + asc));
  b.U8(0x40);  // MPEG-4 audio
  b.U8(0x15);  // an audio stream
  b.Zeros(3 + 4 + 4);
  b.U8(0x05);  // decoder specific information: the AudioSpecificConfig
  b.U8(asc);
  b.Bytes(audioSpecificConfig);
  b.U8(0x06);  // SL configuration
  b.U8(1);
  b.U8(0x02);
  b.Close(esds);
  b.Close(mp4a);
  return std::move(b.Bytes());
}

std::vector<uint8_t> BuildMoov(const Movie& movie, bool fragmented, uint64_t at) {
  BoxBuilder b;
  const size_t moov = b.Open(kMoov);
  uint64_t duration = 0;
  for (const Track& t : movie.tracks)
    duration = std::max(duration, PresentedDuration(t, movie.timescale));
  Mvhd(b, movie, fragmented ? 0 : duration);
  for (const Track& t : movie.tracks) Trak(b, t, movie.timescale, fragmented);
  if (fragmented) Mvex(b, movie);
  b.Bytes(BuildIdentity({movie.recordingId, fragmented ? 0 : at}));
  if (fragmented) {
    const size_t pad = b.Open(kFree);
    b.Zeros((4 - b.Size() % 4) % 4);
    b.Close(pad);
  }
  b.Close(moov);
  if (b.Overflowed()) return {};
  return std::move(b.Bytes());
}

std::vector<uint8_t> BuildMoof(uint32_t sequence, const std::vector<FragmentTrack>& tracks,
                               size_t mdatHeaderBytes) {
  BoxBuilder b;
  const size_t moof = b.Open(kMoof);
  const size_t mfhd = b.OpenFull(FourCC('m', 'f', 'h', 'd'), 0, 0);
  b.U32(sequence);
  b.Close(mfhd);
  std::vector<std::pair<size_t, uint64_t>> offsets;  // data offset fields, bytes before the data
  uint64_t before = 0;
  for (const FragmentTrack& t : tracks) {
    const size_t traf = b.Open(FourCC('t', 'r', 'a', 'f'));
    const size_t tfhd = b.OpenFull(FourCC('t', 'f', 'h', 'd'), 0, kDefaultBaseIsMoof);
    b.U32(t.id);
    b.Close(tfhd);
    const size_t tfdt = b.OpenFull(FourCC('t', 'f', 'd', 't'), 1, 0);
    b.U64(t.time);
    b.Close(tfdt);
    const uint32_t flags = kTrunDataOffset | kTrunDuration | kTrunSize | (t.video ? kTrunFlags : 0);
    const size_t trun = b.OpenFull(FourCC('t', 'r', 'u', 'n'), 0, flags);
    b.U32(static_cast<uint32_t>(t.sizes.size()));
    offsets.emplace_back(b.Size(), before);
    b.U32(0);
    for (size_t i = 0; i < t.sizes.size(); ++i) {
      b.U32(t.durations[i]);
      b.U32(t.sizes[i]);
      if (t.video) b.U32(t.keys[i] ? kSyncSampleFlags : kDeltaSampleFlags);
      before += t.sizes[i];
    }
    b.Close(trun);
    b.Close(traf);
  }
  b.Close(moof);
  for (const auto& [at, skip] : offsets)
    Store32(&b.Bytes()[at], static_cast<uint32_t>(b.Size() + mdatHeaderBytes + skip));
  return std::move(b.Bytes());
}

std::vector<uint8_t> MdatHeader(uint64_t payload, bool large) {
  std::vector<uint8_t> h(large ? 16 : 8);
  Store32(&h[0], large ? 1 : static_cast<uint32_t>(payload + 8));
  Store32(&h[4], kMdat);
  if (large) Store64(&h[8], payload + 16);
  return h;
}

FinishWrites PlanFinish(const Movie& movie, uint64_t placeholderAt, uint64_t moovAt,
                        uint64_t reach) {
  FinishWrites w;
  w.moov = BuildMoov(movie, false, moovAt);
  if (w.moov.empty()) return w;
  const uint64_t end = moovAt + w.moov.size();
  const uint64_t tail = reach > end ? reach - end : 0;
  uint8_t cover[8];
  Store32(cover,
          static_cast<uint32_t>(std::max<uint64_t>(std::min<uint64_t>(tail, UINT32_MAX), 8)));
  Store32(cover + 4, kFree);
  if (tail > 0 && tail < 8)  // too short for a box of its own: the moov grows past it
    Store32(&w.moov[0], static_cast<uint32_t>(w.moov.size() + 8));
  if (tail > 0) w.moov.insert(w.moov.end(), cover, cover + 8);
  w.mdatHeader = MdatHeader(moovAt - placeholderAt - 16, true);
  return w;
}

}  // namespace mp4
