// The codec as Video for Windows sees it under Wine: listed and chosen by name, frames through
// ICCompress and back through ICDecompress, and a file written by AVIFile that ffmpeg plays.
#include "codec/zmbv_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "codec/screen_scenes.h"
#include "support/codec_dialog.h"
#include "support/unix_tools.h"

using namespace testsupport;
using orvik::zmbv::kCodecDescription;
using orvik::zmbv::kZmbvFourCC;

namespace {

// A DIB's header and bottom-up pixels of a scene, at 16 (r5g6b5), 24 or 32 bits.
struct Dib {
  struct {
    BITMAPINFOHEADER h;
    DWORD masks[3];
  } info{};
  std::vector<uint8_t> bits;
  BITMAPINFO* Info() { return reinterpret_cast<BITMAPINFO*>(&info); }
};

Dib MakeDib(const scenes::Image& img, int bpp) {
  Dib d;
  d.info.h.biSize = sizeof(BITMAPINFOHEADER);
  d.info.h.biWidth = img.width;
  d.info.h.biHeight = img.height;
  d.info.h.biPlanes = 1;
  d.info.h.biBitCount = static_cast<WORD>(bpp);
  d.info.h.biCompression = bpp == 16 ? BI_BITFIELDS : BI_RGB;
  d.info.masks[0] = 0xF800;
  d.info.masks[1] = 0x07E0;
  d.info.masks[2] = 0x001F;
  const size_t stride = (static_cast<size_t>(img.width) * bpp / 8 + 3) & ~size_t{3};
  d.info.h.biSizeImage = static_cast<DWORD>(stride * img.height);
  d.bits.assign(stride * img.height, 0);
  for (int y = 0; y < img.height; ++y) {
    uint8_t* row = &d.bits[stride * (img.height - 1 - y)];
    for (int x = 0; x < img.width; ++x) {
      const uint32_t c = img.px[static_cast<size_t>(y) * img.width + x];
      if (bpp == 16) {
        const uint16_t v =
            static_cast<uint16_t>((c >> 19 & 31) << 11 | (c >> 10 & 63) << 5 | (c >> 3 & 31));
        std::memcpy(row + 2 * x, &v, 2);
      } else {
        std::memcpy(row + x * bpp / 8, &c, bpp / 8);
      }
    }
  }
  return d;
}

// `size` bytes (at most a page) that end where an inaccessible page begins, kept until the
// process ends: a driver that reads past what a header describes crashes the test.
uint8_t* BeforeAGuardPage(size_t size) {
  auto* base = static_cast<uint8_t*>(VirtualAlloc(nullptr, 8192, MEM_COMMIT, PAGE_READWRITE));
  DWORD was;
  VirtualProtect(base + 4096, 4096, PAGE_NOACCESS, &was);
  return base + 4096 - size;
}

// One way a host can get a format wrong.
struct Twist {
  const char* what;
  void (*apply)(BITMAPINFOHEADER&);
};

// What no format may say, as input or output: sizes out of range, a header too large to be
// one, more colours than 8 bits hold, no planes.
const Twist kBadAnywhere[] = {
    {"width 0", [](BITMAPINFOHEADER& h) { h.biWidth = 0; }},
    {"negative width", [](BITMAPINFOHEADER& h) { h.biWidth = -h.biWidth; }},
    {"width 16385", [](BITMAPINFOHEADER& h) { h.biWidth = 16385; }},
    {"height 0", [](BITMAPINFOHEADER& h) { h.biHeight = 0; }},
    {"height INT_MIN", [](BITMAPINFOHEADER& h) { h.biHeight = INT_MIN; }},
    {"height 16385", [](BITMAPINFOHEADER& h) { h.biHeight = 16385; }},
    {"biSize 39", [](BITMAPINFOHEADER& h) { h.biSize = 39; }},
    {"biSize 2^28", [](BITMAPINFOHEADER& h) { h.biSize = 1u << 28; }},
    {"biClrUsed 257", [](BITMAPINFOHEADER& h) { h.biClrUsed = 257; }},
    {"no planes", [](BITMAPINFOHEADER& h) { h.biPlanes = 0; }},
};

class ZmbvDriver : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(orvik::zmbv::RegisterOrvikCodec()); }
  void TearDown() override { orvik::zmbv::UnregisterOrvikCodec(); }
};

