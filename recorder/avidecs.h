#pragma once
// The process's one AVI writer. A recording is a sequence of BMP files on disk (the
// temporary frame bitmap): AviOpenWriter learns the frame format from the first one and
// lets the user pick a codec, AviWriteFrame appends each frame as a key frame, and
// AviCloseWriter finishes the file. State lives at module level: one writer at a time,
// used from the GUI thread only.
//
// The interface names no AVI library type, so the library behind it can be replaced.
#include <windows.h>

#include <cstdint>
#include <string>

namespace AVIDecs {

// Files are never allowed to grow past this (headers and index included): past 2^31 bytes
// the platform's library corrupts the file while still reporting success.
constexpr uint64_t kDefaultSizeLimit = 2000000000;

// Why an open writer stopped accepting frames before AviCloseWriter was called.
enum class CloseReason {
  None,         // still open, closed by AviCloseWriter, or never opened
  WriteFailed,  // the library refused a frame; the frames before it are kept
  SizeLimit,    // the next frame would have passed the size limit; earlier frames are kept
  DiskFull,     // the disk had no room left for the next frame; earlier frames are kept
};

// Loads `bitmapPath` for the frame size and pixel format, shows the compression-options
// dialog owned by `ownerWindow`, tries the chosen codec on that format in a scratch file next
// to the bitmap, and only then creates `aviPath` (replacing a file of that name) and prepares
// the compressed video stream at `frameRate` frames per second (clamped to 1..30).
// True when frames can be written. On false the writer is closed again; a file at `aviPath`
// is untouched when the bitmap could not be loaded (after the reader's message and "Could not
// load first bitmap file in list!"), the dialog was cancelled or the codec refused the format,
// and deleted when the library failed on the output file itself.
bool AviOpenWriter(HWND ownerWindow, const std::wstring& bitmapPath, const std::wstring& aviPath,
                   int frameRate);

// Reads `bitmapPath` and writes its pixels as the key frame at `frameIndex`. Does nothing
// when the writer is not open. Indices past the next one leave empty frames in between
// (players hold the previous picture); an index that was already written is skipped.
// A failed write, reaching the size limit or a full disk closes the writer, keeping a
// playable file of the frames before.
void AviWriteFrame(int32_t frameIndex, const std::wstring& bitmapPath);

// Releases the streams and the file (finishing it on disk) and shuts the library down.
// Safe to call any number of times. Returns the result of the last library call (0 = ok).
int32_t AviCloseWriter();

// True between a successful AviOpenWriter and the close (explicit or after a failure).
bool AviWriterIsOpen();
// Why the last opened writer closed itself; None while it is open or after a normal close.
CloseReason AviWriterCloseReason();

// Size limit for the files written from now on, in bytes (tests use small ones).
void AviSetSizeLimit(uint64_t bytes);
uint64_t AviSizeLimit();

}  // namespace AVIDecs
