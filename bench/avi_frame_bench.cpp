// Per-frame cost of writing a 1920x1080 frame uncompressed into our AVI 2.0 file (the chunk,
// its index entry, a flush every five frames as a recording makes about twice a second at 10
// frames a second), beside the floor of one plain WriteFile of the same bytes to another
// growing file, frame by frame in the same run; then the whole writer module from the
// capture's side (the queue, the worker, "Full Frames" chosen in the real dialog) with the
// working set and handle counts around it.
//   avi_frame_bench [frames]   (default 600; segments of 1 GiB are crossed past ~130 frames)
//   avi_frame_bench long       a 2.5-minute 1280x720 recording at 10 fps, uncompressed (1,500
//                              frames, about 5.5 GB): ffprobe must count every frame past 4 GiB
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "recorder/bmp_samples.h"
#include "recorder/file/avi_container.h"
#include "recorder/file/windows_disk.h"
#include "recorder/output/avidecs.h"
#include "support/codec_dialog.h"
#include "support/unix_tools.h"
#include "toolkit/files.h"
#include "toolkit/screen.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

struct Stats {
  std::vector<double> ms;
  double Median() {
    std::vector<double> v = ms;
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
  }
  double Mean() const {
    double s = 0;
    for (double x : ms) s += x;
    return ms.empty() ? 0 : s / static_cast<double>(ms.size());
  }
};

void PrintUsage(const char* when) {
  PROCESS_MEMORY_COUNTERS mem{};
  GetProcessMemoryInfo(GetCurrentProcess(), &mem, sizeof mem);
  DWORD handles = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles);
  std::printf("  %-22s working set %6.1f MB, private %6.1f MB, handles %lu\n", when,
              static_cast<double>(mem.WorkingSetSize) / 1e6,
              static_cast<double>(mem.PagefileUsage) / 1e6, static_cast<unsigned long>(handles));
}

void ContainerBesideWriteFile(const std::wstring& dir, int frames) {
  const std::vector<uint8_t> bmp = samples::MakeBmp({kWidth, kHeight, 32});
  const std::vector<uint8_t> pixels(bmp.begin() + 54, bmp.end());
  orvik::WindowsDisk disk(dir + L"\\bench.avi");
  tk::File plain = tk::File::Open(dir + L"\\plain.bin", tk::FileMode::Replace);
  orvik::AviContainer writer;
  orvik::EncodedVideo format;
  format.width = kWidth;
  format.height = kHeight;
  format.fourcc = 0x20424944;  // 'DIB '
  format.format.assign(bmp.begin() + 14, bmp.begin() + 54);
  if (!disk.Create() || !plain.IsOpen() || !writer.Open(disk, format, 10, false) ||
      !disk.TakeName()) {
    std::printf("cannot open the files\n");
    return;
  }
  Stats ours, floor, commits;
  uint64_t plainAt = 0;
  for (int i = 0; i < frames; ++i) {
    double t0 = tk::MonotonicSeconds();
    const orvik::EncodedFrame frame{const_cast<uint8_t*>(pixels.data()),
                                    static_cast<uint32_t>(pixels.size()), false, true};
    writer.WriteFrame(static_cast<uint32_t>(i), frame);
    if (i % 5 == 4) {
      const double c0 = tk::MonotonicSeconds();
      writer.Commit();
      commits.ms.push_back((tk::MonotonicSeconds() - c0) * 1000);
    }
    double t1 = tk::MonotonicSeconds();
    plain.WriteAt(plainAt, pixels.data(), pixels.size());
    plainAt += pixels.size();
    double t2 = tk::MonotonicSeconds();
    ours.ms.push_back((t1 - t0) * 1000);
    floor.ms.push_back((t2 - t1) * 1000);
  }
  const double gigabytes = static_cast<double>(writer.FileSize()) / 1e9;
  writer.Close();
  std::printf("1920x1080x32, %d frames, %.2f GB (segments of 1 GiB)\n", frames, gigabytes);
  std::printf("  our AVI writer   median %6.2f ms  mean %6.2f ms\n", ours.Median(), ours.Mean());
  std::printf("  plain WriteFile  median %6.2f ms  mean %6.2f ms\n", floor.Median(), floor.Mean());
  std::printf("  ratio            median %6.2f     mean %6.2f   (target 1.2)\n",
              ours.Median() / floor.Median(), ours.Mean() / floor.Mean());
  std::printf(
      "  of which commits (two flushes to the disk, every 5 frames): median %6.2f ms, "
      "mean %6.2f ms, %.2f ms a frame\n",
      commits.Median(), commits.Mean(), commits.Mean() / 5);
  disk.Close();
  plain.Close();
  tk::RemoveFile(dir + L"\\bench.avi");
  tk::RemoveFile(dir + L"\\plain.bin");
}

