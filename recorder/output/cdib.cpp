#include "recorder/output/cdib.h"

#include <cstring>
#include <utility>

#include "toolkit/app.h"
#include "toolkit/files.h"

void cDIB::Tell(const std::wstring& text, UINT icon) const {
  if (messagesShown_) tk::MsgBox(text, icon);
}

bool cDIB::CreateFromFile(const std::wstring& name) {
  if (!ReadWholeFile(name)) return false;
  const orvik::bmp::Parsed parsed = orvik::bmp::ParseFile(incoming_.data(), incoming_.size());
  if (parsed.verdict != orvik::bmp::Verdict::Ok) {
    // What was read of a file that is not "BM" stays visible, as with any reader that
    // looks at the file header first.
    if (parsed.verdict == orvik::bmp::Verdict::NotBitmap) fileHeader = parsed.layout.file;
    Tell(L"File is not a supported bitmap format:\r\n" + name, MB_ICONINFORMATION);
    return false;
  }
  std::swap(loaded_, incoming_);
  Adopt(parsed.layout);
  return true;
}

bool cDIB::CreateFromPackedDIBPointer(const void* address, size_t size) {
  if (!address) return false;
  const auto* bytes = static_cast<const uint8_t*>(address);
  const orvik::bmp::Parsed parsed = orvik::bmp::ParsePackedDib(bytes, size);
  if (parsed.verdict != orvik::bmp::Verdict::Ok) return false;
  // Copied through `incoming_` because the source may be this object's own block.
  const size_t total = parsed.layout.infoSize + parsed.layout.pixelSize;
  incoming_.resize(total);
  std::memcpy(incoming_.data(), bytes, total);
  std::swap(loaded_, incoming_);
  Adopt(parsed.layout);
  return true;
}

bool cDIB::WriteToFile(const std::wstring& name) {
  if (!infoBytes.data) return false;
  tk::File file = tk::File::Open(name, tk::FileMode::ReadWrite);
  uint8_t header[orvik::bmp::kFileHeaderSize];
  const uint64_t pixelsAt = sizeof header + infoBytes.size;
  // A file read with a gap before its pixels is written without it: its header says so.
  orvik::bmp::FileHeader written = fileHeader;
  if (written.bfOffBits != pixelsAt) {
    written.bfOffBits = static_cast<uint32_t>(pixelsAt);
    written.bfSize = static_cast<uint32_t>(pixelsAt + pixelBytes.size);
  }
  orvik::bmp::EncodeFileHeader(written, header);
  bool ok = file.IsOpen();
  ok = ok && file.WriteAt(0, header, sizeof header);
  ok = ok && file.WriteAt(sizeof header, infoBytes.data, infoBytes.size);
  ok = ok && file.WriteAt(pixelsAt, pixelBytes.data, pixelBytes.size);
  return ok;
}

bool cDIB::FileExists(const std::wstring& name) const { return tk::FileExists(name); }

// Fills `incoming_` with the whole file in one read, reporting why when it cannot.
// Existence is asked only after a failed open, which keeps the per-frame path at one
// open, one size query and one read.
bool cDIB::ReadWholeFile(const std::wstring& name) {
  tk::OpenError error = tk::OpenError::None;
  DWORD code = 0;
  tk::File file = tk::File::Open(name, tk::FileMode::Read, &error, &code);
  if (!file.IsOpen()) {
    if (!FileExists(name))
      Tell(L"File does not exist:\r\n" + name, MB_ICONERROR);
    else if (error == tk::OpenError::PermissionDenied)
      Tell(L"File is locked - cannot access:\r\n" + name, MB_ICONERROR);
    else
      Tell(tk::ErrorText(code), MB_ICONINFORMATION);
    return false;
  }
  const std::optional<uint64_t> length = file.Length();
  if (!length) {
    Tell(tk::ErrorText(GetLastError()), MB_ICONINFORMATION);
    return false;
  }
  if (*length > orvik::bmp::kMaxFileBytes) {
    Tell(L"File is not a supported bitmap format:\r\n" + name, MB_ICONINFORMATION);
    return false;
  }
  incoming_.resize(static_cast<size_t>(*length));
  size_t got = 0;
  while (got < incoming_.size()) {
    DWORD chunk = 0;
    const DWORD want = static_cast<DWORD>(incoming_.size() - got);
    if (!ReadFile(file.handle(), incoming_.data() + got, want, &chunk, nullptr)) {
      Tell(tk::ErrorText(GetLastError()), MB_ICONINFORMATION);
      return false;
    }
    if (chunk == 0) break;  // the file shrank since its length was taken
    got += chunk;
  }
  incoming_.resize(got);
  return true;
}

void cDIB::Adopt(const orvik::bmp::Layout& layout) {
  infoHeader = layout.info;
  fileHeader = layout.file;
  infoBytes = Block{loaded_.data() + layout.infoOffset, layout.infoSize};
  pixelBytes = Block{loaded_.data() + layout.pixelOffset, layout.pixelSize};
}
