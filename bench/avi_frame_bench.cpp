// Per-frame cost of the recording's file round trip at 1920x1080: reading the temporary
// BMP through cDIB and writing its pixels uncompressed with AviWriteFrame, beside the floor
// of plain file I/O on the same bytes in the same run (one ReadFile of the BMP, one
// WriteFile of its pixels to another growing file). Also working set and handle counts
// across all frames, and the cost of the pieces (reader alone, free-space query).
//
// The codec is chosen the way a user does: the "Video Compression" dialog is answered
// with "Full Frames (Uncompressed)" from a watcher thread at every open.
//
// Files stay under the writer's size limit: the writer is closed and reopened every
// segment within one process, and each finished segment is deleted.
#include <windows.h>

#include <psapi.h>
#include <vfw.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "recorder/avidecs.h"
#include "recorder/bmp_samples.h"
#include "recorder/cdib.h"
#include "support/codec_dialog.h"
#include "toolkit/files.h"

#include "bench/alloc_counter.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
int g_frames = 3000;  // a first argument asks for fewer, for a quick look

double Now() {
  static const double perSecond = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / perSecond;
}

struct Usage {
  size_t workingSet = 0, privateBytes = 0;
  DWORD handles = 0, gdi = 0;
};

Usage Measure() {
  Usage u;
  PROCESS_MEMORY_COUNTERS mem{};
  GetProcessMemoryInfo(GetCurrentProcess(), &mem, sizeof mem);
  u.workingSet = mem.WorkingSetSize;
  u.privateBytes = mem.PagefileUsage;
  GetProcessHandleCount(GetCurrentProcess(), &u.handles);
  u.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  return u;
}

void PrintUsage(const char* when, const Usage& u) {
  std::printf("    %-26s working set %7.1f MB, private %7.1f MB, %lu handles, %lu GDI objects\n",
              when, u.workingSet / 1048576.0, u.privateBytes / 1048576.0, u.handles, u.gdi);
}

// Per-frame times of one kind, in milliseconds.
struct Times {
  std::vector<double> ms;
  void Add(double seconds) { ms.push_back(seconds * 1000.0); }
  double Mean() const {
    double s = 0;
    for (double v : ms) s += v;
    return ms.empty() ? 0 : s / ms.size();
  }
  double Percentile(double p) const {
    if (ms.empty()) return 0;
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    return sorted[static_cast<size_t>(p * (sorted.size() - 1))];
  }
};

void PrintTimes(const char* what, const Times& t) {
  std::printf("    %-34s mean %6.2f ms, median %6.2f ms, p95 %6.2f ms\n", what, t.Mean(),
              t.Percentile(0.5), t.Percentile(0.95));
}

bool WriteWhole(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  tk::File f = tk::File::Open(path, tk::FileMode::Replace);
  return f.IsOpen() && f.WriteAt(0, bytes.data(), bytes.size());
}

// The floor: the least file I/O that moves one frame from the BMP into a growing file.
class Floor {
 public:
  explicit Floor(size_t fileBytes, size_t pixelOffset) : buffer_(fileBytes), at_(pixelOffset) {}

