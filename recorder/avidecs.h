#pragma once
// The AVI writer's calls. AviOpenWriter learns the frame format from a first bitmap file (the
// black template frame), lets the user pick a codec in the system's compression dialog and has
// the recording's file opened (see RecordingFile: a thread of its own compresses and writes the
// frames into an AVI 2.0 file that plays whenever the process stops, however it stops). The
// calls act on one recording at a time, the one a session put in use; the codec last chosen is
// kept for the next dialog. Used from the GUI thread.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "recorder/cdib.h"
#include "recorder/engine_error.h"
#include "recorder/recording_file.h"

namespace AVIDecs {

using orvik::EngineError;
using orvik::Slot;

// The writer's state for one recording: its file, the reader of frame bitmaps, and the sound to
// record beside the picture (set before the open; see RecordingFile::Setup).
struct Recording {
  orvik::RecordingFile file;
  orvik::sound::SoundRecorder* sound = nullptr;
  std::function<double()> elapsed;
  std::unique_ptr<cDIB> frameDib;  // the template, then the last frame bitmap read
  int32_t width = 0, height = 0, bitCount = 0, sizeImage = 0;  // every frame's layout
  EngineError openError = EngineError::None;
  bool readerComplained = false;  // a frame file could not be read and the user was told
};

// The recording the calls below act on, until another is put in use (null: the module's own,
// for callers that write a file without a session). The caller keeps it alive meanwhile.
void AviUseRecording(Recording* recording);

// Loads `bitmapPath` for the frame size and pixel format, shows the compression-options
// dialog owned by `ownerWindow`, opens the chosen codec on that format, and only then creates
// `aviPath` (replacing a file of that name) for a video stream at `frameRate` frames per second
// (clamped to 1..30). True when frames can be written. On false nothing stays open, a file at
// `aviPath` is untouched, and AviWriterError says why: the bitmap could not be loaded (after the
// reader's message and "Could not load first bitmap file in list!"), the dialog was cancelled,
// the codec refused the format, or the file could not be made.
bool AviOpenWriter(HWND ownerWindow, const std::wstring& bitmapPath, const std::wstring& aviPath,
                   int frameRate);

// The frame for slot `frameIndex`, laid out as the first bitmap's pixel block (same size, depth
// and row order), copied from memory. Does nothing when the writer is not open or the slot was
// already handed over; slots skipped in between stay empty (players hold the previous picture).
// When the writer is still busy with earlier frames the frame is dropped and its slot stays
// empty.
void AviWriteFramePixels(Slot frameIndex, const void* bits);

// The same for a frame in a bitmap file, for callers that have one; it waits for the writer
// rather than dropping the frame. On a read failure the previous frame is written again (the
// reader says why once per recording); a bitmap of another size or depth leaves its slot empty.
void AviWriteFrame(Slot frameIndex, const std::wstring& bitmapPath);

// Writes what is queued, finishes the file and releases the codec. Safe to call any number of
// times. Returns 0 when the recording ended well, else the EngineError that ended it.
int32_t AviCloseWriter();

// True between a successful AviOpenWriter and the close (explicit or after a failure). The
// writer may stop by itself (a full disk, a failed write): the next call says so.
bool AviWriterIsOpen();
// Why the last open failed or the writer stopped by itself; None while all is well.
EngineError AviWriterError();
// Slots of the current (or last) recording left empty because the writer was still busy.
uint32_t AviDroppedFrames();
// The codec the next compression dialog should open on: the last one chosen, our lossless
// codec at first.
uint32_t AviNextCodec();

// Largest RIFF segment of the files written from now on (tests use small ones to cross many).
constexpr uint64_t kDefaultSegmentBytes = orvik::kDefaultSegmentBytes;
void AviSetSegmentBytes(uint64_t bytes);

}  // namespace AVIDecs
