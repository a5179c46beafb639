// Writes the seed corpus of the BMP fuzzer into the folder given: well-formed files of
// every depth the recorder meets, plus the usual near misses.
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
  auto truncated = samples::MakeBmp({9, 9, 24});
  truncated.resize(truncated.size() / 2);
  seeds.push_back(truncated);
  bool ok = true;
  for (size_t i = 0; i < seeds.size(); ++i)
    ok = SaveSeed(dir + "/seed" + std::to_string(i) + ".bmp", seeds[i]) && ok;
  return ok ? 0 : 1;
}
