#pragma once
// The rules of the file dialog class that need no window: how its properties become the
// dialog's flags, filter list and buffers, and how the dialog's answer is written back.
// Kept apart from <windows.h> so the rules build and run natively under the sanitizers.
#include <cstddef>
#include <cstdint>
#include <string>

namespace orvik::filedlg {

// Booleans of the dialog class are 16-bit with true = -1: the flag computation multiplies
// them by negated flag values, so any other "true" would set stray bits.
using Bool16 = int16_t;
constexpr Bool16 kTrue = -1;
constexpr Bool16 kFalse = 0;
constexpr Bool16 ToBool16(bool b) { return b ? kTrue : kFalse; }

// The system's open-file-name flag values the class works with.
constexpr int32_t kOfnReadOnly = 0x1;
constexpr int32_t kOfnOverwritePrompt = 0x2;
constexpr int32_t kOfnHideReadOnly = 0x4;
constexpr int32_t kOfnEnableHook = 0x20;
constexpr int32_t kOfnEnableTemplate = 0x40;
constexpr int32_t kOfnAllowMultiSelect = 0x200;
constexpr int32_t kOfnFileMustExist = 0x1000;

constexpr size_t kFileBufferChars = 1024;
constexpr size_t kTitleBufferChars = 512;
// The filter is walked with a 16-bit position.
constexpr size_t kMaxFilterChars = 32767;
constexpr int32_t kNoOwner = -1;

// The preview dialog follows the open dialog's rules.
enum class DialogKind { Open, Save };

// The class's fields in their declared order, with the values a new instance starts with.
// `InitDirectory` and `DlgTitle` need the system and are filled in by the class itself.
struct Fields {
  Bool16 FileMustExist = kTrue;
  Bool16 MultiSelect = kFalse;
  Bool16 ReadOnly = kFalse;
  Bool16 HideReadOnly = kTrue;
  std::wstring Filter;
  int32_t FilterIndex = 0;
  std::wstring InitDirectory;
  std::wstring DlgTitle;
  std::wstring DefaultExt;
  int32_t Flags = 0;
  Bool16 OverwritePrompt = kTrue;
  int32_t OwnerHwnd = kNoOwner;
};

// Flags handed to the dialog: `Flags` without the hook and template bits, plus the bits the
// booleans ask for. Bits already in `Flags` stay whatever the booleans say.
int32_t DialogFlags(const Fields& f, DialogKind kind);

// "|" and ":" become NUL and two NULs close the list. Throws std::overflow_error when
// `filter` has more than kMaxFilterChars characters.
std::wstring ConvertFilter(const std::wstring& filter);

// Entry `index` (1-based) of a converted list: description, NUL, pattern. Empty when there
// is no such entry.
std::wstring FilterEntry(const std::wstring& list, int32_t index);

// `text` followed by NULs up to `capacity` characters. Throws std::invalid_argument when
// `text` is longer than `capacity`.
std::wstring PadBuffer(const std::wstring& text, size_t capacity);

// `text` up to (not including) its first NUL.
std::wstring UpToFirstNul(const std::wstring& text);

// Everything the system dialog is given, in the system's terms.
struct Request {
  int32_t owner = 0;  // 0: no owner
  std::wstring filter;
  int32_t filterIndex = 0;
  std::wstring file;       // kFileBufferChars long
  std::wstring fileTitle;  // kTitleBufferChars long
  std::wstring initialDir;
  std::wstring title;
  int32_t flags = 0;
  std::wstring defaultExt;
};

// Throws (see ConvertFilter and PadBuffer) before anything is shown or changed.
Request BuildRequest(const Fields& f, DialogKind kind, const std::wstring& fileName,
                     const std::wstring& fileTitle);

// What the system dialog gave back.
struct Reply {
  bool ok = false;
  std::wstring file;       // the whole file buffer
  std::wstring fileTitle;  // the whole title buffer
  int32_t flags = 0;
  int32_t filterIndex = 0;
};

// Writes the dialog's answer into the fields and the caller's file name and title.
void WriteBack(Fields& f, DialogKind kind, const Request& request, const Reply& reply,
               std::wstring& fileName, std::wstring& fileTitle);

}  // namespace orvik::filedlg