TEST_F(ZmbvDriver, IsListedOpensByFourccAndIsChosenInTheCompressionDialog) {
  std::string handlers;
  ICINFO info{};
  for (DWORD i = 0; ICInfo(ICTYPE_VIDEO, i, &info); ++i)
    handlers += std::string(reinterpret_cast<const char*>(&info.fccHandler), 4) + " ";
  EXPECT_NE(handlers.find("ZMBV"), std::string::npos) << handlers;

  HIC hic = ICOpen(ICTYPE_VIDEO, kZmbvFourCC, ICMODE_QUERY);
  ASSERT_NE(hic, nullptr);
  ICINFO got{};
  ASSERT_GT(ICGetInfo(hic, &got, sizeof got), 0u);
  const std::wstring description = got.szDescription;
  EXPECT_NE(description.find(L"Orvik"), std::wstring::npos);
  EXPECT_NE(description.find(L"lossless"), std::wstring::npos);
  EXPECT_TRUE(ICQueryAbout(hic));
  EXPECT_FALSE(ICQueryConfigure(hic));
  DWORD keyRate = 0;
  EXPECT_EQ(
      ICSendMessage(hic, ICM_GETDEFAULTKEYFRAMERATE, reinterpret_cast<DWORD_PTR>(&keyRate), 0),
      ICERR_OK);
  EXPECT_EQ(keyRate, 100u);
  ICClose(hic);

  // The user's way in: the "Video Compression" dialog lists it by its description.
  CodecDialogAnswer answer(kCodecDescription);
  COMPVARS cv{};
  cv.cbSize = sizeof cv;
  ICCompressorChoose(nullptr, ICMF_CHOOSE_ALLCOMPRESSORS, nullptr, nullptr, &cv, nullptr);
  EXPECT_TRUE(answer.Wait());
  std::wstring offered;
  for (const std::wstring& name : answer.Offered()) offered += name + L"; ";
  EXPECT_TRUE(answer.Chosen()) << Utf8(offered);
  EXPECT_EQ(cv.fccHandler, kZmbvFourCC);
  ICCompressorFree(&cv);

  orvik::zmbv::UnregisterOrvikCodec();
  EXPECT_EQ(ICOpen(ICTYPE_VIDEO, kZmbvFourCC, ICMODE_QUERY), nullptr);
}

