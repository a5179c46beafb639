// Writes the sound timeline fuzzer's starting corpus into the folder given: the streams the
// timeline meets in a recording, from the formats devices offer: steady 10 ms packets with the
// writer half a second behind, jitter, a gap, a stall's burst, silent packets, a wild time,
// surround devices with and without a place for every channel.
#include <cmath>
#include <string>
#include <vector>

#include "fuzz/seed_file.h"
#include "fuzz/sound_timeline_fuzz.h"

namespace {

struct Stream {
  std::vector<uint8_t> bytes;

  Stream(uint8_t type, uint8_t channels, uint32_t rate, uint32_t mask = 0) {
    const uint32_t units = rate / soundfuzz::kRateUnit;
    bytes = {type, static_cast<uint8_t>(channels - 1), static_cast<uint8_t>(units),
             static_cast<uint8_t>(units >> 8)};
    for (int shift = 0; shift < 32; shift += 8)
      bytes.push_back(static_cast<uint8_t>(mask >> shift));
  }
  // A packet of `frames` (a multiple of 4) read `ms` after the last operation.
  void Push(int ms, int frames, uint8_t flags = 0) {
    const std::vector<uint8_t> pattern = {0x00, 0x10, 0x7f, 0x3e, 0xc0, 0xf0, 0x81, 0x22,
                                          0x5a, 0xa5, 0x01, 0xff, 0x33, 0x44, 0x12, 0x3f};
    bytes.insert(bytes.end(), {flags, static_cast<uint8_t>(ms), static_cast<uint8_t>(frames / 4),
                               static_cast<uint8_t>(pattern.size())});
    bytes.insert(bytes.end(), pattern.begin(), pattern.end());
  }
  void Produce(int ms, int lagMs) {
    bytes.insert(bytes.end(),
                 {soundfuzz::kProduce, static_cast<uint8_t>(ms), static_cast<uint8_t>(lagMs / 4)});
  }
  // Ten-millisecond packets for `packets` packets, the writer asking every half second.
  void Steady(int packets, int frames, int lagMs) {
    for (int i = 1; i <= packets; ++i) {
      Push(10, frames);
      if (i % 50 == 0) Produce(0, lagMs);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::vector<std::vector<uint8_t>> seeds;

  Stream steady(3, 2, 48000);  // Float32
  steady.Steady(150, 480, 300);
  seeds.push_back(steady.bytes);

  Stream jittery(0, 1, 44100);  // Int16, with a 400 ms gap
  for (int i = 1; i <= 120; ++i) {
    jittery.Push(i == 60 ? 400 : 10 + (i * 7) % 21 - 10, 440);
    if (i % 40 == 0) jittery.Produce(0, 200);
  }
  seeds.push_back(jittery.bytes);

  Stream burst(2, 6, 96000, 0x60f);  // Int32 5.1 (side), 300 ms stalled then read at once
  burst.Steady(50, 960, 250);
  for (int i = 0; i < 30; ++i) burst.Push(i == 0 ? 255 : 0, 960);
  burst.Steady(60, 960, 250);
  seeds.push_back(burst.bytes);

  Stream quiet(1, 2, 48000);  // Int24, silent packets and a readAt far ahead
  quiet.Steady(60, 480, 300);
  for (int i = 0; i < 40; ++i) quiet.Push(10, 480, soundfuzz::kSilent);
  quiet.Push(10, 480, soundfuzz::kRawTime);
  const double far = 3600.0;
  const auto* raw = reinterpret_cast<const uint8_t*>(&far);
  quiet.bytes.insert(quiet.bytes.end(), raw, raw + sizeof far);
  quiet.Steady(60, 480, 300);
  seeds.push_back(quiet.bytes);

  Stream wide(3, 8, 48000, 0x3f);  // Float32, eight channels of which six are placed
  wide.Steady(60, 480, 300);
  seeds.push_back(wide.bytes);

  bool ok = true;
  for (size_t i = 0; i < seeds.size(); ++i)
    ok = SaveSeed(std::string(argv[1]) + "/seed" + std::to_string(i), seeds[i]) && ok;
  return ok ? 0 : 1;
}
