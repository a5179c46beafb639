#include "codec/zmbv_driver.h"

#include <cstring>
#include <new>

#include "codec/zmbv.h"

namespace orvik::zmbv {

namespace {

// An uncompressed DIB as VfW hands it over.
struct DibLayout {
  int width = 0, height = 0;  // height > 0
  bool bottomUp = true;
  PixelFormat format = PixelFormat::kBgrx32;
  size_t stride = 0;
};

DWORD Mask(const BITMAPINFOHEADER* bi, int i) {
  // The three masks follow a 40-byte header, and sit at the same offset inside V4/V5 ones.
  DWORD m;
  std::memcpy(&m, reinterpret_cast<const BYTE*>(bi) + sizeof(BITMAPINFOHEADER) + 4 * i, 4);
  return m;
}

// A header as hosts really build them: 40 bytes up to a BITMAPV5HEADER, and a colour table of
// at most 256 entries. A host hands over no size with a header, so a larger biSize or count
// would have the masks or the table read from past its buffer.
bool SaneHeader(const BITMAPINFOHEADER* bi) {
  return bi && bi->biSize >= sizeof(BITMAPINFOHEADER) && bi->biSize <= sizeof(BITMAPV5HEADER) &&
         bi->biClrUsed <= 256 && bi->biPlanes == 1;
}

bool SaneSize(const BITMAPINFOHEADER* bi) {
  return bi->biWidth > 0 && bi->biWidth <= kMaxDimension && bi->biHeight != 0 &&
         bi->biHeight <= kMaxDimension && bi->biHeight >= -kMaxDimension;
}

bool ReadDib(const BITMAPINFOHEADER* bi, DibLayout& out) {
  if (!SaneHeader(bi) || !SaneSize(bi)) return false;
  out.width = bi->biWidth;
  out.height = bi->biHeight > 0 ? bi->biHeight : -bi->biHeight;
  out.bottomUp = bi->biHeight > 0;
  if (bi->biCompression == BI_RGB) {
    switch (bi->biBitCount) {
      case 8:
        out.format = PixelFormat::kPal8;
        break;
      case 16:
        out.format = PixelFormat::kRgb555;
        break;
      case 24:
        out.format = PixelFormat::kBgr24;
        break;
      case 32:
        out.format = PixelFormat::kBgrx32;
        break;
      default:
        return false;
    }
  } else if (bi->biCompression == BI_BITFIELDS) {
    const DWORD r = Mask(bi, 0), g = Mask(bi, 1), b = Mask(bi, 2);
    if (bi->biBitCount == 16 && r == 0xF800 && g == 0x07E0 && b == 0x001F)
      out.format = PixelFormat::kRgb565;
    else if (bi->biBitCount == 16 && r == 0x7C00 && g == 0x03E0 && b == 0x001F)
      out.format = PixelFormat::kRgb555;
    else if (bi->biBitCount == 32 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF)
      out.format = PixelFormat::kBgrx32;
    else
      return false;
  } else {
    return false;
  }
  out.stride = ((static_cast<size_t>(out.width) * bi->biBitCount + 31) / 32) * 4;
  // A host that gives the image's size has no more bytes than that to read or fill.
  return bi->biSizeImage == 0 || bi->biSizeImage >= out.stride * out.height;
}

bool IsZmbv(DWORD compression) {
  return compression == kZmbvFourCC || compression == mmioFOURCC('z', 'm', 'b', 'v');
}

// A ZMBV format header: its size and depth (8, 16, or 32; files from elsewhere say 24 for
// 32-bit streams).
bool ReadZmbv(const BITMAPINFOHEADER* bi, int& width, int& height, int& bits) {
  if (!SaneHeader(bi) || !SaneSize(bi) || !IsZmbv(bi->biCompression)) return false;
  width = bi->biWidth;
  height = bi->biHeight > 0 ? bi->biHeight : -bi->biHeight;
  bits = bi->biBitCount == 24 || bi->biBitCount == 0 ? 32 : bi->biBitCount;
  return bits == 8 || bits == 16 || bits == 32;
}

// Entries of an 8-bit DIB's colour table: biClrUsed, or all 256 when it is 0.
int ColorCount(const BITMAPINFOHEADER* bi) {
  if (bi->biBitCount != 8) return 0;
  return bi->biClrUsed == 0 || bi->biClrUsed > 256 ? 256 : static_cast<int>(bi->biClrUsed);
}

// The stream format made from `dib`, without its colour table.
BITMAPINFOHEADER ZmbvFormat(const DibLayout& dib, int colors) {
  const int bpp = BytesPerPixel(StoredFormat(dib.format));
  BITMAPINFOHEADER h{};
  h.biSize = sizeof(BITMAPINFOHEADER);
  h.biWidth = dib.width;
  h.biHeight = dib.height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<WORD>(8 * bpp);
  h.biCompression = kZmbvFourCC;
  h.biSizeImage = static_cast<DWORD>(dib.width * dib.height * bpp);
  h.biClrUsed = static_cast<DWORD>(colors);
  return h;
}

// Whether `out` names the stream made from `dib` as ICM_COMPRESS_GET_FORMAT gives it: a host
// that asks for another label, size or depth would store frames their header misdescribes.
bool Produces(const DibLayout& dib, const BITMAPINFOHEADER* out) {
  const BITMAPINFOHEADER made = ZmbvFormat(dib, 0);
  return SaneHeader(out) && out->biCompression == made.biCompression &&
         out->biWidth == made.biWidth && out->biHeight == made.biHeight &&
         out->biBitCount == made.biBitCount && (made.biBitCount == 8 || out->biClrUsed == 0);
}

// Whether a message's size argument covers the structure it comes with.
bool Covers(LPARAM size, size_t structure) { return size >= static_cast<LPARAM>(structure); }

const RGBQUAD* ColorTable(const BITMAPINFOHEADER* bi) {
  return reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(bi) + bi->biSize);
}

// VfW copies an ICINFO whole or not at all, and answers with the bytes copied.
LRESULT GetInfo(LPARAM buffer, LPARAM size) {
  if (!buffer || !Covers(size, sizeof(ICINFO))) return 0;
  ICINFO info{};
  info.dwSize = sizeof(ICINFO);
  info.fccType = ICTYPE_VIDEO;
  info.fccHandler = kZmbvFourCC;
  info.dwFlags = VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC | VIDCF_FASTTEMPORALD;
  info.dwVersion = 1;
  info.dwVersionICM = ICVERSION;
  wcscpy(info.szName, L"ZMBV");
  wcscpy(info.szDescription, kCodecDescription);
  std::memcpy(reinterpret_cast<void*>(buffer), &info, sizeof info);
  return sizeof(ICINFO);
}

// One opened instance of the driver: a compressor and a decompressor, each with its stream.
struct Instance {
  Encoder encoder;
  DibLayout in;
  bool compressing = false;
  double framesPerSecond = 10;
  uint32_t keyRate = 0;  // the host's, from ICM_COMPRESS_FRAMES_INFO