  bool Begin(const std::wstring& out) {
    out_.reset(CreateFileW(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(out_);
  }
  bool Frame(const std::wstring& bmp) {
    tk::UniqueFile in(CreateFileW(bmp.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD got = 0, put = 0;
    return in &&
           ReadFile(in.get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), &got, nullptr) &&
           WriteFile(out_.get(), buffer_.data() + at_, static_cast<DWORD>(buffer_.size() - at_),
                     &put, nullptr);
  }
  void End() { out_.reset(); }

 private:
  std::vector<uint8_t> buffer_;
  size_t at_;
  tk::UniqueFile out_;
};

bool OpenWriter(const std::wstring& bmp, const std::wstring& avi) {
  testsupport::CodecDialogAnswer answer(testsupport::kCodecFullFrames);
  const bool ok = AVIDecs::AviOpenWriter(nullptr, bmp, avi, 10);
  answer.Wait();
  return ok;
}

bool RunDepth(int bits, const std::wstring& dir) {
  const auto bmp = samples::MakeBmp({kWidth, kHeight, bits});
  const size_t pixelOffset = 54;
  const std::wstring bmpPath = dir + L"\\tem.bmp";
  const std::wstring aviPath = dir + L"\\bench.avi";
  const std::wstring floorPath = dir + L"\\floor.bin";
  if (!WriteWhole(bmpPath, bmp)) return false;
  const uint64_t frameBytes = bmp.size() - pixelOffset;
  // Segments well under the size limit, index and headers included.
  const int perSegment =
      static_cast<int>(std::min<uint64_t>(300, (AVIDecs::kDefaultSizeLimit * 9 / 10) / frameBytes));
  std::printf("\n  %dx%d, %d bits: %.1f MB a frame, %d frames in segments of %d\n", kWidth, kHeight,
              bits, frameBytes / 1048576.0, g_frames, perSegment);

  // Floor and writer take turns frame by frame, so both meet the same cache and
  // write-back weather.
  Floor floor(bmp.size(), pixelOffset);
  Times floorTimes, writerTimes, openClose;
  Usage start{}, peak{};
  long allocations = 0;
  for (int done = 0; done < g_frames; done += perSegment) {
    const int n = std::min(perSegment, g_frames - done);
    double t0 = Now();
    if (!OpenWriter(bmpPath, aviPath)) return false;
    openClose.Add(Now() - t0);
    if (done == 0) start = Measure();
    if (!floor.Begin(floorPath)) return false;
    for (int i = 0; i < n; ++i) {
      t0 = Now();
      if (!floor.Frame(bmpPath)) return false;
      const long before = AllocationsSoFar();
      const double t1 = Now();
      AVIDecs::AviWriteFrame(i, bmpPath);
      const double t2 = Now();
      // The first frame of a segment may size the reader's second buffer.
      if (i > 0) allocations += AllocationsSoFar() - before;
      floorTimes.Add(t1 - t0);
      writerTimes.Add(t2 - t1);
    }
    floor.End();
    tk::RemoveFile(floorPath);
    if (!AVIDecs::AviWriterIsOpen()) {
      std::printf("    writer closed itself within a segment of %d frames\n", n);
      return false;
    }
    const Usage u = Measure();
    if (u.workingSet > peak.workingSet) peak = u;
    t0 = Now();
    AVIDecs::AviCloseWriter();
    openClose.Add(Now() - t0);
    tk::RemoveFile(aviPath);
  }
  const Usage end = Measure();
  PrintTimes("floor (ReadFile + WriteFile):", floorTimes);
  PrintTimes("cDIB + AviWriteFrame:", writerTimes);
  std::printf("    ratio of means %.2f, of medians %.2f (target: within 1.5)\n",
              writerTimes.Mean() / floorTimes.Mean(),
              writerTimes.Percentile(0.5) / floorTimes.Percentile(0.5));
  std::printf("    heap allocations by the frame path after each segment's first frame: %ld\n",
              allocations);
  std::printf("    open (dialog answered) + close per segment: mean %.0f ms\n",
              openClose.Mean() * 2);
  PrintUsage("after the first open:", start);
  PrintUsage("largest before a close:", peak);
  PrintUsage("after all frames:", end);
  return true;
}

// The library's own write of one frame, without this program around it: a raw stream
// of the same format, written straight with AVIStreamWrite.
Times LibraryWriteAlone(const std::vector<uint8_t>& bmp, const std::wstring& aviPath) {
  Times t;
  AVIFileInit();
  PAVIFILE file = nullptr;
  PAVISTREAM stream = nullptr;
  BITMAPINFOHEADER info;
  std::memcpy(&info, bmp.data() + 14, sizeof info);
  AVISTREAMINFOW si{};
  si.fccType = streamtypeVIDEO;
  si.dwScale = 1;
  si.dwRate = 10;
  si.dwSuggestedBufferSize = info.biSizeImage;
  SetRect(&si.rcFrame, 0, 0, info.biWidth, info.biHeight);
  if (AVIFileOpenW(&file, aviPath.c_str(), OF_WRITE | OF_CREATE, nullptr) == 0 &&
      AVIFileCreateStreamW(file, &stream, &si) == 0 &&
      AVIStreamSetFormat(stream, 0, &info, sizeof info) == 0) {
    auto* pixels = const_cast<uint8_t*>(bmp.data() + 54);
    for (int i = 0; i < 300; ++i) {
      const double t0 = Now();
      AVIStreamWrite(stream, i, 1, pixels, static_cast<LONG>(info.biSizeImage), AVIIF_KEYFRAME,
                     nullptr, nullptr);
      t.Add(Now() - t0);
    }
  }
  if (stream) AVIStreamRelease(stream);
  if (file) AVIFileRelease(file);
  AVIFileExit();
  tk::RemoveFile(aviPath);
  return t;
}

// The pieces of one frame: the reader alone, the free-space query the writer makes before
// each frame, and the library's write alone.
void RunPieces(int bits, const std::wstring& dir) {
  const auto bmp = samples::MakeBmp({kWidth, kHeight, bits});
  const std::wstring bmpPath = dir + L"\\tem.bmp";
  WriteWhole(bmpPath, bmp);
  cDIB dib;
  Times load, space;
  for (int i = 0; i < 300; ++i) {
    const double t0 = Now();
    dib.CreateFromFile(bmpPath);
    load.Add(Now() - t0);
  }
  for (int i = 0; i < 3000; ++i) {
    ULARGE_INTEGER free{};
    const double t0 = Now();
    GetDiskFreeSpaceExW((dir + L"\\").c_str(), &free, nullptr, nullptr);
    space.Add(Now() - t0);
  }
  const Times library = LibraryWriteAlone(bmp, dir + L"\\bench.avi");
  std::printf("\n  pieces, %dx%d, %d bits:\n", kWidth, kHeight, bits);
  PrintTimes("cDIB::CreateFromFile alone:", load);
  PrintTimes("free-space query:", space);
  PrintTimes("AVIStreamWrite alone (raw stream):", library);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::atoi(argv[1]) > 0) g_frames = std::atoi(argv[1]);
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring dir =
      std::wstring(temp) + L"orvik-bench-" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(dir.c_str(), nullptr);
  std::printf("avi_frame_bench: reading the frame BMP and writing it to the AVI stream\n");
  bool ok = RunDepth(24, dir) && RunDepth(32, dir);
  RunPieces(24, dir);
  RunPieces(32, dir);
  for (const wchar_t* name : {L"\\tem.bmp", L"\\bench.avi", L"\\floor.bin"})
    tk::RemoveFile(dir + name);
  RemoveDirectoryW(dir.c_str());
  if (!ok) std::printf("avi_frame_bench: FAILED\n");
  return ok ? 0 : 1;
}
