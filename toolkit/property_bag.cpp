#include "toolkit/property_bag.h"

#include <cstring>
#include <limits>

#include "toolkit/bmp_format.h"

namespace orvik {

namespace {

constexpr uint8_t kMagic[4] = {'O', 'B', 'A', 'G'};
constexpr uint16_t kVersion = 1;
constexpr size_t kEntryMinSize = 2 + 1 + 1 + 4;  // key length, 1-byte key, type, value length

// {0BE35204-8F91-11CE-9DE3-00AA004BB851} in GUID memory layout.
constexpr uint8_t kPictureClsid[16] = {0x04, 0x52, 0xE3, 0x0B, 0x91, 0x8F, 0xCE, 0x11,
                                       0x9D, 0xE3, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51};
constexpr uint32_t kPictureMagic = 0x0000746C;
constexpr size_t kPersistedHeaderSize = 16 + 4 + 4;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsPersistedPicture(const uint8_t* data, size_t size) {
  return data && size >= kPersistedHeaderSize && std::memcmp(data, kPictureClsid, 16) == 0 &&
         ReadLe32(data + 16) == kPictureMagic && ReadLe32(data + 20) == size - kPersistedHeaderSize;
}

bool IsIntegerType(PropType t) {
  return t == PropType::Int16 || t == PropType::Int32 || t == PropType::Bool;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool ValidUtf8(const uint8_t* p, size_t n) {
  size_t i = 0;
  while (i < n) {
    const uint8_t c = p[i];
    size_t len;
    uint32_t cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (n - i < len) return false;
    for (size_t k = 1; k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    static constexpr uint32_t kMinForLength[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMinForLength[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

void PutLe16(std::vector<uint8_t>& out, uint16_t v) {
  uint8_t b[2];
  WriteLe16(b, v);
  out.insert(out.end(), b, b + 2);
}
void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t b[4];
  WriteLe32(b, v);
  out.insert(out.end(), b, b + 4);
}

std::vector<uint8_t> ValueBytes(const PropValue& v) {
  std::vector<uint8_t> out;
  switch (v.type) {
    case PropType::Int16:
      PutLe16(out, static_cast<uint16_t>(static_cast<int16_t>(v.number)));
      break;
    case PropType::Int32:
      PutLe32(out, static_cast<uint32_t>(v.number));
      break;
    case PropType::Bool:
      out.push_back(v.number != 0 ? 1 : 0);
      break;
    case PropType::String:
      out.assign(v.text.begin(), v.text.end());
      break;
    case PropType::Picture:
      out = v.bytes;
      break;
  }
  return out;
}

// Reads one value of `type`; an empty `what` means success.
PropValue ParseValue(PropType type, const uint8_t* p, size_t n, std::string& what) {
  PropValue v;
  v.type = type;
  switch (type) {
    case PropType::Int16:
      if (n != 2)
        what = "int16 value is not 2 bytes";
      else
        v.number = static_cast<int16_t>(ReadLe16(p));
      break;
    case PropType::Int32:
      if (n != 4)
        what = "int32 value is not 4 bytes";
      else
        v.number = static_cast<int32_t>(ReadLe32(p));
      break;
    case PropType::Bool:
      if (n != 1 || p[0] > 1)
        what = "bool value is not one byte 0 or 1";
      else
        v.number = p[0] ? -1 : 0;
      break;
    case PropType::String:
      if (!ValidUtf8(p, n))
        what = "string value is not UTF-8";
      else
        v.text.assign(reinterpret_cast<const char*>(p), n);
      break;
    case PropType::Picture:
      if (!IsPersistedPicture(p, n))
        what = "picture value is not a persisted picture";
      else
        v.bytes.assign(p, p + n);
      break;
    default:
      what = "unknown value type";
  }
  return v;
}

// Bounded reader over the encoded bytes: every read checks what is left first.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : p_(data), left_(data ? size : 0) {}
  size_t left() const { return left_; }
  bool Take(size_t n, const uint8_t** out) {
    if (n > left_) return false;
    *out = p_;
    p_ += n;
    left_ -= n;
    return true;
  }
  bool U8(uint8_t* v) {
    const uint8_t* b;
    if (!Take(1, &b)) return false;
    *v = b[0];
    return true;
  }
  bool U16(uint16_t* v) {
    const uint8_t* b;
    if (!Take(2, &b)) return false;
    *v = ReadLe16(b);
    return true;
  }
  bool U32(uint32_t* v) {
    const uint8_t* b;
    if (!Take(4, &b)) return false;
    *v = ReadLe32(b);
    return true;
  }

 private:
  const uint8_t* p_;
  size_t left_;
};

}  // namespace

bool KeysEqual(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// Only what Decode accepts may be stored, so every bag that encodes also decodes.
bool PropertyBag::Put(const std::string& key, PropValue v) {
  const auto* k = reinterpret_cast<const uint8_t*>(key.data());
  if (key.empty() || key.size() > kMaxKeyLength || !ValidUtf8(k, key.size())) return false;
  if (v.type == PropType::String &&
      !ValidUtf8(reinterpret_cast<const uint8_t*>(v.text.data()), v.text.size())) {
    return false;
  }
  if (v.type == PropType::Picture && !IsPersistedPicture(v.bytes.data(), v.bytes.size())) {
    return false;
  }
  for (Entry& e : entries_) {
    if (KeysEqual(e.key, key)) {
      e.value = std::move(v);
      return true;
    }
  }
  entries_.push_back(Entry{key, std::move(v)});
  return true;
}

bool PropertyBag::WriteInt16(const std::string& key, int16_t v) {
  return Put(key, PropValue{PropType::Int16, v, {}, {}});
}
bool PropertyBag::WriteInt32(const std::string& key, int32_t v) {
  return Put(key, PropValue{PropType::Int32, v, {}, {}});
}
bool PropertyBag::WriteBool(const std::string& key, bool v) {
  return Put(key, PropValue{PropType::Bool, v ? -1 : 0, {}, {}});
}
bool PropertyBag::WriteString(const std::string& key, const std::string& utf8) {
  return Put(key, PropValue{PropType::String, 0, utf8, {}});
}
bool PropertyBag::WritePicture(const std::string& key, std::vector<uint8_t> persisted) {
  return Put(key, PropValue{PropType::Picture, 0, {}, std::move(persisted)});
}

const PropValue* PropertyBag::Find(const std::string& key) const {
  for (const Entry& e : entries_) {
    if (KeysEqual(e.key, key)) return &e.value;
  }
  return nullptr;
}

bool PropertyBag::Remove(const std::string& key) {
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (KeysEqual(it->key, key)) {
      entries_.erase(it);
      return true;
    }
  }
  return false;
}

std::vector<std::string> PropertyBag::Keys() const {
  std::vector<std::string> keys;
  keys.reserve(entries_.size());
  for (const Entry& e : entries_) keys.push_back(e.key);
  return keys;
}

std::optional<int16_t> PropertyBag::ReadInt16(const std::string& key, int16_t fallback) const {
  const PropValue* v = Find(key);
  if (!v) return fallback;
  if (!IsIntegerType(v->type) || v->number < std::numeric_limits<int16_t>::min() ||
      v->number > std::numeric_limits<int16_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int16_t>(v->number);
}

std::optional<int32_t> PropertyBag::ReadInt32(const std::string& key, int32_t fallback) const {
  const PropValue* v = Find(key);
  if (!v) return fallback;
  if (!IsIntegerType(v->type)) return std::nullopt;
  return v->number;
}

std::optional<bool> PropertyBag::ReadBool(const std::string& key, bool fallback) const {
  const PropValue* v = Find(key);
  if (!v) return fallback;
  if (!IsIntegerType(v->type)) return std::nullopt;
  return v->number != 0;
}

std::optional<std::string> PropertyBag::ReadString(const std::string& key,
                                                   const std::string& fallback) const {
  const PropValue* v = Find(key);
  if (!v) return fallback;
  if (v->type != PropType::String) return std::nullopt;
  return v->text;
}

std::optional<std::vector<uint8_t>> PropertyBag::ReadPictureBmp(const std::string& key) const {
  const PropValue* v = Find(key);
  if (!v) return std::vector<uint8_t>{};
  if (v->type != PropType::Picture) return std::nullopt;
  return PersistedPictureBmp(v->bytes.data(), v->bytes.size());
}

std::vector<uint8_t> PropertyBag::Encode() const {
  std::vector<uint8_t> out(kMagic, kMagic + 4);
  PutLe16(out, kVersion);
  PutLe32(out, static_cast<uint32_t>(entries_.size()));
  for (const Entry& e : entries_) {
    const std::vector<uint8_t> value = ValueBytes(e.value);
    PutLe16(out, static_cast<uint16_t>(e.key.size()));
    out.insert(out.end(), e.key.begin(), e.key.end());
    out.push_back(static_cast<uint8_t>(e.value.type));
    PutLe32(out, static_cast<uint32_t>(value.size()));
    out.insert(out.end(), value.begin(), value.end());
  }
  return out;
}

PropertyBag::Decoded PropertyBag::Decode(const uint8_t* data, size_t size) {
  Decoded d;
  Reader r(data, size);
  const uint8_t* magic;
  uint16_t version = 0;
  uint32_t count = 0;
  if (!r.Take(4, &magic) || std::memcmp(magic, kMagic, 4) != 0) {
    d.error.what = "not a property bag";
    return d;
  }
  if (!r.U16(&version) || version != kVersion) {
    d.error.what = "unsupported property bag version";
    return d;
  }
  // The count is checked against what is left before anything is reserved for it.
  if (!r.U32(&count) || count > r.left() / kEntryMinSize) {
    d.error.what = "entry count does not fit the data";
    return d;
  }
  for (uint32_t i = 0; i < count; ++i) {
    d.error.index = i;
    uint16_t keyLength = 0;
    const uint8_t* key;
    if (!r.U16(&keyLength) || keyLength == 0 || keyLength > kMaxKeyLength ||
        !r.Take(keyLength, &key)) {
      d.error.what = "bad key";
      return d;
    }
    d.error.key.assign(reinterpret_cast<const char*>(key), keyLength);
    if (!ValidUtf8(key, keyLength)) {
      d.error.what = "key is not UTF-8";
      return d;
    }
    if (d.bag.Has(d.error.key)) {
      d.error.what = "key appears twice";
      return d;
    }
    uint8_t type = 0;
    uint32_t valueLength = 0;
    const uint8_t* value;
    if (!r.U8(&type) || !r.U32(&valueLength) || !r.Take(valueLength, &value)) {
      d.error.what = "value runs past the end";
      return d;
    }
    PropValue v = ParseValue(static_cast<PropType>(type), value, valueLength, d.error.what);
    if (!d.error.what.empty()) return d;
    d.bag.entries_.push_back(Entry{d.error.key, std::move(v)});
  }
  d.error = BagError{};
  d.error.index = count;
  if (r.left() != 0) {
    d.error.what = "bytes after the last entry";
    return d;
  }
  d.ok = true;
  return d;
}

bool PropertyBag::operator==(const PropertyBag& o) const {
  if (entries_.size() != o.entries_.size()) return false;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const Entry& a = entries_[i];
    const Entry& b = o.entries_[i];
    if (a.key != b.key || a.value.type != b.value.type || a.value.number != b.value.number ||
        a.value.text != b.value.text || a.value.bytes != b.value.bytes) {
      return false;
    }
  }
  return true;
}

std::vector<uint8_t> MakePersistedPicture(const uint8_t* bmp, size_t size) {
  std::vector<uint8_t> out(kPictureClsid, kPictureClsid + 16);
  out.reserve(kPersistedHeaderSize + size);
  PutLe32(out, kPictureMagic);
  PutLe32(out, static_cast<uint32_t>(size));
  if (size) out.insert(out.end(), bmp, bmp + size);
  return out;
}

std::optional<std::vector<uint8_t>> PersistedPictureBmp(const uint8_t* data, size_t size) {
  if (!IsPersistedPicture(data, size)) return std::nullopt;
  return std::vector<uint8_t>(data + kPersistedHeaderSize, data + size);
}

}  // namespace orvik
