#include "recorder/avi_size.h"

namespace orvik {

AviSizeBudget::AviSizeBudget(uint64_t limit, uint64_t formatBytes)
    : limit_(limit), fixed_(kHeaderBlock + formatBytes) {}

uint64_t AviSizeBudget::SizeWith(uint32_t index, uint64_t frameBytes) const {
  const uint64_t entries = index + 1ull > entries_ ? index + 1ull : entries_;
  return fixed_ + chunks_ + Skipped(index) * kChunkHeader + Chunk(frameBytes) +
         entries * kIndexEntry;
}

void AviSizeBudget::Add(uint32_t index, uint64_t frameBytes) {
  chunks_ += Skipped(index) * kChunkHeader + Chunk(frameBytes);
  if (index + 1ull > entries_) entries_ = index + 1ull;
}

}  // namespace orvik
