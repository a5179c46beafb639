#include "codec/ffmpeg_pipe.h"

#include <stdio.h>
#include <stdlib.h>

#include <sstream>

namespace codectest {

bool ReadFile(const std::string& path, std::vector<uint8_t>& data) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  data.clear();
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  fclose(f);
  return true;
}

std::vector<Packet> ReadPackets(const std::string& aviPath) {
  std::vector<Packet> packets;
  std::string listing;
  std::vector<uint8_t> file;
  if (Run("ffprobe -v error -select_streams v:0 -show_entries packet=pos,size,flags -of "
          "compact=p=0 '" +
              aviPath + "'",
          &listing, 120) != 0 ||
      !ReadFile(aviPath, file))
    return packets;
  std::istringstream lines(listing);
  std::string line;
  while (std::getline(lines, line)) {
    size_t pos = 0, size = 0;
    char flags[8] = {};
    if (sscanf(line.c_str(), "size=%zu|pos=%zu|flags=%7s", &size, &pos, flags) < 2) continue;
    if (pos > file.size() || size > file.size() - pos) return {};
    packets.push_back({{file.begin() + pos, file.begin() + pos + size}, flags[0] == 'K'});
  }
  return packets;
}

std::vector<std::vector<uint8_t>> FfmpegFrames(const std::string& aviPath, const char* pixFmt,
                                               size_t frameBytes) {
  std::string raw;
  std::vector<std::vector<uint8_t>> frames;
  if (Run("ffmpeg -v error -i '" + aviPath + "' -f rawvideo -pix_fmt " + pixFmt + " -", &raw,
          120) != 0)
    return frames;
  for (size_t at = 0; at + frameBytes <= raw.size(); at += frameBytes)
    frames.emplace_back(raw.begin() + at, raw.begin() + at + frameBytes);
  return frames;
}

}  // namespace codectest
