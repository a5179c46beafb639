// Per-frame cost of the AVI writer for 1920x1080x32 frames beside one plain pwrite of the same
// bytes, interleaved in one run so both meet the same disk and page cache. Native only.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include "avi/avi_tools.h"
#include "avi/posix_file_sink.h"

namespace {

double Ms(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

void Report(const char* name, std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const double mean = std::accumulate(v.begin(), v.end(), 0.0) / v.size();
  std::printf("%-28s median %7.3f ms   mean %7.3f ms\n", name, v[v.size() / 2], mean);
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::atoi(argv[1]) : 120;
  const uint32_t width = 1920, height = 1080;
  avitest::TempDir dir;
  const std::string aviPath = dir.File("bench.avi"), rawPath = dir.File("bench.raw");
  avitest::PosixFileSink sink(aviPath);
  const int raw = ::open(rawPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!sink.ok() || raw < 0) return 1;
  const std::vector<uint8_t> frame = avitest::DibFrame(width, height, 32, 7);
  avi::Writer w;
  if (!w.Open(sink, avitest::DibFormat(width, height, 32, 10))) return 1;

  std::vector<double> writer, plain, flush;
  uint64_t rawOffset = 0;
  for (int i = 0; i < frames; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    if (!w.WriteFrame(i, frame.data(), static_cast<uint32_t>(frame.size()), true)) return 1;
    auto t1 = std::chrono::steady_clock::now();
    writer.push_back(Ms(t1 - t0));
    if (i % 10 == 9) {  // one flush a second at 10 fps
      if (!w.Flush()) return 1;
      flush.push_back(Ms(std::chrono::steady_clock::now() - t1));
    }
    t0 = std::chrono::steady_clock::now();
    if (::pwrite(raw, frame.data(), frame.size(), static_cast<off_t>(rawOffset)) !=
        static_cast<ssize_t>(frame.size()))
      return 1;
    plain.push_back(Ms(std::chrono::steady_clock::now() - t0));
    rawOffset += frame.size();
    // Keep the disk from filling with two copies: start both files over now and then.
    if (i % 40 == 39) {
      if (!w.Close() || ::ftruncate(sink.fd(), 0) != 0 || ::ftruncate(raw, 0) != 0) return 1;
      if (!w.Open(sink, avitest::DibFormat(width, height, 32, 10))) return 1;
      rawOffset = 0;
    }
  }
  w.Close();
  ::close(raw);
  std::printf("%d frames of %zu bytes\n", frames, frame.size());
  Report("Writer::WriteFrame", writer);
  Report("pwrite of the same bytes", plain);
  Report("Writer::Flush (per 10)", flush);
  std::vector<double> ws = writer, ps = plain;
  std::sort(ws.begin(), ws.end());
  std::sort(ps.begin(), ps.end());
  const double meanW = std::accumulate(writer.begin(), writer.end(), 0.0) / writer.size();
  const double meanP = std::accumulate(plain.begin(), plain.end(), 0.0) / plain.size();
  const double meanF = std::accumulate(flush.begin(), flush.end(), 0.0) / writer.size();
  std::printf("ratio writer/pwrite: median %.3f   mean %.3f   mean with flushes %.3f\n",
              ws[ws.size() / 2] / ps[ps.size() / 2], meanW / meanP, (meanW + meanF) / meanP);
  return 0;
}
