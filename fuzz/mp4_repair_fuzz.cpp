// The repair trusts nothing in a file: whatever bytes it meets, a file that does not name the
// recording asked for is left byte for byte; one that does is left alone or finished into a
// plain MP4 (ftyp, one mdat up to the moov, the moov to the end) that keeps every byte up to its
// last whole fragment and lists only samples inside the mdat. A second repair finds that file
// finished and leaves it as it is, one that follows a repair cut off on the way makes the same
// file, and one stopped by its progress callback writes nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mp4/memory_file.h"
#include "mp4/mp4_repair.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Require(bool fact) {
  if (!fact) std::abort();
}

// Whether the bytes hold an identity box naming `id` (wherever it is).
bool Names(const Bytes& bytes, const mp4::RecordingId& id) {
  Bytes box = mp4::BuildIdentity({id, 0});
  const Bytes named(box.begin(), box.begin() + 44);  // up to the moov's place
  return std::search(bytes.begin(), bytes.end(), named.begin(), named.end()) != bytes.end();
}

// A file whose power goes after `left` more writes, flushes or truncations: those go through in
// order, none after.
class CutOff : public mp4test::MemoryFile {
 public:
  CutOff(Bytes bytes, int left) : MemoryFile(std::move(bytes)), left_(left) {}
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

// Not ours: the same bytes after the repair, and nothing tried.
void RequireUntouched(const Bytes& input, const mp4test::MemoryFile& file,
                      const mp4::RepairReport& report) {
  Require(report.result != mp4::RepairResult::Repaired &&
          report.result != mp4::RepairResult::Failed && !report.fileChanged && file.image == input);
}

// Another recording's id finds nothing of its own in a file that does not name it.
void AnotherRecordingLeavesItAlone(const Bytes& input) {
  mp4::RecordingId another = mp4test::kTestRecording;
  another[7] ^= 0x40;
  if (Names(input, another)) return;
  mp4test::MemoryFile file(input);
  const mp4::RepairReport report = mp4::Repair(file, another);
  Require(report.result == mp4::RepairResult::NotOurs);
  RequireUntouched(input, file, report);
}

// The progress callback: within the file, forward, bounded in number; stopping at any call
// leaves the file as it was.
void ProgressIsBoundedAndStopsBeforeAnyWrite(const Bytes& input) {
  for (int stopAt = 0; stopAt < 3; ++stopAt) {
    mp4test::MemoryFile file(input);
    int calls = 0;
    uint64_t last = 0;
    const mp4::RepairReport report =
        mp4::Repair(file, mp4test::kTestRecording, [&](uint64_t done, uint64_t total) {
          Require(total == input.size() && done <= total && done >= last);
          last = done;
          return calls++ < stopAt;
        });
    Require(calls <= 260);
    if (calls > stopAt) {
      Require(report.result == mp4::RepairResult::Cancelled);
      RequireUntouched(input, file, report);
    }
  }
}

// A repair cut off anywhere is finished by the next one into the same file.
void RepairCutOffIsFinishedTheSame(const Bytes& input, const Bytes& repaired) {
  for (int left = 0; left < 6; ++left) {
    CutOff cut(input, left);
    const mp4::RepairResult first = mp4::Repair(cut, mp4test::kTestRecording).result;
    Require(first == mp4::RepairResult::Failed || first == mp4::RepairResult::Repaired);
    mp4test::MemoryFile next(cut.image);
    const mp4::RepairResult result = mp4::Repair(next, mp4test::kTestRecording).result;
    Require(result == mp4::RepairResult::Repaired || result == mp4::RepairResult::Finished);
    Require(next.image == repaired);
  }
}

// The finished file: every byte before the moov kept but the placeholder, which became the
// mdat's header over them; the moov to the end; every sample inside the mdat.
void RequireFinished(const Bytes& input, const mp4::Fragments& read,
                     const mp4::RepairReport& report, const Bytes& f) {
  const uint64_t at = read.placeholderAt, moovAt = read.end + report.bytesKept;
  Require(read.kind == mp4::Fragments::Kind::Fragmented && read.end <= input.size());
  Require(moovAt + report.bytesCut == input.size() && f.size() > moovAt + 8);
  Require(std::equal(f.begin(), f.begin() + at, input.begin()));
  Require(std::equal(f.begin() + at + 16, f.begin() + moovAt, input.begin() + at + 16));
  Require(mp4::Load32(&f[at]) == 1 && mp4::Load32(&f[at + 4]) == mp4::kMdat);
  Require(mp4::Load64(&f[at + 8]) == moovAt - at);
  Require(mp4::Load32(&f[moovAt + 4]) == mp4::kMoov);
  Require(mp4::Load32(&f[moovAt]) == f.size() - moovAt);
  uint32_t samples = 0;
  for (const mp4::Track& t : read.movie.tracks) {
    samples += static_cast<uint32_t>(t.samples.size());
    size_t first = 0;
    for (const mp4::Chunk& c : t.chunks) {
      uint64_t end = c.offset;
      for (size_t i = first; i < first + c.samples; ++i) end += t.samples[i].size;
      Require(c.offset >= at + 16 && end <= read.end);
      first += c.samples;
    }
  }
  Require(samples > 0 && samples == report.videoSamples + report.soundSamples);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Bytes input(data, data + size);
  AnotherRecordingLeavesItAlone(input);
  mp4test::MemoryFile file(input);
  const mp4::Fragments read = mp4::ReadFragments(file, mp4test::kTestRecording);
  const mp4::RepairReport report = mp4::Repair(file, mp4test::kTestRecording);
  if (!Names(input, mp4test::kTestRecording)) Require(report.result == mp4::RepairResult::NotOurs);
  if (report.result != mp4::RepairResult::Repaired) {
    RequireUntouched(input, file, report);
    return 0;
  }
  Require(report.fileChanged);
  RequireFinished(input, read, report, file.image);
  const Bytes once = file.image;
  const mp4::RepairReport again = mp4::Repair(file, mp4test::kTestRecording);
  Require(again.result == mp4::RepairResult::Finished && !again.fileChanged && file.image == once);
  RepairCutOffIsFinishedTheSame(input, once);
  ProgressIsBoundedAndStopsBeforeAnyWrite(input);
  return 0;
}
