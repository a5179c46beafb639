// Writes the MP4 repair fuzzer's starting corpus into the folder given: files of the writer left
// as fragments (with sound and without, the last fragment named or not, cut in its middle) and a
// finished one; files that are not ours (the writer's layout without its identity box, another
// recording's box); tails after the fragments (a torn fragment, zeros, unknown bytes, the moov of
// a repair cut off); and hostile fragments: a tfhd base that a trun offset carries past 2^64, and
// truns declaring as many samples as their bodies have bytes. The samples are stand-ins: the
// repair never looks inside them.
#include <algorithm>
#include <string>
#include <vector>

#include "fuzz/seed_file.h"
#include "mp4/memory_file.h"
#include "mp4/mp4_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The file as each flush left it.
class Snapshots : public mp4test::MemoryFile {
 public:
  mp4::IoStatus Flush() override {
    images.push_back(image);
    return MemoryFile::Flush();
  }
  std::vector<Bytes> images;
};

std::vector<Bytes> Recording(bool sound, const mp4::RecordingId& id) {
  mp4::VideoFormat video;
  video.width = 64;
  video.height = 48;
  video.sps = {0x67, 0x42, 0xC0, 0x0A, 0xD9, 0x01};
  video.pps = {0x68, 0xCE, 0x3C, 0x80};
  mp4::SoundFormat aac;
  aac.audioSpecificConfig = {0x11, 0x90};
  mp4::WriterOptions options;
  options.recordingId = id;
  Snapshots file;
  mp4::Writer w;
  w.Open(file, video, sound ? &aac : nullptr, options);
  for (uint32_t slot = 0; slot < 9; ++slot) {
    const Bytes picture(7 + slot * 3, static_cast<uint8_t>(slot));
    w.WriteVideo(slot + slot / 4, picture.data(), static_cast<uint32_t>(picture.size()),
                 slot % 4 == 0);
    if (sound) w.WriteSound(picture.data(), 7);
    if (slot % 3 == 2) w.Flush();
  }
  w.Close();
  std::vector<Bytes> seeds = file.images;
  for (const Bytes& image : file.images)
    if (image.size() > 100) seeds.emplace_back(image.begin(), image.end() - 37);
  return seeds;
}

// A fragment of the picture's track (id 1) with `count` samples of 8 bytes declared in its
// trun, whose body holds `entries` of them; with a tfhd base when `base` is not 0.
Bytes Fragment(uint32_t sequence, uint64_t base, uint32_t dataOffset, uint32_t trunFlags,
               uint32_t count, uint32_t entries) {
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
  const Bytes mdat = mp4::MdatHeader(16, false);
  b.Bytes(mdat);
  b.Zeros(16);
  return std::move(b.Bytes());
}

Bytes Joined(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

// Ours, another recording's, and ours without the identity box, each as fragments.
std::vector<Bytes> Hostile(const Bytes& empty, const Bytes& fragments) {
  std::vector<Bytes> seeds;
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
  // Tails after the whole fragments: a torn fragment, zeros, unknown bytes.
  Bytes torn = Fragment(3, 0, 0x40, 0x301, 3, 3);
  mp4::Store32(&torn[4], mp4::kFree);
  seeds.push_back(Joined(fragments, Bytes(torn.begin(), torn.end() - 20)));
  seeds.push_back(Joined(fragments, Bytes(300, 0)));
  seeds.push_back(Joined(fragments, Bytes(300, 0x5A)));
  return seeds;
}

// Where the identity box naming `id` starts in `file` (its end when there is none).
Bytes::iterator IdentityOf(Bytes& file, const mp4::RecordingId& id) {
  const Bytes box = mp4::BuildIdentity({id, 0});
  return std::search(file.begin(), file.end(), box.begin(), box.begin() + 44);
}

// The file with its identity box naming `from` made to name `to`.
Bytes Renamed(Bytes file, const mp4::RecordingId& from, const mp4::RecordingId& to) {
  const Bytes b = mp4::BuildIdentity({to, 0});
  const auto at = IdentityOf(file, from);
  if (at != file.end()) std::copy(b.begin(), b.begin() + 44, at);
  return file;
}

// The writer's layout with no identity box in its moov (the fragments' offsets count from
// their moofs, so they still hold).
Bytes WithoutIdentity(Bytes file) {
  const auto at = IdentityOf(file, mp4test::kTestRecording);
  if (at == file.end()) return file;
  file.erase(at, at + mp4::kIdentityBytes);
  const size_t moov = mp4::Load32(file.data()) + mp4::kPlaceholderBytes;
  mp4::Store32(&file[moov], mp4::Load32(&file[moov]) - mp4::kIdentityBytes);
  return file;
}

// A repair of `file` cut off once it has laid its moov: the placeholder not yet turned.
Bytes RepairCutOffAfterItsMoov(const Bytes& file) {
  mp4test::MemoryFile cut(file);
  mp4::Repair(cut, mp4test::kTestRecording);
  const size_t placeholder = mp4::Load32(file.data());
  std::copy(file.begin() + placeholder, file.begin() + placeholder + mp4::kPlaceholderBytes,
            cut.image.begin() + placeholder);
  return cut.image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  std::vector<Bytes> seeds;
  for (bool sound : {true, false})
    for (const Bytes& seed : Recording(sound, mp4test::kTestRecording)) seeds.push_back(seed);
  const std::vector<Bytes> ours = Recording(true, mp4test::kTestRecording);
  const Bytes& empty = ours.front();
  const Bytes& fragments = ours[4];  // as the second commit left it: two named fragments
  for (const Bytes& seed : Hostile(empty, fragments)) seeds.push_back(seed);
  mp4::RecordingId other = mp4test::kTestRecording;
  other[0] ^= 1;
  seeds.push_back(Renamed(fragments, mp4test::kTestRecording, other));
  seeds.push_back(WithoutIdentity(fragments));
  seeds.push_back(RepairCutOffAfterItsMoov(Joined(fragments, Bytes(300, 0x5A))));
  seeds.push_back(RepairCutOffAfterItsMoov(fragments));
  int n = 0;
  for (const Bytes& seed : seeds)
    if (!SaveSeed(std::string(argv[1]) + "/seed" + std::to_string(n++), seed)) return 1;
  return 0;
}
