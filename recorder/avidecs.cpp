#include "recorder/avidecs.h"

#include <vfw.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "avi/avi_writer.h"
#include "codec/zmbv_driver.h"
#include "recorder/cdib.h"
#include "recorder/frame_queue.h"
#include "recorder/recording_choices.h"
#include "recorder/vcm_compressor.h"
#include "toolkit/app.h"
#include "toolkit/files.h"
#include "toolkit/handles.h"
#include "toolkit/screen.h"

namespace AVIDecs {

namespace {

// Frames waiting for the worker: enough to ride out a slow write, bounded in memory
// (33 MB at 1920 x 1080 x 32).
constexpr size_t kQueuedFrames = 4;
// The file on disk is made consistent at least this often while frames come in: a process that
// dies loses at most this much of the recording.
constexpr double kFlushSeconds = 0.5;
// Room kept free on the disk beyond the next frame: a new segment's headers and index,
// file system blocks.
constexpr uint64_t kDiskSlack = 256 * 1024;

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

// The output file as the container writer sees it.
class FileSink : public avi::Sink {
 public:
  bool Create(const std::wstring& path) {
    file_ = tk::File::Open(path, tk::FileMode::Replace);
    return file_.IsOpen();
  }
  void Close() { file_.Close(); }
  bool WriteAt(uint64_t offset, const void* data, size_t size) override {
    return file_.WriteAt(offset, data, size);
  }

 private:
  tk::File file_;
};

// What every frame must match: the codec was opened on this format and reads a whole frame
// of it from whatever buffer it is given.
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
  // Set up by the GUI thread while no worker runs.
  bool active = false;  // between AviOpenWriter and the close that follows it
  HRESULT lastResult = 0;
  std::wstring outputPath;
  std::wstring outputFolder;   // where free space is asked for
  std::wstring scratchPath;    // the codec dialog's stream, next to the template bitmap
  bool outputCreated = false;  // the file at outputPath is ours to delete on failure
  std::unique_ptr<cDIB> frameDib;
  FrameFormat format;
  std::vector<uint8_t> streamFormat;  // the template's info block, as the codec sees it
  AVICOMPRESSOPTIONS compressOptions{};
  AVICOMPRESSOPTIONS* compressOptionsPtr = nullptr;
  uint64_t segmentBytes = kDefaultSegmentBytes;
  int64_t nextIndex = 0;          // the next slot the GUI thread may hand over
  bool readerComplained = false;  // a frame file could not be read and the user was told

  // Shared with the worker.
  std::atomic<bool> open{false};
  std::atomic<CloseReason> closeReason{CloseReason::None};
  std::unique_ptr<orvik::FrameQueue> queue;
  uint32_t dropped = 0;

  // The worker's own while it runs.
  orvik::VcmCompressor compressor;
  FileSink sink;
  avi::Writer writer;
  std::thread worker;

