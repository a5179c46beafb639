#pragma once
// The AVI writer's calls. AviOpenWriter learns the frame format from a first bitmap file (the
// black template frame), lets the user pick a codec in the system's compression dialog and opens
// the recording's file as an AVI (see RecordingOutput: a thread of its own compresses and writes
// the frames into an AVI 2.0 file that plays whenever the process stops, however it stops). Each
// call acts on the recording it is given, which its session owns; the module keeps only the
// codec last chosen, for the next dialog. Used from the GUI thread.
#include <windows.h>

#include <cstdint>
#include <string>

#include "recorder/output/engine_error.h"
#include "recorder/output/recording_output.h"

namespace AVIDecs {

using orvik::EngineError;

// Loads `bitmapPath` for the frame size and pixel format, shows the compression-options
// dialog owned by `ownerWindow`, opens the chosen codec on that format, and only then opens
// `recording`, whose file takes the name `aviPath` once its first frame is on the disk: a video
// stream at `frameRate` frames per second (clamped to 1..30). True when frames can be written.
// On false nothing stays open, a file at `aviPath` is untouched, and AviWriterError says why:
// the bitmap could not be loaded (after the message "Could not load first bitmap file in
// list!"), the dialog was cancelled, the codec refused the format, or the file could not be
// made.
bool AviOpenWriter(orvik::RecordingOutput& recording, HWND ownerWindow,
                   const std::wstring& bitmapPath, const std::wstring& aviPath, int frameRate);

// Writes what is queued, finishes the file and releases the codec. Safe to call any number of
// times. Returns 0 when the recording ended well, else the EngineError that ended it.
int32_t AviCloseWriter(orvik::RecordingOutput& recording);

// True between a successful AviOpenWriter and the close (explicit or after a failure). The
// writer may stop by itself (a full disk, a failed write): the next call says so.
bool AviWriterIsOpen(const orvik::RecordingOutput& recording);
// Why the last open failed or the writer stopped by itself; None while all is well.
EngineError AviWriterError(const orvik::RecordingOutput& recording);
// The codec the next compression dialog should open on: the last one chosen, our lossless
// codec at first.
uint32_t AviNextCodec();

// Largest RIFF segment of the files written from now on (tests use small ones to cross many).
constexpr uint64_t kDefaultSegmentBytes = orvik::kDefaultSegmentBytes;
void AviSetSegmentBytes(uint64_t bytes);

}  // namespace AVIDecs
