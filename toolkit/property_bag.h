#pragma once
// The keyed store through which a custom control saves and restores its properties.
// No <windows.h>: built natively too, fuzzed, and embedded in the program as RCDATA.
//
// Keys keep their insertion order and are matched without regard to ASCII case
// ("BackGroundPicture" finds "backgroundpicture"). Writing an existing key replaces its
// value in place. Values are typed; reading converts between integer widths the way a
// control expects (a zero colour stored as a 16-bit integer reads back as a 32-bit one).
//
// On-disk form (all integers little-endian):
//   "OBAG"            4 bytes magic
//   version           u16, currently 1
//   count             u32, number of entries
//   count entries:
//     key length      u16, 1..kMaxKeyLength
//     key             UTF-8 bytes
//     type            u8, a PropType value
//     value length    u32
//     value bytes     int16: 2 bytes; int32: 4 bytes; bool: 1 byte (0 or 1);
//                     string: UTF-8; picture: the persisted picture form (below)
// Nothing follows the last entry.
//
// Persisted picture form: the standard picture class identifier
// {0BE35204-8F91-11CE-9DE3-00AA004BB851} as 16 bytes (GUID layout), the u32 magic
// 0x0000746C, a u32 byte count, then that many bytes of a BMP file. A byte count of 0 is
// "no picture".
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvik {

enum class PropType : uint8_t { Int16 = 1, Int32 = 2, Bool = 3, String = 4, Picture = 5 };

struct PropValue {
  PropType type = PropType::Int32;
  int32_t number = 0;          // Int16, Int32 and Bool (-1 true, 0 false)
  std::string text;            // String, UTF-8
  std::vector<uint8_t> bytes;  // Picture: the whole persisted picture form
};

// Why a bag did not decode, and where.
struct BagError {
  std::string key;   // key of the entry that failed; empty when the header failed
  size_t index = 0;  // entry index that failed (count when the failure is after the entries)
  std::string what;  // short English reason
};

class PropertyBag {
 public:
  static constexpr size_t kMaxKeyLength = 255;

  // Each Write stores or replaces a value. False (and nothing stored) when the key is empty,
  // longer than kMaxKeyLength bytes or not UTF-8, or the value could not be read back:
  // a string that is not UTF-8, a picture that is not in the persisted picture form.
  bool WriteInt16(const std::string& key, int16_t v);
  bool WriteInt32(const std::string& key, int32_t v);
  bool WriteBool(const std::string& key, bool v);
  bool WriteString(const std::string& key, const std::string& utf8);
  // `persisted` is the whole persisted picture form (see MakePersistedPicture).
  bool WritePicture(const std::string& key, std::vector<uint8_t> persisted);

  // Each Read returns the stored value converted, `fallback` when the key is missing, and
  // nullopt when the stored value cannot be taken as the asked type (wrong type, or an
  // integer out of range).
  std::optional<int16_t> ReadInt16(const std::string& key, int16_t fallback) const;
  std::optional<int32_t> ReadInt32(const std::string& key, int32_t fallback) const;
  std::optional<bool> ReadBool(const std::string& key, bool fallback) const;
  std::optional<std::string> ReadString(const std::string& key, const std::string& fallback) const;
  // The BMP bytes of a stored picture (empty for "no picture"); `fallback`-like empty when
  // the key is missing; nullopt when the stored value is not a picture.
  std::optional<std::vector<uint8_t>> ReadPictureBmp(const std::string& key) const;

  bool Has(const std::string& key) const { return Find(key) != nullptr; }
  const PropValue* Find(const std::string& key) const;
  bool Remove(const std::string& key);
  size_t size() const { return entries_.size(); }
  // Keys in insertion order, spelled as written.
  std::vector<std::string> Keys() const;

  std::vector<uint8_t> Encode() const;
  // Decodes `data`; on failure `error` says which entry failed, and the returned bag holds
  // every entry before it. The bag is complete only when the result's `ok` is true.
  struct Decoded;
  static Decoded Decode(const uint8_t* data, size_t size);

  bool operator==(const PropertyBag& o) const;

 private:
  struct Entry {
    std::string key;
    PropValue value;
  };
  bool Put(const std::string& key, PropValue v);
  std::vector<Entry> entries_;
};

struct PropertyBag::Decoded {
  PropertyBag bag;
  bool ok = false;
  BagError error;
};

// Case-insensitive (ASCII) key comparison used by the bag.
bool KeysEqual(const std::string& a, const std::string& b);

// The persisted picture form around a BMP file (empty `bmp`: no picture).
std::vector<uint8_t> MakePersistedPicture(const uint8_t* bmp, size_t size);
inline std::vector<uint8_t> MakePersistedPicture(const std::vector<uint8_t>& bmp) {
  return MakePersistedPicture(bmp.data(), bmp.size());
}
// The BMP bytes inside a persisted picture form, or nullopt when the bytes are not one
// (wrong class identifier or magic, or a byte count that does not match the rest).
std::optional<std::vector<uint8_t>> PersistedPictureBmp(const uint8_t* data, size_t size);

}  // namespace orvik
