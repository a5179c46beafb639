#include "recorder/avidecs.h"

#include <vfw.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "recorder/avi_size.h"
#include "recorder/cdib.h"
#include "toolkit/app.h"
#include "toolkit/files.h"
#include "toolkit/handles.h"

namespace AVIDecs {

namespace {

struct StreamTraits {
  static PAVISTREAM invalid() { return nullptr; }
  static bool valid(PAVISTREAM s) { return s != nullptr; }
  static void close(PAVISTREAM s) { AVIStreamRelease(s); }
};
struct AviFileTraits {
  static PAVIFILE invalid() { return nullptr; }
  static bool valid(PAVIFILE f) { return f != nullptr; }
  static void close(PAVIFILE f) { AVIFileRelease(f); }
};
using UniqueStream = tk::Unique<PAVISTREAM, StreamTraits>;
using UniqueAviFile = tk::Unique<PAVIFILE, AviFileTraits>;

// What every frame must match: the compressor was told this format at open and reads a
// whole frame of it from whatever buffer it is given.
struct FrameFormat {
  int32_t width = 0, height = 0, bitCount = 0, sizeImage = 0;
  bool operator==(const FrameFormat& o) const {
    return width == o.width && height == o.height && bitCount == o.bitCount &&
           sizeImage == o.sizeImage;
  }
};

FrameFormat FormatOf(const cDIB& dib) {
  return {dib.Width(), dib.Height(), dib.BitCount(), dib.SizeImage()};
}

struct Module {
  HRESULT lastResult = 0;
  UniqueAviFile aviFile;
  UniqueStream rawStream;
  UniqueStream compressedStream;
  AVICOMPRESSOPTIONS compressOptions{};
  AVICOMPRESSOPTIONS* compressOptionsPtr = nullptr;
  std::unique_ptr<cDIB> frameDib;
  AVISTREAMINFOW streamInfo{};
  std::wstring outputPath;
  std::wstring scratchPath;    // where the codec is tried before the output file is touched
  bool outputCreated = false;  // the file at outputPath is ours to delete on failure

