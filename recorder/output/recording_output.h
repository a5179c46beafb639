#pragma once
// One recording's file as the program makes it on Windows: the frame surfaces the screen is
// copied into, the encoder (H.264 for MP4, the one the codec dialog chose for AVI), the
// container, the disk, and the writer's thread that joins them (RecordingFile). A session owns one
// for its recordings; the writer's calls (AVIDecs) act on the one in use.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "recorder/encode/vcm_compressor.h"
#include "recorder/file/avi_container.h"
#include "recorder/file/unfinished_recording.h"
#include "recorder/file/windows_disk.h"
#include "recorder/output/cdib.h"
#include "recorder/output/engine_error.h"
#include "recorder/output/file_format.h"
#include "recorder/output/frame_surfaces.h"
#include "recorder/output/recording_file.h"
#include "sound/sound_source.h"

namespace orvik {

class RecordingOutput {
 public:
  struct Request {
    std::wstring path;
    FileFormat format = FileFormat::Avi;
    std::vector<uint8_t> frameFormat;  // BITMAPINFOHEADER (+ masks / palette) of the frames
    size_t frameBytes = 0;
    CodecSettings codec;  // AVI only
    int framesPerSecond = 10;
    uint64_t segmentBytes = kDefaultSegmentBytes;  // AVI only
  };
  // A frame surface lent to the capture for one slot.
  struct Capture {
    QueuedFrame frame;
    HDC dc = nullptr;
  };

  // What the next file records beside the picture: the sound and the recording's time, which
  // the sound follows and to which the picture is held at the end (none: the picture alone).
  void SetSound(sound::SoundSource* sound, std::function<double()> elapsed);
  // Makes the frame surfaces and opens the file (see RecordingFile::Open).
  EngineError Open(const Request& request);
  // An MP4 of the frame format of the bitmap at `bitmapPath` (the black template frame): H.264
  // and AAC are settled, no dialog is asked. CodecRefused also when the program was built
  // without MP4's encoders; TemplateUnreadable when the bitmap cannot be read.
  EngineError OpenMp4(const std::wstring& bitmapPath, const std::wstring& path,
                      int framesPerSecond);
  // An open that failed before it came to the file (the template, the codec dialog).
  void FailOpen(EngineError why);

  std::optional<Capture> Acquire(Slot slot, bool waitForRoom = false);
  void Submit(const Capture& capture);
  // Finishes the file (see RecordingFile::Close). The surfaces stay, and what was last captured
  // into them readable, until ReleaseSurfaces or the next Open.
  EngineError Close(bool keep = true);
  void ReleaseSurfaces() { surfaces_.reset(); }

  bool Accepting() const { return file_.Accepting(); }
  // Why the last open failed, or what stopped the writer by itself; None while all is well.
  EngineError Error() const;
  EngineError OpenError() const { return openError_; }
  uint32_t Dropped() const { return file_.Dropped(); }
  uint32_t FramesWritten() const { return file_.FramesWritten(); }
  // Whether the recording's file has its name (see RecordingFile::Named): after a stop, whether
  // there is a recording at Path().
  bool Named() const { return file_.Named(); }
  const std::wstring& Path() const { return path_; }
  // What the next start needs to find this recording's file after a kill and to know it for
  // ours (after a successful Open; its identity unknown when the system did not say).
  UnfinishedRecording Unfinished() const;

 private:
  RecordingFile file_;
  std::shared_ptr<FrameSurfaces> surfaces_;
  sound::SoundSource* sound_ = nullptr;
  std::function<double()> elapsed_;
  std::wstring path_;
  RecordingId id_{};
  std::shared_ptr<MadeFile> made_;
  EngineError openError_ = EngineError::None;
};

// A request for a file of the frame format of the bitmap at `bitmapPath` (read into `frame`
// when given); none when it cannot be read.
std::optional<RecordingOutput::Request> RequestFromTemplate(const std::wstring& bitmapPath,
                                                            const std::wstring& path,
                                                            int framesPerSecond,
                                                            cDIB* frame = nullptr);

}  // namespace orvik
