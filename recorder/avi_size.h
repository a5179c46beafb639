#pragma once
// Keeps an AVI file that is being written under a byte limit. The platform's writer keeps
// reporting success while it corrupts a file that passes 2^31 bytes, so the size has to be
// known before each write rather than learnt from a failure afterwards. No <windows.h>.
#include <cstdint>

namespace orvik {

class AviSizeBudget {
 public:
  // Bytes of one RIFF chunk header and of one index entry. Every position up to the last
  // written one has an entry; a skipped position also gets an empty chunk.
  static constexpr uint64_t kChunkHeader = 8;
  static constexpr uint64_t kIndexEntry = 16;
  // Everything that is not the stream format, frame chunks or index entries: the RIFF,
  // header and movi lists (the library pads the headers to 2 KB) and the idx1 chunk
  // header, with room to spare.
  static constexpr uint64_t kHeaderBlock = 4096;

  AviSizeBudget() = default;
  AviSizeBudget(uint64_t limit, uint64_t formatBytes);

  // The file size after writing a frame of at most `frameBytes` at position `index`,
  // finishing the file right after it.
  uint64_t SizeWith(uint32_t index, uint64_t frameBytes) const;
  bool Fits(uint32_t index, uint64_t frameBytes) const {
    return SizeWith(index, frameBytes) <= limit_;
  }
  // Records a written frame of `frameBytes` at `index`.
  void Add(uint32_t index, uint64_t frameBytes);
  // What writing that frame and finishing the file still adds to the frame chunks
  // already written: the disk must have this much room.
  uint64_t StillToWrite(uint32_t index, uint64_t frameBytes) const {
    return SizeWith(index, frameBytes) - chunks_;
  }

  uint64_t Written() const { return chunks_; }
  uint64_t Entries() const { return entries_; }

 private:
  static uint64_t Chunk(uint64_t bytes) { return kChunkHeader + bytes + (bytes & 1); }
  uint64_t Skipped(uint32_t index) const { return index > entries_ ? index - entries_ : 0; }

  uint64_t limit_ = 0;
  uint64_t fixed_ = 0;
  uint64_t chunks_ = 0;   // frame chunks written so far, empty ones included
  uint64_t entries_ = 0;  // index entries the file will have: last index + 1
};

}  // namespace orvik
