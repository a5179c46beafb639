#include "recorder/output/recording_output.h"

#include <algorithm>
#include <cstring>

#include "recorder/encode/aac_encoder.h"
#include "recorder/encode/h264_encoder.h"
#include "recorder/file/mp4_container.h"
#include "toolkit/app.h"
#include "toolkit/screen.h"

namespace orvik {

namespace {
// Frames waiting for the writer: enough to ride out a slow write, bounded in memory
// (33 MB at 1920 x 1080 x 32).
constexpr size_t kQueuedFrames = 4;

std::unique_ptr<FrameEncoder> EncoderFor(const RecordingOutput::Request& request) {
  if (request.format == FileFormat::Mp4)
    return MakeH264Encoder(request.frameFormat, request.framesPerSecond);
  return MakeFrameEncoder(request.codec, request.frameFormat, request.framesPerSecond);
}

// Null when the program was built without MP4's sound encoder.
std::unique_ptr<ContainerWriter> ContainerFor(const RecordingOutput::Request& request,
                                              const RecordingId& id) {
  if (request.format == FileFormat::Avi)
    return std::make_unique<AviContainer>(request.segmentBytes);
  std::unique_ptr<SoundEncoder> aac = MakeAacEncoder();
  if (!aac) return nullptr;
  return std::make_unique<Mp4Container>(std::move(aac), id);
}
}  // namespace

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

std::optional<RecordingOutput::Request> RequestFromTemplate(const std::wstring& bitmapPath,
                                                            const std::wstring& path,
                                                            int framesPerSecond, cDIB* frame) {
  cDIB own;
  cDIB& dib = frame ? *frame : own;
  if (!dib.CreateFromFile(bitmapPath)) return std::nullopt;
  RecordingOutput::Request request;
  request.path = path;
  request.frameFormat = StreamFormat(dib);
  request.frameBytes = static_cast<size_t>(dib.SizeImage());
  request.framesPerSecond = framesPerSecond;
  return request;
}

EngineError RecordingOutput::OpenMp4(const std::wstring& bitmapPath, const std::wstring& path,
                                     int framesPerSecond) {
  Close();  // one writer at a time
  std::optional<Request> request =
      RequestFromTemplate(bitmapPath, path, std::clamp(framesPerSecond, 1, 30));
  if (!request) {
    FailOpen(EngineError::TemplateUnreadable);
    return openError_;
  }
  request->format = FileFormat::Mp4;
  return Open(*request);
}

void RecordingOutput::SetSound(sound::SoundSource* sound, std::function<double()> elapsed) {
  sound_ = sound;
  elapsed_ = std::move(elapsed);
}

EngineError RecordingOutput::Open(const Request& request) {
  Close();
  path_ = request.path;
  id_ = NewRecordingId();
  made_ = std::make_shared<MadeFile>();
  openError_ = EngineError::None;
  RecordingFile::Setup setup;
  setup.encoder = EncoderFor(request);
  setup.container = ContainerFor(request, id_);
  surfaces_ = std::make_shared<FrameSurfaces>();
  if (!setup.encoder || !setup.container ||
      !surfaces_->Create(request.frameFormat, request.frameBytes, kQueuedFrames)) {
    surfaces_.reset();
    return openError_ = EngineError::CodecRefused;  // nothing can take frames of this format
  }
  setup.buffers = surfaces_->Bits();
  setup.buffersHaveRoom = surfaces_->HaveRoom();
  setup.buffersOwner = surfaces_;
  setup.frameBytes = request.frameBytes;
  setup.framesPerSecond = request.framesPerSecond;
  setup.disk = std::make_unique<WindowsDisk>(request.path, made_);
  setup.sound = sound_;
  setup.elapsed = elapsed_;
  setup.now = tk::MonotonicSeconds;
  setup.wait = tk::WaitUntil;
  openError_ = file_.Open(std::move(setup));
  if (openError_ != EngineError::None) surfaces_.reset();
  return openError_;
}

void RecordingOutput::FailOpen(EngineError why) {
  Close();
  surfaces_.reset();
  openError_ = why;
}

std::optional<RecordingOutput::Capture> RecordingOutput::Acquire(Slot slot, bool waitForRoom) {
  const std::optional<QueuedFrame> frame = file_.Acquire(slot, waitForRoom);
  if (!frame) return std::nullopt;
  return Capture{*frame, surfaces_->DcOf(frame->bits)};
}

void RecordingOutput::Submit(const Capture& capture) {
  GdiFlush();  // the drawing is in the pixels before the writer's thread reads them
  file_.Submit(capture.frame);
}

EngineError RecordingOutput::Close(bool keep) { return file_.Close(keep); }

UnfinishedRecording RecordingOutput::Unfinished() const {
  UnfinishedRecording r;
  r.id = id_;
  r.path = path_;
  if (made_) {
    r.partialPath = made_->partialPath;
    if (made_->identity) r.file = {made_->identity->volume, made_->identity->index};
  }
  return r;
}

EngineError RecordingOutput::Error() const {
  return openError_ != EngineError::None ? openError_ : file_.StoppedBy();
}

}  // namespace orvik
