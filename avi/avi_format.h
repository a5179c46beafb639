#pragma once
// Byte encoding of the AVI 2.0 (OpenDML) pieces the writer lays down, and the arithmetic that
// decides where a segment ends. Pure functions over plain values, so they are tested without a
// file. No <windows.h>.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace avi {

// A time slot of a stream, counted from 0 at its start: frame i of a 10 fps video stream stands
// for 0.1 * i seconds. The recording clock hands them out; the file indexes by them.
using Slot = uint32_t;

constexpr uint32_t FourCC(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
         static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

constexpr uint32_t kRiff = FourCC('R', 'I', 'F', 'F');
constexpr uint32_t kList = FourCC('L', 'I', 'S', 'T');
constexpr uint32_t kJunk = FourCC('J', 'U', 'N', 'K');
constexpr uint32_t kIdx1 = FourCC('i', 'd', 'x', '1');
constexpr uint32_t kDibHandler = FourCC('D', 'I', 'B', ' ');
constexpr uint32_t kVideoType = FourCC('v', 'i', 'd', 's');
constexpr uint32_t kAudioType = FourCC('a', 'u', 'd', 's');

// Stream numbers are two decimal digits in every chunk id.
constexpr uint32_t kMaxStreams = 100;
// A stream's chunk id: the stream number, then 'dc' (compressed video), 'db' (uncompressed
// video) or 'wb' (sound).
constexpr uint32_t StreamChunkId(uint32_t stream, char a, char b) {
  return FourCC(static_cast<char>('0' + stream / 10 % 10), static_cast<char>('0' + stream % 10), a,
                b);
}
// The id of a stream's standard index chunks ('ix00', 'ix01', ...), from its chunk id.
constexpr uint32_t IndexChunkId(uint32_t chunkId) {
  return FourCC('i', 'x', 0, 0) | (chunkId & 0xFFFFu) << 16;
}

// avih flags.
constexpr uint32_t kHasIndex = 0x10;
// ffmpeg then reads only what an index names (its "non-interleaved" mode): chunks written after
// the last flush are never shown, whatever bytes follow the last indexed chunk.
constexpr uint32_t kMustUseIndex = 0x20;
// idx1 flag of a key frame; ix00 marks a delta frame by the top bit of its size instead.
constexpr uint32_t kIdx1KeyFrame = 0x10;
constexpr uint32_t kDeltaFrameBit = 0x80000000u;

// Little-endian stores into a byte buffer.
void Store16(uint8_t* p, uint16_t v);
void Store32(uint8_t* p, uint32_t v);
void Store64(uint8_t* p, uint64_t v);

// Bytes of one chunk whose payload is `payload` bytes: header plus the pad byte that keeps the
// next chunk on an even offset.
constexpr uint64_t ChunkBytes(uint64_t payload) { return 8 + payload + (payload & 1); }

// Chunk sizes the layout is built from.
constexpr uint32_t kAvihBytes = 56;
constexpr uint32_t kStrhBytes = 56;
constexpr uint32_t kDmlhBytes = 248;
constexpr uint32_t kIndexHeaderBytes = 24;  // shared head of 'indx' and 'ix00' payloads
constexpr uint32_t kSuperEntryBytes = 16;
constexpr uint32_t kChunkEntryBytes = 8;
constexpr uint32_t kIdx1EntryBytes = 16;
// RIFF 'AVIX' header, then LIST 'movi' header, before a segment's chunk indexes.
constexpr uint64_t kSegmentHeadBytes = 24;

// Chunks only keep offsets even, but a field rewritten in place must sit inside one disk sector
// so that a power cut leaves its old or its new value, never a mix: every such field is kept
// 4-byte aligned. Where the layout would leave it 2 off, a 'JUNK' chunk with 2 bytes of payload
// shifts what follows; a segment keeps space for one at its end so the next starts aligned.
constexpr uint32_t kAlignPadBytes = 10;
// Bytes of the 'JUNK' chunk that aligns `offset` (even) to 4: 0 or kAlignPadBytes.
constexpr uint32_t AlignPadAt(uint64_t offset) { return offset % 4 ? kAlignPadBytes : 0; }

// Per-segment chunk index capacity. Each stream's index ('ix00', 'ix01', ...) is reserved at
// the start of a segment's movi and filled in place at each commit, so the super index needs one
// entry per segment, not one per commit. Segments start small (8 KiB of index for the first
// 1024 chunks, so a short file stays small) and double up to 64 Ki chunks (512 KiB of index
// per stream and segment). A segment also ends when an index is full, so tiny frames (a still
// screen) cost at most 8 bytes of index per slot.
constexpr uint32_t kFirstChunkIndexEntries = 1024;
constexpr uint32_t kMaxChunkIndexEntries = 65536;

// Super index entries reserved in the header, one per RIFF segment: 4096 x 16 bytes = 64 KiB
// per stream. A segment holds up to 1 GiB (default) and up to 64 Ki slots, so 4096 segments
// reach 4 TiB of frames or 2^28 slots (51 days at 60 fps); at one commit per second nothing
// depends on the number of commits. Past that the writer refuses frames, as on a full disk.
constexpr uint32_t kDefaultSuperIndexEntries = 4096;

// Largest RIFF a segment may be: its size field is 32-bit and chunk offsets in its index are
// 32-bit relative to the segment's movi list.
constexpr uint64_t kMaxSegmentBytes = 0xFFFF0000ull;

// Slots each of `streams` chunk indexes of segment `ordinal` (0 = the 'AVI ' RIFF) can hold.
// The indexes together never take more than an eighth of the segment.
uint32_t ChunkIndexCapacity(uint32_t ordinal, uint64_t segmentBytes, uint32_t streams = 1);

// Bytes of a segment's reserved 'ix00' chunk with space for `capacity` slots.
constexpr uint64_t ChunkIndexBytes(uint32_t capacity) {
  return ChunkBytes(kIndexHeaderBytes + uint64_t{kChunkEntryBytes} * capacity);
}

// What a segment holds while it is written, seen from the stream about to add a chunk.
struct SegmentUse {
  bool first = false;     // the 'AVI ' RIFF, which also ends with an idx1
  uint64_t bytes = 0;     // RIFF bytes used so far (headers, index reservations, chunks)
  uint32_t chunks = 0;    // chunks of every stream so far: the idx1 lists them all
  uint32_t entries = 0;   // chunks of this stream so far
  uint32_t capacity = 0;  // chunks this stream's index can hold
};

// Whether one more chunk of `payload` bytes fits into the segment without the RIFF passing
// `segmentBytes`, counting the alignment pad it may end with and, for the first RIFF, its idx1.
bool ChunkFitsSegment(const SegmentUse& use, uint64_t payload, uint64_t segmentBytes);

// One stream as its strh and strf describe it.
struct StreamInfo {
  uint32_t type = kVideoType;
  uint32_t handler = 0;
  uint32_t scale = 1, rate = 1;  // units per second = rate / scale
  uint32_t sampleSize = 0;       // sound: bytes per sample block; video: 0 (chunks vary)
  uint32_t width = 0, height = 0;
  uint32_t chunkId = StreamChunkId(0, 'd', 'c');
  std::vector<uint8_t> format;  // strf payload: BITMAPINFOHEADER or WAVEFORMATEX
};

// The avih fields.
struct MainHeader {
  uint32_t microSecPerFrame = 0;
  uint32_t maxBytesPerSec = 0;
  uint32_t totalFrames = 0;  // video slots of the 'AVI ' RIFF
  uint32_t streams = 0;
  uint32_t suggestedBuffer = 0;  // largest chunk
  uint32_t width = 0, height = 0;
};

// Payloads of the header chunks. A stream's length counts slots (video) or sample blocks
// (sound); `largest` is its largest chunk.
std::vector<uint8_t> EncodeAvih(const MainHeader& main);
std::vector<uint8_t> EncodeStrh(const StreamInfo& info, uint32_t length, uint32_t largest);
// A WAVEFORMATEX of uncompressed PCM.
std::vector<uint8_t> EncodeWaveFormat(uint16_t channels, uint32_t samplesPerSecond,
                                      uint16_t bitsPerSample);

// A standard index entry (ix00): offset of the chunk's payload from the index's base, and the
// payload size with the delta-frame bit.
void EncodeChunkEntry(uint8_t* out, uint64_t payloadOffset, uint64_t base, uint32_t size,
                      bool keyFrame);
// A super index entry (indx): the ix00 chunk's file offset and size, and the slots it covers.
void EncodeSuperEntry(uint8_t* out, uint64_t chunkOffset, uint32_t chunkBytes, uint32_t slots);
// A legacy idx1 entry; `offset` is the chunk header's position relative to the 'movi' fourcc.
void EncodeIdx1Entry(uint8_t* out, uint32_t chunkId, uint64_t offset, uint32_t size, bool keyFrame);

// Where the fields a commit rewrites sit in the file, as laid out by BuildFileHeader. Every
// one of them is 4-byte aligned.
struct HeaderLayout {
  uint64_t riffSize = 4;             // the 'AVI ' RIFF's size field
  uint64_t avih = 0;                 // avih payload
  std::vector<uint64_t> strh;        // each stream's strh payload
  std::vector<uint64_t> superIndex;  // each stream's indx payload
  uint64_t dmlh = 0;                 // dmlh payload
  uint64_t movi = 0;                 // the movi LIST header
  uint32_t superCapacity = 0;
};

// RIFF 'AVI ' header, LIST hdrl (avih; a LIST strl with strh, strf, indx per stream; LIST odml
// with dmlh) and the movi LIST header, with zero counts. The sizes of RIFF and movi cover
// nothing yet.
std::vector<uint8_t> BuildFileHeader(const std::vector<StreamInfo>& streams, const MainHeader& main,
                                     uint32_t superCapacity, HeaderLayout* layout);

// The start of a chunk index reservation: ix## header with no entries, then zeros.
std::vector<uint8_t> BuildChunkIndex(uint32_t chunkId, uint64_t base, uint32_t capacity);

}  // namespace avi
