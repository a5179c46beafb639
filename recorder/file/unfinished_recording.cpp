#include "recorder/file/unfinished_recording.h"

#include <random>

#include "toolkit/paths.h"

namespace orvik {

namespace {

constexpr wchar_t kDigits[] = L"0123456789abcdef";
// '|' cannot be part of a Windows path.
constexpr wchar_t kSeparator = L'|';

std::wstring Hex(uint64_t value, int digits) {
  std::wstring text(static_cast<size_t>(digits), L'0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4)
    text[static_cast<size_t>(i)] = kDigits[value & 15];
  return text;
}

// Exactly `text.size()` hex digits, at most 16.
std::optional<uint64_t> FromHex(const std::wstring& text) {
  if (text.empty() || text.size() > 16) return std::nullopt;
  uint64_t value = 0;
  for (wchar_t c : text) {
    int digit = -1;
    if (c >= L'0' && c <= L'9') digit = c - L'0';
    if (c >= L'a' && c <= L'f') digit = c - L'a' + 10;
    if (c >= L'A' && c <= L'F') digit = c - L'A' + 10;
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  return value;
}

std::optional<RecordingId> IdFromHex(const std::wstring& text) {
  if (text.size() != 32) return std::nullopt;
  RecordingId id{};
  for (size_t i = 0; i < id.size(); ++i) {
    const std::optional<uint64_t> byte = FromHex(text.substr(2 * i, 2));
    if (!byte) return std::nullopt;
    id[i] = static_cast<uint8_t>(*byte);
  }
  return id;
}

}  // namespace

bool MayNeedRepair(const std::wstring& path) { return tk::EndsInExtension(path, L".mp4"); }

RecordingId NewRecordingId() {
  std::random_device random;
  RecordingId id{};
  for (size_t i = 0; i < id.size(); i += 4) {
    const uint32_t r = random();
    for (size_t b = 0; b < 4; ++b) id[i + b] = static_cast<uint8_t>(r >> (8 * b));
  }
  return id;
}

std::wstring StoredName(const RecordingId& id) {
  std::wstring text;
  for (uint8_t byte : id) text += Hex(byte, 2);
  return text;
}

std::wstring StoredValue(const UnfinishedRecording& r) {
  return Hex(r.file.volume, 8) + L':' + Hex(r.file.index, 16) + kSeparator + r.path + kSeparator +
         r.partialPath;
}

std::optional<UnfinishedRecording> UnfinishedFromStored(const std::wstring& name,
                                                        const std::wstring& value) {
  UnfinishedRecording r;
  const std::optional<RecordingId> id = IdFromHex(name);
  const size_t first = value.find(kSeparator);
  const size_t second = first == std::wstring::npos ? first : value.find(kSeparator, first + 1);
  if (!id || second == std::wstring::npos || first != 25 || value[8] != L':') return std::nullopt;
  const std::optional<uint64_t> volume = FromHex(value.substr(0, 8));
  const std::optional<uint64_t> index = FromHex(value.substr(9, 16));
  r.id = *id;
  r.path = value.substr(first + 1, second - first - 1);
  r.partialPath = value.substr(second + 1);
  if (!volume || !index || r.path.empty() || r.partialPath.find(kSeparator) != std::wstring::npos)
    return std::nullopt;
  r.file = {static_cast<uint32_t>(*volume), *index};
  return r;
}

}  // namespace orvik
