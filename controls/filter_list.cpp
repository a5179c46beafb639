#include "controls/filter_list.h"

#include <stdexcept>

namespace orvik::filedlg {

namespace {

constexpr int32_t kHookAndTemplate = kOfnEnableHook | kOfnEnableTemplate;
const std::wstring kOneNul(1, L'\0');

// true (-1) times the negated flag is the flag itself; false gives 0.
int32_t FlagOf(Bool16 b, int32_t flag) { return static_cast<int32_t>(b) * -flag; }

std::wstring WithoutTrailingNuls(std::wstring text) {
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

}  // namespace

int32_t DialogFlags(const Fields& f, DialogKind kind) {
  // A hook or template bit without a hook procedure or template would make the dialog fail.
  int32_t flags = f.Flags & ~kHookAndTemplate;
  if (kind == DialogKind::Save) {
    return flags | FlagOf(f.OverwritePrompt, kOfnOverwritePrompt) | kOfnHideReadOnly;
  }
  return flags | FlagOf(f.FileMustExist, kOfnFileMustExist) |
         FlagOf(f.MultiSelect, kOfnAllowMultiSelect) | FlagOf(f.HideReadOnly, kOfnHideReadOnly) |
         FlagOf(f.ReadOnly, kOfnReadOnly);
}

std::wstring ConvertFilter(const std::wstring& filter) {
  if (filter.size() > kMaxFilterChars) {
    throw std::overflow_error("file dialog filter longer than 32767 characters");
  }
  std::wstring list = filter;
  for (wchar_t& c : list) {
    if (c == L'|' || c == L':') c = L'\0';
  }
  list.append(2, L'\0');
  return list;
}

std::wstring FilterEntry(const std::wstring& list, int32_t index) {
  if (index < 1) return {};
  size_t start = 0;
  for (;;) {
    const size_t description_end = list.find(L'\0', start);
    if (description_end == std::wstring::npos) return {};
    const size_t pattern_end = list.find(L'\0', description_end + 1);
    if (index == 1) {
      // The list's closing NUL is no entry of its own, so asking one past the last
      // entry gives an empty string rather than a lone NUL.
      return pattern_end == std::wstring::npos ? WithoutTrailingNuls(list.substr(start))
                                               : list.substr(start, pattern_end - start);
    }
    if (pattern_end == std::wstring::npos) return {};
    --index;
    start = pattern_end + 1;
  }
}

std::wstring PadBuffer(const std::wstring& text, size_t capacity) {
  if (text.size() > capacity) {
    throw std::invalid_argument("file dialog argument longer than its " + std::to_string(capacity) +
                                "-character buffer");
  }
  return text + std::wstring(capacity - text.size(), L'\0');
}

std::wstring UpToFirstNul(const std::wstring& text) { return text.substr(0, text.find(L'\0')); }

Request BuildRequest(const Fields& f, DialogKind kind, const std::wstring& fileName,
                     const std::wstring& fileTitle) {
  Request r;
  r.flags = DialogFlags(f, kind);
  r.filter = ConvertFilter(f.Filter);
  r.owner = f.OwnerHwnd == kNoOwner ? 0 : f.OwnerHwnd;
  r.filterIndex = f.FilterIndex;
  r.file = PadBuffer(fileName, kFileBufferChars);
  r.fileTitle = PadBuffer(fileTitle, kTitleBufferChars);
  r.initialDir = f.InitDirectory;
  r.title = f.DlgTitle;
  r.defaultExt = f.DefaultExt;
  return r;
}

void WriteBack(Fields& f, DialogKind kind, const Request& request, const Reply& reply,
               std::wstring& fileName, std::wstring& fileTitle) {
  if (!reply.ok) {
    // A cancel and a failure look the same to the caller.
    fileName = kOneNul;
    fileTitle = kOneNul;
    f.Flags = 0;
    f.Filter = kOneNul;
    f.FilterIndex = kind == DialogKind::Open ? -1 : 0;
    return;
  }
  fileName = UpToFirstNul(reply.file);
  fileTitle = UpToFirstNul(reply.fileTitle);
  f.Flags = reply.flags;
  f.FilterIndex = reply.filterIndex;
  // The next dialog offers only the entry chosen now, with the flags returned now, and
  // opens where this one ended.
  f.Filter = FilterEntry(request.filter, reply.filterIndex);
  if (kind == DialogKind::Open && (reply.flags & kOfnReadOnly)) f.ReadOnly = kTrue;
  f.InitDirectory = reply.file;
}

}  // namespace orvik::filedlg