  // A process that ends with a writer open still writes what was queued (a thread left
  // joinable would end it with std::terminate instead).
  ~Module() {
    if (!worker.joinable()) return;
    queue->Close();
    worker.join();
    if (writer.IsOpen()) writer.Close();
  }
};

Module& M() {
  static Module m;
  return m;
}

// The worker stops taking frames; the GUI thread learns it from AviWriterIsOpen.
void CloseItself(Module& m, CloseReason reason) {
  m.closeReason = reason;
  m.open = false;
  m.queue->Discard();
}

bool DiskHasRoomFor(const Module& m, uint64_t bytes) {
  ULARGE_INTEGER available{};
  const std::wstring folder = tk::LongPath(m.outputFolder);
  if (!GetDiskFreeSpaceExW(folder.empty() ? nullptr : folder.c_str(), &available, nullptr, nullptr))
    return true;  // unknown: the write itself will tell
  return available.QuadPart >= bytes + kDiskSlack;
}

bool WriteOne(Module& m, const orvik::QueuedFrame& frame) {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  bool key = false;
  if (!m.compressor.Compress(frame.bits.data(), false, &data, &size, &key)) {
    CloseItself(m, CloseReason::WriteFailed);
    return false;
  }
  if (!DiskHasRoomFor(m, size)) {
    CloseItself(m, CloseReason::DiskFull);
    return false;
  }
  if (!m.writer.WriteFrame(frame.index, data, size, key)) {
    CloseItself(m, CloseReason::WriteFailed);
    return false;
  }
  return true;
}

// Compresses and writes what the capture queues, and makes the file consistent on disk at
// least every kFlushSeconds while frames come in; ends when the queue is closed and empty.
void WorkerLoop(Module& m) {
  double lastFlush = tk::MonotonicSeconds();
  bool unflushed = false;
  for (;;) {
    orvik::QueuedFrame frame;
    const orvik::FrameQueue::Taken taken = m.queue->Take(&frame, 100);
    if (taken == orvik::FrameQueue::Taken::Closed) break;
    if (taken == orvik::FrameQueue::Taken::Frame) {
      const bool written = WriteOne(m, frame);
      m.queue->Recycle(std::move(frame));
      if (!written) break;
      unflushed = true;
    }
    const double now = tk::MonotonicSeconds();
    if (unflushed && now - lastFlush >= kFlushSeconds) {
      if (!m.writer.Flush()) {
        CloseItself(m, CloseReason::WriteFailed);
        break;
      }
      lastFlush = now;
      unflushed = false;
    }
  }
}

enum class OnClose { KeepFile, DeleteIfFailed };

// The one place that tears the writer down, so that a close after a self-close finds nothing
// left to release or delete. What was queued before the close is still written.
void CloseWriter(OnClose onClose) {
  Module& m = M();
  if (!m.active) return;
  m.active = false;
  m.open = false;
  if (m.queue) m.queue->Close();
  if (m.worker.joinable()) m.worker.join();
  if (m.queue) m.dropped = m.queue->Dropped();
  if (m.writer.IsOpen() && !m.writer.Close() && m.lastResult == 0) m.lastResult = AVIERR_FILEWRITE;
  if (m.closeReason != CloseReason::None && m.lastResult == 0) m.lastResult = AVIERR_FILEWRITE;
  m.sink.Close();
  m.compressor.End();
  m.queue.reset();
  m.frameDib.reset();
  if (m.compressOptionsPtr) AVISaveOptionsFree(1, &m.compressOptionsPtr);
  m.compressOptionsPtr = nullptr;
  if (onClose == OnClose::DeleteIfFailed && m.outputCreated && m.lastResult != 0)
    tk::RemoveFile(m.outputPath);
}

bool FailOpen() {
  CloseWriter(OnClose::DeleteIfFailed);
  return false;
}

// The template's info block for the codec. A palette bitmap that stores 0 colours (meaning
// "all of them") gets the count of entries it really carries: Wine's RLE codec aborts the
// whole process on a colour count of 0.
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

// The description the compression dialog lists a codec under, or empty when it has none.
std::wstring CodecDescription(DWORD fccHandler) {
  HIC hic = ICOpen(ICTYPE_VIDEO, fccHandler, ICMODE_QUERY);
  if (!hic) return L"";
  ICINFO info{};
  info.dwSize = sizeof info;
  const bool got = ICGetInfo(hic, &info, sizeof info) != 0;
  ICClose(hic);
  return got ? info.szDescription : L"";
}

// Wine's compression dialog always opens on its first entry, whatever codec the options name:
// while it is shown, a hook on this thread selects that codec's entry as the dialog activates,
// the way a user would (the dialog reads the codec's settings on the selection change).
class CodecPreselection {
 public:
  explicit CodecPreselection(std::wstring description) {
    description_ = std::move(description);
    if (!description_.empty())
      hook_ = SetWindowsHookExW(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
  }
  ~CodecPreselection() {
    if (hook_) UnhookWindowsHookEx(hook_);
    hook_ = nullptr;
  }
  CodecPreselection(const CodecPreselection&) = delete;
  CodecPreselection& operator=(const CodecPreselection&) = delete;

 private:
  static constexpr int kCodecList = 880;  // the dialog's codec combo box

  static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) Select(reinterpret_cast<HWND>(wParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static void Select(HWND dialog) {
    HWND list = GetDlgItem(dialog, kCodecList);
    if (!list || description_.empty()) return;
    const LRESULT index = SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(description_.c_str()));
    description_.clear();  // once: the user's own choice is not overridden
    if (index == CB_ERR) return;
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kCodecList, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
  }

  static inline std::wstring description_;
  static inline HHOOK hook_ = nullptr;
};

// The system's compression dialog needs a stream of the frame format to offer codecs for: it
// gets one in a scratch file, so the output file stays untouched until the codec is settled.
bool ChooseCodec(Module& m, HWND ownerWindow, int frameRate) {
  AVIFileInit();
  bool chosen = false;
  {
    PAVIFILE file = nullptr;
    m.lastResult = AVIFileOpenW(&file, m.scratchPath.c_str(), OF_WRITE | OF_CREATE, nullptr);
    UniqueAviFile scratch(file);
    AVISTREAMINFOW info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = static_cast<DWORD>(frameRate);
    info.dwSuggestedBufferSize = static_cast<DWORD>(m.format.sizeImage);
    SetRect(&info.rcFrame, 0, 0, m.format.width, std::abs(m.format.height));
    PAVISTREAM raw = nullptr;
    if (m.lastResult == 0) m.lastResult = AVIFileCreateStreamW(scratch.get(), &raw, &info);
    UniqueStream stream(raw);
    if (m.lastResult == 0) {
      // The first dialog opens on our lossless codec, so that OK alone gives a compact file
      // that loses nothing; later ones open on the user's last choice.
      // (The dialog starts from Full Frames unless the options say they are valid.)
      if (m.compressOptions.fccHandler == 0) {
        m.compressOptions.fccType = streamtypeVIDEO;
        m.compressOptions.fccHandler = orvik::zmbv::kZmbvFourCC;
        m.compressOptions.dwQuality = static_cast<DWORD>(ICQUALITY_DEFAULT);
      }
      m.compressOptions.dwFlags |= AVICOMPRESSF_VALID;
      m.compressOptionsPtr = &m.compressOptions;
      PAVISTREAM streams[1] = {stream.get()};
      CodecPreselection preselect(CodecDescription(m.compressOptions.fccHandler));
      const INT_PTR answer =
          AVISaveOptions(ownerWindow, ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE, 1, streams,
                         &m.compressOptionsPtr);
      chosen = answer == 1;
      if (!chosen) m.lastResult = AVIERR_USERABORT;
    }
  }
  // Shut the library down only after its objects are gone: they live in its COM servers.
  AVIFileExit();
  tk::RemoveFile(m.scratchPath);
  return chosen;
}

bool StartWriting(Module& m, const std::wstring& aviPath, int frameRate) {
  if (!m.sink.Create(aviPath)) {
    m.lastResult = AVIERR_FILEOPEN;
    return false;
  }
  m.outputCreated = true;
  avi::VideoFormat video;
  video.width = static_cast<uint32_t>(m.format.width);
  video.height = static_cast<uint32_t>(std::abs(m.format.height));
  video.handler = m.compressor.Handler();
  video.bitmapInfo = m.compressor.OutputFormat();
  video.rate = static_cast<uint32_t>(frameRate);
  video.scale = 1;
  avi::WriterOptions options;
  options.segmentBytes = m.segmentBytes;
  if (!m.writer.Open(m.sink, video, options)) {
    m.lastResult = AVIERR_FILEWRITE;
    return false;
  }
  m.queue =
      std::make_unique<orvik::FrameQueue>(kQueuedFrames, static_cast<size_t>(m.format.sizeImage));
  m.worker = std::thread(WorkerLoop, std::ref(m));
  return true;
}

}  // namespace

bool AviOpenWriter(HWND ownerWindow, const std::wstring& bitmapPath, const std::wstring& aviPath,
                   int frameRate) {
  Module& m = M();
  CloseWriter(OnClose::KeepFile);  // one writer at a time
  m.outputPath = aviPath;
  m.outputFolder = orvik::FolderOfFile(aviPath);
  m.scratchPath = bitmapPath + L".codec-check.avi";
  m.outputCreated = false;
  m.closeReason = CloseReason::None;
  m.lastResult = 0;
  m.dropped = 0;
  m.active = true;
  const int rate = std::clamp(frameRate, 1, 30);

  m.frameDib = std::make_unique<cDIB>();
  if (!m.frameDib->CreateFromFile(bitmapPath)) {
    m.lastResult = AVIERR_FILEREAD;
    tk::MsgBox(L"Could not load first bitmap file in list!", MB_ICONWARNING);
    return FailOpen();
  }
  m.format = FormatOf(*m.frameDib);
  BuildStreamFormat(m);
  if (!ChooseCodec(m, ownerWindow, rate)) return FailOpen();
  if (!m.compressor.Begin(m.compressOptions, m.streamFormat, rate)) {
    m.lastResult = AVIERR_COMPRESSOR;
    return FailOpen();
  }
  // The codec has taken its settings; freeing them keeps the choice for the next dialog.
  AVISaveOptionsFree(1, &m.compressOptionsPtr);
  m.compressOptionsPtr = nullptr;
  if (!StartWriting(m, aviPath, rate)) return FailOpen();
  m.nextIndex = 0;
  m.readerComplained = false;
  m.open = true;
  return true;
}

void AviWriteFramePixels(int32_t frameIndex, const void* bits) {
  Module& m = M();
  // An index already handed over would land out of place.
  if (!m.open || frameIndex < m.nextIndex) return;
  m.nextIndex = static_cast<int64_t>(frameIndex) + 1;
  m.queue->Push(static_cast<uint32_t>(frameIndex), static_cast<const uint8_t*>(bits),
                m.format.bitCount == 32);
}

void AviWriteFrame(int32_t frameIndex, const std::wstring& bitmapPath) {
  Module& m = M();
  if (!m.open || frameIndex < m.nextIndex) return;
  // On failure the previous frame is written again. The reader says why once per recording:
  // frames come several times a second, and a message box for each would bury the user.
  m.frameDib->SetMessagesShown(!m.readerComplained);
  if (!m.frameDib->CreateFromFile(bitmapPath)) m.readerComplained = true;
  if (!(FormatOf(*m.frameDib) == m.format)) return;
  m.nextIndex = static_cast<int64_t>(frameIndex) + 1;
  // A caller with files keeps no time slots: it waits for the worker instead of dropping.
  m.queue->Push(static_cast<uint32_t>(frameIndex), m.frameDib->PointerToBits(), false, true);
}

int32_t AviCloseWriter() {
  CloseWriter(OnClose::KeepFile);
  return M().lastResult;
}

bool AviWriterIsOpen() { return M().open; }
CloseReason AviWriterCloseReason() { return M().closeReason; }
uint32_t AviDroppedFrames() {
  const Module& m = M();
  return m.queue ? m.queue->Dropped() : m.dropped;
}
void AviSetSegmentBytes(uint64_t bytes) { M().segmentBytes = bytes; }

}  // namespace AVIDecs
