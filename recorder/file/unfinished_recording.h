#pragma once
// A recording whose file is not finished yet, as the program keeps it between runs: what the
// next start needs to find its file again and to prove that the file there is still the one
// this program made (a stale note is ordinary: after a crash the user may record to the same
// name with another program). No <windows.h>.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace orvik {

// Names one recording; written into its MP4 file too.
using RecordingId = std::array<uint8_t, 16>;
RecordingId NewRecordingId();

// The file itself, whatever it is called: its volume and its index on that volume stay with
// it through renames and writes.
struct FileIdentity {
  uint32_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FileIdentity& o) const { return volume == o.volume && index == o.index; }
};

struct UnfinishedRecording {
  RecordingId id{};
  FileIdentity file;
  std::wstring path;         // the recording's name
  std::wstring partialPath;  // the name the file has until its first frame is on the disk
};

// Whether a recording's file may be left in need of a repair: an MP4, by its name (an AVI plays
// as a kill leaves it).
bool MayNeedRepair(const std::wstring& path);

// As kept: a value named by the id (32 hex digits) holding the identity and both paths.
std::wstring StoredName(const RecordingId& id);
std::wstring StoredValue(const UnfinishedRecording& recording);
// Nothing for a name or value this program did not write.
std::optional<UnfinishedRecording> UnfinishedFromStored(const std::wstring& name,
                                                        const std::wstring& value);

}  // namespace orvik
