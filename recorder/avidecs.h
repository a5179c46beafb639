#pragma once
// The process's one AVI writer. AviOpenWriter learns the frame format from a first bitmap file
// (the black template frame), lets the user pick a codec in the system's compression dialog and
// creates the file; each frame handed over afterwards goes through a small queue to a worker
// thread that compresses it with that codec (through the video compression manager) and writes
// it into an AVI 2.0 file of our own making, which plays whenever the process stops, however it
// stops. Used from the GUI thread; one writer at a time.
//
//   capture (GUI thread) -> FrameQueue -> VcmCompressor -> avi::Writer -> file (worker thread)
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace AVIDecs {

// Why an open writer stopped accepting frames before AviCloseWriter was called.
enum class CloseReason {
  None,         // still open, closed by AviCloseWriter, or never opened
  WriteFailed,  // the codec or the file refused a frame; the frames before it are kept
  DiskFull,     // the disk had no room left for the next frame; earlier frames are kept
};

// Loads `bitmapPath` for the frame size and pixel format, shows the compression-options
// dialog owned by `ownerWindow`, opens the chosen codec on that format, and only then creates
// `aviPath` (replacing a file of that name) for a video stream at `frameRate` frames per second
// (clamped to 1..30). True when frames can be written. On false the writer is closed again; a
// file at `aviPath` is untouched when the bitmap could not be loaded (after the reader's message
// and "Could not load first bitmap file in list!"), the dialog was cancelled or the codec
// refused the format, and deleted when it was created but could not be written.
bool AviOpenWriter(HWND ownerWindow, const std::wstring& bitmapPath, const std::wstring& aviPath,
                   int frameRate);

// The frame for slot `frameIndex`, laid out as the first bitmap's pixel block (same size, depth
// and row order), taken from memory. 32-bit pixels are made opaque on the way (GDI leaves their
// fourth byte 0). Does nothing when the writer is not open or the slot was already handed over;
// slots skipped in between stay empty (players hold the previous picture). When the worker is
// still busy with earlier frames the frame is dropped and its slot stays empty.
void AviWriteFramePixels(int32_t frameIndex, const void* bits);

// The same for a frame in a bitmap file, for callers that have one; it waits for the worker
// rather than dropping the frame. On a read failure the previous frame is written again (the
// reader says why once per recording); a bitmap of another size or depth leaves its slot empty.
void AviWriteFrame(int32_t frameIndex, const std::wstring& bitmapPath);

// Writes what is queued, finishes the file and releases the codec. Safe to call any number of
// times. Returns 0 when the last open and write succeeded.
int32_t AviCloseWriter();

// True between a successful AviOpenWriter and the close (explicit or after a failure). The
// worker may close the writer by itself (a full disk, a failed write): the next call says so.
bool AviWriterIsOpen();
// Why the last opened writer closed itself; None while it is open or after a normal close.
CloseReason AviWriterCloseReason();
// Slots of the current (or last) recording left empty because the worker was still busy.
uint32_t AviDroppedFrames();

// Largest RIFF segment of the files written from now on (tests use small ones to cross many).
constexpr uint64_t kDefaultSegmentBytes = 1ull << 30;
void AviSetSegmentBytes(uint64_t bytes);

}  // namespace AVIDecs