// Frames of each input depth go through ICCompress, with the key frames the host asks for
// and none else, and come back through ICDecompress byte for byte (32-bit streams also to
// 24 bits).
TEST_F(ZmbvDriver, IcCompressFramesComeBackThroughIcDecompressExactly) {
  const struct {
    int bpp, width, height, outBpp;
  } cases[] = {{32, 321, 203, 32}, {32, 64, 48, 24}, {24, 321, 203, 24}, {16, 17, 9, 16}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.bpp << " bits " << c.width << "x" << c.height << " to " << c.outBpp);
    HIC enc = ICOpen(ICTYPE_VIDEO, kZmbvFourCC, ICMODE_COMPRESS);
    HIC dec = ICOpen(ICTYPE_VIDEO, kZmbvFourCC, ICMODE_DECOMPRESS);
    ASSERT_NE(enc, nullptr);
    ASSERT_NE(dec, nullptr);
    Dib first =
        MakeDib(scenes::DraggedWindow(c.width, c.height, c.width / 3, c.height / 3, 0), c.bpp);
    ASSERT_EQ(ICCompressQuery(enc, first.Info(), nullptr), ICERR_OK);
    std::vector<uint8_t> zFormat(ICCompressGetFormatSize(enc, first.Info()));
    ASSERT_GE(zFormat.size(), sizeof(BITMAPINFOHEADER));
    auto* zInfo = reinterpret_cast<BITMAPINFO*>(zFormat.data());
    ASSERT_EQ(ICCompressGetFormat(enc, first.Info(), zInfo), ICERR_OK);
    EXPECT_EQ(zInfo->bmiHeader.biCompression, kZmbvFourCC);
    ASSERT_EQ(ICCompressBegin(enc, first.Info(), zInfo), ICERR_OK);
    std::vector<uint8_t> packet(ICCompressGetSize(enc, first.Info(), zInfo));
    ASSERT_GT(packet.size(), 0u);

    Dib out = first;
    out.info.h.biBitCount = static_cast<WORD>(c.outBpp);
    out.info.h.biSizeImage = static_cast<DWORD>(((c.width * c.outBpp / 8 + 3) & ~3) * c.height);
    ASSERT_EQ(ICDecompressQuery(dec, zInfo, out.Info()), ICERR_OK);
    ASSERT_EQ(ICDecompressBegin(dec, zInfo, out.Info()), ICERR_OK);
    for (int i = 0; i < 8; ++i) {
      Dib frame =
          MakeDib(i < 6 ? scenes::DraggedWindow(c.width, c.height, c.width / 3, c.height / 3, i)
                        : scenes::ScrollingPage(c.width, c.height, 19, i),
                  c.bpp);
      const bool askKey = i == 0 || i == 4;
      DWORD flags = 0, ckid = 0;
      ASSERT_EQ(ICCompress(enc, askKey ? ICCOMPRESS_KEYFRAME : 0, &zInfo->bmiHeader, packet.data(),
                           &frame.info.h, frame.bits.data(), &ckid, &flags, i, 0, ICQUALITY_HIGH,
                           nullptr, nullptr),
                ICERR_OK);
      EXPECT_EQ((flags & AVIIF_KEYFRAME) != 0, askKey) << i;
      ASSERT_GT(zInfo->bmiHeader.biSizeImage, 0u);
      ASSERT_LE(zInfo->bmiHeader.biSizeImage, packet.size());
      std::vector<uint8_t> back(out.info.h.biSizeImage, 0);  // rows' padding stays as it was
      ASSERT_EQ(ICDecompress(dec, 0, &zInfo->bmiHeader, packet.data(), &out.info.h, back.data()),
                ICERR_OK)
          << i;
      const Dib expected = c.outBpp == c.bpp
                               ? frame
                               : MakeDib(i < 6 ? scenes::DraggedWindow(c.width, c.height,
                                                                       c.width / 3, c.height / 3, i)
                                               : scenes::ScrollingPage(c.width, c.height, 19, i),
                                         c.outBpp);
      EXPECT_TRUE(back == expected.bits) << "frame " << i;
    }
    ICCompressEnd(enc);
    ICDecompressEnd(dec);
    ICClose(enc);
    ICClose(dec);
  }
}

