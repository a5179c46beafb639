#pragma once
// What a skinned Button keeps in its property bag, read and written without any window, so
// that the reading rules (defaults, integer widths, where a damaged bag stops) are tested
// natively and fuzzed.
//
// Keys, in the order they are written and read (matched without regard to case):
//   "BackGroundPicture", "MouseMovePicture", "MouseDownPicture"  picture (persisted form)
//   "Button"  int16    (missing: 1)
//   "Text"    string   (missing: "")
//   "fcolor"  int32    (missing: 0)
//   "value"   bool     (missing: false)
// A stored control is an "OBAG" property bag (toolkit/property_bag.h), which can be kept in
// a file or embedded as an RCDATA resource. The host may add its own keys beside these.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/property_bag.h"

namespace orvik {

enum ButtonKey : size_t {
  kKeyBackGroundPicture,
  kKeyMouseMovePicture,
  kKeyMouseDownPicture,
  kKeyButton,
  kKeyText,
  kKeyFcolor,
  kKeyValue,
  kButtonKeyCount
};
extern const std::array<const char*, kButtonKeyCount> kButtonKeys;

// The persisted values of one control. Pictures are BMP files in memory; empty is none.
struct StoredButton {
  std::array<std::vector<uint8_t>, 3> pictures;  // normal, hover, pressed
  int16_t powerButton = 1;
  std::string text;  // UTF-8
  int32_t fcolor = 0;
  bool value = false;

  bool operator==(const StoredButton& o) const {
    return pictures == o.pictures && powerButton == o.powerButton && text == o.text &&
           fcolor == o.fcolor && value == o.value;
  }
};

// The outcome of reading a stored control. Only the first `keysRead` keys (in the order of
// ButtonKey) hold read values; the control applies exactly those. When reading stopped
// early, `error` names the key it stopped at, its ButtonKey as the index, and why.
struct ButtonBagRead {
  StoredButton stored;
  size_t keysRead = 0;
  std::optional<BagError> error;
  bool ok() const { return !error; }
};

// Reads the seven keys in order. A key whose value cannot be taken as its type (a picture
// that is no BMP file, an integer that does not fit 16 bits, a string in place of a number)
// stops the reading there. `decodeError` is given when `bag` is only what decoded before a
// damaged entry: a key missing from it then stops the reading too, rather than taking a
// default for a value that may have been lost.
ButtonBagRead ReadButtonBag(const PropertyBag& bag, const BagError* decodeError = nullptr);
// Decodes an encoded bag and reads it as above.
ButtonBagRead ReadButtonBag(const uint8_t* data, size_t size);

// Writes the seven keys in order, each one always. False when the bag refused a value (text
// that is not UTF-8); the keys before it are written.
bool WriteButtonBag(const StoredButton& stored, PropertyBag& bag);

}  // namespace orvik
