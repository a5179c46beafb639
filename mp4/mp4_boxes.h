#pragma once
// The ISO base media (MP4) boxes the writer and the repair lay down: the file's head, the movie
// box with or without its samples, and one fragment's moof. The writer and the repair build the
// final movie box from the same tables with the same code, so a repaired file is laid out as a
// clean stop lays it out. Pure functions over plain values. No <windows.h>.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mp4 {

constexpr uint32_t FourCC(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(d));
}

constexpr uint32_t kFtyp = FourCC('f', 't', 'y', 'p');
constexpr uint32_t kFree = FourCC('f', 'r', 'e', 'e');
constexpr uint32_t kMdat = FourCC('m', 'd', 'a', 't');
constexpr uint32_t kMoov = FourCC('m', 'o', 'o', 'v');
constexpr uint32_t kMoof = FourCC('m', 'o', 'o', 'f');
constexpr uint32_t kVideoHandler = FourCC('v', 'i', 'd', 'e');
constexpr uint32_t kSoundHandler = FourCC('s', 'o', 'u', 'n');

// The 16 bytes after the ftyp: a 'free' box while the file is fragments, a 64-bit 'mdat' header
// over everything after it once it is finished.
constexpr size_t kPlaceholderBytes = 16;
// Samples AAC encoders put before the sound (libavcodec's among them): an edit list skips them.
// The encoder says how many; this is what libavcodec's says.
constexpr uint32_t kAacPriming = 1024;
constexpr uint32_t kAacFrameSamples = 1024;
constexpr uint32_t kUuid = FourCC('u', 'u', 'i', 'd');
// trun flags: which fields it carries.
constexpr uint32_t kTrunDataOffset = 0x000001;
constexpr uint32_t kTrunFirstFlags = 0x000004;
constexpr uint32_t kTrunDuration = 0x000100;
constexpr uint32_t kTrunSize = 0x000200;
constexpr uint32_t kTrunFlags = 0x000400;
constexpr uint32_t kTrunCompositionOffsets = 0x000800;
// trun sample flags: a sync sample depends on nothing; any other is not a sync sample.
constexpr uint32_t kSyncSampleFlags = 0x02000000;
constexpr uint32_t kDeltaSampleFlags = 0x01010000;

// Every track's samples together, at most: the finished moov's sample tables then stay well
// under the 4 GiB its 32-bit box sizes can say (36 bytes a sample at worst: stts, stss, stsz, a
// stsc and a co64 entry each). 2^25 is 86 hours at 60 pictures a second with sound.
constexpr uint32_t kMostSamples = 1u << 25;
static_assert(uint64_t{kMostSamples} * 36 < (uint64_t{1} << 31), "sample tables past 2 GiB");

// The recording a file belongs to, as the moov's identity box names it.
using RecordingId = std::array<uint8_t, 16>;

// Our mark in the moov, while recording and once finished: a 'uuid' box of our own type naming
// the program and the recording, and in a finished file where its moov starts (the moov's last
// box, so that a repair cut off after laying its moov finds that moov from the file's end).
// Players skip a 'uuid' box they do not know.
constexpr size_t kIdentityBytes = 58;
struct Identity {
  RecordingId id{};
  uint64_t moovAt = 0;  // 0 in the moov written while recording
};
std::vector<uint8_t> BuildIdentity(const Identity& identity);
// `box` is a whole box of `size` bytes; true when it is our identity box.
bool ReadIdentity(const uint8_t* box, size_t size, Identity* identity);

uint16_t Load16(const uint8_t* p);
uint32_t Load32(const uint8_t* p);
uint64_t Load64(const uint8_t* p);
void Store32(uint8_t* p, uint32_t v);
void Store64(uint8_t* p, uint64_t v);

