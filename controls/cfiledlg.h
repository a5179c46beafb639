#pragma once
// The system's open and save dialogs behind properties that remember the caller's choices:
// every successful dialog writes its flags, filter entry, filter index and path back, so the
// next dialog starts where the last one ended.
//
// Errors: an argument the dialog buffers cannot hold ends the dialog methods with an
// exception before any dialog opens, leaving the properties and arguments unchanged:
// std::invalid_argument for a file name over 1024 or a file title over 512 characters,
// std::overflow_error for a Filter over 32,767 characters. Callers inside a window
// procedure or timer callback must catch them. The system dialog's own failures are
// only the false result.
#include <cstdint>
#include <string>
#include <utility>

#include "controls/filter_list.h"

namespace orvik {

class cFileDlg {
 public:
  using Bool16 = filedlg::Bool16;

  cFileDlg();

  // Owner window handle as a 32-bit value; -1 means no owner, 0 is passed on as given.
  int32_t OwnerHwnd() const { return f_.OwnerHwnd; }
  void OwnerHwnd(int32_t hwnd) { f_.OwnerHwnd = hwnd; }
  // Boolean properties read as -1 (true) or 0 (false).
  Bool16 FileMustExist() const { return f_.FileMustExist; }
  void FileMustExist(bool value) { f_.FileMustExist = filedlg::ToBool16(value); }
  // The selection comes back as the system wrote it, up to its first NUL; the caller splits
  // it. (Without OFN_EXPLORER in Flags the system shows its older dialog for this.)
  Bool16 MultiSelect() const { return f_.MultiSelect; }
  void MultiSelect(bool value) { f_.MultiSelect = filedlg::ToBool16(value); }
  // Becomes true once an open dialog returns with its read-only box ticked; never reset.
  Bool16 ReadOnly() const { return f_.ReadOnly; }
  Bool16 HideReadOnly() const { return f_.HideReadOnly; }
  void HideReadOnly(bool value) { f_.HideReadOnly = filedlg::ToBool16(value); }
  // Descriptions and patterns alternating, separated by "|" (":" separates as well). A
  // successful dialog narrows it to the chosen entry; a cancelled one leaves a single NUL,
  // so the next dialog offers no filter unless the caller sets it again.
  const std::wstring& Filter() const { return f_.Filter; }
  void Filter(std::wstring filter) { f_.Filter = std::move(filter); }
  int32_t FilterIndex() const { return f_.FilterIndex; }
  void FilterIndex(int32_t index) { f_.FilterIndex = index; }
  // After a successful dialog this is the whole returned file buffer: the chosen path
  // followed by the buffer's NUL padding.
  const std::wstring& InitDirectory() const { return f_.InitDirectory; }
  void InitDirectory(std::wstring dir) { f_.InitDirectory = std::move(dir); }
  // A shell special-folder number (5: the user's documents); empty when the folder has no
  // file-system path.
  void InitDirectorySpecial(int32_t folder);
  const std::wstring& DlgTitle() const { return f_.DlgTitle; }
  void DlgTitle(std::wstring title) { f_.DlgTitle = std::move(title); }
  // Appended to a name typed without extension. Even empty it asks the system for an
  // extension, which then appends the chosen filter's.
  const std::wstring& DefaultExt() const { return f_.DefaultExt; }
  void DefaultExt(std::wstring ext) { f_.DefaultExt = std::move(ext); }
  // Extra dialog flags in (hook and template bits are dropped); the dialog's returned flags
  // out, which the next dialog is given again.
  int32_t Flags() const { return f_.Flags; }
  void Flags(int32_t flags) { f_.Flags = flags; }
  Bool16 OverwritePrompt() const { return f_.OverwritePrompt; }
  void OverwritePrompt(bool value) { f_.OverwritePrompt = filedlg::ToBool16(value); }

  // Modal dialogs. True (-1) when the user chose a file; then `fileName` and `fileTitle` hold
  // it. On cancel or failure both become a single NUL character and false (0) is returned.
  Bool16 VBGetOpenFileName(std::wstring& fileName, std::wstring& fileTitle);
  Bool16 VBGetOpenFileNamePreview(std::wstring& fileName, std::wstring& fileTitle);
  Bool16 VBGetSaveFileName(std::wstring& fileName, std::wstring& fileTitle);

  // True when `path` names an existing file (not a folder); never throws.
  Bool16 ExistFile(const std::wstring& path) const noexcept;
  // The file name of `path` as the system presents it, or empty when the system rejects it.
  std::wstring VBGetFileTitle(const std::wstring& path) const;

 private:
  enum class Caller { Open, OpenPreview, Save };

  Bool16 RunDialog(Caller caller, std::wstring& fileName, std::wstring& fileTitle);
  std::wstring SpecialFolderPath(int32_t folder) const;

  filedlg::Fields f_;
};

}  // namespace orvik
