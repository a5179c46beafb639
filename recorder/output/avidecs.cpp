#include "recorder/output/avidecs.h"

#include <vfw.h>

#include <algorithm>
#include <optional>

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
// and the segment size. Never destroyed: a recording that ends with the process may still ask.
struct Module {
  AVICOMPRESSOPTIONS compressOptions{};
  uint64_t segmentBytes = kDefaultSegmentBytes;
};

Module& M() {
  static Module& m = *new Module;
  return m;
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

}  // namespace

bool AviOpenWriter(orvik::RecordingOutput& recording, HWND ownerWindow,
                   const std::wstring& bitmapPath, const std::wstring& aviPath, int frameRate) {
  recording.Close();  // one writer at a time
  const int rate = std::clamp(frameRate, 1, 30);
  cDIB frame;
  std::optional<orvik::RecordingOutput::Request> request =
      orvik::RequestFromTemplate(bitmapPath, aviPath, rate, &frame);
  if (!request) {
    tk::MsgBox(L"Could not load first bitmap file in list!", MB_ICONWARNING);
    recording.FailOpen(EngineError::TemplateUnreadable);
    return false;
  }
  orvik::CodecSettings codec;
  if (!ChooseCodec(ownerWindow, bitmapPath + L".codec-check.avi", frame, rate, &codec)) {
    recording.FailOpen(EngineError::CodecCancelled);
    return false;
  }
  request->codec = codec;
  request->segmentBytes = M().segmentBytes;
  return recording.Open(*request) == EngineError::None;
}

int32_t AviCloseWriter(orvik::RecordingOutput& recording) {
  const EngineError closed = recording.Close();
  const EngineError opened = recording.OpenError();
  return static_cast<int32_t>(opened != EngineError::None ? opened : closed);
}

bool AviWriterIsOpen(const orvik::RecordingOutput& recording) { return recording.Accepting(); }

EngineError AviWriterError(const orvik::RecordingOutput& recording) { return recording.Error(); }

uint32_t AviNextCodec() {
  const DWORD last = M().compressOptions.fccHandler;
  return last ? last : orvik::zmbv::kZmbvFourCC;
}

void AviSetSegmentBytes(uint64_t bytes) { M().segmentBytes = bytes; }

}  // namespace AVIDecs
