// The codec against the machine's ffmpeg: streams ffmpeg writes decode to ffmpeg's own
// pixels, and everything the encoder writes comes back exactly, in every input layout.
#include "codec/zmbv.h"

#include <gtest/gtest.h>

#include <cstring>

#include "avi/avi_format.h"
#include "avi/avi_writer.h"
#include "avi/posix_file_sink.h"
#include "codec/ffmpeg_pipe.h"
#include "codec/screen_scenes.h"

namespace {

using namespace orvik::zmbv;

struct Case {
  const char* ffmpegFormat;
  PixelFormat format;
};

// The scene in `format`, tightly packed, plus the palette an 8-bit picture uses.
std::vector<uint8_t> Convert(const scenes::Image& img, PixelFormat format, Palette* palette) {
  const int bpp = BytesPerPixel(format);
  std::vector<uint8_t> out(img.px.size() * bpp);
  if (palette) {
    for (int i = 0; i < 256; ++i) {
      (*palette)[i * 3] = static_cast<uint8_t>(i % 6 * 51);
      (*palette)[i * 3 + 1] = static_cast<uint8_t>(i / 6 % 6 * 51);
      (*palette)[i * 3 + 2] = static_cast<uint8_t>(i / 36 % 6 * 51);
    }
  }
  for (size_t i = 0; i < img.px.size(); ++i) {
    const uint32_t c = img.px[i];
    const uint32_t r = c >> 16 & 255, g = c >> 8 & 255, b = c & 255;
    uint8_t* o = &out[i * bpp];
    switch (format) {
      case PixelFormat::kPal8:
        o[0] = static_cast<uint8_t>((r + 25) / 51 + (g + 25) / 51 * 6 + (b + 25) / 51 * 36);
        break;
      case PixelFormat::kRgb555:
      case PixelFormat::kRgb565: {
        const uint16_t v = format == PixelFormat::kRgb555
                               ? static_cast<uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | b >> 3)
                               : static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | b >> 3);
        o[0] = static_cast<uint8_t>(v);
        o[1] = static_cast<uint8_t>(v >> 8);
        break;
      }
      case PixelFormat::kBgr24:
      case PixelFormat::kBgrx32:
        o[0] = static_cast<uint8_t>(b);
        o[1] = static_cast<uint8_t>(g);
        o[2] = static_cast<uint8_t>(r);
        if (bpp == 4) o[3] = 0;
        break;
    }
  }
  return out;
}

// Frames of every kind the codec meets: a text page, flat colours, noise, a dragged window,
// a scrolled page and a video playing; then a still stretch.
constexpr int kSceneFrames = 14;
scenes::Image SceneFrame(int w, int h, int i) {
  if (i < 4) return scenes::DraggedWindow(w, h, w / 3 + 1, h / 3 + 1, i);
  if (i < 8) return scenes::ScrollingPage(w, h, 37, i);  // vectors past +-16, rows from outside
  if (i < 12) return scenes::PlayingVideo(w, h, w / 2 + 1, h / 2 + 1, i);
  scenes::Image img(w, h);
  scenes::Desktop(img);
  if (i < 13) scenes::Noise(img, w / 4, h / 4, w / 2, h / 2, i);
  return img;
}