  Decoder decoder;
  bool decompressing = false;

  LRESULT CompressQuery(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
    DibLayout dib;
    if (!ReadDib(in, dib)) return ICERR_BADFORMAT;
    return !out || Produces(dib, out) ? ICERR_OK : ICERR_BADFORMAT;
  }

  LRESULT CompressGetFormat(const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out) {
    DibLayout dib;
    if (!ReadDib(in, dib)) return ICERR_BADFORMAT;
    const int colors = ColorCount(in);
    const LRESULT size = sizeof(BITMAPINFOHEADER) + colors * sizeof(RGBQUAD);
    if (!out) return size;
    const BITMAPINFOHEADER h = ZmbvFormat(dib, colors);
    std::memcpy(out, &h, sizeof h);
    if (colors) std::memcpy(out + 1, ColorTable(in), colors * sizeof(RGBQUAD));
    return ICERR_OK;
  }

  LRESULT CompressBegin(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
    if (CompressQuery(in, out) != ICERR_OK) return ICERR_BADFORMAT;
    ReadDib(in, this->in);
    Options options;
    options.framesPerSecond = framesPerSecond;
    options.keyFrameInterval = keyRate;
    compressing = encoder.Begin(this->in.width, this->in.height, this->in.format, options);
    return compressing ? ICERR_OK : ICERR_MEMORY;
  }

