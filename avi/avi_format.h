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
constexpr uint32_t kIx00 = FourCC('i', 'x', '0', '0');
constexpr uint32_t kCompressedChunk = FourCC('0', '0', 'd', 'c');
constexpr uint32_t kUncompressedChunk = FourCC('0', '0', 'd', 'b');
constexpr uint32_t kDibHandler = FourCC('D', 'I', 'B', ' ');

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

// Per-segment chunk index capacity. A segment's 'ix00' is reserved at the start of its movi and
// filled in place at each flush, so the super index needs one entry per segment, not one per
// flush. Segments start small (8 KiB of index for the first 1024 slots, so a short file stays
// small) and double up to 64 Ki slots (512 KiB of index per segment). A segment also ends when
// its index is full, so tiny frames (a still screen) cost at most 8 bytes of index per slot.
constexpr uint32_t kFirstChunkIndexEntries = 1024;
constexpr uint32_t kMaxChunkIndexEntries = 65536;

// Super index entries reserved in the header, one per RIFF segment: 4096 x 16 bytes = 64 KiB.
// A segment holds up to 1 GiB (default) and up to 64 Ki slots, so 4096 segments reach 4 TiB of
// frames or 2^28 slots (51 days at 60 fps); at one flush per second nothing depends on the
// number of flushes. Past that the writer refuses frames, as it would on a full disk.
constexpr uint32_t kDefaultSuperIndexEntries = 4096;

// Largest RIFF a segment may be: its size field is 32-bit and chunk offsets in its index are
// 32-bit relative to the segment's movi list.
constexpr uint64_t kMaxSegmentBytes = 0xFFFF0000ull;

// Slots the chunk index of segment `ordinal` (0 = the 'AVI ' RIFF) can hold. The index never
// takes more than an eighth of the segment.
uint32_t ChunkIndexCapacity(uint32_t ordinal, uint64_t segmentBytes);

// Bytes of a segment's reserved 'ix00' chunk with room for `capacity` slots.
constexpr uint64_t ChunkIndexBytes(uint32_t capacity) {
  return ChunkBytes(kIndexHeaderBytes + uint64_t{kChunkEntryBytes} * capacity);
}

// What a segment holds while it is written: where it starts, how many bytes it has used so
// far (index reservation included) and how many slots it indexes.
struct SegmentUse {
  bool first = false;     // the 'AVI ' RIFF, which also ends with an idx1
  uint64_t bytes = 0;     // RIFF bytes used so far (header, index reservation, chunks)
  uint32_t entries = 0;   // slots indexed
  uint32_t capacity = 0;  // slots its ix00 can hold
};

// Whether one more chunk of `payload` bytes fits into the segment without the RIFF passing
// `segmentBytes` (the first RIFF counts the idx1 it will end with).
bool SegmentHasRoom(const SegmentUse& use, uint64_t payload, uint64_t segmentBytes);

// The stream's frame geometry and timing as the headers store it.
struct StreamInfo {
  uint32_t width = 0, height = 0;
  uint32_t handler = 0;
  uint32_t rate = 1, scale = 1;
  uint32_t chunkId = kCompressedChunk;
};

// Counters the headers carry and a flush rewrites.
struct HeaderCounts {
  uint32_t firstRiffFrames = 0;  // avih: slots of the 'AVI ' RIFF
  uint32_t totalFrames = 0;      // strh and dmlh: every slot
  uint32_t largestFrame = 0;     // suggested buffer size
};

// Payloads of the header chunks.
std::vector<uint8_t> EncodeAvih(const StreamInfo& info, const HeaderCounts& counts);
std::vector<uint8_t> EncodeStrh(const StreamInfo& info, const HeaderCounts& counts);

// A standard index entry (ix00): offset of the chunk's payload from the index's base, and the
// payload size with the delta-frame bit.
void EncodeChunkEntry(uint8_t* out, uint64_t payloadOffset, uint64_t base, uint32_t size,
                      bool keyFrame);
// A super index entry (indx): the ix00 chunk's file offset and size, and the slots it covers.
void EncodeSuperEntry(uint8_t* out, uint64_t chunkOffset, uint32_t chunkBytes, uint32_t slots);
// A legacy idx1 entry; `offset` is the chunk header's position relative to the 'movi' fourcc.
void EncodeIdx1Entry(uint8_t* out, uint32_t chunkId, uint64_t offset, uint32_t size, bool keyFrame);

// Where the fields a flush rewrites sit in the file, as laid out by BuildFileHeader.
struct HeaderLayout {
  uint64_t riffSize = 4;    // the 'AVI ' RIFF's size field
  uint64_t avih = 0;        // avih payload
  uint64_t strh = 0;        // strh payload
  uint64_t superIndex = 0;  // indx payload
  uint64_t dmlh = 0;        // dmlh payload
  uint64_t movi = 0;        // the movi LIST header
  uint32_t superCapacity = 0;
};

// RIFF 'AVI ' header, LIST hdrl (avih, LIST strl with strh, strf, indx; LIST odml with dmlh)
// and the movi LIST header, with zero counts. The sizes of RIFF and movi cover nothing yet.
std::vector<uint8_t> BuildFileHeader(const StreamInfo& info, const std::vector<uint8_t>& bitmapInfo,
                                     uint32_t superCapacity, HeaderLayout* layout);

// The start of a chunk index reservation: ix00 header with no entries, then zeros.
std::vector<uint8_t> BuildChunkIndex(uint32_t chunkId, uint64_t base, uint32_t capacity);

}  // namespace avi