TEST(ZmbvDecoder, ReadsEveryFormatFfmpegWritesToFfmpegsOwnPixels) {
  codectest::TempDir dir;
  const int w = 99, h = 61;
  for (const Case& c : {Case{"bgr0", PixelFormat::kBgrx32}, Case{"rgb565le", PixelFormat::kRgb565},
                        Case{"rgb555le", PixelFormat::kRgb555}, Case{"pal8", PixelFormat::kPal8}}) {
    SCOPED_TRACE(c.ffmpegFormat);
    const std::string avi = dir.File(std::string(c.ffmpegFormat) + ".avi");
    // A scrolling picture gives ffmpeg's encoder motion to find; -g 5 restarts zlib twice.
    ASSERT_EQ(codectest::Run("ffmpeg -v error -y -f lavfi -i 'testsrc=size=99x61:rate=10,"
                             "scroll=vertical=0.03:horizontal=0.02' -frames:v 12 -g 5 -pix_fmt " +
                                 std::string(c.ffmpegFormat) + " -c:v zmbv '" + avi + "'",
                             nullptr, 120),
              0);
    const auto packets = codectest::ReadPackets(avi);
    const int bpp = BytesPerPixel(c.format);
    const size_t frameBytes = static_cast<size_t>(w) * h * bpp + (bpp == 1 ? 1024 : 0);
    const auto frames = codectest::FfmpegFrames(avi, c.ffmpegFormat, frameBytes);
    ASSERT_EQ(packets.size(), 12u);
    ASSERT_EQ(frames.size(), 12u);
    Decoder dec;
    ASSERT_TRUE(dec.Begin(w, h));
    for (size_t i = 0; i < packets.size(); ++i) {
      const DecodeResult r = dec.Decode(packets[i].data.data(), packets[i].data.size());
      ASSERT_EQ(r, packets[i].key ? DecodeResult::kKeyFrame : DecodeResult::kDeltaFrame) << i;
      ASSERT_EQ(dec.Format(), c.format);
      const uint8_t* ours = dec.Pixels();
      const uint8_t* ref = frames[i].data();
      for (size_t p = 0; p < static_cast<size_t>(w) * h * bpp; ++p) {
        if (bpp == 4 && p % 4 == 3) continue;  // bgr0 leaves the fourth byte undefined
        ASSERT_EQ(ours[p], ref[p]) << "frame " << i << " byte " << p;
      }
      if (bpp == 1) {
        // ffmpeg appends its palette as 256 B, G, R, A entries.
        const uint8_t* pal = ref + static_cast<size_t>(w) * h;
        for (int k = 0; k < 256; ++k) {
          ASSERT_EQ(dec.CurrentPalette()[k * 3], pal[k * 4 + 2]) << k;
          ASSERT_EQ(dec.CurrentPalette()[k * 3 + 1], pal[k * 4 + 1]) << k;
          ASSERT_EQ(dec.CurrentPalette()[k * 3 + 2], pal[k * 4]) << k;
        }
      }
    }
  }
}

// The stream's format in the AVI: a BITMAPINFOHEADER naming ZMBV, of the depth decoded.
avi::VideoFormat ZmbvAviFormat(int w, int h, PixelFormat format) {
  avi::VideoFormat f;
  f.width = static_cast<uint32_t>(w);
  f.height = static_cast<uint32_t>(h);
  f.handler = avi::FourCC('Z', 'M', 'B', 'V');
  f.bitmapInfo.assign(40, 0);
  uint8_t* b = f.bitmapInfo.data();
  avi::Store32(b, 40);
  avi::Store32(b + 4, f.width);
  avi::Store32(b + 8, f.height);
  avi::Store16(b + 12, 1);
  avi::Store16(b + 14, static_cast<uint16_t>(8 * BytesPerPixel(StoredFormat(format))));
  avi::Store32(b + 16, f.handler);
  avi::Store32(b + 20, f.width * f.height * BytesPerPixel(StoredFormat(format)));
  return f;
}

const char* FfmpegFormat(PixelFormat format) {
  switch (format) {
    case PixelFormat::kPal8:
      return "pal8";
    case PixelFormat::kRgb555:
      return "rgb555le";
    case PixelFormat::kRgb565:
      return "rgb565le";
    default:
      return "bgr0";
  }
}