  bool active = false;  // between AviOpenWriter and the close that follows it
  bool open = false;    // frames can be written
  CloseReason closeReason = CloseReason::None;
  uint64_t sizeLimit = kDefaultSizeLimit;
  orvik::AviSizeBudget budget;
  FrameFormat format;
  std::vector<uint8_t> streamFormat;  // the first bitmap's info block, as the codec sees it
  std::wstring outputFolder;          // where free space is asked for
  int64_t nextIndex = 0;
  bool uncompressed = true;       // frames keep their size in the file
  bool readerComplained = false;  // a frame could not be read and the user was told
};

Module& M() {
  static Module m;
  return m;
}

enum class OnClose { KeepFile, DeleteIfFailed };

// The one place that tears the writer down, so that a close after a self-close finds
// nothing left to release or delete.
void CloseWriter(OnClose onClose) {
  Module& m = M();
  if (!m.active) return;
  m.active = false;
  m.open = false;
  m.frameDib.reset();
  m.rawStream.reset();
  m.compressedStream.reset();
  m.aviFile.reset();  // finishes the file on disk
  if (m.compressOptionsPtr) AVISaveOptionsFree(1, &m.compressOptionsPtr);
  m.compressOptionsPtr = nullptr;
  // Shut the library down only after its objects are gone: they live in its COM servers.
  AVIFileExit();
  if (!m.scratchPath.empty()) tk::RemoveFile(m.scratchPath);
  if (onClose == OnClose::DeleteIfFailed && m.outputCreated && m.lastResult != 0 &&
      tk::FileExists(m.outputPath))
    tk::RemoveFile(m.outputPath);
}

bool FailOpen() {
  CloseWriter(OnClose::DeleteIfFailed);
  return false;
}

void FillStreamInfo(Module& m, int frameRate) {
  m.streamInfo = AVISTREAMINFOW{};
  m.streamInfo.fccType = mmioStringToFOURCCW(L"vids", 0);
  m.streamInfo.fccHandler = 0;
  m.streamInfo.dwScale = 1;
  m.streamInfo.dwRate = static_cast<DWORD>(frameRate < 1 ? 1 : frameRate > 30 ? 30 : frameRate);
  m.streamInfo.dwSuggestedBufferSize = static_cast<DWORD>(m.frameDib->SizeImage());
  SetRect(&m.streamInfo.rcFrame, 0, 0, m.frameDib->Width(), std::abs(m.frameDib->Height()));
}

bool IsUncompressedChoice(const AVICOMPRESSOPTIONS& o) {
  return o.fccHandler == 0 || o.fccHandler == comptypeDIB ||
         o.fccHandler == mmioFOURCC('d', 'i', 'b', ' ');
}

// The most a compressor may hand back for one frame; run-length coders can pass the
// input size on noisy pictures (two bytes per pixel run plus row ends).
uint64_t WorstFrameBytes(const Module& m) {
  const uint64_t raw = static_cast<uint64_t>(m.format.sizeImage);
  if (m.uncompressed) return raw;
  return 2 * raw + 4 * static_cast<uint64_t>(std::abs(m.format.height)) + 1024;
}

// The first bitmap's info block for the codec. A palette bitmap that stores 0 colours
// (meaning "all of them") gets the count of entries it really carries: Wine's RLE codec
// aborts the whole process on a colour count of 0.
void BuildStreamFormat(Module& m) {
  const cDIB& dib = *m.frameDib;
  m.streamFormat.assign(dib.PointerToBitmapInfo(),
                        dib.PointerToBitmapInfo() + dib.SizeBitmapInfo());
  const int bits = dib.BitCount();
  if (bits < 1 || bits > 8 || dib.ClrUsed() != 0) return;
  const size_t tableBytes = m.streamFormat.size() - static_cast<size_t>(dib.SizeInfoHeader());
  const uint32_t colours =
      static_cast<uint32_t>(std::min<size_t>(tableBytes / 4, size_t{1} << bits));
  constexpr size_t kClrUsedOffset = 32;
  std::memcpy(m.streamFormat.data() + kClrUsedOffset, &colours, sizeof colours);  // little-endian
}

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// Wine's library reports success for frames it could not write to a full disk and leaves
// a file that lacks them and its index, so room is made sure of before each write.
bool DiskHasRoomFor(const Module& m, uint64_t bytes) {
  constexpr uint64_t kSlack = 256 * 1024;  // file system blocks, buffered header writes
  ULARGE_INTEGER available{};
  const wchar_t* folder = m.outputFolder.empty() ? nullptr : m.outputFolder.c_str();
  if (!GetDiskFreeSpaceExW(folder, &available, nullptr, nullptr)) return true;  // unknown
  return available.QuadPart >= bytes + kSlack;
}

// The size a compressor made of one frame. Wine's compressing stream hands the two counts
// back swapped (bytes as samples, 1 as bytes), so the larger one is the byte count; a
// count that tells nothing falls back to the worst case.
uint64_t CompressedBytes(LONG samples, LONG bytes, uint64_t worst) {
  const LONG reported = std::max(samples, bytes);
  return reported > 1 ? static_cast<uint64_t>(reported) : worst;
}

// An AVI file with one raw video stream of the frame format.
bool CreateFileAndStream(Module& m, const std::wstring& path) {
  m.compressedStream.reset();
  m.rawStream.reset();
  m.aviFile.reset();
  PAVIFILE file = nullptr;
  m.lastResult = AVIFileOpenW(&file, tk::LongPath(path).c_str(), OF_WRITE | OF_CREATE, nullptr);
  m.aviFile.reset(file);
  if (m.lastResult != 0) return false;
  PAVISTREAM raw = nullptr;
  m.lastResult = AVIFileCreateStreamW(m.aviFile.get(), &raw, &m.streamInfo);
  m.rawStream.reset(raw);
  return m.lastResult == 0;
}

// The compressing stream with the chosen codec settings, and its input format.
bool PrepareCompressedStream(Module& m) {
  PAVISTREAM compressed = nullptr;
  m.lastResult =
      AVIMakeCompressedStream(&compressed, m.rawStream.get(), &m.compressOptions, nullptr);
  m.compressedStream.reset(compressed);
  m.uncompressed = IsUncompressedChoice(m.compressOptions);
  if (m.lastResult != 0) return false;
  BuildStreamFormat(m);
  m.lastResult = AVIStreamSetFormat(m.compressedStream.get(), 0, m.streamFormat.data(),
                                    static_cast<LONG>(m.streamFormat.size()));
  return m.lastResult == 0;
}

// The compression dialog, and the chosen codec tried on the frame format, on a scratch file:
// a file the user agreed to replace stays untouched until the codec is settled.
bool ChooseCodec(Module& m, HWND ownerWindow) {
  if (!CreateFileAndStream(m, m.scratchPath)) return false;
  m.compressOptionsPtr = &m.compressOptions;
  PAVISTREAM streams[1] = {m.rawStream.get()};
  m.lastResult = static_cast<HRESULT>(AVISaveOptions(
      ownerWindow, ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE, 1, streams, &m.compressOptionsPtr));
  if (m.lastResult != 1) return false;
  m.lastResult = 0;
  return PrepareCompressedStream(m);
}

void CloseItself(CloseReason reason) {
  M().closeReason = reason;
  CloseWriter(OnClose::KeepFile);
}

}  // namespace

bool AviOpenWriter(HWND ownerWindow, const std::wstring& bitmapPath, const std::wstring& aviPath,
                   int frameRate) {
  Module& m = M();
  CloseWriter(OnClose::KeepFile);  // one writer at a time
  m.outputPath = aviPath;
  m.outputFolder = FolderOf(aviPath);
  m.scratchPath = FolderOf(bitmapPath) + L"codec-check.avi";
  m.outputCreated = false;
  m.closeReason = CloseReason::None;
  m.lastResult = 0;
  m.active = true;
  AVIFileInit();

  m.frameDib = std::make_unique<cDIB>();
  if (!m.frameDib->CreateFromFile(bitmapPath)) {
    tk::MsgBox(L"Could not load first bitmap file in list!", MB_ICONWARNING);
    return FailOpen();
  }
  m.format = FormatOf(*m.frameDib);
  FillStreamInfo(m, frameRate);
  if (!ChooseCodec(m, ownerWindow)) return FailOpen();

  // Only now is the output file made (an existing one replaced) and the codec set up on it;
  // the options dialog keeps its choice for the next recording once they are freed.
  if (!CreateFileAndStream(m, aviPath)) return FailOpen();
  m.outputCreated = true;
  const bool prepared = PrepareCompressedStream(m);
  AVISaveOptionsFree(1, &m.compressOptionsPtr);
  m.compressOptionsPtr = nullptr;
  if (!prepared) return FailOpen();
  tk::RemoveFile(m.scratchPath);

  m.budget = orvik::AviSizeBudget(m.sizeLimit, static_cast<uint64_t>(m.frameDib->SizeBitmapInfo()));
  m.nextIndex = 0;
  m.readerComplained = false;
  m.open = true;
  return true;
}

void AviWriteFrame(int32_t frameIndex, const std::wstring& bitmapPath) {
  Module& m = M();
  // An index already written would be appended at the end of the stream, out of place.
  if (!m.open || frameIndex < m.nextIndex) return;
  // On failure the previous frame is written again. The reader says why once per recording:
  // frames come several times a second, and a message box for each would bury the user.
  m.frameDib->SetMessagesShown(!m.readerComplained);
  if (!m.frameDib->CreateFromFile(bitmapPath)) m.readerComplained = true;
  // A bitmap of another size or depth cannot go into this stream; its position stays empty
  // and players hold the previous picture.
  if (!(FormatOf(*m.frameDib) == m.format)) return;

  const auto index = static_cast<uint32_t>(frameIndex);
  const uint64_t worst = WorstFrameBytes(m);
  if (!m.budget.Fits(index, worst)) return CloseItself(CloseReason::SizeLimit);
  if (!DiskHasRoomFor(m, m.budget.StillToWrite(index, worst)))
    return CloseItself(CloseReason::DiskFull);
  LONG samplesWritten = 0, bytesWritten = 0;
  m.lastResult = AVIStreamWrite(
      m.compressedStream.get(), frameIndex, 1, const_cast<uint8_t*>(m.frameDib->PointerToBits()),
      m.frameDib->SizeImage(), AVIIF_KEYFRAME, &samplesWritten, &bytesWritten);
  if (m.lastResult != 0) return CloseItself(CloseReason::WriteFailed);
  m.budget.Add(index,
               m.uncompressed ? worst : CompressedBytes(samplesWritten, bytesWritten, worst));
  m.nextIndex = static_cast<int64_t>(frameIndex) + 1;
}

int32_t AviCloseWriter() {
  CloseWriter(OnClose::KeepFile);
  return M().lastResult;
}

bool AviWriterIsOpen() { return M().open; }
CloseReason AviWriterCloseReason() { return M().closeReason; }
void AviSetSizeLimit(uint64_t bytes) { M().sizeLimit = bytes; }
uint64_t AviSizeLimit() { return M().sizeLimit; }

}  // namespace AVIDecs
