// Writes the MP4 repair fuzzer's starting corpus into the folder given: files of the writer left
// as fragments (with sound and without, the last fragment named or not, cut in its middle) and a
// finished one; and hostile fragments: a tfhd base that a trun offset carries past 2^63 or 2^64,
// and truns declaring as many samples as their bodies have bytes. The samples are stand-ins: the
// repair never looks inside them.
#include <string>
#include <vector>

#include "fuzz/seed_file.h"
#include "mp4/memory_file.h"
#include "mp4/mp4_writer.h"

namespace {

// The file as each flush left it.
class Snapshots : public mp4test::MemoryFile {
 public:
  mp4::IoStatus Flush() override {
    images.push_back(image);
    return MemoryFile::Flush();
  }
  std::vector<std::vector<uint8_t>> images;
};

std::vector<std::vector<uint8_t>> Recording(bool sound) {
  mp4::VideoFormat video;
  video.width = 64;
  video.height = 48;
  video.sps = {0x67, 0x42, 0xC0, 0x0A, 0xD9, 0x01};
  video.pps = {0x68, 0xCE, 0x3C, 0x80};
  mp4::SoundFormat aac;
  aac.audioSpecificConfig = {0x11, 0x90};
  Snapshots file;
  mp4::Writer w;
  w.Open(file, video, sound ? &aac : nullptr);
  for (uint32_t slot = 0; slot < 9; ++slot) {
    const std::vector<uint8_t> picture(7 + slot * 3, static_cast<uint8_t>(slot));
    w.WriteVideo(slot + slot / 4, picture.data(), static_cast<uint32_t>(picture.size()),
                 slot % 4 == 0);
    if (sound) w.WriteSound(picture.data(), 7);
    if (slot % 3 == 2) w.Flush();
  }
  w.Close();
  std::vector<std::vector<uint8_t>> seeds = file.images;
  for (const std::vector<uint8_t>& image : file.images)
    if (image.size() > 100) seeds.emplace_back(image.begin(), image.end() - 37);
  return seeds;
}

// A fragment of the picture's track (id 1) with `count` samples of 8 bytes declared in its
// trun, whose body holds `entries` of them; with a tfhd base when `base` is not 0.
std::vector<uint8_t> Fragment(uint32_t sequence, uint64_t base, uint32_t dataOffset,
                              uint32_t trunFlags, uint32_t count, uint32_t entries) {
  mp4::BoxBuilder b;
  const size_t moof = b.Open(mp4::kMoof);
  const size_t mfhd = b.OpenFull(mp4::FourCC('m', 'f', 'h', 'd'), 0, 0);
  b.U32(sequence);
  b.Close(mfhd);
  const size_t traf = b.Open(mp4::FourCC('t', 'r', 'a', 'f'));
  const size_t tfhd = b.OpenFull(mp4::FourCC('t', 'f', 'h', 'd'), 0, base ? 0x01 : 0x020000);
  b.U32(1);
  if (base) b.U64(base);
  b.Close(tfhd);
  const size_t trun = b.OpenFull(mp4::FourCC('t', 'r', 'u', 'n'), 0, trunFlags);
  b.U32(count);
  b.U32(dataOffset);
  for (uint32_t i = 0; i < entries; ++i) {
    b.U32(9000);
    b.U32(0);
  }
  b.Close(trun);
  b.Close(traf);
  b.Close(moof);
  const std::vector<uint8_t> mdat = mp4::MdatHeader(16, false);
  b.Bytes(mdat);
  b.Zeros(16);
  return std::move(b.Bytes());
}

std::vector<uint8_t> Joined(std::vector<uint8_t> head, const std::vector<uint8_t>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

// Hostile fragments after the writer's empty file.
std::vector<std::vector<uint8_t>> Hostile(const std::vector<uint8_t>& empty) {
  std::vector<std::vector<uint8_t>> seeds;
  // Bases near 2^63 and 2^64 that the trun's offset carries past them, and one the offset takes
  // below 0.
  seeds.push_back(Joined(empty, Fragment(1, INT64_MAX - 8, 0x100, 0x301, 1, 1)));
  seeds.push_back(Joined(empty, Fragment(1, UINT64_MAX - 8, 0x100, 0x301, 1, 1)));
  seeds.push_back(Joined(empty, Fragment(1, 4, 0x80000000u, 0x301, 1, 1)));
  // Truns whose count is their body's bytes: no per-sample fields, or fields for a few.
  seeds.push_back(Joined(empty, Fragment(1, 0, 0x40, 0x001, 4000, 500)));
  seeds.push_back(Joined(empty, Fragment(1, 0, 0x40, 0x301, 0xFFFFFFFF, 500)));
  // As many samples as the body holds, each at 8 bytes: what the movie keeps per byte read.
  seeds.push_back(Joined(empty, Fragment(1, 0, 0x40, 0x301, 900, 900)));
  return seeds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  int n = 0;
  std::vector<std::vector<uint8_t>> seeds;
  for (bool sound : {true, false})
    for (const std::vector<uint8_t>& seed : Recording(sound)) seeds.push_back(seed);
  for (const std::vector<uint8_t>& seed : Hostile(Recording(true).front())) seeds.push_back(seed);
  for (const std::vector<uint8_t>& seed : seeds)
    if (!SaveSeed(std::string(argv[1]) + "/seed" + std::to_string(n++), seed)) return 1;
  return 0;
}
