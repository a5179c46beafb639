#pragma once
// Finishing an MP4 the writer left as fragments (the process was killed or the power went):
// its fragments are read up to the first one not named or not wholly on the disk, and the file
// is finished as Close finishes it. Only a file that is provably ours is touched: its moov names
// the recording asked for (the identity box), and it holds at least one whole fragment; any other
// file is left byte for byte. Of what follows the last whole fragment, only what is provably a
// torn fragment of ours (or zeros a power cut left) is cut; anything else stays, inside the
// mdat. The reader trusts nothing in the file: it is fuzzed. No <windows.h>.
#include <cstddef>
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

// Called as the fragments are read, `done` of `total` bytes (at most a few hundred times a
// file), and once more before the first write; false stops the repair with the file untouched.
using RepairProgress = std::function<bool(uint64_t done, uint64_t total)>;

// What the reader found.
struct Fragments {
  enum class Kind {
    NotOurs,   // not a file the writer began for this recording (or its head is damaged)
    Finished,  // a plain MP4 of this recording already
    Fragmented,
    Cancelled,  // the progress callback said stop
  };
  Kind kind = Kind::NotOurs;
  Movie movie;  // the tracks and every sample of the whole fragments
  uint64_t placeholderAt = 0;
  uint64_t end = 0;  // where the last whole, named fragment ends
  uint32_t fragments = 0;
  // Where a moov of this recording starts that runs to the file's end, laid there by a repair
  // cut off on the way (0: none): the fragments are read up to it, and it is laid again.
  uint64_t laidMoovAt = 0;
};

Fragments ReadFragments(RepairFile& file, const RecordingId& ours,
                        const RepairProgress& progress = {});

enum class RepairResult {
  NotOurs,   // left byte for byte: another program's file, another recording's, or no fragment
  Finished,  // ours and a plain MP4 already: nothing to do
  Repaired,
  Failed,     // a read, write, flush or truncation failed: the file may be repaired again
  Cancelled,  // stopped by the progress callback before anything was written
};

struct RepairReport {
  RepairResult result = RepairResult::NotOurs;
  uint32_t videoSamples = 0, soundSamples = 0;
  double seconds = 0;  // the length kept
  // What followed the last whole fragment: kept inside the mdat, and removed after that (a torn
  // fragment of ours, zeros, or the moov a repair cut off on the way had laid).
  uint64_t bytesKept = 0, bytesCut = 0;
  bool fileChanged = false;  // a write or a truncation was tried
};

// Lays the finished moov after the last whole fragment (a torn fragment there cut first,
// flushed), or after the bytes kept there, flushed; then turns the placeholder into the mdat
// header, flushed. A repair cut off on the way leaves a file the next one finishes the same way.
RepairReport Repair(RepairFile& file, const RecordingId& ours, const RepairProgress& progress = {});

}  // namespace mp4
