// Writes the seed corpus of the BMP fuzzer into the folder given: well-formed files of
// every depth and header size the readers meet, plus the usual near misses.
#include <string>
#include <vector>

#include "fuzz/seed_file.h"
#include "recorder/bmp_samples.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  std::vector<std::vector<uint8_t>> seeds;
  for (int bits : {1, 4, 8, 16, 24, 32}) seeds.push_back(samples::MakeBmp({7, 3, bits}));
  samples::BmpRecipe topDown{5, -4, 32};
  topDown.sizeImageFilled = false;
  seeds.push_back(samples::MakeBmp(topDown));
  auto rle = samples::MakeBmp({4, 4, 8});
  samples::Put32(rle, 30, 1);
  samples::Put32(rle, 34, 8);
  seeds.push_back(rle);
  auto bitfields = samples::MakeBmp({4, 2, 32});
  samples::Put32(bitfields, 30, 3);
  samples::Put32(bitfields, 10, 66);
  bitfields.insert(bitfields.begin() + 54, 12, 0xFF);
  seeds.push_back(bitfields);
  // Masks inside larger headers, a four-mask header, 4-bit run-length, a gap before the
  // pixels: each a shape the shared check sorts differently.
  for (uint32_t headerSize : {52u, 56u, 108u, 124u}) {
    auto big = samples::MakeBmp({4, 2, 32});
    big.insert(big.begin() + 54, headerSize - 40, 0);
    samples::Put32(big, 10, 14 + headerSize);
    samples::Put32(big, 14, headerSize);
    samples::Put32(big, 30, headerSize == 56 ? 6 : 3);
    seeds.push_back(big);
  }
  auto rle4 = samples::MakeBmp({4, 4, 4});
  samples::Put32(rle4, 30, 2);
  samples::Put32(rle4, 34, 8);
  seeds.push_back(rle4);
  auto gap = samples::MakeBmp({3, 3, 16});
  gap.insert(gap.begin() + 54, 24, 0xCC);
  samples::Put32(gap, 10, 78);
  seeds.push_back(gap);
  auto truncated = samples::MakeBmp({9, 9, 24});
  truncated.resize(truncated.size() / 2);
  seeds.push_back(truncated);
  bool ok = true;
  for (size_t i = 0; i < seeds.size(); ++i)
    ok = SaveSeed(dir + "/seed" + std::to_string(i) + ".bmp", seeds[i]) && ok;
  return ok ? 0 : 1;
}