  // The frame's header must be the one compression began with: its sizes bound what is read.
  bool BegunWith(const BITMAPINFOHEADER* bi) const {
    DibLayout dib;
    return ReadDib(bi, dib) && dib.width == in.width && dib.height == in.height &&
           dib.format == in.format && dib.bottomUp == in.bottomUp;
  }

  LRESULT Compress(const ICCOMPRESS* c) {
    if (!compressing || !c || !c->lpInput || !c->lpOutput || !c->lpbiOutput) return ICERR_ERROR;
    if (!BegunWith(c->lpbiInput)) return ICERR_BADFORMAT;
    if (in.format == PixelFormat::kPal8) {
      Palette palette{};
      const RGBQUAD* table = ColorTable(c->lpbiInput);
      for (int i = 0; i < ColorCount(c->lpbiInput); ++i) {
        palette[i * 3] = table[i].rgbRed;
        palette[i * 3 + 1] = table[i].rgbGreen;
        palette[i * 3 + 2] = table[i].rgbBlue;
      }
      encoder.SetPalette(palette);
    }
    const auto* pixels = static_cast<const uint8_t*>(c->lpInput);
    const ptrdiff_t stride = static_cast<ptrdiff_t>(in.stride);
    const uint8_t* top = in.bottomUp ? pixels + stride * (in.height - 1) : pixels;
    // The host sized the output with ICM_COMPRESS_GET_SIZE.
    const Encoded e =
        encoder.Encode(top, in.bottomUp ? -stride : stride, c->dwFlags & ICCOMPRESS_KEYFRAME,
                       static_cast<uint8_t*>(c->lpOutput), encoder.MaxFrameBytes());
    if (e.size == 0) return ICERR_ERROR;
    c->lpbiOutput->biSizeImage = static_cast<DWORD>(e.size);
    if (c->lpdwFlags) *c->lpdwFlags = e.key ? AVIIF_KEYFRAME : 0;
    return ICERR_OK;
  }

  LRESULT DecompressQuery(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
    int w, h, bits;
    if (!ReadZmbv(in, w, h, bits)) return ICERR_BADFORMAT;
    if (!out) return ICERR_OK;
    DibLayout dib;
    if (!ReadDib(out, dib) || dib.width != w || dib.height != h) return ICERR_BADFORMAT;
    const int outBits = 8 * BytesPerPixel(dib.format);
    const bool ok = outBits == bits || (bits == 32 && outBits == 24);
    return ok ? ICERR_OK : ICERR_BADFORMAT;
  }

  LRESULT DecompressGetFormat(const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out) {
    int w, h, bits;
    if (!ReadZmbv(in, w, h, bits)) return ICERR_BADFORMAT;
    const int colors = bits == 8 ? 256 : 0;
    const LRESULT size = sizeof(BITMAPINFOHEADER) + colors * sizeof(RGBQUAD);
    if (!out) return size;
    BITMAPINFOHEADER o{};
    o.biSize = sizeof(BITMAPINFOHEADER);
    o.biWidth = w;
    o.biHeight = h;
    o.biPlanes = 1;
    o.biBitCount = static_cast<WORD>(bits);
    o.biCompression = BI_RGB;
    o.biSizeImage = static_cast<DWORD>(((static_cast<size_t>(w) * bits + 31) / 32) * 4 * h);
    o.biClrUsed = static_cast<DWORD>(colors);
    std::memcpy(out, &o, sizeof o);
    if (colors) {
      // The stream's palette arrives with its first frame; the format's table is a start. A
      // stream header need carry no table, so only the entries it counts are read.
      auto* table = reinterpret_cast<RGBQUAD*>(out + 1);
      std::memset(table, 0, colors * sizeof(RGBQUAD));
      if (in->biBitCount == 8) std::memcpy(table, ColorTable(in), in->biClrUsed * sizeof(RGBQUAD));
    }
    return ICERR_OK;
  }

