// A stored button comes from a resource or file that could be damaged: reading one from
// arbitrary bytes must stay inside them, stop exactly at the key it names, and whatever it
// reads in full must write back and read again the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "controls/button_bag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvik;
  const ButtonBagRead r = ReadButtonBag(data, size);
  if (r.keysRead > kButtonKeyCount) std::abort();
  if (r.ok() != (r.keysRead == kButtonKeyCount)) std::abort();
  if (!r.ok() && (r.error->key != kButtonKeys[r.keysRead] || r.error->index != r.keysRead)) {
    std::abort();
  }
  if (r.ok()) {
    PropertyBag bag;
    if (!WriteButtonBag(r.stored, bag)) std::abort();
    const std::vector<uint8_t> bytes = bag.Encode();
    const ButtonBagRead again = ReadButtonBag(bytes.data(), bytes.size());
    if (!again.ok() || !(again.stored == r.stored)) std::abort();
  }
  return 0;
}
