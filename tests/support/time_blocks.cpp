#include "support/time_blocks.h"

#include <sstream>

#include "support/unix_tools.h"

namespace testsupport {

namespace {
// 1 for white, 0 for black, -1 for anything else (grey, half-drawn, not the pattern).
int BlockBit(const std::vector<uint8_t>& bgr, int width, int height, int cx, int cy) {
  if (cx < 0 || cy < 0 || cx >= width || cy >= height) return -1;
  const size_t i = (static_cast<size_t>(cy) * width + cx) * 3;
  const int v = (bgr[i] + bgr[i + 1] + bgr[i + 2]) / 3;
  if (v > 200) return 1;
  if (v < 55) return 0;
  return -1;
}
}  // namespace

std::optional<uint32_t> ReadTimeBlocks(const std::vector<uint8_t>& bgr, int width, int height,
                                       int x, int y) {
  uint32_t value = 0;
  for (int bit = 0; bit < 32; ++bit) {
    const int cx = x + bit * kBlock + kBlock / 2;
    const int a = BlockBit(bgr, width, height, cx, y + kBlock / 2);
    const int b = BlockBit(bgr, width, height, cx, y + kBlock + kBlock / 2);
    if (a < 0 || b < 0 || a == b) return std::nullopt;
    value = (value << 1) | static_cast<uint32_t>(a);
  }
  return value;
}

RegionFrames DecodeRegion(const std::wstring& aviPath, int x, int y, int width, int height) {
  RegionFrames out;
  const std::string path = "'" + UnixPath(aviPath) + "'";
  std::string pts;
  if (RunShell("ffprobe -v error -select_streams v:0 -show_entries frame=pts -of csv=p=0 " + path,
               &pts) != 0)
    return out;
  const std::wstring rawPath = ScratchFile(L"reg");
  const wchar_t* raw = rawPath.c_str();
  const std::string crop = "crop=" + std::to_string(width) + ":" + std::to_string(height) + ":" +
                           std::to_string(x) + ":" + std::to_string(y);
  const std::string cmd = "ffmpeg -v error -y -i " + path + " -vf " + crop +
                          " -fps_mode passthrough -f rawvideo -pix_fmt bgr24 '" + UnixPath(raw) +
                          "'";
  std::string bytes;
  if (RunShell(cmd, nullptr) == 0) {
    HANDLE h = CreateFileW(raw, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      char buf[1 << 16];
      DWORD got = 0;
      while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
      CloseHandle(h);
    }
  }
  DeleteFileW(raw);
  const size_t frameSize = static_cast<size_t>(width) * height * 3;
  std::istringstream ss(pts);
  std::string line;
  for (size_t off = 0; off + frameSize <= bytes.size() && std::getline(ss, line);
       off += frameSize) {
    out.pts.push_back(atol(line.c_str()));
    out.frames.emplace_back(bytes.begin() + off, bytes.begin() + off + frameSize);
  }
  out.width = width;
  out.height = height;
  return out;
}

}  // namespace testsupport