// Every frame written goes through an AVI file into ffmpeg, which must see the same key
// frames and decode the very pixels that went in, as must our own decoder.
TEST(ZmbvRoundTrip, FfmpegAndOurDecoderGetEveryPixelBackInEveryLayoutSizeAndDeltaCoder) {
  codectest::TempDir dir;
  const PixelFormat formats[] = {PixelFormat::kBgrx32, PixelFormat::kBgr24, PixelFormat::kRgb565,
                                 PixelFormat::kRgb555, PixelFormat::kPal8};
  const struct {
    int w, h;
    DeltaCoder coder;
  } sizes[] = {{1, 1, DeltaCoder::kQuick},
               {17, 9, DeltaCoder::kZlib},
               {250, 131, DeltaCoder::kQuick},
               {250, 131, DeltaCoder::kZlib}};
  for (PixelFormat format : formats) {
    for (const auto& size : sizes) {
      const int w = size.w, h = size.h;
      SCOPED_TRACE(testing::Message() << static_cast<int>(format) << " " << w << "x" << h << " "
                                      << static_cast<int>(size.coder));
      const int bpp = BytesPerPixel(format);
      // Rows padded to four bytes and stored bottom-up, as a DIB section holds them.
      const size_t stride = (static_cast<size_t>(w) * bpp + 3) & ~size_t{3};
      const size_t rowBytes = static_cast<size_t>(w) * bpp;
      Encoder enc;
      Options options;
      options.keyFrameInterval = 5;
      options.deltaCoder = size.coder;
      ASSERT_TRUE(enc.Begin(w, h, format, options));
      Decoder dec;
      ASSERT_TRUE(dec.Begin(w, h));
      const std::string path = dir.File("rt.avi");
      avitest::PosixFileSink sink(path);
      avi::Writer writer;
      ASSERT_TRUE(writer.Open(sink, ZmbvAviFormat(w, h, format)));
      std::vector<std::vector<uint8_t>> sources;
      std::vector<Palette> palettes;
      std::vector<uint8_t> out, dib(stride * h), back(stride * h);
      for (int i = 0; i < kSceneFrames; ++i) {
        Palette palette;
        sources.push_back(Convert(SceneFrame(w, h, i), format, &palette));
        if (i == 9) palette[30] ^= 0x55;  // a palette change inside a delta frame
        palettes.push_back(palette);
        enc.SetPalette(palette);
        for (int y = 0; y < h; ++y)
          std::memcpy(&dib[stride * (h - 1 - y)], &sources.back()[rowBytes * y], rowBytes);
        const uint8_t* top = &dib[stride * (h - 1)];
        const Encoded e = enc.Encode(top, -static_cast<ptrdiff_t>(stride), i == 7, out);
        ASSERT_GT(e.size, 0u);
        ASSERT_LE(e.size, enc.MaxFrameBytes());
        // Key frames: the first, every fifth since the last one, and the one asked for.
        const bool key = i == 0 || i == 5 || i == 7 || i == 12;
        EXPECT_EQ(e.key, key) << i;
        ASSERT_TRUE(writer.WriteFrame(i, out.data(), static_cast<uint32_t>(e.size), e.key));
        ASSERT_EQ(dec.Decode(out.data(), out.size()),
                  key ? DecodeResult::kKeyFrame : DecodeResult::kDeltaFrame);
        ASSERT_TRUE(dec.CopyTo(&back[stride * (h - 1)], -static_cast<ptrdiff_t>(stride), format));
        for (int y = 0; y < h; ++y)
          ASSERT_EQ(std::memcmp(&back[stride * y], &dib[stride * y], rowBytes), 0)
              << "frame " << i << " row " << y;
        if (format == PixelFormat::kPal8) ASSERT_EQ(dec.CurrentPalette(), palette) << i;
        if (format == PixelFormat::kRgb565) {
          // A host that asked for x1r5g5b5 before the stream said r5g6b5.
          std::vector<uint8_t> as555(rowBytes * h);
          ASSERT_TRUE(
              dec.CopyTo(as555.data(), static_cast<ptrdiff_t>(rowBytes), PixelFormat::kRgb555));
          ASSERT_TRUE(as555 == Convert(SceneFrame(w, h, i), PixelFormat::kRgb555, nullptr)) << i;
        }
      }
      ASSERT_TRUE(writer.Close());

      const auto packets = codectest::ReadPackets(path);
      ASSERT_EQ(packets.size(), static_cast<size_t>(kSceneFrames));
      for (size_t i = 0; i < packets.size(); ++i)
        EXPECT_EQ(packets[i].key, i == 0 || i == 5 || i == 7 || i == 12) << i;
      const PixelFormat stored = StoredFormat(format);
      const int outBpp = BytesPerPixel(stored);
      const size_t frameBytes = static_cast<size_t>(w) * h * outBpp;
      const auto frames = codectest::FfmpegFrames(path, FfmpegFormat(stored),
                                                  frameBytes + (outBpp == 1 ? 1024 : 0));
      ASSERT_EQ(frames.size(), static_cast<size_t>(kSceneFrames));
      for (size_t i = 0; i < frames.size(); ++i) {
        const uint8_t* ref = frames[i].data();
        const uint8_t* src = sources[i].data();
        for (size_t p = 0; p < static_cast<size_t>(w) * h; ++p) {
          // bgr0 says nothing of the fourth byte; 24-bit input went in as 32-bit.
          const int n = outBpp == 4 ? 3 : outBpp;
          ASSERT_EQ(std::memcmp(ref + p * outBpp, src + p * bpp, n), 0)
              << "ffmpeg frame " << i << " pixel " << p;
        }
        if (outBpp == 1) {
          for (int k = 0; k < 256; ++k) {
            const uint8_t* e = ref + frameBytes + k * 4;
            ASSERT_EQ(palettes[i][k * 3], e[2]) << i << " entry " << k;
            ASSERT_EQ(palettes[i][k * 3 + 1], e[1]) << i << " entry " << k;
            ASSERT_EQ(palettes[i][k * 3 + 2], e[0]) << i << " entry " << k;
          }
        }
      }
    }
  }
}