  LRESULT DecompressBegin(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
    if (DecompressQuery(in, out) != ICERR_OK) return ICERR_BADFORMAT;
    int w, h, bits;
    ReadZmbv(in, w, h, bits);
    decompressing = decoder.Begin(w, h);
    return decompressing ? ICERR_OK : ICERR_MEMORY;
  }

  LRESULT Decompress(const ICDECOMPRESS* d) {
    if (!decompressing || !d || !d->lpbiInput || !d->lpbiOutput) return ICERR_ERROR;
    int w, h, bits;
    if (!ReadZmbv(d->lpbiInput, w, h, bits) || w != decoder.Width() || h != decoder.Height())
      return ICERR_BADFORMAT;
    const DWORD size = d->lpbiInput->biSizeImage;
    // An empty frame repeats the last picture.
    if (!(d->dwFlags & ICDECOMPRESS_NULLFRAME) && size > 0 && d->lpInput) {
      if (decoder.Decode(static_cast<const uint8_t*>(d->lpInput), size) == DecodeResult::kError)
        return ICERR_ERROR;
    }
    if (!d->lpOutput) return ICERR_OK;
    DibLayout dib;
    if (!ReadDib(d->lpbiOutput, dib) || dib.width != decoder.Width() ||
        dib.height != decoder.Height())
      return ICERR_BADFORMAT;
    auto* pixels = static_cast<uint8_t*>(d->lpOutput);
    const ptrdiff_t stride = static_cast<ptrdiff_t>(dib.stride);
    uint8_t* top = dib.bottomUp ? pixels + stride * (dib.height - 1) : pixels;
    if (!decoder.Pixels()) return ICERR_OK;  // nothing decoded yet: leave the buffer
    return decoder.CopyTo(top, dib.bottomUp ? -stride : stride, dib.format) ? ICERR_OK
                                                                            : ICERR_BADFORMAT;
  }