// The system's own AVI path: AVIMakeCompressedStream with 'ZMBV' and a key frame every 5,
// read back by ffmpeg pixel for pixel.
TEST_F(ZmbvDriver, AvifileCompressedStreamPlaysInFfmpegExactly) {
  const int w = 333, h = 190, frames = 12;
  const std::wstring dir = MakeTempDir(L"zmbv");
  const std::wstring path = dir + L"\\out.avi";
  AVIFileInit();
  PAVIFILE file = nullptr;
  ASSERT_EQ(AVIFileOpenW(&file, path.c_str(), OF_CREATE | OF_WRITE, nullptr), AVIERR_OK);
  AVISTREAMINFOW si{};
  si.fccType = streamtypeVIDEO;
  si.fccHandler = kZmbvFourCC;
  si.dwScale = 1;
  si.dwRate = 10;
  SetRect(&si.rcFrame, 0, 0, w, h);
  PAVISTREAM raw = nullptr, zipped = nullptr;
  ASSERT_EQ(AVIFileCreateStreamW(file, &raw, &si), AVIERR_OK);
  AVICOMPRESSOPTIONS options{};
  options.fccType = streamtypeVIDEO;
  options.fccHandler = kZmbvFourCC;
  options.dwKeyFrameEvery = 5;
  options.dwQuality = ICQUALITY_HIGH;
  options.dwFlags = AVICOMPRESSF_KEYFRAMES;
  ASSERT_EQ(AVIMakeCompressedStream(&zipped, raw, &options, nullptr), AVIERR_OK);
  std::vector<std::vector<uint8_t>> expected;
  for (int i = 0; i < frames; ++i) {
    const scenes::Image img =
        i < 8 ? scenes::DraggedWindow(w, h, 120, 70, i) : scenes::ScrollingPage(w, h, 23, i);
    Dib dib = MakeDib(img, 32);
    if (i == 0) {
      ASSERT_EQ(AVIStreamSetFormat(zipped, 0, &dib.info.h, sizeof(BITMAPINFOHEADER)), AVIERR_OK);
    }
    ASSERT_EQ(AVIStreamWrite(zipped, i, 1, dib.bits.data(), static_cast<LONG>(dib.bits.size()), 0,
                             nullptr, nullptr),
              AVIERR_OK)
        << i;
    std::vector<uint8_t> bgr(static_cast<size_t>(w) * h * 3);
    for (size_t p = 0; p < img.px.size(); ++p) std::memcpy(&bgr[p * 3], &img.px[p], 3);
    expected.push_back(bgr);
  }
  AVIStreamRelease(zipped);
  AVIStreamRelease(raw);
  AVIFileRelease(file);
  AVIFileExit();

  const ProbeInfo probe = Probe(path);
  ASSERT_TRUE(probe.ok) << probe.raw;
  EXPECT_EQ(probe.codecTag, "ZMBV");
  EXPECT_EQ(probe.frames, frames);
  std::string flags;
  ASSERT_EQ(RunShell("ffprobe -v error -select_streams v:0 -show_entries packet=flags -of "
                     "csv=p=0 '" +
                         UnixPath(path) + "' | tr -d '\\n'",
                     &flags),
            0);
  EXPECT_EQ(flags, "K_________K_________K___");
  const DecodedFrames decoded = DecodeBgr24(path, w, h);
  ASSERT_EQ(decoded.frames.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_TRUE(decoded.frames[i] == expected[i]) << "frame " << i;
  RemoveTree(dir);
}

// A host may ask for any output; only the stream this input makes is accepted. An input is
// read no further than its header says: the header ends at an inaccessible page.
TEST_F(ZmbvDriver, CompressorAcceptsOnlyTheFormatItMakesAndReadsOnlyWhatTheHeaderSays) {
  HIC hic = ICOpen(ICTYPE_VIDEO, kZmbvFourCC, ICMODE_COMPRESS);
  ASSERT_NE(hic, nullptr);
  Dib in = MakeDib(scenes::DraggedWindow(64, 48, 20, 16, 0), 32);
  BITMAPINFOHEADER made{};
  ASSERT_EQ(ICCompressGetFormat(hic, in.Info(), &made), ICERR_OK);
  const Twist otherOutputs[] = {
      {"8 bits", [](BITMAPINFOHEADER& h) { h.biBitCount = 8; }},
      {"24 bits", [](BITMAPINFOHEADER& h) { h.biBitCount = 24; }},
      {"wider", [](BITMAPINFOHEADER& h) { ++h.biWidth; }},
      {"top-down", [](BITMAPINFOHEADER& h) { h.biHeight = -h.biHeight; }},
      {"2 planes", [](BITMAPINFOHEADER& h) { h.biPlanes = 2; }},
      {"uncompressed", [](BITMAPINFOHEADER& h) { h.biCompression = BI_RGB; }},
      {"a colour table", [](BITMAPINFOHEADER& h) { h.biClrUsed = 1; }},
      {"biSize 2^28", [](BITMAPINFOHEADER& h) { h.biSize = 1u << 28; }},
  };
  for (const Twist& t : otherOutputs) {
    BITMAPINFOHEADER out = made;
    t.apply(out);
    EXPECT_EQ(ICCompressQuery(hic, in.Info(), &out), ICERR_BADFORMAT) << t.what;
    EXPECT_EQ(ICCompressBegin(hic, in.Info(), &out), ICERR_BADFORMAT) << t.what;
    EXPECT_EQ(ICCompressGetSize(hic, in.Info(), &out), 0u) << t.what;
  }
  // 8-bit inputs with all 256 colours before the guard, until a twist says otherwise.
  const size_t with256 = sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD);
  auto* bad = reinterpret_cast<BITMAPINFOHEADER*>(BeforeAGuardPage(with256));
  std::vector<uint8_t> sink(with256);
  for (const Twist& t : kBadAnywhere) {
    *bad = in.info.h;
    bad->biBitCount = 8;
    ASSERT_EQ(ICCompressGetFormat(hic, bad, sink.data()), ICERR_OK);
    t.apply(*bad);
    EXPECT_EQ(ICCompressQuery(hic, bad, nullptr), ICERR_BADFORMAT) << t.what;
    EXPECT_EQ(ICCompressGetFormat(hic, bad, sink.data()), ICERR_BADFORMAT) << t.what;
  }

  ASSERT_EQ(ICCompressBegin(hic, in.Info(), &made), ICERR_OK);
  std::vector<uint8_t> packet(ICCompressGetSize(hic, in.Info(), &made));
  DWORD flags = 0, ckid = 0;
  // A smaller frame than the one begun, its pixels ending at the guard, is refused unread.
  Dib small = MakeDib(scenes::Image(8, 8), 32);
  EXPECT_EQ(ICCompress(hic, 0, &made, packet.data(), &small.info.h, BeforeAGuardPage(8 * 8 * 4),
                       &ckid, &flags, 0, 0, ICQUALITY_HIGH, nullptr, nullptr),
            ICERR_BADFORMAT);
  // Messages whose size argument does not cover their structure.
  ICCOMPRESS icc{0, &made, packet.data(), &in.info.h, in.bits.data(), &ckid, &flags, 0,
                 0, 0,     nullptr,       nullptr};
  EXPECT_EQ(ICSendMessage(hic, ICM_COMPRESS, reinterpret_cast<DWORD_PTR>(&icc), sizeof icc - 1),
            ICERR_BADPARAM);
  EXPECT_EQ(ICSendMessage(hic, ICM_COMPRESS, reinterpret_cast<DWORD_PTR>(&icc), sizeof icc),
            ICERR_OK);
  ICCOMPRESSFRAMES frames{};
  EXPECT_EQ(ICSendMessage(hic, ICM_COMPRESS_FRAMES_INFO, reinterpret_cast<DWORD_PTR>(&frames), 0),
            ICERR_BADPARAM);
  ICCompressEnd(hic);
  ICClose(hic);
}