TEST(ZmbvEncoder, StillScreensCostBytesAndScrolledPagesCostVectors) {
  const int w = 640, h = 480;
  Encoder enc;
  ASSERT_TRUE(enc.Begin(w, h, PixelFormat::kBgrx32));
  EXPECT_EQ(enc.KeyFrameInterval(), 100u);  // ten seconds at the default ten frames a second
  Decoder dec;
  ASSERT_TRUE(dec.Begin(w, h));
  std::vector<uint8_t> out;
  auto encode = [&](const scenes::Image& img) {
    const Encoded e = enc.Encode(img.Bytes(), img.Stride(), false, out);
    EXPECT_NE(dec.Decode(out.data(), out.size()), DecodeResult::kError);
    EXPECT_EQ(std::memcmp(dec.Pixels(), img.Bytes(), img.px.size() * 4), 0);
    return e.size;
  };
  const size_t key = encode(scenes::ScrollingPage(w, h, 0, 0));
  EXPECT_LT(encode(scenes::ScrollingPage(w, h, 0, 0)), 40u);
  // A scroll by 23 rows: everything but the rows that came in is a vector away.
  const size_t scrolled = encode(scenes::ScrollingPage(w, h, 23, 1));
  EXPECT_LT(scrolled, key / 8);
  EXPECT_LT(encode(scenes::ScrollingPage(w, h, 23, 2)), key / 8);
}

TEST(ZmbvDecoder, RefusesBrokenFramesAndDeltasUntilTheNextKeyFrame) {
  const int w = 40, h = 20;
  Encoder enc;
  ASSERT_TRUE(enc.Begin(w, h, PixelFormat::kBgrx32));
  scenes::Image a(w, h), b(w, h);
  scenes::Noise(a, 0, 0, w, h, 1);
  scenes::Noise(b, 0, 0, w, h / 2, 2);
  std::vector<uint8_t> key, delta, delta2;
  enc.Encode(a.Bytes(), a.Stride(), false, key);
  enc.Encode(b.Bytes(), b.Stride(), false, delta);
  enc.Encode(a.Bytes(), a.Stride(), false, delta2);

  Decoder dec;
  EXPECT_FALSE(dec.Begin(0, 5));
  ASSERT_TRUE(dec.Begin(w, h));
  EXPECT_EQ(dec.Decode(delta.data(), delta.size()), DecodeResult::kError);  // no key frame yet
  EXPECT_EQ(dec.Pixels(), nullptr);
  // A key frame cut short, then one with a zero block size, then one of a bigger picture.
  EXPECT_EQ(dec.Decode(key.data(), key.size() / 2), DecodeResult::kError);
  auto badBlock = key;
  badBlock[5] = 0;
  EXPECT_EQ(dec.Decode(badBlock.data(), badBlock.size()), DecodeResult::kError);
  Decoder small;
  ASSERT_TRUE(small.Begin(w, h - 1));
  EXPECT_EQ(small.Decode(key.data(), key.size()), DecodeResult::kError);

  ASSERT_EQ(dec.Decode(key.data(), key.size()), DecodeResult::kKeyFrame);
  auto cut = delta;
  cut.resize(cut.size() - 7);
  EXPECT_EQ(dec.Decode(cut.data(), cut.size()), DecodeResult::kError);
  EXPECT_EQ(dec.Decode(delta2.data(), delta2.size()), DecodeResult::kError);  // stream broken
  ASSERT_EQ(dec.Decode(key.data(), key.size()), DecodeResult::kKeyFrame);
  ASSERT_EQ(dec.Decode(delta.data(), delta.size()), DecodeResult::kDeltaFrame);
  EXPECT_EQ(std::memcmp(dec.Pixels(), b.Bytes(), b.px.size() * 4), 0);
}

