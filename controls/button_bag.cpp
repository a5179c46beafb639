#include "controls/button_bag.h"

#include "toolkit/bmp_format.h"

namespace orvik {

const std::array<const char*, kButtonKeyCount> kButtonKeys = {"BackGroundPicture",
                                                              "MouseMovePicture",
                                                              "MouseDownPicture",
                                                              "Button",
                                                              "Text",
                                                              "fcolor",
                                                              "value"};

namespace {

// Reads one key into `stored`; a non-empty result says why it could not be taken.
std::string ReadKey(const PropertyBag& bag, size_t key, StoredButton& stored) {
  const char* name = kButtonKeys[key];
  switch (key) {
    case kKeyBackGroundPicture:
    case kKeyMouseMovePicture:
    case kKeyMouseDownPicture: {
      std::optional<std::vector<uint8_t>> bmp = bag.ReadPictureBmp(name);
      if (!bmp) return "the value is not a picture";
      bmp::Verdict verdict = bmp::Verdict::Ok;
      if (!bmp->empty() && !ParseBmp(bmp->data(), bmp->size(), &verdict)) {
        return verdict == bmp::Verdict::Unsupported ? "the picture is a BMP format not shown here"
                                                    : "the picture is not a readable BMP file";
      }
      stored.pictures[key] = std::move(*bmp);
      return {};
    }
    case kKeyButton: {
      std::optional<int16_t> v = bag.ReadInt16(name, 1);
      if (!v) return "the value is not a 16-bit integer";
      stored.powerButton = *v;
      return {};
    }
    case kKeyText: {
      std::optional<std::string> v = bag.ReadString(name, "");
      if (!v) return "the value is not a string";
      stored.text = std::move(*v);
      return {};
    }
    case kKeyFcolor: {
      std::optional<int32_t> v = bag.ReadInt32(name, 0);
      if (!v) return "the value is not an integer";
      stored.fcolor = *v;
      return {};
    }
    case kKeyValue: {
      std::optional<bool> v = bag.ReadBool(name, false);
      if (!v) return "the value is not a boolean";
      stored.value = *v;
      return {};
    }
    default:
      return "unknown key";
  }
}

}  // namespace

ButtonBagRead ReadButtonBag(const PropertyBag& bag, const BagError* decodeError) {
  ButtonBagRead r;
  for (size_t key = 0; key < kButtonKeyCount; ++key) {
    std::string why;
    if (decodeError && !bag.Has(kButtonKeys[key])) {
      why = "the bag is damaged before this key: " + decodeError->what;
      if (!decodeError->key.empty()) why += " (at \"" + decodeError->key + "\")";
    } else {
      why = ReadKey(bag, key, r.stored);
    }
    if (!why.empty()) {
      r.error = BagError{kButtonKeys[key], key, std::move(why)};
      return r;
    }
    r.keysRead = key + 1;
  }
  return r;
}

ButtonBagRead ReadButtonBag(const uint8_t* data, size_t size) {
  PropertyBag::Decoded d = PropertyBag::Decode(data, size);
  return ReadButtonBag(d.bag, d.ok ? nullptr : &d.error);
}

bool WriteButtonBag(const StoredButton& stored, PropertyBag& bag) {
  for (size_t i = 0; i < stored.pictures.size(); ++i) {
    if (!bag.WritePicture(kButtonKeys[i], MakePersistedPicture(stored.pictures[i]))) return false;
  }
  return bag.WriteInt16(kButtonKeys[kKeyButton], stored.powerButton) &&
         bag.WriteString(kButtonKeys[kKeyText], stored.text) &&
         bag.WriteInt32(kButtonKeys[kKeyFcolor], stored.fcolor) &&
         bag.WriteBool(kButtonKeys[kKeyValue], stored.value);
}

}  // namespace orvik