// Outputs of another depth or size are refused, as is every stream header no format allows;
// an 8-bit stream header that carries no colour table gets none read from past its end.
TEST_F(ZmbvDriver, DecompressorRefusesOutputsItCannotFillAndHeadersNoStreamHas) {
  HIC hic = ICOpen(ICTYPE_VIDEO, kZmbvFourCC, ICMODE_DECOMPRESS);
  ASSERT_NE(hic, nullptr);
  const BITMAPINFOHEADER z32{sizeof(BITMAPINFOHEADER), 64, 48, 1, 32, kZmbvFourCC, 0, 0, 0, 0, 0};
  Dib out = MakeDib(scenes::Image(64, 48), 32);
  std::vector<Twist> otherOutputs(std::begin(kBadAnywhere), std::end(kBadAnywhere));
  otherOutputs.insert(otherOutputs.end(),
                      {{"16 bits", [](BITMAPINFOHEADER& h) { h.biBitCount = 16; }},
                       {"8 bits", [](BITMAPINFOHEADER& h) { h.biBitCount = 8; }},
                       {"wider", [](BITMAPINFOHEADER& h) { ++h.biWidth; }},
                       {"biSizeImage short", [](BITMAPINFOHEADER& h) { --h.biSizeImage; }},
                       {"run-length", [](BITMAPINFOHEADER& h) { h.biCompression = BI_RLE8; }}});
  for (const Twist& t : otherOutputs) {
    BITMAPINFOHEADER o = out.info.h;
    t.apply(o);
    EXPECT_EQ(ICDecompressQuery(hic, &z32, &o), ICERR_BADFORMAT) << "output " << t.what;
    EXPECT_EQ(ICDecompressBegin(hic, &z32, &o), ICERR_BADFORMAT) << "output " << t.what;
  }
  for (const Twist& t : kBadAnywhere) {
    BITMAPINFOHEADER z = z32;
    t.apply(z);
    EXPECT_EQ(ICDecompressQuery(hic, &z, nullptr), ICERR_BADFORMAT) << "stream " << t.what;
    EXPECT_EQ(ICDecompressGetFormat(hic, &z, nullptr), ICERR_BADFORMAT) << "stream " << t.what;
  }
  auto* z8 = reinterpret_cast<BITMAPINFOHEADER*>(BeforeAGuardPage(sizeof(BITMAPINFOHEADER)));
  *z8 = z32;
  z8->biBitCount = 8;
  std::vector<uint8_t> format(ICDecompressGetFormatSize(hic, z8));
  ASSERT_EQ(format.size(), sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
  EXPECT_EQ(ICDecompressGetFormat(hic, z8, format.data()), ICERR_OK);

  ASSERT_EQ(ICDecompressBegin(hic, &z32, &out.info.h), ICERR_OK);
  ICDECOMPRESS icd{0, const_cast<BITMAPINFOHEADER*>(&z32), nullptr, &out.info.h, out.bits.data(),
                   0};
  EXPECT_EQ(ICSendMessage(hic, ICM_DECOMPRESS, reinterpret_cast<DWORD_PTR>(&icd), sizeof icd - 1),
            ICERR_BADPARAM);
  EXPECT_EQ(ICSendMessage(hic, ICM_DECOMPRESS, reinterpret_cast<DWORD_PTR>(&icd), sizeof icd),
            ICERR_OK);
  ICDecompressEnd(hic);
  ICClose(hic);
}

// VfW copies an ICINFO whole or not at all: a smaller buffer is left as it was, and nothing
// past the size given is written.
TEST_F(ZmbvDriver, GetInfoCopiesAWholeIcinfoOrNothing) {
  HIC hic = ICOpen(ICTYPE_VIDEO, kZmbvFourCC, ICMODE_QUERY);
  ASSERT_NE(hic, nullptr);
  std::vector<uint8_t> buffer(sizeof(ICINFO) + 64);
  for (size_t size : {size_t{0}, size_t{16}, sizeof(ICINFO) - 1, sizeof(ICINFO), buffer.size()}) {
    std::fill(buffer.begin(), buffer.end(), 0xAB);
    const size_t copied = size >= sizeof(ICINFO) ? sizeof(ICINFO) : 0;
    EXPECT_EQ(ICGetInfo(hic, reinterpret_cast<ICINFO*>(buffer.data()), static_cast<DWORD>(size)),
              static_cast<LRESULT>(copied));
    EXPECT_EQ(std::count(buffer.begin() + copied, buffer.end(), 0xAB),
              static_cast<ptrdiff_t>(buffer.size() - copied))
        << size;
  }
  EXPECT_EQ(ICSendMessage(hic, ICM_GETINFO, 0, sizeof(ICINFO)), 0);
  ICClose(hic);
}

}  // namespace
