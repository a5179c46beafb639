#pragma once
// Loads a BMP file (or a packed DIB in memory) into its bitmap-info block and its pixel
// block and exposes the header fields and both blocks. The AVI writer reloads the frame
// bitmap through one instance for every recorded frame, so a load of a file with the same
// size as the previous one allocates nothing and reads the file with one call.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/bmp_format.h"

class cDIB {
 public:
  // Loads the file; shows the reason in a message box and returns false when it cannot be
  // loaded. A failed load leaves the previous content in place.
  bool CreateFromFile(const std::wstring& name);
  // Copies a packed DIB of 16 bits or more per pixel from `size` readable bytes at `address`.
  bool CreateFromPackedDIBPointer(const void* address, size_t size);
  // Writes the content as a BMP file (an existing longer file keeps its tail). False when
  // nothing is loaded or the file cannot be written.
  bool WriteToFile(const std::wstring& name);

  int32_t BitCount() const { return infoHeader.biBitCount; }
  int32_t Height() const { return infoHeader.biHeight; }
  int32_t Width() const { return infoHeader.biWidth; }
  int32_t Compression() const { return static_cast<int32_t>(infoHeader.biCompression); }
  int32_t SizeInfoHeader() const { return static_cast<int32_t>(infoHeader.biSize); }
  // The pixel block's size; computed from the geometry when the file stores 0.
  int32_t SizeImage() const { return static_cast<int32_t>(infoHeader.biSizeImage); }
  int32_t Planes() const { return infoHeader.biPlanes; }
  int32_t ClrImportant() const { return static_cast<int32_t>(infoHeader.biClrImportant); }
  int32_t ClrUsed() const { return static_cast<int32_t>(infoHeader.biClrUsed); }
  int32_t XPPM() const { return infoHeader.biXPelsPerMeter; }
  int32_t YPPM() const { return infoHeader.biYPelsPerMeter; }
  int32_t FileType() const { return fileHeader.bfType; }
  int32_t SizeFileHeader() const { return static_cast<int32_t>(fileHeader.bfSize); }
  int32_t BitOffset() const { return static_cast<int32_t>(fileHeader.bfOffBits); }
  // Valid until the next load or the end of the object; null before the first load.
  const uint8_t* PointerToBits() const { return pixelBytes.data; }
  const uint8_t* PointerToBitmapInfo() const { return infoBytes.data; }
  int32_t SizeBitmapInfo() const { return static_cast<int32_t>(infoBytes.size); }

  // Whether a failed load says why in a message box (it does unless told otherwise). The
  // recorder reads a frame on every tick and must not put up a box for each one.
  void SetMessagesShown(bool shown) { messagesShown_ = shown; }

 private:
  // A view into `loaded_`.
  struct Block {
    const uint8_t* data = nullptr;
    size_t size = 0;
  };

  bool FileExists(const std::wstring& name) const;
  bool ReadWholeFile(const std::wstring& name);
  void Tell(const std::wstring& text, UINT icon) const;
  void Adopt(const orvik::bmp::Layout& layout);

  Block pixelBytes;
  Block infoBytes;
  orvik::bmp::InfoHeader infoHeader;
  orvik::bmp::FileHeader fileHeader;
  bool messagesShown_ = true;

  // The blocks live in `loaded_`; a file is read into `incoming_` and the two swap only
  // when it checks out, so both keep their capacity from frame to frame.
  std::vector<uint8_t> loaded_;
  std::vector<uint8_t> incoming_;
};
