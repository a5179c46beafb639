#include "controls/cfiledlg.h"

#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>
#include <vfw.h>

#include <memory>

#include "toolkit/app.h"

namespace orvik {

namespace {

using filedlg::DialogKind;

constexpr int32_t kPersonalFolder = 5;  // the user's documents
constexpr WORD kTitleLookupChars = 1024;
constexpr size_t kFolderPathChars = 1024;

// Window handles are 32-bit values; widening keeps the sign as the system's own conversion
// (LongToHandle) does.
HWND WindowFromValue(int32_t value) {
  return value == filedlg::kNoOwner ? nullptr
                                    : reinterpret_cast<HWND>(static_cast<intptr_t>(value));
}

struct ItemIdListFree {
  void operator()(ITEMIDLIST* pidl) const { CoTaskMemFree(pidl); }
};
using UniqueItemIdList = std::unique_ptr<ITEMIDLIST, ItemIdListFree>;

// The record points into `request`, whose buffers the dialog fills.
OPENFILENAMEW MakeRecord(filedlg::Request& request) {
  OPENFILENAMEW ofn{};
  // The older record, without the reserved members at its end: nothing the class asks for
  // needs them.
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  ofn.hwndOwner = WindowFromValue(request.owner);
  ofn.lpstrFilter = request.filter.c_str();
  ofn.nFilterIndex = static_cast<DWORD>(request.filterIndex);
  ofn.lpstrFile = request.file.data();
  ofn.nMaxFile = static_cast<DWORD>(request.file.size());
  ofn.lpstrFileTitle = request.fileTitle.data();
  ofn.nMaxFileTitle = static_cast<DWORD>(request.fileTitle.size());
  ofn.lpstrInitialDir = request.initialDir.c_str();
  ofn.lpstrTitle = request.title.c_str();
  ofn.Flags = static_cast<DWORD>(request.flags);
  ofn.lpstrDefExt = request.defaultExt.c_str();
  return ofn;
}

BOOL CallSystemDialog(OPENFILENAMEW* ofn, bool preview, DialogKind kind) {
  if (kind == DialogKind::Save) return GetSaveFileNameW(ofn);
  return preview ? GetOpenFileNamePreviewW(ofn) : GetOpenFileNameW(ofn);
}

}  // namespace

cFileDlg::cFileDlg() {
  f_.DlgTitle = tk::AppTitle();
  // Last, because the folder lookup passes OwnerHwnd, which must already hold its value.
  f_.InitDirectory = SpecialFolderPath(kPersonalFolder);
}

void cFileDlg::InitDirectorySpecial(int32_t folder) {
  f_.InitDirectory = SpecialFolderPath(folder);
}

cFileDlg::Bool16 cFileDlg::VBGetOpenFileName(std::wstring& fileName, std::wstring& fileTitle) {
  return RunDialog(Caller::Open, fileName, fileTitle);
}

cFileDlg::Bool16 cFileDlg::VBGetOpenFileNamePreview(std::wstring& fileName,
                                                    std::wstring& fileTitle) {
  return RunDialog(Caller::OpenPreview, fileName, fileTitle);
}

cFileDlg::Bool16 cFileDlg::VBGetSaveFileName(std::wstring& fileName, std::wstring& fileTitle) {
  return RunDialog(Caller::Save, fileName, fileTitle);
}

cFileDlg::Bool16 cFileDlg::RunDialog(Caller caller, std::wstring& fileName,
                                     std::wstring& fileTitle) {
  const DialogKind kind = caller == Caller::Save ? DialogKind::Save : DialogKind::Open;
  // Throws on arguments the buffers cannot hold, before anything is shown or changed.
  filedlg::Request request = filedlg::BuildRequest(f_, kind, fileName, fileTitle);

  OPENFILENAMEW ofn = MakeRecord(request);
  filedlg::Reply reply;
  reply.ok = CallSystemDialog(&ofn, caller == Caller::OpenPreview, kind) != 0;
  reply.flags = static_cast<int32_t>(ofn.Flags);
  reply.filterIndex = static_cast<int32_t>(ofn.nFilterIndex);
  reply.file = request.file;
  reply.fileTitle = request.fileTitle;
  filedlg::WriteBack(f_, kind, request, reply, fileName, fileTitle);
  return filedlg::ToBool16(reply.ok);
}

cFileDlg::Bool16 cFileDlg::ExistFile(const std::wstring& path) const noexcept {
  // Reads the file's directory entry rather than opening it, so a file another program
  // holds open without sharing still counts as existing.
  if (path.find(L'\0') != std::wstring::npos) return filedlg::kFalse;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return filedlg::kFalse;
  return filedlg::ToBool16(!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY));
}

std::wstring cFileDlg::VBGetFileTitle(const std::wstring& path) const {
  std::wstring buffer(kTitleLookupChars, L'\0');
  const short result = GetFileTitleW(path.c_str(), buffer.data(), kTitleLookupChars);
  return result == 0 ? filedlg::UpToFirstNul(buffer) : std::wstring();
}

std::wstring cFileDlg::SpecialFolderPath(int32_t folder) const {
  ITEMIDLIST* raw = nullptr;
  if (SHGetSpecialFolderLocation(WindowFromValue(f_.OwnerHwnd), folder, &raw) != S_OK) {
    return {};
  }
  UniqueItemIdList pidl(raw);
  std::wstring buffer(kFolderPathChars, L'\0');
  if (!SHGetPathFromIDListW(pidl.get(), buffer.data())) return {};
  return filedlg::UpToFirstNul(buffer);
}

}  // namespace orvik
