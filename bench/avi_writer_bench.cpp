// Per-frame cost of the AVI writer for 1920x1080x32 frames beside one plain pwrite of the same
// bytes: the writer without commits, and the writer committing (two real fsyncs each) every
// half second of a 10 fps and of a 30 fps stream, with the commit's own time. The four go
// frame by frame in turn, each into its own file, so that all meet the same disk and page
// cache. Native only; build it without the sanitizers for figures that mean anything.
//   avi_writer_bench [frames]   (default 120 per variant)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "avi/avi_tools.h"
#include "avi/posix_file_sink.h"

namespace {

constexpr uint32_t kWidth = 1920, kHeight = 1080;
// Files start over after this many frames, so four variants never hold more than 4 GB.
constexpr int kFramesPerFile = 120;

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Figures {
  std::vector<double> ms;
  double Median() const {
    std::vector<double> v = ms;
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
  }
  double Mean() const {
    return ms.empty() ? 0 : std::accumulate(ms.begin(), ms.end(), 0.0) / ms.size();
  }
  double Max() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
};

// A writer into its own file, committing every `commitEvery` frames (0: only at close).
class WriterVariant {
 public:
  WriterVariant(const std::string& path, uint32_t rate, int commitEvery)
      : sink_(path), rate_(rate), commitEvery_(commitEvery) {}

  bool Start() {
    return sink_.ok() && w_.Open(sink_, avitest::DibFormat(kWidth, kHeight, 32, rate_));
  }
  // Writes frame `slot`, and commits when one is due; notes the time of both.
  bool Write(uint32_t slot, const avi::Payload& frame) {
    const Clock::time_point t0 = Clock::now();
    if (!w_.WriteFrame(0, slot % kFramesPerFile, frame, true)) return false;
    const Clock::time_point t1 = Clock::now();
    if (commitEvery_ > 0 && (slot + 1) % commitEvery_ == 0) {
      if (!w_.Flush()) return false;
      commits.ms.push_back(Ms(Clock::now() - t1));
    }
    perFrame.ms.push_back(Ms(Clock::now() - t0));
    if ((slot + 1) % kFramesPerFile != 0) return true;
    return w_.Close() && ::ftruncate(sink_.fd(), 0) == 0 && Start();
  }
  void Finish() { w_.Close(); }

  Figures perFrame, commits;

 private:
  avitest::PosixFileSink sink_;
  avi::Writer w_;
  uint32_t rate_;
  int commitEvery_;
};

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 120;
  avitest::TempDir dir;
  const std::vector<uint8_t> pixels = avitest::DibFrame(kWidth, kHeight, 32, 7);
  const uint32_t frameBytes = static_cast<uint32_t>(pixels.size());
  // The frame with the room the writer puts the chunk header and pad byte in.
  std::vector<uint8_t> buffer(avi::kChunkRoomBefore + frameBytes + avi::kChunkRoomAfter);
  std::copy(pixels.begin(), pixels.end(), buffer.begin() + avi::kChunkRoomBefore);
  const avi::Payload frame{buffer.data() + avi::kChunkRoomBefore, frameBytes, true};

  const int raw = ::open(dir.File("plain.raw").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  // Half a second of frames between commits at 10 and at 30 frames a second.
  WriterVariant noCommits(dir.File("none.avi"), 10, 0), at10(dir.File("10.avi"), 10, 5),
      at30(dir.File("30.avi"), 30, 15);
  if (raw < 0 || !noCommits.Start() || !at10.Start() || !at30.Start()) return 1;
  Figures plain;
  for (int i = 0; i < frames; ++i) {
    const Clock::time_point t0 = Clock::now();
    const off_t at = static_cast<off_t>(i % kFramesPerFile) * frameBytes;
    if (::pwrite(raw, pixels.data(), frameBytes, at) != static_cast<ssize_t>(frameBytes)) return 1;
    plain.ms.push_back(Ms(Clock::now() - t0));
    if ((i + 1) % kFramesPerFile == 0 && ::ftruncate(raw, 0) != 0) return 1;
    const uint32_t slot = static_cast<uint32_t>(i);
    if (!noCommits.Write(slot, frame) || !at10.Write(slot, frame) || !at30.Write(slot, frame))
      return 1;
  }
  noCommits.Finish();
  at10.Finish();
  at30.Finish();
  ::close(raw);

  std::printf("%d frames of %u bytes per variant, interleaved\n", frames, frameBytes);
  std::printf("%-34s %9s %9s %9s\n", "per frame (ms)", "median", "mean", "max");
  const auto row = [](const char* name, const Figures& f) {
    std::printf("%-34s %9.3f %9.3f %9.3f\n", name, f.Median(), f.Mean(), f.Max());
  };
  row("pwrite of the frame", plain);
  row("writer, no commits", noCommits.perFrame);
  row("writer, commit every 5 (10 fps)", at10.perFrame);
  row("writer, commit every 15 (30 fps)", at30.perFrame);
  row("commit alone, 5 frames (41 MB)", at10.commits);
  row("commit alone, 15 frames (124 MB)", at30.commits);
  std::printf("ratios to pwrite (mean)  no commits %.2f   10 fps %.2f   30 fps %.2f\n",
              noCommits.perFrame.Mean() / plain.Mean(), at10.perFrame.Mean() / plain.Mean(),
              at30.perFrame.Mean() / plain.Mean());
  std::printf(
      "commit time per half second of recording: 10 fps %.0f ms, 30 fps %.0f ms "
      "(mean), of 500 ms\n",
      at10.commits.Mean(), at30.commits.Mean());
  return 0;
}
