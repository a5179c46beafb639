// Property bags come from resources that could be damaged: decoding arbitrary bytes must
// never read outside them, and whatever decodes must encode back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "toolkit/bmp_format.h"
#include "toolkit/property_bag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orvik::PropertyBag::Decoded d = orvik::PropertyBag::Decode(data, size);
  if (d.ok) {
    const std::vector<uint8_t> again = d.bag.Encode();
    if (again.size() != size || !std::equal(again.begin(), again.end(), data)) std::abort();
    for (const std::string& key : d.bag.Keys()) {
      (void)d.bag.ReadInt16(key, 0);
      (void)d.bag.ReadString(key, "");
      if (auto bmp = d.bag.ReadPictureBmp(key)) (void)orvik::ParseBmp(bmp->data(), bmp->size());
    }
  }
  (void)orvik::ParseBmp(data, size);
  return 0;
}