// A refused frame changes nothing a player shows: not the picture, not its depth. A player
// keeps showing the last good frame until the next key frame arrives.
TEST(ZmbvDecoder, ARefusedFrameLeavesTheLastGoodPictureAsItWas) {
  const int w = 48, h = 40;
  scenes::Image a(w, h), b(w, h);
  scenes::Noise(a, 0, 0, w, h, 3);
  scenes::Noise(b, 0, 0, w, h, 4);
  Encoder enc;
  ASSERT_TRUE(enc.Begin(w, h, PixelFormat::kBgrx32));
  std::vector<uint8_t> key, delta;
  enc.Encode(a.Bytes(), a.Stride(), false, key);
  enc.Encode(b.Bytes(), b.Stride(), false, delta);
  // Key frames of another depth: one cut short, one of a taller picture.
  std::vector<uint8_t> key16, tallKey16;
  Encoder enc16;
  ASSERT_TRUE(enc16.Begin(w, h, PixelFormat::kRgb565));
  enc16.Encode(a.Bytes(), w * 2, false, key16);
  key16.resize(key16.size() / 2);
  ASSERT_TRUE(enc16.Begin(w, h + 1, PixelFormat::kRgb565));
  enc16.Encode(a.Bytes(), w * 2, false, tallKey16);
  // A delta whose last blocks' data is missing: its first blocks alone would patch the picture.
  std::vector<uint8_t> cutDelta(delta.begin(), delta.end() - 40);

  Decoder dec;
  ASSERT_TRUE(dec.Begin(w, h));
  std::vector<uint8_t> bgr(static_cast<size_t>(w) * h * 3);
  for (const auto* frame : {&key16, &tallKey16, &cutDelta}) {
    SCOPED_TRACE(frame == &cutDelta ? "delta cut short" : "key frame of 16 bits");
    // A refused frame breaks the stream, so each one follows a fresh key frame.
    ASSERT_EQ(dec.Decode(key.data(), key.size()), DecodeResult::kKeyFrame);
    EXPECT_EQ(dec.Decode(frame->data(), frame->size()), DecodeResult::kError);
    EXPECT_EQ(dec.Format(), PixelFormat::kBgrx32);
    ASSERT_NE(dec.Pixels(), nullptr);
    EXPECT_EQ(std::memcmp(dec.Pixels(), a.Bytes(), a.px.size() * 4), 0);
    ASSERT_TRUE(dec.CopyTo(bgr.data(), w * 3, PixelFormat::kBgr24));
    EXPECT_EQ(std::memcmp(bgr.data() + 3 * (w + 1), a.Bytes() + 4 * (w + 1), 3), 0);
  }
  ASSERT_EQ(dec.Decode(key.data(), key.size()), DecodeResult::kKeyFrame);
  ASSERT_EQ(dec.Decode(delta.data(), delta.size()), DecodeResult::kDeltaFrame);
  EXPECT_EQ(std::memcmp(dec.Pixels(), b.Bytes(), b.px.size() * 4), 0);
}

}  // namespace
