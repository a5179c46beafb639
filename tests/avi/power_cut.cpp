#include "avi/power_cut.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace avitest {

namespace {

constexpr uint64_t kSector = 512;

size_t SectorCount(const OpLog::Op& w) {
  return static_cast<size_t>((w.offset + w.bytes.size() - 1) / kSector - w.offset / kSector + 1);
}

// Puts the write's sectors for which `keep(i)` holds (i counted within the write) on the disk.
void Land(Image& disk, const OpLog::Op& w, const std::function<bool(size_t)>& keep) {
  const uint64_t end = w.offset + w.bytes.size();
  for (size_t i = 0; i < SectorCount(w); ++i) {
    if (!keep(i)) continue;
    const uint64_t sector = w.offset / kSector + i;
    const uint64_t from = std::max(w.offset, sector * kSector);
    const uint64_t to = std::min(end, (sector + 1) * kSector);
    if (disk.size() < to) disk.resize(to);
    std::memcpy(&disk[from], &w.bytes[from - w.offset], to - from);
  }
}

void LandWhole(Image& disk, const OpLog::Op& w) {
  Land(disk, w, [](size_t) { return true; });
}

bool Overlap(const OpLog::Op& a, const OpLog::Op& b) {
  return a.offset < b.offset + b.bytes.size() && b.offset < a.offset + a.bytes.size();
}

}  // namespace

avi::IoStatus OpLog::WriteAt(uint64_t offset, const void* data, size_t size) {
  Op op;
  op.offset = offset;
  op.bytes.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
  op.counts = counts_();
  ops.push_back(std::move(op));
  return avi::IoStatus::Ok;
}

avi::IoStatus OpLog::Flush() {
  WriteAt(0, nullptr, 0);
  ops.back().flush = true;
  return avi::IoStatus::Ok;
}

// The writer counts a commit once its last flush returned: the op after a flush tells what
// that flush made durable; the flush that ends the stretch tells what was written by then.
Bounds OpLog::BoundsAfter(size_t flush, size_t next) const {
  const Bounds now = counts_();
  const Bounds& committed = flush + 1 < ops.size() ? ops[flush + 1].counts : now;
  const Bounds& written = next < ops.size() ? ops[next].counts : now;
  return {committed.minSlots, written.maxSlots, committed.minBlocks, written.maxBlocks};
}

Bounds CountsOf(const avi::Writer& writer) {
  return {writer.CommittedSlotCount(0), writer.SlotCount(0), writer.CommittedBlockCount(1),
          writer.BlockCount(1)};
}

void OpLog::ForEachInterval(const std::function<void(const Image&, const std::vector<const Op*>&,
                                                     const Bounds&)>& each) const {
  Image disk;
  size_t i = 0;
  while (i < ops.size() && !ops[i].flush) LandWhole(disk, ops[i++]);
  while (i < ops.size()) {
    size_t next = i + 1;
    std::vector<const Op*> writes;
    for (; next < ops.size() && !ops[next].flush; ++next) writes.push_back(&ops[next]);
    each(disk, writes, BoundsAfter(i, next));
    for (const Op* w : writes) LandWhole(disk, *w);
    i = next;
  }
}

void CutSet::Add(Image image, const Bounds& bounds) {
  const size_t hash = std::hash<std::string_view>()(
      std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
  const auto range = byHash_.equal_range(hash);
  for (auto it = range.first; it != range.second; ++it) {
    auto& [known, b] = cuts[it->second];
    if (known != image) continue;
    b.minSlots = std::max(b.minSlots, bounds.minSlots);
    b.maxSlots = std::min(b.maxSlots, bounds.maxSlots);
    b.minBlocks = std::max(b.minBlocks, bounds.minBlocks);
    b.maxBlocks = std::min(b.maxBlocks, bounds.maxBlocks);
    return;
  }
  byHash_.emplace(hash, cuts.size());
  cuts.emplace_back(std::move(image), bounds);
}

void CutSet::AddEveryCut(const Image& disk, const std::vector<const OpLog::Op*>& writes,
                         const Bounds& bounds) {
  const size_t n = writes.size();
  for (uint64_t subset = 0; subset < (uint64_t{1} << n); ++subset) {
    std::vector<const OpLog::Op*> landed;
    for (size_t i = 0; i < n; ++i)
      if (subset >> i & 1) landed.push_back(writes[i]);
    Image image = disk;
    for (const OpLog::Op* w : landed) LandWhole(image, *w);
    bool overlapping = false;
    for (size_t a = 0; a < landed.size(); ++a)
      for (size_t b = a + 1; b < landed.size(); ++b) overlapping |= Overlap(*landed[a], *landed[b]);
    if (overlapping) {
      Image reversed = disk;
      for (auto w = landed.rbegin(); w != landed.rend(); ++w) LandWhole(reversed, **w);
      Add(std::move(reversed), bounds);
    }
    Add(std::move(image), bounds);
  }
  // Longer writes are torn by the random cuts.
  for (size_t torn = 0; torn < n; ++torn) {
    const size_t sectors = SectorCount(*writes[torn]);
    for (uint32_t mask = 1; sectors <= 4 && mask + 1 < (1u << sectors); ++mask) {
      for (bool others : {false, true}) {
        Image image = disk;
        for (size_t i = 0; i < n; ++i) {
          if (i == torn)
            Land(image, *writes[i], [mask](size_t sector) { return (mask >> sector & 1) != 0; });
          else if (others)
            LandWhole(image, *writes[i]);
        }
        Add(std::move(image), bounds);
      }
    }
  }
}

void CutSet::AddRandomCut(const Image& disk, const std::vector<const OpLog::Op*>& writes,
                          const Bounds& bounds, std::mt19937& random) {
  std::vector<const OpLog::Op*> order = writes;
  std::shuffle(order.begin(), order.end(), random);
  Image image = disk;
  for (const OpLog::Op* w : order) {
    const uint32_t fate = random() % 4;
    if (fate == 0) continue;
    if (fate < 3) {
      LandWhole(image, *w);
    } else {
      std::vector<bool> keep(SectorCount(*w));
      for (size_t i = 0; i < keep.size(); ++i) keep[i] = random() % 2;
      Land(image, *w, [&](size_t i) { return keep[i]; });
    }
  }
  Add(std::move(image), bounds);
}

}  // namespace avitest
