// Writes a small seed corpus for the property bag fuzzer into the folder given.
#include <string>
#include <vector>

#include "fuzz/seed_file.h"
#include "toolkit/bmp_format.h"
#include "toolkit/property_bag.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  auto header = orvik::MakeBmpHeader(3, 2, 24);
  std::vector<uint8_t> bmp(header.begin(), header.end());
  bmp.resize(bmp.size() + orvik::BmpStride(3, 24) * 2, 0x7F);

  orvik::PropertyBag empty;
  orvik::PropertyBag button;
  button.WriteInt32("_extentx", 503);
  button.WriteInt32("_extenty", 503);
  button.WritePicture("backgroundpicture", orvik::MakePersistedPicture(bmp));
  button.WritePicture("mousedownpicture", orvik::MakePersistedPicture(nullptr, 0));
  button.WriteInt16("button", 1);
  button.WriteString("text", "\xE6\xA0\x87 x");
  button.WriteInt16("fcolor", 0);
  button.WriteBool("value", false);

  bool ok = SaveSeed(dir + "/empty.bag", empty.Encode()) &&
            SaveSeed(dir + "/button.bag", button.Encode()) && SaveSeed(dir + "/picture.bmp", bmp);
  return ok ? 0 : 1;
}
