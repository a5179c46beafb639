// The repair trusts nothing in a file: whatever bytes it meets, it either leaves them alone or
// finishes them into a plain MP4 (ftyp, one mdat up to the moov, the moov to the end); a second
// repair finds that file finished and leaves it as it is, and one that follows a repair cut off
// on the way makes the same file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mp4/memory_file.h"
#include "mp4/mp4_repair.h"

namespace {

void Require(bool fact) {
  if (!fact) std::abort();
}

// A file whose power goes after `left` more writes, flushes or truncations: those go through in
// order, none after.
class CutOff : public mp4test::MemoryFile {
 public:
  CutOff(std::vector<uint8_t> bytes, int left) : MemoryFile(std::move(bytes)), left_(left) {}
  mp4::IoStatus WriteAt(uint64_t offset, const void* data, size_t size) override {
    return Go() ? MemoryFile::WriteAt(offset, data, size) : mp4::IoStatus::Failed;
  }
  mp4::IoStatus Flush() override { return Go() ? MemoryFile::Flush() : mp4::IoStatus::Failed; }
  mp4::IoStatus Truncate(uint64_t size) override {
    return Go() ? MemoryFile::Truncate(size) : mp4::IoStatus::Failed;
  }

 private:
  bool Go() { return left_-- > 0; }
  int left_;
};

// A repair cut off anywhere is finished by the next one into the same file.
void RepairCutOffIsFinishedTheSame(const uint8_t* data, size_t size,
                                   const std::vector<uint8_t>& repaired) {
  for (int left = 0; left < 6; ++left) {
    CutOff cut(std::vector<uint8_t>(data, data + size), left);
    const mp4::RepairResult first = mp4::Repair(cut).result;  // done when it needs few steps
    Require(first == mp4::RepairResult::Failed || first == mp4::RepairResult::Repaired);
    mp4test::MemoryFile next(cut.image);
    const mp4::RepairResult result = mp4::Repair(next).result;
    Require(result == mp4::RepairResult::Repaired || result == mp4::RepairResult::Finished);
    Require(next.image == repaired);
  }
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
  RepairCutOffIsFinishedTheSame(data, size, once);
  return 0;
}
