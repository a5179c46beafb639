// The repair trusts nothing in a file: whatever bytes it meets, it either leaves them alone or
// finishes them into a plain MP4 (ftyp, one mdat up to the moov, the moov to the end), and a
// second repair finds that file finished and leaves it as it is.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mp4/memory_file.h"
#include "mp4/mp4_repair.h"

namespace {

void Require(bool fact) {
  if (!fact) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  mp4test::MemoryFile file(std::vector<uint8_t>(data, data + size));
  const mp4::Fragments read = mp4::ReadFragments(file);
  const mp4::RepairReport report = mp4::Repair(file);
  if (report.result != mp4::RepairResult::Repaired) {
    Require(report.result != mp4::RepairResult::Failed);
    Require(file.image.size() == size && std::equal(file.image.begin(), file.image.end(), data));
    return 0;
  }
  Require(read.kind == mp4::Fragments::Kind::Fragmented && read.end <= size);
  Require(report.bytesCut == size - read.end);
  const std::vector<uint8_t>& f = file.image;
  const uint64_t at = read.placeholderAt;
  Require(mp4::Load32(&f[at]) == 1 && mp4::Load32(&f[at + 4]) == mp4::kMdat);
  Require(mp4::Load64(&f[at + 8]) == read.end - at);
  Require(mp4::Load32(&f[read.end + 4]) == mp4::kMoov);
  Require(mp4::Load32(&f[read.end]) == f.size() - read.end);
  const std::vector<uint8_t> once = f;
  Require(mp4::Repair(file).result == mp4::RepairResult::Finished && file.image == once);
  return 0;
}