// Appends big-endian fields and nested boxes to a byte vector.
class BoxBuilder {
 public:
  void U8(uint8_t v) { bytes_.push_back(v); }
  void U16(uint16_t v);
  void U32(uint32_t v);
  void U64(uint64_t v);
  void Zeros(size_t n) { bytes_.insert(bytes_.end(), n, 0); }
  void Bytes(const std::vector<uint8_t>& v) { bytes_.insert(bytes_.end(), v.begin(), v.end()); }
  // Opens a box (a full box with version and flags); Close writes its size.
  size_t Open(uint32_t type);
  size_t OpenFull(uint32_t type, uint8_t version, uint32_t flags);
  void Close(size_t at);
  size_t Size() const { return bytes_.size(); }
  std::vector<uint8_t>& Bytes() { return bytes_; }
  // A box closed past what its 32-bit size can say.
  bool Overflowed() const { return overflowed_; }

 private:
  std::vector<uint8_t> bytes_;
  bool overflowed_ = false;
};

// One sample as the movie box lists it: its decode time in the track's timescale.
struct Sample {
  uint64_t time = 0;
  uint32_t size = 0;
  bool key = true;
};
// A run of a track's samples lying together in the file.
struct Chunk {
  uint64_t offset = 0;
  uint32_t samples = 0;
};

// A track as its sample entry describes it (the stsd's one entry, kept as bytes so that the
// repair can carry it over unread), and the samples on the disk.
struct Track {
  uint32_t id = 0;
  uint32_t handler = kVideoHandler;
  uint32_t timescale = 0;
  uint32_t width = 0, height = 0;  // video
  std::vector<uint8_t> sampleEntry;
  std::vector<Sample> samples;
  std::vector<Chunk> chunks;
  uint64_t end = 0;  // where the last sample ends, in the timescale
  // Sound: leading samples an edit list skips, and how long the sound really is (0: up to end).
  uint32_t priming = 0;
  uint64_t length = 0;
};

struct Movie {
  uint32_t timescale = 0;
  std::vector<Track> tracks;
  RecordingId recordingId{};
};

std::vector<uint8_t> BuildFtyp();
// The avc1 sample entry of H.264 with its SPS and PPS, signalled BT.709 limited range.
std::vector<uint8_t> BuildAvc1(uint32_t width, uint32_t height, const std::vector<uint8_t>& sps,
                               const std::vector<uint8_t>& pps);
// The mp4a sample entry of AAC from its AudioSpecificConfig.
std::vector<uint8_t> BuildMp4a(uint32_t sampleRate, uint16_t channels,
                               const std::vector<uint8_t>& audioSpecificConfig);
// The movie box while recording (mvex, no samples, the sound's edit list open-ended; its size a
// multiple of 4 so that fragments start aligned), or at the end, at `at` in the file (every
// sample, co64, the sound's edit list). Empty when a box would pass 4 GiB.
std::vector<uint8_t> BuildMoov(const Movie& movie, bool fragmented, uint64_t at = 0);

// One fragment's samples per track (tracks without samples are left out).
struct FragmentTrack {
  uint32_t id = 0;
  uint64_t time = 0;  // the first sample's decode time
  std::vector<uint32_t> durations, sizes;
  std::vector<bool> keys;
  bool video = true;  // per-sample flags
};
// A moof, its trun data offsets counted from its start, the samples' data following it in one
// mdat with a header of `mdatHeaderBytes`, track after track.
std::vector<uint8_t> BuildMoof(uint32_t sequence, const std::vector<FragmentTrack>& tracks,
                               size_t mdatHeaderBytes);
// An mdat header (8 bytes, or 16 with a 64-bit size) for `payload` bytes.
std::vector<uint8_t> MdatHeader(uint64_t payload, bool large);

// The last two writes of a finished file: the complete moov at `moovAt`, covering any bytes up
// to `reach` after it (left by a fragment given up) with a 'free' box; then the placeholder at
// `placeholderAt` turned into the mdat header over everything between. Both empty when the moov
// cannot be written (a box past 4 GiB).
struct FinishWrites {
  std::vector<uint8_t> moov;
  std::vector<uint8_t> mdatHeader;
};
FinishWrites PlanFinish(const Movie& movie, uint64_t placeholderAt, uint64_t moovAt,
                        uint64_t reach);

}  // namespace mp4