  LRESULT Message(UINT message, LPARAM lParam1, LPARAM lParam2) {
    const auto* bi1 = reinterpret_cast<const BITMAPINFOHEADER*>(lParam1);
    auto* bi2 = reinterpret_cast<BITMAPINFOHEADER*>(lParam2);
    switch (message) {
      case ICM_ABOUT:
        if (lParam1 != -1)
          MessageBoxW(reinterpret_cast<HWND>(lParam1),
                      L"Orvik lossless screen codec\n\nZMBV (Zip Motion Blocks Video): unchanged "
                      L"blocks cost nothing, moved ones a vector, the rest is deflated.",
                      L"About the Orvik screen codec", MB_OK | MB_ICONINFORMATION);
        return ICERR_OK;
      case ICM_CONFIGURE:
        return ICERR_UNSUPPORTED;
      case ICM_GETSTATE:
      case ICM_SETSTATE:
        return 0;  // no settings to keep: the state buffer is neither read nor written
      case ICM_GETDEFAULTKEYFRAMERATE:
        if (lParam1) *reinterpret_cast<DWORD*>(lParam1) = 100;
        return ICERR_OK;
      case ICM_GETDEFAULTQUALITY:
      case ICM_GETQUALITY:
        if (lParam1) *reinterpret_cast<DWORD*>(lParam1) = ICQUALITY_HIGH;
        return ICERR_OK;
      case ICM_SETQUALITY:
        return ICERR_OK;  // lossless whatever is asked
      case ICM_COMPRESS_FRAMES_INFO: {
        const auto* f = reinterpret_cast<const ICCOMPRESSFRAMES*>(lParam1);
        if (!f || !Covers(lParam2, sizeof(ICCOMPRESSFRAMES))) return ICERR_BADPARAM;
        if (f->dwRate > 0 && f->dwScale > 0)
          framesPerSecond = static_cast<double>(f->dwRate) / f->dwScale;
        keyRate = f->lKeyRate > 0 ? static_cast<uint32_t>(f->lKeyRate) : 0;
        return ICERR_OK;
      }
      case ICM_COMPRESS_QUERY:
        return CompressQuery(bi1, bi2);
      case ICM_COMPRESS_GET_FORMAT:
        return CompressGetFormat(bi1, bi2);
      case ICM_COMPRESS_GET_SIZE: {
        DibLayout dib;
        if (!ReadDib(bi1, dib) || CompressQuery(bi1, bi2) != ICERR_OK) return 0;
        return static_cast<LRESULT>(MaxFrameBytes(dib.width, dib.height, dib.format));
      }
      case ICM_COMPRESS_BEGIN:
        return CompressBegin(bi1, bi2);
      case ICM_COMPRESS:
        if (!Covers(lParam2, sizeof(ICCOMPRESS))) return ICERR_BADPARAM;
        return Compress(reinterpret_cast<const ICCOMPRESS*>(lParam1));
      case ICM_COMPRESS_END:
        encoder.End();
        compressing = false;
        return ICERR_OK;
      case ICM_DECOMPRESS_QUERY:
        return DecompressQuery(bi1, bi2);
      case ICM_DECOMPRESS_GET_FORMAT:
        return DecompressGetFormat(bi1, bi2);
      case ICM_DECOMPRESS_BEGIN:
        return DecompressBegin(bi1, bi2);
      case ICM_DECOMPRESS:
        if (!Covers(lParam2, sizeof(ICDECOMPRESS))) return ICERR_BADPARAM;
        return Decompress(reinterpret_cast<const ICDECOMPRESS*>(lParam1));
      case ICM_DECOMPRESS_END:
        decompressing = false;
        return ICERR_OK;
      default:
        return ICERR_UNSUPPORTED;
    }
  }
};

}  // namespace

LRESULT CALLBACK DriverProc(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM lParam1,
                            LPARAM lParam2) {
  switch (message) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_INSTALL:
    case DRV_REMOVE:
      return 1;
    case DRV_QUERYCONFIGURE:
      return 0;
    case DRV_CONFIGURE:
      return DRV_CANCEL;
    case DRV_OPEN: {
      auto* open = reinterpret_cast<ICOPEN*>(lParam2);
      if (open && open->fccType != ICTYPE_VIDEO && open->fccType != streamtypeVIDEO) return 0;
      auto* instance = new (std::nothrow) Instance;
      if (open) open->dwError = instance ? ICERR_OK : ICERR_MEMORY;
      return reinterpret_cast<LRESULT>(instance);
    }
    case DRV_CLOSE:
      delete reinterpret_cast<Instance*>(driverId);
      return 1;
    default:
      break;
  }
  if (message < DRV_USER) return DefDriverProc(driverId, driver, message, lParam1, lParam2);
  // ICInfo asks without opening an instance.
  if (message == ICM_GETINFO) return GetInfo(lParam1, lParam2);
  auto* instance = reinterpret_cast<Instance*>(driverId);
  if (!instance) return ICERR_BADHANDLE;
  // Nothing may throw back into the host: a failed allocation is an error code.
  try {
    return instance->Message(message, lParam1, lParam2);
  } catch (const std::bad_alloc&) {
    return ICERR_MEMORY;
  }
}

bool RegisterOrvikCodec() {
  return ICInstall(ICTYPE_VIDEO, kZmbvFourCC, reinterpret_cast<LPARAM>(&DriverProc), nullptr,
                   ICINSTALL_FUNCTION) != FALSE;
}

void UnregisterOrvikCodec() { ICRemove(ICTYPE_VIDEO, kZmbvFourCC, 0); }

}  // namespace orvik::zmbv