// Frame `slot` copied from memory into a buffer the writer lends, as the capture copies the
// screen there; with `wait`, waiting for the writer where the capture would drop the slot.
void Hand(orvik::RecordingOutput& output, orvik::Slot slot, const uint8_t* pixels, size_t bytes,
          bool wait) {
  if (const auto capture = output.Acquire(slot, wait)) {
    std::memcpy(capture->frame.bits, pixels, bytes);
    output.Submit(*capture);
  }
}

void WholeWriter(const std::wstring& dir, int frames) {
  const std::vector<uint8_t> bmp = samples::MakeBmp({kWidth, kHeight, 32});
  const std::wstring templ = dir + L"\\tem.bmp";
  const std::wstring avi = dir + L"\\whole.avi";
  tk::File f = tk::File::Open(templ, tk::FileMode::Replace);
  f.WriteAt(0, bmp.data(), bmp.size());
  f.Close();
  orvik::RecordingOutput output;
  testsupport::CodecDialogAnswer answer(testsupport::kCodecFullFrames);
  if (!AVIDecs::AviOpenWriter(output, nullptr, templ, avi, 10)) {
    std::printf("the writer did not open\n");
    return;
  }
  PrintUsage("writer open");
  const double t0 = tk::MonotonicSeconds();
  for (int i = 0; i < frames; ++i) {
    Hand(output, static_cast<orvik::Slot>(i), bmp.data() + 54, bmp.size() - 54, false);
    Sleep(5);  // about what a capture costs: the worker keeps up or drops
  }
  PrintUsage("after the frames");
  AVIDecs::AviCloseWriter(output);
  const double seconds = tk::MonotonicSeconds() - t0;
  std::printf("  whole writer: %d frames handed over in %.2f s, %u dropped (queue full)\n", frames,
              seconds, output.Dropped());
  PrintUsage("writer closed");
  tk::RemoveFile(avi);
}

// The writer module fed as fast as the disk takes it (waiting for the writer where a capture
// would drop), then the whole file counted by ffprobe.
int LongRecording(const std::wstring& dir) {
  constexpr int kFrames = 1500;
  const std::wstring templ = dir + L"\\long.bmp";
  const std::wstring avi = dir + L"\\long.avi";
  const auto bmp = samples::MakeBmp({1280, 720, 32});
  {
    tk::File f = tk::File::Open(templ, tk::FileMode::Replace);
    f.WriteAt(0, bmp.data(), bmp.size());
  }
  orvik::RecordingOutput output;
  testsupport::CodecDialogAnswer answer(testsupport::kCodecFullFrames);
  if (!AVIDecs::AviOpenWriter(output, nullptr, templ, avi, 10)) return 1;
  const double t0 = tk::MonotonicSeconds();
  for (int i = 0; i < kFrames; ++i)
    Hand(output, static_cast<orvik::Slot>(i), bmp.data() + 54, bmp.size() - 54, true);
  AVIDecs::AviCloseWriter(output);
  const double seconds = tk::MonotonicSeconds() - t0;
  const uint64_t bytes = tk::FileLength(avi).value_or(0);
  std::string out;
  testsupport::RunShell(
      "ffprobe -v error -select_streams v:0 -count_packets -show_entries "
      "stream=nb_read_packets,r_frame_rate:format=duration -of csv=p=0 '" +
          testsupport::UnixPath(avi) + "'",
      &out, 600000);
  std::printf(
      "long recording: %d frames of 1280x720x32 written in %.1f s (%.0f MB/s), file %.2f GB "
      "(4 GiB = 4.29 GB)\n  ffprobe (rate, packets / duration): %s",
      kFrames, seconds, bytes / 1e6 / seconds, bytes / 1e9, out.c_str());
  tk::RemoveFile(avi);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "long") {
    const std::wstring dir = testsupport::MakeTempDir(L"avilong");
    const int rc = LongRecording(dir);
    testsupport::RemoveTree(dir);
    return rc;
  }
  const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 600;
  const std::wstring dir = testsupport::MakeTempDir(L"avibench");
  ContainerBesideWriteFile(dir, frames);
  WholeWriter(dir, frames / 2);
  testsupport::RemoveTree(dir);
  return 0;
}
