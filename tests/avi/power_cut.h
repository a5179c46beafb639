#pragma once
// A disk under an operating system's file cache, for power-cut tests: every write and flush of
// a recording is logged with the writer's counts, and the disk is rebuilt as a cut between two
// flushes could leave it: any subset of the writes since the last flush, overlapping ones in
// either order, a write torn to some of its 512-byte sectors.
#include <cstdint>
#include <functional>
#include <random>
#include <unordered_map>
#include <utility>
#include <vector>

#include "avi/avi_writer.h"

namespace avitest {

using Image = std::vector<uint8_t>;

// What a cut image must play: at least what was committed when the cut came, at most what was
// written by then (slots of stream 0, sample blocks of stream 1).
struct Bounds {
  avi::Slot minSlots = 0, maxSlots = 0;
  avi::Slot minBlocks = 0, maxBlocks = 0;
};

// What `writer` counts now of stream 0 (video slots) and stream 1 (sound blocks).
Bounds CountsOf(const avi::Writer& writer);

class OpLog : public avi::Sink {
 public:
  struct Op {
    bool flush = false;
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
    // The writer's counts as the op began: committed as the minimums, written as the maximums.
    Bounds counts;
  };

  explicit OpLog(const avi::Writer& writer) : OpLog([&writer] { return CountsOf(writer); }) {}
  // Any writer: `counts` says what it has committed (minimums) and written (maximums) now.
  explicit OpLog(std::function<Bounds()> counts) : counts_(std::move(counts)) {}
  avi::IoStatus WriteAt(uint64_t offset, const void* data, size_t size) override;
  avi::IoStatus Flush() override;

  // Calls `each` for every stretch between two flushes (from the first one, which ends Open):
  // the disk as the flush left it, the writes after it, and the bounds a cut there must meet.
  void ForEachInterval(const std::function<void(const Image&, const std::vector<const Op*>&,
                                                const Bounds&)>& each) const;

  std::vector<Op> ops;

 private:
  Bounds BoundsAfter(size_t flush, size_t next) const;

  std::function<Bounds()> counts_;
};

// Cut images, each kept once (under the tightest bounds it was reached with).
class CutSet {
 public:
  void Add(Image image, const Bounds& bounds);
  // Every subset of `writes` landing whole (overlapping ones in both orders), and every write
  // of up to 4 sectors torn to each proper subset of them, the others all landed or all lost.
  void AddEveryCut(const Image& disk, const std::vector<const OpLog::Op*>& writes,
                   const Bounds& bounds);
  // One cut: each write lost, landed or torn at random, in a random order.
  void AddRandomCut(const Image& disk, const std::vector<const OpLog::Op*>& writes,
                    const Bounds& bounds, std::mt19937& random);

  std::vector<std::pair<Image, Bounds>> cuts;

 private:
  std::unordered_multimap<size_t, size_t> byHash_;
};

}  // namespace avitest
