#include "recorder/avidecs.h"

#include <vfw.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "codec/zmbv_driver.h"
#include "toolkit/app.h"
#include "toolkit/files.h"

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

// What outlives a recording: the codec last chosen (handed to the next dialog as it was left)
// and the segment size; and the recording of callers without a session.
struct Module {
  AVICOMPRESSOPTIONS compressOptions{};
  uint64_t segmentBytes = kDefaultSegmentBytes;
  Recording own;
  Recording* current = nullptr;
};

Module& M() {
  static Module m;
  return m;
}

Recording& Current() {
  Module& m = M();
  return m.current ? *m.current : m.own;
}

// The template's info block for the codec. A palette bitmap that stores 0 colours (meaning
// "all of them") gets the count of entries it really carries: Wine's RLE codec aborts the
// whole process on a colour count of 0.
std::vector<uint8_t> StreamFormat(const cDIB& dib) {
  std::vector<uint8_t> format(dib.PointerToBitmapInfo(),
                              dib.PointerToBitmapInfo() + dib.SizeBitmapInfo());
  const int bits = dib.BitCount();
  if (bits < 1 || bits > 8 || dib.ClrUsed() != 0) return format;
  const size_t tableBytes = format.size() - static_cast<size_t>(dib.SizeInfoHeader());
  const uint32_t colours =
      static_cast<uint32_t>(std::min<size_t>(tableBytes / 4, size_t{1} << bits));
  constexpr size_t kClrUsedOffset = 32;
  std::memcpy(format.data() + kClrUsedOffset, &colours, sizeof colours);  // little-endian
  return format;
}

// The system's compression dialog needs a stream of the frame format to offer codecs for: it
// gets one in a scratch file beside the template, so the output file stays untouched until the
// codec is settled. False when the user cancelled (or no stream could be made for it).
bool ChooseCodec(HWND ownerWindow, const std::wstring& scratchPath, const Recording& r,
                 int frameRate, orvik::CodecSettings* chosen) {
  Module& m = M();
  AVIFileInit();
  bool ok = false;
  {
    PAVIFILE file = nullptr;
    HRESULT hr = AVIFileOpenW(&file, scratchPath.c_str(), OF_WRITE | OF_CREATE, nullptr);
    UniqueAviFile scratch(file);
    AVISTREAMINFOW info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = static_cast<DWORD>(frameRate);
    info.dwSuggestedBufferSize = static_cast<DWORD>(r.sizeImage);
    SetRect(&info.rcFrame, 0, 0, r.width, std::abs(r.height));
    PAVISTREAM raw = nullptr;
    if (hr == 0) hr = AVIFileCreateStreamW(scratch.get(), &raw, &info);
    UniqueStream stream(raw);
    if (hr == 0) {
      if (m.compressOptions.fccHandler == 0)
        m.compressOptions.dwQuality = static_cast<DWORD>(ICQUALITY_DEFAULT);
      m.compressOptions.fccType = streamtypeVIDEO;
      m.compressOptions.fccHandler = AviNextCodec();
      // The dialog starts from Full Frames unless the options say they are valid.
      m.compressOptions.dwFlags |= AVICOMPRESSF_VALID;
      AVICOMPRESSOPTIONS* options = &m.compressOptions;
      PAVISTREAM streams[1] = {stream.get()};
      ok = AVISaveOptions(ownerWindow, ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE, 1, streams,
                          &options) == 1;
      if (ok) *chosen = orvik::CodecSettings::From(m.compressOptions);
      // The settings are copied; freeing them keeps the choice for the next dialog.
      AVISaveOptionsFree(1, &options);
    }
  }
  // Shut the library down only after its objects are gone: they live in its COM servers.
  AVIFileExit();
  tk::RemoveFile(scratchPath);
  return ok;
}

bool FailOpen(Recording& r, EngineError why) {
  r.openError = why;
  r.frameDib.reset();
  return false;
}

}  // namespace

void AviUseRecording(Recording* recording) { M().current = recording; }

bool AviOpenWriter(HWND ownerWindow, const std::wstring& bitmapPath, const std::wstring& aviPath,
                   int frameRate) {
  Recording& r = Current();
  r.file.Close();  // one writer at a time
  r.openError = EngineError::None;
  r.readerComplained = false;
  const int rate = std::clamp(frameRate, 1, 30);

  r.frameDib = std::make_unique<cDIB>();
  if (!r.frameDib->CreateFromFile(bitmapPath)) {
    tk::MsgBox(L"Could not load first bitmap file in list!", MB_ICONWARNING);
    return FailOpen(r, EngineError::TemplateUnreadable);
  }
  r.width = r.frameDib->Width();
  r.height = r.frameDib->Height();
  r.bitCount = r.frameDib->BitCount();
  r.sizeImage = r.frameDib->SizeImage();
  orvik::RecordingFile::Setup setup;
  if (!ChooseCodec(ownerWindow, bitmapPath + L".codec-check.avi", r, rate, &setup.codec))
    return FailOpen(r, EngineError::CodecCancelled);
  setup.path = aviPath;
  setup.frameFormat = StreamFormat(*r.frameDib);
  setup.frameBytes = static_cast<size_t>(r.sizeImage);
  setup.framesPerSecond = rate;
  setup.segmentBytes = M().segmentBytes;
  setup.elapsed = r.elapsed;
  if (r.sound && r.elapsed) setup.sound = r.sound;
  const EngineError opened = r.file.Open(setup);
  if (opened != EngineError::None) return FailOpen(r, opened);
  return true;
}

void AviWriteFramePixels(Slot frameIndex, const void* bits) {
  Current().file.Push(frameIndex, static_cast<const uint8_t*>(bits), false);
}

void AviWriteFrame(Slot frameIndex, const std::wstring& bitmapPath) {
  Recording& r = Current();
  // A slot already handed over would land out of place: its bitmap is not even read.
  if (!r.file.Accepting() || !r.frameDib || frameIndex < r.file.NextSlot()) return;
  // On failure the previous frame is written again. The reader says why once per recording:
  // frames come several times a second, and a message box for each would bury the user.
  r.frameDib->SetMessagesShown(!r.readerComplained);
  if (!r.frameDib->CreateFromFile(bitmapPath)) r.readerComplained = true;
  const cDIB& d = *r.frameDib;
  if (d.Width() != r.width || d.Height() != r.height || d.BitCount() != r.bitCount ||
      d.SizeImage() != r.sizeImage)
    return;
  // A caller with files keeps no time slots: it waits for the writer instead of dropping.
  r.file.Push(frameIndex, d.PointerToBits(), true);
}

int32_t AviCloseWriter() {
  Recording& r = Current();
  const EngineError result = r.file.Close();
  r.frameDib.reset();
  return static_cast<int32_t>(r.openError != EngineError::None ? r.openError : result);
}

bool AviWriterIsOpen() { return Current().file.Accepting(); }

EngineError AviWriterError() {
  Recording& r = Current();
  if (r.openError != EngineError::None) return r.openError;
  return r.file.StoppedBy();
}

uint32_t AviDroppedFrames() { return Current().file.Dropped(); }

uint32_t AviNextCodec() {
  const DWORD last = M().compressOptions.fccHandler;
  return last ? last : orvik::zmbv::kZmbvFourCC;
}

void AviSetSegmentBytes(uint64_t bytes) { M().segmentBytes = bytes; }

}  // namespace AVIDecs
