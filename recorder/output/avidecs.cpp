#include "recorder/output/avidecs.h"

#include <vfw.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "codec/zmbv_driver.h"
#include "recorder/output/cdib.h"
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
// and the segment size; and the recording in use. Never destroyed: a session that ends with the
// process still puts its recording out of use after the statics are gone.
struct Module {
  AVICOMPRESSOPTIONS compressOptions{};
  uint64_t segmentBytes = kDefaultSegmentBytes;
  orvik::RecordingOutput* current = nullptr;
};

Module& M() {
  static Module& m = *new Module;
  return m;
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
bool ChooseCodec(HWND ownerWindow, const std::wstring& scratchPath, const cDIB& frame,
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
    info.dwSuggestedBufferSize = static_cast<DWORD>(frame.SizeImage());
    SetRect(&info.rcFrame, 0, 0, frame.Width(), std::abs(frame.Height()));
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

// The recording in use, closed, with the frame format of the bitmap at `bitmapPath`; null
// (after the reader's message and the design's own) when there is none or it cannot be read.
orvik::RecordingOutput* LoadFrameFormat(const std::wstring& bitmapPath, cDIB* frame) {
  orvik::RecordingOutput* r = M().current;
  if (!r) return nullptr;
  r->Close();  // one writer at a time
  if (frame->CreateFromFile(bitmapPath)) return r;
  tk::MsgBox(L"Could not load first bitmap file in list!", MB_ICONWARNING);
  r->FailOpen(EngineError::TemplateUnreadable);
  return nullptr;
}

orvik::RecordingOutput::Request RequestFor(const std::wstring& path, const cDIB& frame, int rate) {
  orvik::RecordingOutput::Request request;
  request.path = path;
  request.frameFormat = StreamFormat(frame);
  request.frameBytes = static_cast<size_t>(frame.SizeImage());
  request.framesPerSecond = rate;
  return request;
}

}  // namespace

void AviUseRecording(orvik::RecordingOutput* recording) { M().current = recording; }

bool AviOpenWriter(HWND ownerWindow, const std::wstring& bitmapPath, const std::wstring& aviPath,
                   int frameRate) {
  cDIB frame;
  orvik::RecordingOutput* r = LoadFrameFormat(bitmapPath, &frame);
  if (!r) return false;
  const int rate = std::clamp(frameRate, 1, 30);
  orvik::CodecSettings codec;
  if (!ChooseCodec(ownerWindow, bitmapPath + L".codec-check.avi", frame, rate, &codec)) {
    r->FailOpen(EngineError::CodecCancelled);
    return false;
  }
  orvik::RecordingOutput::Request request = RequestFor(aviPath, frame, rate);
  request.codec = codec;
  request.segmentBytes = M().segmentBytes;
  return r->Open(request) == EngineError::None;
}

bool Mp4OpenWriter(const std::wstring& bitmapPath, const std::wstring& mp4Path, int frameRate) {
  cDIB frame;
  orvik::RecordingOutput* r = LoadFrameFormat(bitmapPath, &frame);
  if (!r) return false;
  orvik::RecordingOutput::Request request =
      RequestFor(mp4Path, frame, std::clamp(frameRate, 1, 30));
  request.format = orvik::FileFormat::Mp4;
  return r->Open(request) == EngineError::None;
}

int32_t AviCloseWriter() {
  orvik::RecordingOutput* r = M().current;
  if (!r) return 0;
  const EngineError closed = r->Close();
  const EngineError opened = r->OpenError();
  return static_cast<int32_t>(opened != EngineError::None ? opened : closed);
}

bool AviWriterIsOpen() { return M().current && M().current->Accepting(); }

EngineError AviWriterError() { return M().current ? M().current->Error() : EngineError::None; }

uint32_t AviNextCodec() {
  const DWORD last = M().compressOptions.fccHandler;
  return last ? last : orvik::zmbv::kZmbvFourCC;
}

void AviSetSegmentBytes(uint64_t bytes) { M().segmentBytes = bytes; }

}  // namespace AVIDecs
