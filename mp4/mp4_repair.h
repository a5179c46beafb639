#pragma once
// Finishing an MP4 the writer left as fragments (the process was killed or the power went):
// its fragments are read up to the first one not named or not wholly on the disk, the file is
// cut there and finished as Close finishes it. The reader trusts nothing in the file: it is
// fuzzed. No <windows.h>.
#include <cstddef>
#include <array>
#include <cstdint>
#include <functional>

#include "mp4/mp4_boxes.h"
#include "mp4/mp4_writer.h"

namespace mp4 {

// The file the repair reads and rewrites in place.
class RepairFile {
 public:
  virtual ~RepairFile() = default;
  virtual uint64_t Size() = 0;
  // False unless all `size` bytes were read.
  virtual bool ReadAt(uint64_t offset, void* data, size_t size) = 0;
  virtual IoStatus WriteAt(uint64_t offset, const void* data, size_t size) = 0;
  virtual IoStatus Flush() = 0;
  virtual IoStatus Truncate(uint64_t size) = 0;
};

// What the reader found.
struct Fragments {
  enum class Kind {
    NotOurs,   // not a file the writer began (or its head is damaged): left alone
    Finished,  // a plain MP4 already: left alone
    Fragmented,
  };
  Kind kind = Kind::NotOurs;
  Movie movie;  // the tracks and every sample of the whole fragments
  uint64_t placeholderAt = 0;
  uint64_t end = 0;  // where the last whole, named fragment ends
  uint32_t fragments = 0;
};

Fragments ReadFragments(RepairFile& file);

enum class RepairResult {
  NotOurs,
  Finished,  // nothing to do
  Repaired,
  Failed,  // a read, write, flush or truncation failed: the file may be repaired again
  Cancelled,
};

struct RepairReport {
  RepairResult result = RepairResult::NotOurs;
  uint32_t videoSamples = 0, soundSamples = 0;
  double seconds = 0;     // the length kept
  uint64_t bytesCut = 0;  // what followed the last whole fragment
  bool fileChanged = false;
};

using RecordingId = std::array<uint8_t, 16>;
using RepairProgress = std::function<bool(uint64_t done, uint64_t total)>;
RepairReport Repair(RepairFile& file, const RecordingId& ours, const RepairProgress& progress = {});

// Cuts the file after its last whole fragment (flushed), then lays the moov there (flushed) and
// turns the placeholder into the mdat header (flushed): a repair cut off on the way leaves a
// file the next one finishes the same way.
RepairReport Repair(RepairFile& file);

}  // namespace mp4
