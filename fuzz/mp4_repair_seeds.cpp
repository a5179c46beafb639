// Writes the MP4 repair fuzzer's starting corpus into the folder given: files of the writer left
// as fragments (with sound and without, the last fragment named or not, cut in its middle) and a
// finished one. The samples are stand-ins: the repair never looks inside them.
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  int n = 0;
  for (bool sound : {true, false})
    for (const std::vector<uint8_t>& seed : Recording(sound))
      if (!SaveSeed(std::string(argv[1]) + "/seed" + std::to_string(n++), seed)) return 1;
  return 0;
}
